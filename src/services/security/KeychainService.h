#pragma once

#include "SecurityError.h"

#include "platform/Keychain.h"

#include <QByteArray>
#include <QString>

#include <memory>

// The few secrets of the security services, kept in the desktop's keychain
// under one service name, one item per account. Every failure is a
// SecurityError::keychainError with a fixed message.
class KeychainService {
public:
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
    SecurityStatus saveItem(const QByteArray& data, const QString& key);
    // As saveItem, but released only after a user-presence check. Where the
    // keychain has no such check, fails as an unavailable keychain and writes nothing.
    SecurityStatus saveBiometricItem(const QByteArray& data, const QString& key);
    Result<QByteArray, SecurityError> loadItem(const QString& key);
    // Deleting an item that does not exist succeeds.
    SecurityStatus deleteItem(const QString& key);
    // Whether the item exists (true/false) or the keychain could not tell (the load failure).
    Result<bool, SecurityError> containsItem(const QString& key);

    bool supportsUserPresence() const;

    // The message of a failed add.
    static QString statusMessage(int status);

private:
    SecurityStatus add(const QByteArray& data, const QString& key, KeychainProtection protection);

    std::unique_ptr<KeychainBackend> m_backend;
};
