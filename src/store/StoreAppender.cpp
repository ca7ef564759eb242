#include "StoreAppender.h"

#include "LibraryStore.h"

#include "model/RecordContextAccess.h"

#include <sqlite3.h>

using namespace Qt::StringLiterals;

Result<std::unique_ptr<StoreAppender>> StoreAppender::begin(const QString& storePath)
{
    using R = Result<std::unique_ptr<StoreAppender>>;
    auto opened = LibraryStore::open(storePath);
    if (!opened)
        return R::failure(opened.error());
    if (opened.value()->isReadOnly())
        return R::failure(u"The library “%1” is open read-only: changes cannot be saved."_s.arg(storePath));
    std::unique_ptr<StoreAppender> appender(new StoreAppender(std::move(opened).value()));
    LibraryStore& store = *appender->m_store;
    if (Status s = store.beginWrite(); !s)
        return R::failure(u"The library could not be saved (%1)."_s.arg(s.error()));
    // Pictures go in before the items they belong to.
    if (Status s = store.exec("PRAGMA defer_foreign_keys=ON"); !s)
        return R::failure(u"The library could not be saved (%1)."_s.arg(s.error()));
    return R(std::move(appender));
}

StoreAppender::StoreAppender(std::unique_ptr<LibraryStore> store) : m_store(std::move(store)) {}

StoreAppender::~StoreAppender()
{
    if (!m_committed)
        m_store->rollback();
}

Status StoreAppender::writePictures(Item& item)
{
    const auto failed = [this] {
        return Status::failure(
            u"The library could not be saved (writing item pictures: %1)."_s.arg(m_store->lastError()));
    };
    // The row is made with room for the picture, which is then written
    // into it in place: the statement never builds a copy of it.
    sqlite3_stmt* st = m_store->prepare("INSERT OR REPLACE INTO ItemBlob(itemId, kind, data) VALUES(?, ?, ?)");
    if (!st)
        return failed();
    const QByteArray id = item.id().toRfc4122();
    for (BlobKind kind : {BlobKind::thumbnail, BlobKind::image}) {
        const QByteArray* bytes = RecordContextAccess::pendingBlob(item, kind);
        if (!RecordContextAccess::blobDirty(item, kind) || !bytes)
            continue;
        sqlite3_bind_blob(st, 1, id.constData(), int(id.size()), SQLITE_STATIC);
        sqlite3_bind_int(st, 2, int(kind));
        sqlite3_bind_zeroblob64(st, 3, sqlite3_uint64(bytes->size()));
        const bool inserted = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
        if (!inserted)
            return failed();
        if (!bytes->isEmpty()) {
            sqlite3_blob* blob = nullptr;
            const bool written = sqlite3_blob_open(m_store->m_db, "main", "ItemBlob", "data",
                                                   sqlite3_last_insert_rowid(m_store->m_db), 1, &blob)
                                     == SQLITE_OK
                                 && sqlite3_blob_write(blob, bytes->constData(), int(bytes->size()), 0) == SQLITE_OK;
            if (sqlite3_blob_close(blob) != SQLITE_OK || !written)
                return failed();
        }
        RecordContextAccess::blobSaved(item, kind);
    }
    return {};
}

Status StoreAppender::writeRecords(const std::vector<std::unique_ptr<Folder>>& folders,
                                   const std::vector<std::unique_ptr<Tag>>& tags,
                                   const std::vector<std::unique_ptr<Item>>& items)
{
    ChangeSet changes;
    quint64 serial = 0;
    for (const auto& folder : folders) {
        changes.folders.append({folder.get(), 0});
        changes.newRecords.insert(folder.get(), serial++);
    }
    for (const auto& tag : tags) {
        changes.tags.append({tag.get(), 0});
        changes.newRecords.insert(tag.get(), serial++);
    }
    for (const auto& item : items) {
        changes.items.append({item.get(), 0});
        changes.newRecords.insert(item.get(), serial++);
    }
    if (changes.isEmpty())
        return {};
    auto written = m_store->write(changes);
    if (!written)
        return Status::failure(written.error());
    return {};
}

Status StoreAppender::commit()
{
    if (Status s = m_store->commit(); !s)
        return Status::failure(u"The library could not be saved (%1)."_s.arg(s.error()));
    m_committed = true;
    return {};
}
