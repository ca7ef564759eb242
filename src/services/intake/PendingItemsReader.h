#pragma once

#include "PendingItemFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// What one queue entry makes, worked out off the main thread: the checks on
// its files, and its picture read.
struct PreparedPendingItem {
    enum class Kind {
        none,     // no item: the entry is removed
        web,      // a usable "url"
        picture,  // "imageFileName", read
        document, // "filePath", an existing file inside the queue folder
        skipped,  // not an entry after all (gone, or a folder): left alone
    };
    Kind kind = Kind::none;
    QString entryName; // the JSON file, directly inside the queue folder
    PendingItem entry;
    QUrl url;                            // web: the address; document: the file
    QString pictureName;                 // picture: removed with the entry
    QByteArray pictureBytes;             // picture: the file as it is
    std::optional<QByteArray> image;     // picture: compressImage's result
    std::optional<QByteArray> thumbnail; // picture: generateThumbnail's result
    QString reason;                      // none: why (for the console)
};

// Reads the queue folder. Nothing here follows a link or a name out of the
// folder, and nothing outside it is opened for writing or removed.
class PendingItemsReader {
public:
    // Pictures larger than this are not taken in (their entry is removed,
    // the picture stays).
    static constexpr qint64 kMaxPictureBytes = 64 * 1024 * 1024;

    explicit PendingItemsReader(const QString& queueDirectory);
    ~PendingItemsReader();
    PendingItemsReader(const PendingItemsReader&) = delete;
    PendingItemsReader& operator=(const PendingItemsReader&) = delete;

    // Whether the folder could be opened (a missing folder is no queue).
    bool isOpen() const { return m_fd >= 0; }
    // The entries, in the folder's own order: names ending in ".json" (case
    // matters) that are not hidden.
    QStringList entries() const;
    PreparedPendingItem prepare(const QString& entryName) const;

private:
    std::optional<QByteArray> readEntryFile(const QString& name, PreparedPendingItem& out) const;
    void preparePicture(const QString& name, PreparedPendingItem& out) const;
    void prepareDocument(const QString& relativePath, PreparedPendingItem& out) const;

    QString m_path;
    QString m_canonicalPath;
    int m_fd = -1;
};
