#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <optional>

// A 256-bit AES key. Its bytes live inside the object (never on a shared
// heap buffer) and are wiped when the object goes away.
class SymmetricKey {
public:
    static constexpr qsizetype kSize = 32;

    // Nothing unless exactly 32 bytes are given.
    static std::optional<SymmetricKey> fromBytes(QByteArrayView bytes);

    SymmetricKey(const SymmetricKey& other) = default;
    SymmetricKey& operator=(const SymmetricKey& other) = default;
    ~SymmetricKey();

    const unsigned char* data() const { return m_bytes.data(); }
    // A copy of the raw bytes; the caller wipes it when done (SecurityService::wipe).
    QByteArray rawBytes() const;
    // Compares in constant time.
    bool operator==(const SymmetricKey& other) const;

private:
    friend class SecurityService;
    SymmetricKey() = default;
    unsigned char* mutableData() { return m_bytes.data(); }

    std::array<unsigned char, kSize> m_bytes{};
};
