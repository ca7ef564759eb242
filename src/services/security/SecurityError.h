#pragma once

#include "model/Result.h"

#include <QString>

// The failures of the security services, each with a fixed user-facing text.
class SecurityError {
public:
    enum class Kind {
        keychainError,
        encryptionFailed,
        decryptionFailed,
        keyNotFound,
        keyNotAvailable,
        invalidPassphrase,
        invalidData,
        biometricNotAvailable,
        biometricFailed,
    };

    static SecurityError keychainError(QString message) { return {Kind::keychainError, std::move(message)}; }
    static SecurityError encryptionFailed() { return {Kind::encryptionFailed}; }
    static SecurityError decryptionFailed() { return {Kind::decryptionFailed}; }
    static SecurityError keyNotFound() { return {Kind::keyNotFound}; }
    static SecurityError keyNotAvailable() { return {Kind::keyNotAvailable}; }
    static SecurityError invalidPassphrase() { return {Kind::invalidPassphrase}; }
    static SecurityError invalidData() { return {Kind::invalidData}; }
    static SecurityError biometricNotAvailable() { return {Kind::biometricNotAvailable}; }
    static SecurityError biometricFailed() { return {Kind::biometricFailed}; }

    Kind kind() const { return m_kind; }
    // The keychain's message (keychainError only).
    const QString& message() const { return m_message; }
    // The text shown to the user.
    QString description() const;
    // For console lines: the case and its message, e.g. keychainError("Load failed: -25300").
    QString debugText() const;

    bool operator==(const SecurityError& other) const = default;

private:
    SecurityError(Kind kind, QString message = {}) : m_kind(kind), m_message(std::move(message)) {}

    Kind m_kind;
    QString m_message;
};

using SecurityStatus = Result<void, SecurityError>;
