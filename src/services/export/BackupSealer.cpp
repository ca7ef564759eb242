#include "BackupSealer.h"

#include "JsonText.h"

#include "services/security/SecurityError.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <climits>

using namespace Qt::StringLiterals;

namespace {
constexpr int kNonceSize = 12;
constexpr int kTagSize = 16;
// Plaintext is sealed in slices of this size (EVP takes int lengths).
constexpr qint64 kSlice = 64 * 1024;
} // namespace

struct BackupSealer::Cipher {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    ~Cipher() { EVP_CIPHER_CTX_free(ctx); }
};

BackupSealer::BackupSealer(const SymmetricKey& key, QIODevice* target) : m_cipher(new Cipher), m_target(target)
{
    m_sealed.reserve(kSlice + kTagSize);
    m_text.reserve((kSlice + kTagSize + 2) / 3 * 8 + 8);
    if (m_cipher->ctx) {
        // The key goes into the context now; the nonce when start() makes one.
        if (EVP_EncryptInit_ex(m_cipher->ctx, EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1
            || EVP_CIPHER_CTX_ctrl(m_cipher->ctx, EVP_CTRL_GCM_SET_IVLEN, kNonceSize, nullptr) != 1
            || EVP_EncryptInit_ex(m_cipher->ctx, nullptr, nullptr, key.data(), nullptr) != 1) {
            EVP_CIPHER_CTX_free(m_cipher->ctx);
            m_cipher->ctx = nullptr;
        }
    }
}

BackupSealer::~BackupSealer()
{
    delete m_cipher;
}

bool BackupSealer::fail(const QString& message)
{
    setErrorString(message);
    return false;
}

Status BackupSealer::start()
{
    unsigned char nonce[kNonceSize];
    if (!m_cipher->ctx || RAND_bytes(nonce, kNonceSize) != 1
        || EVP_EncryptInit_ex(m_cipher->ctx, nullptr, nullptr, nullptr, nonce) != 1)
        return Status::failure(SecurityError::encryptionFailed().description());
    if (!QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Status::failure(SecurityError::encryptionFailed().description());
    if (!pass(QByteArrayView(reinterpret_cast<const char*>(nonce), kNonceSize), false))
        return Status::failure(errorString());
    return {};
}

// Base64 of the sealed bytes, three bytes at a time; the carry waits for more.
bool BackupSealer::pass(QByteArrayView bytes, bool last)
{
    m_text.resize(0);
    qsizetype used = 0;
    if (!m_carry.isEmpty()) {
        while (m_carry.size() < 3 && used < bytes.size())
            m_carry.append(bytes[used++]);
        if (m_carry.size() == 3 || last) {
            JsonText::appendBase64(m_text, m_carry, true);
            m_carry.clear();
        }
    }
    bytes = bytes.sliced(used);
    const qsizetype whole = last ? bytes.size() : bytes.size() / 3 * 3;
    JsonText::appendBase64(m_text, bytes.first(whole), true);
    m_carry.append(bytes.sliced(whole));
    if (last && !m_carry.isEmpty()) {
        JsonText::appendBase64(m_text, m_carry, true);
        m_carry.clear();
    }
    if (!m_text.isEmpty() && m_target->write(m_text) != m_text.size())
        return fail(m_target->errorString());
    return true;
}

qint64 BackupSealer::writeData(const char* data, qint64 size)
{
    if (m_finished)
        return -1;
    for (qint64 done = 0; done < size;) {
        const int chunk = int(std::min(size - done, kSlice));
        m_sealed.resize(chunk + kTagSize);
        int out = 0;
        if (EVP_EncryptUpdate(m_cipher->ctx, reinterpret_cast<unsigned char*>(m_sealed.data()), &out,
                              reinterpret_cast<const unsigned char*>(data + done), chunk)
            != 1) {
            fail(SecurityError::encryptionFailed().description());
            return -1;
        }
        if (!pass(QByteArrayView(m_sealed).first(out), false))
            return -1;
        done += chunk;
    }
    return size;
}

qint64 BackupSealer::readData(char*, qint64)
{
    return -1;
}

Status BackupSealer::finish()
{
    if (m_finished)
        return Status::failure(SecurityError::encryptionFailed().description());
    m_finished = true;
    unsigned char tail[kTagSize];
    int out = 0;
    unsigned char tag[kTagSize];
    if (EVP_EncryptFinal_ex(m_cipher->ctx, tail, &out) != 1 || out != 0
        || EVP_CIPHER_CTX_ctrl(m_cipher->ctx, EVP_CTRL_GCM_GET_TAG, kTagSize, tag) != 1)
        return Status::failure(SecurityError::encryptionFailed().description());
    if (!pass(QByteArrayView(reinterpret_cast<const char*>(tag), kTagSize), true))
        return Status::failure(errorString());
    QIODevice::close();
    return {};
}
