#include "BackupUnsealer.h"

#include "JsonReader.h"
#include "JsonText.h"

#include <QIODevice>

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

constexpr int kNonceSize = 12;
constexpr int kTagSize = 16;

ImportError readFailure(const QIODevice& device)
{
    return ImportError::decodingFailed(u"The file could not be read: %1."_s.arg(device.errorString()));
}

} // namespace

struct BackupUnsealer::Cipher {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    ~Cipher() { EVP_CIPHER_CTX_free(ctx); }
};

BackupUnsealer::BackupUnsealer(const SymmetricKey& key, QIODevice* text, qint64 begin, qint64 end)
    : m_cipher(new Cipher), m_device(text), m_begin(begin), m_at(begin), m_end(std::max(begin, end))
{
    // The key goes into the context now, the nonce once it has been read.
    if (!m_cipher->ctx || EVP_DecryptInit_ex(m_cipher->ctx, EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1
        || EVP_CIPHER_CTX_ctrl(m_cipher->ctx, EVP_CTRL_GCM_SET_IVLEN, kNonceSize, nullptr) != 1
        || EVP_DecryptInit_ex(m_cipher->ctx, nullptr, nullptr, key.data(), nullptr) != 1)
        fail(ImportError::decryptionFailed());
    else if (!m_device->seek(begin))
        fail(readFailure(*m_device));
}

BackupUnsealer::~BackupUnsealer()
{
    delete m_cipher;
}

void BackupUnsealer::fail(ImportError error)
{
    if (!m_error)
        m_error = std::move(error);
}

qsizetype BackupUnsealer::read(char* into, qsizetype maxSize)
{
    for (;;) {
        if (m_error)
            return 0;
        // Everything but what may still turn out to be the tag.
        const qsizetype ready = m_nonceSet ? m_sealed.size() - m_sealedAt - kTagSize : 0;
        if (ready > 0) {
            const int n = int(std::min<qsizetype>({ready, maxSize, 1 << 30}));
            int out = 0;
            if (EVP_DecryptUpdate(m_cipher->ctx, reinterpret_cast<unsigned char*>(into), &out,
                                  reinterpret_cast<const unsigned char*>(m_sealed.constData() + m_sealedAt), n)
                    != 1
                || out != n) {
                fail(ImportError::decryptionFailed());
                return 0;
            }
            m_sealedAt += n;
            return n;
        }
        if (m_textEnded || !pullText())
            return 0;
    }
}

bool SealedText::decode(QByteArrayView piece, bool last, QByteArray& out)
{
    if (m_failed || !take(piece, last) || (last && (!m_escape.isEmpty() || m_quads.size() % 4 != 0))) {
        m_failed = true;
        return false;
    }
    // The decoder takes '=' only at the end of what it is given, so a group
    // that ends in padding waits: it must turn out to be the text's last.
    qsizetype whole = last ? m_quads.size() : m_quads.size() / 4 * 4;
    if (!last && whole > 0 && m_quads[whole - 1] == '=')
        whole -= 4;
    if (whole == 0)
        return true;
    if (!JsonText::appendDecodedBase64(out, QByteArrayView(m_quads).first(whole))) {
        m_failed = true;
        return false;
    }
    m_quads.remove(0, whole);
    return true;
}

bool SealedText::take(QByteArrayView text, bool last)
{
    QByteArrayView rest = text;
    if (!m_escape.isEmpty()) {
        m_escape.append(text);
        rest = m_escape;
    }
    // Only the escapes are resolved here; whether every character is a
    // Base64 letter or padding in its place, the decoder checks.
    const qsizetype n = rest.size();
    const qsizetype before = m_quads.size();
    m_quads.resize(before + n);
    char* out = m_quads.data() + before;
    qsizetype i = 0;
    while (i < n) {
        const auto* backslash = static_cast<const char*>(std::memchr(rest.data() + i, '\\', size_t(n - i)));
        const qsizetype runEnd = backslash ? backslash - rest.data() : n;
        std::memcpy(out, rest.data() + i, size_t(runEnd - i));
        out += runEnd - i;
        i = runEnd;
        if (i == n)
            break;
        if (i + 1 >= n || (rest[i + 1] == 'u' && i + 6 > n)) {
            if (last)
                return false;
            break; // the rest of the escape comes with the next piece
        }
        if (rest[i + 1] == '/') {
            *out++ = '/';
            i += 2;
        } else if (rest[i + 1] == 'u') {
            int code = 0;
            for (int k = 2; k < 6; ++k) {
                const int digit = JsonText::hexDigitValue(rest[i + k]);
                code = digit < 0 || code > 0xfff ? 0x10000 : code * 16 + digit;
            }
            if (code >= 0x80)
                return false;
            *out++ = char(code);
            i += 6;
        } else {
            return false; // every other escape stands for a character Base64 has not
        }
    }
    m_quads.resize(out - m_quads.data());
    m_escape = rest.sliced(i).toByteArray();
    return true;
}

// One more piece of the text, decoded as far as whole groups of four allow.
bool BackupUnsealer::pullText()
{
    const qint64 want = std::min<qint64>(JsonReader::kPieceSize, m_end - m_at);
    qint64 got = 0;
    if (want > 0) {
        if (m_piece.size() != JsonReader::kPieceSize)
            m_piece.resize(JsonReader::kPieceSize);
        got = m_device->read(m_piece.data(), want);
        if (got <= 0) {
            fail(got < 0 ? readFailure(*m_device) : ImportError::invalidFormat());
            return false;
        }
        m_at += got;
    }
    m_textEnded = m_at >= m_end;
    // Let go of what has been decrypted before adding more.
    m_sealed.remove(0, m_sealedAt);
    m_sealedAt = 0;
    const qsizetype before = m_sealed.size();
    if (!m_text.decode(QByteArrayView(m_piece).first(got), m_textEnded, m_sealed)) {
        fail(ImportError::invalidFormat());
        return false;
    }
    m_sealedTotal += m_sealed.size() - before;
    takeNonce();
    if (m_textEnded && !m_error && m_sealedTotal < kNonceSize + kTagSize)
        fail(ImportError::decryptionFailed());
    return !m_error;
}

void BackupUnsealer::takeNonce()
{
    if (m_nonceSet || m_sealed.size() - m_sealedAt < kNonceSize)
        return;
    const auto* nonce = reinterpret_cast<const unsigned char*>(m_sealed.constData() + m_sealedAt);
    if (EVP_DecryptInit_ex(m_cipher->ctx, nullptr, nullptr, nullptr, nonce) != 1) {
        fail(ImportError::decryptionFailed());
        return;
    }
    m_sealedAt += kNonceSize;
    m_nonceSet = true;
}

Result<void, ImportError> BackupUnsealer::finish()
{
    using R = Result<void, ImportError>;
    char sink[16 * 1024];
    while (read(sink, sizeof sink) > 0) {
    }
    if (!m_error && (!m_textEnded || !m_nonceSet || m_sealed.size() - m_sealedAt != kTagSize))
        fail(ImportError::decryptionFailed());
    if (m_error)
        return R::failure(*m_error);
    unsigned char tag[kTagSize];
    std::copy_n(reinterpret_cast<const unsigned char*>(m_sealed.constData() + m_sealedAt), kTagSize, tag);
    int out = 0;
    unsigned char tail[kTagSize];
    if (EVP_CIPHER_CTX_ctrl(m_cipher->ctx, EVP_CTRL_GCM_SET_TAG, kTagSize, tag) != 1
        || EVP_DecryptFinal_ex(m_cipher->ctx, tail, &out) != 1 || out != 0)
        return R::failure(ImportError::decryptionFailed());
    return {};
}
