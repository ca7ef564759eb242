#pragma once

#include "ImportError.h"

#include "model/Result.h"
#include "services/security/SecurityService.h"

#include <QByteArray>
#include <QByteArrayView>

class QIODevice;

#include <optional>

// The parts of an encrypted backup's envelope, read without any
// cryptography: what EncryptedBackup::open derives and decrypts with, and
// what the envelope fuzz target reads.
struct BackupEnvelope {
    QByteArray version;
    QByteArray salt;
    QByteArray sealed;
    // None for "1.0" (HKDF); scrypt within bounds for "2.0".
    std::optional<SecurityService::KeyDerivation> kdf;
    // Scanned from a file, the sealed data stays there: where its text lies,
    // the Base64 between the quotes with its JSON escapes.
    qint64 sealedTextBegin = -1;
    qint64 sealedTextEnd = -1;

    // invalidFormat when the text is not an envelope: not JSON, a part
    // missing or of the wrong type, salt or data not strict Base64, "2.0"
    // without its key derivation, or one we do not make or out of bounds.
    static Result<BackupEnvelope, ImportError> parse(QByteArrayView text);
    // The same for an envelope in a file, read once from its start in
    // pieces: the sealed data stays in the file and only its place is
    // noted. Everything else of the envelope is a few hundred bytes; more
    // than kMaxHeadBytes besides the data is not an envelope.
    static constexpr qsizetype kMaxHeadBytes = 1024 * 1024;
    static Result<BackupEnvelope, ImportError> scan(QIODevice& file);
};
