#pragma once

#include "ImportError.h"

#include "model/Result.h"
#include "services/security/SecurityService.h"

#include <QByteArray>
#include <QByteArrayView>

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

    // invalidFormat when the text is not an envelope: not JSON, a part
    // missing or of the wrong type, salt or data not strict Base64, "2.0"
    // without its key derivation, or one we do not make or out of bounds.
    static Result<BackupEnvelope, ImportError> parse(QByteArrayView text);
};
