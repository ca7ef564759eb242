#include "EncryptedBackup.h"

#include "BackupEnvelope.h"
#include "BackupSealer.h"
#include "BackupUnsealer.h"
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

namespace {

// The parts of an envelope and the key they make with the passphrase.
struct Unlocked {
    BackupEnvelope envelope;
    SymmetricKey key;
};

Result<Unlocked, ImportError> unlock(Result<BackupEnvelope, ImportError> parts, const QString& passphrase)
{
    using R = Result<Unlocked, ImportError>;
    if (!parts)
        return R::failure(parts.error());
    const BackupEnvelope& e = parts.value();
    auto key = e.kdf ? ExportService::deriveBackupKey(passphrase, e.salt, *e.kdf)
                     : ExportService::deriveBackupKey(passphrase, e.salt);
    if (!key)
        return R::failure(key.error());
    return Unlocked{std::move(parts).value(), std::move(key).value()};
}

} // namespace

Result<QByteArray, ImportError> EncryptedBackup::open(const QByteArray& envelope, const QString& passphrase)
{
    using R = Result<QByteArray, ImportError>;
    const auto unlocked = unlock(BackupEnvelope::parse(envelope), passphrase);
    if (!unlocked)
        return R::failure(unlocked.error());
    auto opened = SecurityService::decrypt(unlocked.value().envelope.sealed, unlocked.value().key);
    if (!opened)
        return R::failure(ImportError::decryptionFailed());
    return R(std::move(opened).value());
}

Result<void, ImportError> EncryptedBackup::open(QIODevice& file, const QString& passphrase,
                                                const DocumentReader& readDocument, const Progress& progress)
{
    using R = Result<void, ImportError>;
    const auto unlocked = unlock(BackupEnvelope::scan(file), passphrase);
    if (!unlocked)
        return R::failure(unlocked.error());
    const BackupEnvelope& e = unlocked.value().envelope;

    // Data the scanner left in the head (its key spelt with more escapes
    // than it follows) is read from there, as Base64 again.
    QByteArray text;
    QBuffer head(&text);
    QIODevice* source = &file;
    qint64 begin = e.sealedTextBegin;
    qint64 end = e.sealedTextEnd;
    if (begin < 0) {
        text = e.sealed.toBase64();
        head.open(QIODevice::ReadOnly);
        source = &head;
        begin = 0;
        end = text.size();
    }
    BackupUnsealer unsealer(unlocked.value().key, source, begin, end);
    const Result<void, ImportError> read = readDocument([&](char* into, qsizetype maxSize) {
        const qsizetype n = unsealer.read(into, maxSize);
        if (progress)
            progress(unsealer.textRead(), unsealer.textSize());
        return n;
    });
    // The data's own faults come first: a document that made no sense is
    // what a wrong passphrase gives.
    if (Result<void, ImportError> opened = unsealer.finish(); !opened)
        return opened;
    return read;
}
