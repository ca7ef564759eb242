#pragma once

#include "ImportError.h"

#include "model/Result.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

// The envelope of an encrypted backup: one compact JSON object
//   {"version":"1.0","salt":"<Base64>","data":"<Base64>"}
// with the 32 salt bytes and the sealed export document (AES-256-GCM
// combined form: nonce | ciphertext | tag) under the key that
// ExportService::deriveBackupKey makes from the backup passphrase and the
// salt. '/' in the Base64 texts is written as "\/"; readers accept the keys
// in any order.
class EncryptedBackup {
public:
    static constexpr QStringView kVersion = u"1.0";
    static constexpr qsizetype kSaltSize = 32;

    // Writes an envelope with a fresh salt and nonce; `document` writes the
    // plain export document into the device it is given, which seals it on
    // the way through. Returns the text of the first failure.
    [[nodiscard]] static Status write(QIODevice& out, const QString& passphrase,
                                      const std::function<Status(QIODevice&)>& document);
    // The same for a document already in memory.
    static Result<QByteArray> seal(const QByteArray& document, const QString& passphrase);

    // The export document inside an envelope: invalidFormat when the
    // envelope does not parse, invalidPassphrase for a passphrase that is not
    // valid Unicode, decryptionFailed for a wrong passphrase or changed data.
    static Result<QByteArray, ImportError> open(const QByteArray& envelope, const QString& passphrase);
};
