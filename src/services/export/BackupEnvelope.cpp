#include "BackupEnvelope.h"

#include "ExportDocumentReader.h"
#include "JsonReader.h"

#include <QIODevice>

#include <cmath>
#include <cstring>

using namespace Qt::StringLiterals;

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
    bool sealedSeen = false;
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
            // Two data members would leave it open which one holds the backup.
            if (name == "data" && sealedSeen)
                return R::failure(ImportError::invalidFormat());
            sealedSeen = sealedSeen || name == "data";
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

namespace {

// Follows the envelope's JSON far enough to tell its top-level keys and
// values apart, and copies everything but the content of the "data" string
// into a head that parse() then reads whole (and checks). Keys are read as
// JSON strings, escapes resolved, like parse() reads them.
class EnvelopeScanner {
public:
    // False once the head has grown too large to be an envelope's.
    bool feed(QByteArrayView bytes, qint64 offset)
    {
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            // The data is nearly all of the file: skip it quickly.
            if (m_eliding) {
                i = skipData(bytes, i);
                if (i == bytes.size())
                    break;
            }
            const char c = bytes[i];
            if (m_inString)
                stringByte(c, offset + i);
            else
                structureByte(c, offset + i);
        }
        return m_head.size() <= BackupEnvelope::kMaxHeadBytes;
    }
    const QByteArray& head() const { return m_head; }
    // Where the last "data" string's content lay; -1 when there was none.
    qint64 dataBegin() const { return m_dataBegin; }
    qint64 dataEnd() const { return m_dataEnd; }

private:
    static constexpr qsizetype kMaxKeyBytes = 64;

    // Where the data string's closing quote is from i on (or the end of the
    // bytes). A quote after an odd run of backslashes is part of the text.
    qsizetype skipData(QByteArrayView bytes, qsizetype i)
    {
        const qsizetype from = i;
        for (;;) {
            const auto* quote = static_cast<const char*>(std::memchr(bytes.data() + i, '"', size_t(bytes.size() - i)));
            const qsizetype at = quote ? quote - bytes.data() : bytes.size();
            qsizetype backslashes = 0;
            while (at - backslashes > from && bytes[at - backslashes - 1] == '\\')
                ++backslashes;
            // A run that goes back to where this piece began continues the last one's.
            const bool escaped = (backslashes % 2 == 1) != (at - backslashes == from && m_escape);
            if (!quote) {
                m_escape = escaped;
                return at;
            }
            if (!escaped) {
                m_escape = false;
                return at;
            }
            i = at + 1;
        }
    }

    void structureByte(char c, qint64 offset)
    {
        m_head.append(c);
        const bool top = m_depth == 1;
        switch (c) {
        case '"':
            m_inString = true;
            m_inKey = top && m_expectKey;
            m_key.resize(0);
            if (top && !m_expectKey && m_lastKey == "data") {
                m_eliding = true;
                m_dataBegin = offset + 1;
                m_dataEnd = -1;
            }
            return;
        case '{':
        case '[':
            ++m_depth;
            m_expectKey = c == '{';
            return;
        case '}':
        case ']': --m_depth; return;
        case ',':
            if (top)
                m_expectKey = true;
            return;
        case ':':
            if (top)
                m_expectKey = false;
            return;
        default: return;
        }
    }

    void stringByte(char c, qint64 offset)
    {
        const bool closes = !m_escape && c == '"';
        m_escape = !m_escape && c == '\\';
        if (closes) {
            m_inString = false;
            if (m_eliding) {
                m_eliding = false;
                m_dataEnd = offset;
            } else if (m_inKey) {
                m_lastKey = keyText();
            }
            m_head.append(c);
            return;
        }
        if (m_eliding)
            return;
        m_head.append(c);
        if (m_inKey && m_key.size() <= kMaxKeyBytes)
            m_key.append(c);
    }

    QByteArray keyText() const
    {
        if (m_key.size() > kMaxKeyBytes)
            return {};
        if (!m_key.contains('\\'))
            return m_key;
        try {
            const QByteArray quoted = '"' + m_key + '"';
            JsonReader reader(quoted);
            return reader.readStringBytes().toByteArray();
        } catch (const JsonReader::Error&) {
            return {};
        }
    }

    QByteArray m_head;
    int m_depth = 0;
    bool m_inString = false;
    bool m_escape = false;
    bool m_inKey = false;
    bool m_expectKey = false;
    bool m_eliding = false;
    QByteArray m_key;
    QByteArray m_lastKey;
    qint64 m_dataBegin = -1;
    qint64 m_dataEnd = -1;
};

} // namespace

Result<BackupEnvelope, ImportError> BackupEnvelope::scan(QIODevice& file)
{
    using R = Result<BackupEnvelope, ImportError>;
    EnvelopeScanner scanner;
    QByteArray piece(JsonReader::kPieceSize, Qt::Uninitialized);
    qint64 offset = 0;
    if (!file.seek(0))
        return R::failure(ImportError::decodingFailed(u"The file could not be read: %1."_s.arg(file.errorString())));
    for (;;) {
        const qint64 got = file.read(piece.data(), piece.size());
        if (got < 0)
            return R::failure(
                ImportError::decodingFailed(u"The file could not be read: %1."_s.arg(file.errorString())));
        if (got == 0)
            break;
        if (!scanner.feed(QByteArrayView(piece).first(got), offset))
            return R::failure(ImportError::invalidFormat());
        offset += got;
    }
    auto envelope = parse(scanner.head());
    if (!envelope)
        return envelope;
    // A "data" string found by its key holds the sealed data; parse() saw
    // it empty. (Without one, parse() has read the data from the head.)
    if (scanner.dataBegin() >= 0 && scanner.dataEnd() >= 0) {
        envelope.value().sealedTextBegin = scanner.dataBegin();
        envelope.value().sealedTextEnd = scanner.dataEnd();
    }
    return envelope;
}
