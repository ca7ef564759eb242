#include "BackupEnvelope.h"

#include "ExportDocumentReader.h"
#include "JsonReader.h"

#include <cmath>

namespace {

// {"name":"scrypt","N":…,"r":…,"p":…}; none for anything else. Reads past
// the value whatever it holds.
std::optional<SecurityService::KeyDerivation> readKdf(JsonReader& reader)
{
    if (reader.peek() != JsonReader::Kind::object) {
        reader.skipValue();
        return std::nullopt;
    }
    reader.beginObject();
    QByteArrayView key;
    bool scrypt = false;
    bool wellFormed = true;
    std::optional<quint64> n, r, p;
    while (reader.nextKey(key)) {
        const QByteArray name = key.toByteArray();
        if (name == "name" && reader.peek() == JsonReader::Kind::string) {
            scrypt = reader.readStringBytes() == "scrypt";
        } else if ((name == "N" || name == "r" || name == "p") && reader.peek() == JsonReader::Kind::number) {
            // Whole numbers only; anything past 2^53 is out of bounds anyway.
            const double value = reader.readNumber();
            if (!(value >= 0 && value <= 9007199254740992.0) || value != std::floor(value))
                wellFormed = false;
            else
                (name == "N" ? n : name == "r" ? r : p) = quint64(value);
        } else {
            reader.skipValue();
        }
    }
    if (!wellFormed || !scrypt || !n || !r || !p)
        return std::nullopt;
    return SecurityService::KeyDerivation::scrypt(*n, *r, *p);
}

} // namespace

Result<BackupEnvelope, ImportError> BackupEnvelope::parse(QByteArrayView text)
{
    using R = Result<BackupEnvelope, ImportError>;
    std::optional<QByteArray> salt;
    std::optional<QByteArray> sealed;
    std::optional<QByteArray> version;
    bool hasKdf = false;
    std::optional<SecurityService::KeyDerivation> kdf;
    try {
        JsonReader reader(text);
        reader.beginObject();
        QByteArrayView key;
        while (reader.nextKey(key)) {
            const QByteArray name = key.toByteArray();
            if (name == "kdf") {
                hasKdf = true;
                kdf = readKdf(reader);
                continue;
            }
            if (reader.peek() != JsonReader::Kind::string) {
                if (name == "version" || name == "salt" || name == "data")
                    return R::failure(ImportError::invalidFormat());
                reader.skipValue();
                continue;
            }
            const QByteArrayView value = reader.readStringBytes();
            if (name == "version")
                version = value.toByteArray();
            else if (name == "salt")
                salt = ExportDocumentReader::decodeBase64(value);
            else if (name == "data")
                sealed = ExportDocumentReader::decodeBase64(value);
        }
        if (!reader.atEnd())
            return R::failure(ImportError::invalidFormat());
    } catch (const JsonReader::Error&) {
        return R::failure(ImportError::invalidFormat());
    }
    if (!version || !salt || !sealed)
        return R::failure(ImportError::invalidFormat());
    // "2.0" names its key derivation; without one the envelope is "1.0"
    // (whose version text is read, not examined). Parameters out of bounds
    // are refused here, before a byte of memory is spent on them.
    if ((*version == "2.0" && !hasKdf) || (hasKdf && (!kdf || !kdf->withinBounds())))
        return R::failure(ImportError::invalidFormat());
    return R(BackupEnvelope{std::move(*version), std::move(*salt), std::move(*sealed), kdf});
}
