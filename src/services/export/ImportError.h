#pragma once

#include <QString>

// The failures of reading export documents and backups back in, each with
// the text users see.
class ImportError {
public:
    enum class Kind {
        invalidFormat,
        unsupportedVersion,
        invalidPassphrase,
        decryptionFailed,
        // The document could not be decoded; the message says where and why.
        decodingFailed,
        // The library could not store the new records; the store's message.
        saveFailed,
    };

    static ImportError invalidFormat() { return {Kind::invalidFormat}; }
    static ImportError unsupportedVersion() { return {Kind::unsupportedVersion}; }
    static ImportError invalidPassphrase() { return {Kind::invalidPassphrase}; }
    static ImportError decryptionFailed() { return {Kind::decryptionFailed}; }
    static ImportError decodingFailed(QString message) { return {Kind::decodingFailed, std::move(message)}; }
    static ImportError saveFailed(QString message) { return {Kind::saveFailed, std::move(message)}; }

    Kind kind() const { return m_kind; }
    const QString& message() const { return m_message; }
    // The text shown to the user.
    QString description() const;

    bool operator==(const ImportError& other) const = default;

private:
    ImportError(Kind kind, QString message = {}) : m_kind(kind), m_message(std::move(message)) {}

    Kind m_kind;
    QString m_message;
};

// What an import added: the number of records of each kind in the document,
// which is also the number of records created.
struct ImportResult {
    bool success = false;
    qsizetype items = 0;
    qsizetype folders = 0;
    qsizetype tags = 0;
};
