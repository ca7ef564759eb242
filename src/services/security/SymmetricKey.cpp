#include "SymmetricKey.h"

#include <openssl/crypto.h>

#include <cstring>

std::optional<SymmetricKey> SymmetricKey::fromBytes(QByteArrayView bytes)
{
    if (bytes.size() != kSize)
        return std::nullopt;
    SymmetricKey key;
    std::memcpy(key.m_bytes.data(), bytes.data(), key.m_bytes.size());
    return key;
}

SymmetricKey::~SymmetricKey()
{
    OPENSSL_cleanse(m_bytes.data(), m_bytes.size());
}

QByteArray SymmetricKey::rawBytes() const
{
    return QByteArray(reinterpret_cast<const char*>(m_bytes.data()), kSize);
}

bool SymmetricKey::operator==(const SymmetricKey& other) const
{
    return CRYPTO_memcmp(m_bytes.data(), other.m_bytes.data(), m_bytes.size()) == 0;
}
