#pragma once

#include "KeychainService.h"
#include "SecurityError.h"
#include "SymmetricKey.h"

#include <QByteArray>
#include <QFuture>
#include <QObject>
#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

// Passphrase protection of the library: turns a passphrase into an AES-256
// key (HKDF-SHA256 over a random salt), keeps in the keychain what is needed
// to recognise the passphrase again (the salt and a sealed verification
// value), holds the key in memory while it is known, and seals and opens data
// with AES-256-GCM (nonce | ciphertext | tag, no associated data).
//
// Main thread only, except the static operations with an explicit key.
class SecurityService {
public:
    // The verification plaintext sealed under the key.
    static constexpr QByteArrayView kVerificationText = "Vellumkeep_Confirmation";
    static constexpr QByteArrayView kKeyInfo = "Vellumkeep_Encryption";
    static constexpr qsizetype kSaltSize = 32;
    static constexpr qsizetype kNonceSize = 12;
    static constexpr qsizetype kTagSize = 16;
    static constexpr qsizetype kSealOverhead = kNonceSize + kTagSize;

    // The one instance of the process, created on first use.
    static SecurityService& shared();

    // Reads "encryptionEnabled" from the settings. Uses the desktop's keychain
    // unless a backend is given.
    explicit SecurityService(std::unique_ptr<KeychainBackend> backend = nullptr);
    ~SecurityService();
    SecurityService(const SecurityService&) = delete;
    SecurityService& operator=(const SecurityService&) = delete;

    bool isEncryptionEnabled() const { return m_encryptionEnabled; }
    const std::optional<SymmetricKey>& encryptionKey() const { return m_encryptionKey; }
    KeychainService& keychain() { return m_keychain; }

    // How a passphrase becomes a key. HKDF has no work factor: stored
    // verification values and "1.0" backups depend on it and it must not
    // change. scrypt makes every guess cost memory and time ("2.0" backups).
    struct KeyDerivation {
        enum class Function { hkdfSha256, scrypt };
        Function function = Function::hkdfSha256;
        QByteArray info; // HKDF's label
        quint64 n = 0;   // scrypt's cost, its block size and its parallelism
        quint64 r = 0;
        quint64 p = 0;

        static KeyDerivation hkdf(QByteArrayView info) { return {Function::hkdfSha256, info.toByteArray(), 0, 0, 0}; }
        static KeyDerivation scrypt(quint64 n, quint64 r, quint64 p) { return {Function::scrypt, {}, n, r, p}; }
        // scrypt parameters anyone may put in a file are checked before any
        // work: N a power of two of at least 2^14 (and below 2^(16 r), as
        // scrypt requires), 128 · N · r bytes at most 256 MiB, p from 1 to 4.
        static constexpr quint64 kMaxScryptMemory = 256ull * 1024 * 1024;
        bool withinBounds() const
        {
            if (function == Function::hkdfSha256)
                return true;
            const bool powerOfTwo = n != 0 && (n & (n - 1)) == 0;
            return powerOfTwo && n >= (quint64(1) << 14) && r >= 1 && r <= 1024 && p >= 1 && p <= 4
                   && 128 * n * r <= kMaxScryptMemory && (r >= 4 || n < (quint64(1) << (16 * r)));
        }
    };
    // The one place a passphrase becomes a key: its UTF-8 bytes exactly as
    // given (no trimming, no normalisation), the salt, 32 bytes out. A
    // passphrase without a UTF-8 form (an unpaired surrogate) or parameters
    // out of bounds are invalidPassphrase.
    static Result<SymmetricKey, SecurityError> keyFromPassphrase(const QString& passphrase, QByteArrayView salt,
                                                                 const KeyDerivation& derivation);
    // The library key: HKDF-SHA256 with the info "Vellumkeep_Encryption".
    // A passphrase that is not valid Unicode (an unpaired surrogate) is invalidPassphrase.
    static Result<SymmetricKey, SecurityError> deriveKey(const QString& passphrase, QByteArrayView salt);
    // Plain HKDF-SHA256 (RFC 5869); nothing when OpenSSL refuses.
    static std::optional<QByteArray> hkdfSha256(QByteArrayView inputKeyMaterial, QByteArrayView salt,
                                                QByteArrayView info, qsizetype length);

    // Seal and open with the held key (keyNotAvailable without one) ...
    Result<QByteArray, SecurityError> encrypt(QByteArrayView data) const;
    Result<QByteArray, SecurityError> decrypt(QByteArrayView data) const;
    // ... or with the key given; these read no state and may run on any thread.
    static Result<QByteArray, SecurityError> encrypt(QByteArrayView data, const SymmetricKey& key);
    static Result<QByteArray, SecurityError> decrypt(QByteArrayView data, const SymmetricKey& key);

    // The keychain flows below return at once and finish on the main thread
    // once the keychain has answered; nothing waits for it in between. They
    // run one at a time in the order they were asked for, so no flow reads
    // items another has half written (the launch check and an unlock, say).

    // Switches protection on with a new salt; the key stays held.
    QFuture<SecurityStatus> enableEncryption(const QString& passphrase);
    // Proves the passphrase against the stored verification value and holds the key.
    QFuture<SecurityStatus> unlock(const QString& passphrase);
    // Removes the keychain items, forgets the key and switches protection off.
    QFuture<SecurityStatus> disableEncryption();
    // The launch routine: the keychain integrity check, then the key is forgotten.
    QFuture<void> prepareAtLaunch();
    // Forgets (and wipes) the held key.
    void clearKey();

    // Biometric unlock keeps a copy of the key behind the keychain's
    // user-presence check; it is offered only where the keychain has one.
    bool isBiometricAvailable() const;
    static QString biometricTypeName();
    // The name of a platform biometry type (1 Touch ID, 2 Face ID, 4 Optic ID).
    static QString biometricName(int biometryType);
    QFuture<SecurityStatus> enableBiometricUnlock(const QString& passphrase);
    QFuture<void> disableBiometricUnlock();

    // Random bytes come from OpenSSL's RAND_bytes unless tests replace the
    // source (an empty function restores it).
    using RandomSource = std::function<bool(unsigned char* out, std::size_t size)>;
    static void setRandomSource(RandomSource source);

    // Best-effort wiping of secrets held in Qt containers (only an unshared buffer is wiped).
    static void wipe(QByteArray& bytes);
    static void wipe(QString& text);

private:
    struct KeyItems {
        QByteArray salt;
        QByteArray verification;
    };
    struct HeldPassphrase;

    // Starts the flow once every flow asked for before has finished.
    template <typename T>
    QFuture<T> inTurn(std::function<QFuture<T>()> flow);
    // Runs `next` once `step` succeeded; a failed step is the outcome.
    QFuture<SecurityStatus> andThen(QFuture<SecurityStatus> step, std::function<QFuture<SecurityStatus>()> next);
    QFuture<Result<KeyItems, SecurityError>> loadKeyItems();
    QFuture<SecurityStatus> unlockWith(std::shared_ptr<HeldPassphrase> passphrase);
    void judgeIntegrity(const std::optional<SecurityError>& failure);

    bool m_encryptionEnabled = false;
    std::optional<SymmetricKey> m_encryptionKey;
    KeychainService m_keychain;
    // Keychain answers are taken in while this lives.
    QObject m_context;
    // Finishes when the last flow asked for has.
    QFuture<void> m_lastFlow;
};
