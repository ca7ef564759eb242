#pragma once

#include "ImportError.h"
#include "JsonReader.h"

#include "model/Result.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

// The envelope of an encrypted backup: one compact JSON object
//   {"version":"2.0","kdf":{"name":"scrypt","N":131072,"r":8,"p":1},
//    "salt":"<Base64>","data":"<Base64>"}
// with the 32 salt bytes and the sealed export document (AES-256-GCM
// combined form: nonce | ciphertext | tag) under the key scrypt makes from
// the passphrase's UTF-8 bytes and the salt. "1.0" envelopes have no "kdf"
// and take their key from one HKDF step (ExportService::deriveBackupKey);
// they are still read. '/' in the Base64 texts is written as "\/"; readers
// accept the keys in any order.
class EncryptedBackup {
public:
    static constexpr QStringView kVersion = u"2.0";
    static constexpr qsizetype kSaltSize = 32;
    // 128 MiB and about half a second a guess: a stolen backup is expensive
    // to guess at, a restore still quick.
    static constexpr quint64 kScryptN = 131072;
    static constexpr quint64 kScryptR = 8;
    static constexpr quint64 kScryptP = 1;

    // Writes an envelope with a fresh salt and nonce; `document` writes the
    // plain export document into the device it is given, which seals it on
    // the way through. Returns the text of the first failure.
    [[nodiscard]] static Status write(QIODevice& out, const QString& passphrase,
                                      const std::function<Status(QIODevice&)>& document);
    // The same for a document already in memory.
    static Result<QByteArray> seal(const QByteArray& document, const QString& passphrase);

    // The export document inside an envelope: invalidFormat when the
    // envelope does not parse or names a key derivation we do not make (or
    // scrypt parameters out of bounds, refused before any work),
    // invalidPassphrase for a passphrase that is not valid Unicode,
    // decryptionFailed for a wrong passphrase or changed data.
    static Result<QByteArray, ImportError> open(const QByteArray& envelope, const QString& passphrase);

    // The same for a backup in a file (or a buffer), read piece by piece
    // and never held whole: `readDocument` reads the plain export document
    // from the source it is given while it is being decrypted, and returns
    // what came of that. The document is authentic only once the whole call
    // has succeeded: the tag is checked after the last byte, and a wrong
    // passphrase or changed data is reported as such even when the document
    // read before that made no sense. `progress` hears how much of the
    // sealed text has been read.
    using DocumentReader = std::function<Result<void, ImportError>(JsonReader::Source document)>;
    using Progress = std::function<void(qint64 done, qint64 total)>;
    static Result<void, ImportError> open(QIODevice& file, const QString& passphrase,
                                          const DocumentReader& readDocument, const Progress& progress = {});
};
