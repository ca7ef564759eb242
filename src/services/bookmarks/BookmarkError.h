#pragma once

#include <QString>

// The failures of bookmark imports and exports, each with the text users see.
class BookmarkError {
public:
    enum class Kind {
        // The input is neither a bookmark file nor a browser's bookmarks.
        notBookmarkFile,
        // A file or profile could not be read; the message says which and why.
        readFailed,
        // The library could not store the new records; the store's message.
        saveFailed,
        // The export file could not be written.
        writeFailed,
        // The user called the work off; nothing was changed.
        canceled,
    };

    static BookmarkError notBookmarkFile() { return {Kind::notBookmarkFile}; }
    static BookmarkError readFailed(QString message) { return {Kind::readFailed, std::move(message)}; }
    static BookmarkError saveFailed(QString message) { return {Kind::saveFailed, std::move(message)}; }
    static BookmarkError writeFailed(QString message) { return {Kind::writeFailed, std::move(message)}; }
    static BookmarkError canceled() { return {Kind::canceled}; }

    Kind kind() const { return m_kind; }
    const QString& message() const { return m_message; }
    QString description() const;

    bool operator==(const BookmarkError& other) const = default;

private:
    BookmarkError(Kind kind, QString message = {}) : m_kind(kind), m_message(std::move(message)) {}

    Kind m_kind;
    QString m_message;
};
