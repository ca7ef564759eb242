#pragma once

#include <QString>

// Application errors with the texts users see.
class AppError {
public:
    enum class Kind {
        networkError,
        storageError,
        encryptionError,
        importError,
        exportError,
        unknown,
        invalidURL,
        metadataFetchFailed
    };

    static AppError networkError(const QString& message) { return {Kind::networkError, message}; }
    static AppError storageError(const QString& message) { return {Kind::storageError, message}; }
    static AppError encryptionError(const QString& message) { return {Kind::encryptionError, message}; }
    static AppError importError(const QString& message) { return {Kind::importError, message}; }
    static AppError exportError(const QString& message) { return {Kind::exportError, message}; }
    static AppError unknown(const QString& message) { return {Kind::unknown, message}; }
    static AppError invalidURL() { return {Kind::invalidURL, {}}; }
    static AppError metadataFetchFailed() { return {Kind::metadataFetchFailed, {}}; }

    Kind kind() const { return m_kind; }
    const QString& message() const { return m_message; }
    QString description() const;
    QString recoverySuggestion() const;
    // Errors with the same identifier are the same error.
    QString identifier() const;

    bool operator==(const AppError& other) const { return identifier() == other.identifier(); }

private:
    AppError(Kind kind, QString message) : m_kind(kind), m_message(std::move(message)) {}
    Kind m_kind;
    QString m_message;
};
