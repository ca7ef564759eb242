#pragma once

#include "model/Folder.h"
#include "model/Item.h"
#include "model/RecordContextAccess.h"
#include "model/Result.h"
#include "model/Tag.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// Everything the context loads at start.
struct LoadedLibrary {
    std::vector<std::unique_ptr<Folder>> folders;
    std::vector<std::unique_ptr<Tag>> tags;
    std::vector<std::unique_ptr<Item>> items;
    // Every item by id, built while loading; the context keeps it.
    QHash<QUuid, Item*> itemsById;
    // The library's change sequence the rows belong to.
    qint64 sequence = 0;
};

// Rows as another process left them, read back as plain values.
struct StoredFolder {
    QUuid id;
    RecordContextAccess::FolderRow fields;
    std::optional<QUuid> parentId;
    qint64 version = 0;
};
struct StoredTag {
    QUuid id;
    RecordContextAccess::TagRow fields;
    qint64 version = 0;
};
struct StoredItem {
    QUuid id;
    RecordContextAccess::ItemRow fields;
    std::optional<QUuid> folderId;
    QList<QUuid> tagIds; // in the item's order
    bool hasThumbnail = false;
    bool hasImage = false;
    qint64 version = 0;
};

// What other connections committed after a given point of the change
// sequence: the rows they wrote and the ids they deleted.
struct ExternalChanges {
    qint64 sequence = 0;
    QList<QUuid> deletedItems;
    QList<QUuid> deletedFolders;
    QList<QUuid> deletedTags;
    // Set when the deletion log no longer reaches back that far: then these
    // hold every id in the file, and whatever is missing was deleted.
    std::optional<QSet<QUuid>> liveItems;
    std::optional<QSet<QUuid>> liveFolders;
    std::optional<QSet<QUuid>> liveTags;
    std::vector<StoredFolder> folders;
    std::vector<StoredTag> tags;
    std::vector<StoredItem> items;
};

// What one save writes, gathered by the context from its dirty records.
// Each changed record comes with the fields that changed; a record in
// newRecords is inserted whole.
struct ChangeSet {
    template <typename T>
    struct Change {
        T* record;
        quint32 fields;
        // What to write, when it is not the record itself: a copy taken for
        // a save on another thread (the record is then only named, never read).
        const T* values = nullptr;
        const T& value() const { return values ? *values : *record; }
    };
    QList<Change<Folder>> folders;
    QList<Change<Tag>> tags;
    QList<Change<Item>> items;
    QHash<const Record*, quint64> newRecords;
    QList<QUuid> deletedItems;
    QList<QUuid> deletedFolders;
    QList<QUuid> deletedTags;
    // Every row of the file is deleted before the rest is written.
    bool deleteEverything = false;
    bool isEmpty() const
    {
        return !deleteEverything && folders.isEmpty() && tags.isEmpty() && items.isEmpty() && deletedItems.isEmpty()
               && deletedFolders.isEmpty() && deletedTags.isEmpty();
    }
};

// What a write found: the sequence number it wrote under, and the records
// whose rows were gone when it came to update them.
struct WriteReport {
    qint64 sequence = 0;
    QList<Item*> vanishedItems;
    QList<Folder*> vanishedFolders;
    QList<Tag*> vanishedTags;
};

// The SQLite file behind the library: schema, loading and transactional
// saves. Used from the main thread only.
//
// Several processes may use one file. Every committed write takes the next
// number of the file's change sequence and stamps it on the rows it writes
// (their version); deletions leave the number and the id in a log. A
// connection that knows the sequence number it last saw reads back exactly
// what others committed since.
class LibraryStore {
public:
    static constexpr int kSchemaMajor = 1;
    static constexpr int kSchemaMinor = 1;
    static constexpr int kSchemaPatch = 0;
    static QString schemaVersionText();

    ~LibraryStore();

    // Opens or creates the store. Never deletes, moves or rewrites a file it
    // cannot use: the file is checked before anything is written to it.
    static Result<std::unique_ptr<LibraryStore>> open(const QString& path);

    const QString& path() const { return m_path; }
    // Opened for reading only: the file, its folder or its log files cannot
    // be written by this user. Such a library is never changed.
    bool isReadOnly() const { return m_readOnly; }
    Result<LoadedLibrary> load();
    std::optional<QByteArray> loadBlob(const QUuid& itemId, BlobKind kind) const;
    void setBusyTimeout(int ms);

    // Transactions. A write transaction holds the file's write lock from
    // its start, so nothing another process commits can slip in between
    // reading its changes and writing over them.
    Status beginRead();
    enum class WriteMode {
        normal,
        // The write deletes every row first (ChangeSet::deleteEverything).
        wipe,
    };
    Status beginWrite(WriteMode mode = WriteMode::normal);
    Status commit();
    void rollback();

    // Whether another connection committed since this one last looked.
    bool externallyChanged();
    // Inside a transaction: what others committed after `since`.
    Result<ExternalChanges> readChanges(qint64 since);
    // Inside a write transaction: writes the change set under the next
    // sequence number. Changed records are updated field by field, and only
    // where the row still has the version the record knows.
    Result<WriteReport> write(const ChangeSet& changes);

private:
    // Writes pictures ahead of their records within its own transaction.
    friend class StoreAppender;

    LibraryStore() = default;
    Status exec(const char* sql);
    // Creates the tables of a new library, or finds that another process
    // just did. True when the file now holds a library.
    Status createSchema();
    Status migrate(int fromVersion);
    Status checkCompatible();
    Result<int> userVersion();
    QString lastError() const;
    sqlite3_stmt* prepare(const char* sql) const;
    sqlite3_stmt* prepare(const QByteArray& sql) const;
    void restoreCacheSize();
    void restoreForeignKeys();

    sqlite3* m_db = nullptr;
    QString m_path;
    mutable QHash<QByteArray, sqlite3_stmt*> m_statements;
    bool m_cacheEnlarged = false;
    bool m_foreignKeysOff = false;
    qint64 m_dataVersion = -1;
    bool m_readOnly = false;
    bool m_immutable = false;
    bool m_legacySchema = false;
};
