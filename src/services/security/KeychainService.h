#pragma once

#include "SecurityError.h"

#include "platform/Keychain.h"

#include <QByteArray>
#include <QFuture>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

// The few secrets of the security services, kept in the desktop's keychain
// under one service name, one item per account. Every failure is a
// SecurityError::keychainError with a fixed message.
//
// Calls return at once; the future finishes on this service's thread once
// the keychain has answered, or with the status timedOut when it gives no
// answer within the time-out (an unlock prompt left open, a store that
// hangs). Nothing here waits or runs an event loop of its own. Futures of a
// service that goes away first are cancelled.
class KeychainService {
public:
    static constexpr std::chrono::milliseconds kDefaultTimeout{120'000};

    // The accounts used by the security services.
    inline static const QString saltAccount = QStringLiteral("encryptionKey_salt");
    inline static const QString verifyAccount = QStringLiteral("encryptionKey_verify");
    inline static const QString biometricAccount = QStringLiteral("biometricEncryptionKey");

    // Uses the desktop's keychain unless a backend is given.
    explicit KeychainService(std::unique_ptr<KeychainBackend> backend = nullptr);
    ~KeychainService();
    KeychainService(const KeychainService&) = delete;
    KeychainService& operator=(const KeychainService&) = delete;

    // "com.vellumkeep.keychain".
    QString service() const;

    // Stores bytes under the account, replacing any earlier value (delete, then add).
    QFuture<SecurityStatus> saveItem(const QByteArray& data, const QString& key);
    // As saveItem, but released only after a user-presence check. Where the
    // keychain has no such check, fails as an unavailable keychain and writes nothing.
    QFuture<SecurityStatus> saveBiometricItem(const QByteArray& data, const QString& key);
    QFuture<Result<QByteArray, SecurityError>> loadItem(const QString& key);
    // Deleting an item that does not exist succeeds.
    QFuture<SecurityStatus> deleteItem(const QString& key);
    // Whether the item exists (true/false) or the keychain could not tell (the load failure).
    QFuture<Result<bool, SecurityError>> containsItem(const QString& key);

    bool supportsUserPresence() const;

    // How long each keychain call may take (an unlock prompt counts).
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

    // The message of a failed add.
    static QString statusMessage(int status);

private:
    QFuture<SecurityStatus> add(const QByteArray& data, const QString& key, KeychainProtection protection);
    QFuture<KeychainLoadResult> load(const QString& key);

    std::unique_ptr<KeychainBackend> m_backend;
    std::chrono::milliseconds m_timeout = kDefaultTimeout;
    // Answers are taken in while this lives.
    QObject m_context;
};
