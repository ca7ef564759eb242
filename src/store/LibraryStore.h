#pragma once

#include "model/Folder.h"
#include "model/Item.h"
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
};

// What one save writes, gathered by the context from its dirty records.
struct ChangeSet {
    QList<Folder*> upsertFolders;
    QList<Tag*> upsertTags;
    QList<Item*> upsertItems;
    QSet<Item*> itemsWithTagChanges; // subset of upsertItems whose tag rows are rewritten
    QSet<const Record*> newRecords;  // never saved before: plain inserts, nothing to replace
    QList<QUuid> deletedItems;
    QList<QUuid> deletedFolders;
    QList<QUuid> deletedTags;
    bool isEmpty() const
    {
        return upsertFolders.isEmpty() && upsertTags.isEmpty() && upsertItems.isEmpty() && deletedItems.isEmpty()
               && deletedFolders.isEmpty() && deletedTags.isEmpty();
    }
};

// The SQLite file behind the library: schema, loading and transactional
// saves. Used from the main thread only.
class LibraryStore {
public:
    static constexpr int kSchemaMajor = 1;
    static constexpr int kSchemaMinor = 0;
    static constexpr int kSchemaPatch = 0;
    static QString schemaVersionText();

    ~LibraryStore();

    // Opens or creates the store. Never deletes, moves or rewrites a file it
    // cannot use: the file is checked before anything is written to it.
    static Result<std::unique_ptr<LibraryStore>> open(const QString& path);

    const QString& path() const { return m_path; }
    Result<LoadedLibrary> load();
    // Writes the change set in one transaction; on failure nothing is written.
    Status save(const ChangeSet& changes);
    std::optional<QByteArray> loadBlob(const QUuid& itemId, BlobKind kind) const;
    void setBusyTimeout(int ms);

private:
    LibraryStore() = default;
    Status exec(const char* sql);
    Status createSchema();
    Status checkCompatible();
    QString lastError() const;
    sqlite3_stmt* prepare(const char* sql) const;
    void restoreCacheSize();

    sqlite3* m_db = nullptr;
    QString m_path;
    mutable QHash<QByteArray, sqlite3_stmt*> m_statements;
    bool m_cacheEnlarged = false;
};
