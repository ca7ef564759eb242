#include "EncryptedBackup.h"

#include "BackupEnvelope.h"
#include "BackupSealer.h"
#include "ExportService.h"
#include "JsonText.h"

#include "services/security/SecurityError.h"
#include "services/security/SecurityService.h"

#include <QBuffer>

#include <openssl/rand.h>

using namespace Qt::StringLiterals;

Status EncryptedBackup::write(QIODevice& out, const QString& passphrase,
                              const std::function<Status(QIODevice&)>& document)
{
    unsigned char salt[kSaltSize];
    // A salt that is not random would make the key guessable: no backup then.
    if (RAND_bytes(salt, int(kSaltSize)) != 1)
        return Status::failure(SecurityError::encryptionFailed().description());
    const QByteArrayView saltBytes(reinterpret_cast<const char*>(salt), kSaltSize);
    const auto key = ExportService::deriveBackupKey(
        passphrase, saltBytes, SecurityService::KeyDerivation::scrypt(kScryptN, kScryptR, kScryptP));
    if (!key)
        return Status::failure(key.error().description());

    QByteArray head = "{\"version\":\"" + kVersion.toLatin1() + "\",\"kdf\":{\"name\":\"scrypt\",\"N\":"
                      + QByteArray::number(kScryptN) + ",\"r\":" + QByteArray::number(kScryptR)
                      + ",\"p\":" + QByteArray::number(kScryptP) + "},\"salt\":\"";
    JsonText::appendBase64(head, saltBytes, true);
    head += "\",\"data\":\"";
    if (out.write(head) != head.size())
        return Status::failure(out.errorString());

    BackupSealer sealer(key.value(), &out);
    if (Status s = sealer.start(); !s)
        return s;
    if (Status s = document(sealer); !s)
        return s;
    if (Status s = sealer.finish(); !s)
        return s;
    if (out.write("\"}") != 2)
        return Status::failure(out.errorString());
    return {};
}

Result<QByteArray> EncryptedBackup::seal(const QByteArray& document, const QString& passphrase)
{
    QByteArray envelope;
    QBuffer buffer(&envelope);
    buffer.open(QIODevice::WriteOnly);
    const Status written = write(buffer, passphrase, [&](QIODevice& sealed) -> Status {
        if (sealed.write(document) != document.size())
            return Status::failure(sealed.errorString());
        return {};
    });
    if (!written)
        return Result<QByteArray>::failure(written.error());
    return envelope;
}

Result<QByteArray, ImportError> EncryptedBackup::open(const QByteArray& envelope, const QString& passphrase)
{
    using R = Result<QByteArray, ImportError>;
    auto parts = BackupEnvelope::parse(envelope);
    if (!parts)
        return R::failure(parts.error());
    const BackupEnvelope& e = parts.value();
    const auto key = e.kdf ? ExportService::deriveBackupKey(passphrase, e.salt, *e.kdf)
                           : ExportService::deriveBackupKey(passphrase, e.salt);
    if (!key)
        return R::failure(key.error());
    auto opened = SecurityService::decrypt(e.sealed, key.value());
    if (!opened)
        return R::failure(ImportError::decryptionFailed());
    return R(std::move(opened).value());
}
