#pragma once

#include "ExportData.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

class Folder;
class Item;
class Tag;

// Plain values of the library's records, taken on the main thread, so an
// export can be encoded on a worker while the records go on changing. Texts
// are shared with the records (copies cost a reference count), dates are
// milliseconds, relationships are ids. Picture bytes are not copied: only
// whether an item has them.
struct LibrarySnapshot {
    struct ItemValues {
        QUuid id;
        QString typeRawValue;
        QString title;
        std::optional<QString> urlString;
        std::optional<QString> note;
        std::optional<QString> sourceDomain;
        QUuid folderId; // null when unfiled
        QList<QUuid> tagIds;
        bool isArchived = false;
        bool isFavorite = false;
        bool isRead = false;
        qint64 createdAt = 0;
        qint64 modifiedAt = 0;
        std::optional<qint64> accessedAt;
        std::optional<QString> sourceApp;
        std::optional<QByteArray> metadataJSON;
        bool hasImage = false;
        bool hasThumbnail = false;
    };
    struct FolderValues {
        QUuid id;
        QString name;
        QString iconName;
        QString colorHex;
        QUuid parentId;
        int sortOrder = 0;
        qint64 createdAt = 0;
        qint64 modifiedAt = 0;
    };
    struct TagValues {
        QUuid id;
        QString name;
        QString colorHex;
        int sortOrder = 0;
        qint64 createdAt = 0;
        qint64 modifiedAt = 0;
    };

    QList<ItemValues> items;
    QList<FolderValues> folders;
    QList<TagValues> tags;
    QDateTime exportDate;

    // Main thread. The export date is Clock::now().
    static LibrarySnapshot take(const QList<Item*>& items, const QList<Folder*>& folders, const QList<Tag*>& tags);

    // The document's records; any thread. Items come without picture bytes.
    // `complete` adds what only a backup carries (see ExportedItem).
    static ExportedItem record(const ItemValues& item, bool complete = false);
    static ExportedFolder record(const FolderValues& folder);
    static ExportedTag record(const TagValues& tag);
};
