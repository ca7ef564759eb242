#include "StoreAppender.h"

#include "LibraryStore.h"

#include "model/RecordContextAccess.h"

#include <sqlite3.h>

#include <algorithm>
#include <utility>

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
    if (Status s = appender->growCache(0); !s)
        return R::failure(u"The library could not be saved (%1)."_s.arg(s.error()));
    return R(std::move(appender));
}

StoreAppender::StoreAppender(std::unique_ptr<LibraryStore> store) : m_store(std::move(store)) {}

StoreAppender::~StoreAppender()
{
    if (!m_committed)
        m_store->rollback();
}

QString StoreAppender::failure(const char* what) const
{
    return u"The library could not be saved (%1: %2)."_s.arg(QLatin1StringView(what), m_store->lastError());
}

Status StoreAppender::writePictures(Item& item)
{
    for (BlobKind kind : {BlobKind::thumbnail, BlobKind::image}) {
        const QByteArray* bytes = RecordContextAccess::pendingBlob(item, kind);
        if (!RecordContextAccess::blobDirty(item, kind) || !bytes)
            continue;
        bool given = false;
        auto written = writePicture(item.id(), kind, bytes->size(), [&](QByteArrayView& piece) {
            piece = *bytes;
            return !std::exchange(given, true);
        });
        if (!written)
            return Status::failure(written.error());
        RecordContextAccess::blobSaved(item, kind);
    }
    return {};
}

Result<bool> StoreAppender::writePicture(const QUuid& itemId, BlobKind kind, qsizetype size, const NextPiece& next)
{
    using R = Result<bool>;
    // The row is made with room for the picture, which is then written
    // into it in place: the statement never builds a copy of it.
    sqlite3_stmt* st = m_store->prepare("INSERT OR REPLACE INTO ItemBlob(itemId, kind, data) VALUES(?, ?, ?)");
    if (!st)
        return R::failure(failure("writing item pictures"));
    const QByteArray id = itemId.toRfc4122();
    sqlite3_bind_blob(st, 1, id.constData(), int(id.size()), SQLITE_STATIC);
    sqlite3_bind_int(st, 2, int(kind));
    sqlite3_bind_zeroblob64(st, 3, sqlite3_uint64(size));
    const bool inserted = sqlite3_step(st) == SQLITE_DONE;
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (!inserted)
        return R::failure(failure("writing item pictures"));
    if (size == 0)
        return true;
    if (!growCache(size))
        return R::failure(failure("sizing the cache"));
    sqlite3_blob* blob = nullptr;
    if (sqlite3_blob_open(m_store->m_db, "main", "ItemBlob", "data", sqlite3_last_insert_rowid(m_store->m_db), 1, &blob)
        != SQLITE_OK) {
        sqlite3_blob_close(blob);
        return R::failure(failure("writing item pictures"));
    }
    qsizetype at = 0;
    bool bad = false;
    bool written = true;
    while (at < size && written) {
        QByteArrayView piece;
        if (!next(piece) || piece.isEmpty() || piece.size() > size - at) {
            bad = true;
            break;
        }
        // The row holds `size` bytes, so SQLite's length limit (below
        // INT_MAX) holds for pieces and offsets.
        written = sqlite3_blob_write(blob, piece.data(), int(piece.size()), int(at)) == SQLITE_OK;
        at += piece.size();
    }
    if (sqlite3_blob_close(blob) != SQLITE_OK || !written)
        return R::failure(failure("writing item pictures"));
    if (!bad)
        return true;
    if (Status removed = removePicture(itemId, kind); !removed)
        return R::failure(removed.error());
    return false;
}

Status StoreAppender::growCache(qsizetype pictureSize)
{
    // The pages of the new row, zeros until the picture is written into
    // them, stay in the cache meanwhile: were they spilled to the log, they
    // would be read back and written twice. So the cache holds the largest
    // picture (an eighth more for the table's own pages), and no more: the
    // pages of earlier pictures may spill.
    constexpr qsizetype kLeast = 2 << 20;
    const qsizetype wanted = std::max(kLeast, pictureSize + pictureSize / 8);
    if (wanted <= m_cacheSize)
        return {};
    const QByteArray pragma = "PRAGMA cache_size=-" + QByteArray::number((wanted + 1023) / 1024);
    if (Status s = m_store->exec(pragma.constData()); !s)
        return s;
    m_cacheSize = wanted;
    return {};
}

Status StoreAppender::removePicture(const QUuid& itemId, BlobKind kind)
{
    sqlite3_stmt* st = m_store->prepare("DELETE FROM ItemBlob WHERE itemId = ? AND kind = ?");
    if (!st)
        return Status::failure(failure("removing an item picture"));
    const QByteArray id = itemId.toRfc4122();
    sqlite3_bind_blob(st, 1, id.constData(), int(id.size()), SQLITE_STATIC);
    sqlite3_bind_int(st, 2, int(kind));
    const bool removed = sqlite3_step(st) == SQLITE_DONE;
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    return removed ? Status() : Status::failure(failure("removing an item picture"));
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
