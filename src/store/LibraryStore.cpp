#include "LibraryStore.h"

#include "model/Clock.h"
#include "model/RecordContextAccess.h"

#include <QDir>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTimeZone>
#include <QtEndian>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// 16 MiB of page cache; a large save raises it for its own duration.
constexpr const char* kCacheSizePragma = "PRAGMA cache_size=-16384";
constexpr const char* kLargeSaveCachePragma = "PRAGMA cache_size=-262144";
constexpr qsizetype kLargeSaveRecords = 20000;

constexpr int kUserVersion =
    LibraryStore::kSchemaMajor * 10000 + LibraryStore::kSchemaMinor * 100 + LibraryStore::kSchemaPatch;

const char* const kSchema = R"sql(
CREATE TABLE StoreInfo(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE Folder(
  id BLOB PRIMARY KEY NOT NULL,
  name TEXT NOT NULL,
  iconName TEXT NOT NULL,
  colorHex TEXT NOT NULL,
  sortOrder INTEGER NOT NULL,
  createdAt INTEGER NOT NULL,
  modifiedAt INTEGER NOT NULL,
  parentId BLOB REFERENCES Folder(id) ON DELETE CASCADE);
CREATE INDEX FolderParent ON Folder(parentId);
CREATE TABLE Tag(
  id BLOB PRIMARY KEY NOT NULL,
  name TEXT NOT NULL,
  colorHex TEXT NOT NULL,
  sortOrder INTEGER NOT NULL,
  createdAt INTEGER NOT NULL,
  modifiedAt INTEGER NOT NULL);
CREATE TABLE Item(
  id BLOB PRIMARY KEY NOT NULL,
  typeRawValue TEXT NOT NULL,
  urlString TEXT,
  title TEXT NOT NULL,
  note TEXT,
  metadataJSON BLOB,
  sourceDomain TEXT,
  sourceApp TEXT,
  folderId BLOB REFERENCES Folder(id) ON DELETE SET NULL,
  isArchived INTEGER NOT NULL,
  isFavorite INTEGER NOT NULL,
  isRead INTEGER NOT NULL,
  createdAt INTEGER NOT NULL,
  modifiedAt INTEGER NOT NULL,
  accessedAt INTEGER);
CREATE INDEX ItemFolder ON Item(folderId);
CREATE TABLE ItemTag(
  itemId BLOB NOT NULL REFERENCES Item(id) ON DELETE CASCADE,
  position INTEGER NOT NULL,
  tagId BLOB NOT NULL REFERENCES Tag(id) ON DELETE CASCADE,
  PRIMARY KEY(itemId, position)) WITHOUT ROWID;
CREATE INDEX ItemTagTag ON ItemTag(tagId);
CREATE TABLE ItemBlob(
  itemId BLOB NOT NULL REFERENCES Item(id) ON DELETE CASCADE,
  kind INTEGER NOT NULL,
  data BLOB NOT NULL,
  PRIMARY KEY(itemId, kind));
)sql";

QUuid uuidFrom(sqlite3_stmt* st, int col)
{
    const int n = sqlite3_column_bytes(st, col);
    if (n != 16)
        return {};
    return QUuid::fromRfc4122(QByteArrayView(static_cast<const char*>(sqlite3_column_blob(st, col)), n));
}

QString textFrom(sqlite3_stmt* st, int col)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
    return QString::fromUtf8(text, sqlite3_column_bytes(st, col));
}

std::optional<QString> optionalText(sqlite3_stmt* st, int col)
{
    if (sqlite3_column_type(st, col) == SQLITE_NULL)
        return std::nullopt;
    return textFrom(st, col);
}

QDateTime dateFrom(sqlite3_stmt* st, int col)
{
    return Clock::fromMSecsUtc(sqlite3_column_int64(st, col));
}

std::optional<QDateTime> optionalDate(sqlite3_stmt* st, int col)
{
    if (sqlite3_column_type(st, col) == SQLITE_NULL)
        return std::nullopt;
    return dateFrom(st, col);
}

// A UUID's 16 bytes (RFC 4122 order) on the stack.
struct UuidBytes {
    explicit UuidBytes(const QUuid& id)
    {
        qToBigEndian(id.data1, bytes);
        qToBigEndian(id.data2, bytes + 4);
        qToBigEndian(id.data3, bytes + 6);
        std::memcpy(bytes + 8, id.data4, 8);
    }
    void bind(sqlite3_stmt* st, int i) const { sqlite3_bind_blob(st, i, bytes, 16, SQLITE_TRANSIENT); }
    // Without a copy: the object outlives the statement's next step.
    void bindInPlace(sqlite3_stmt* st, int i) const { sqlite3_bind_blob(st, i, bytes, 16, SQLITE_STATIC); }
    unsigned char bytes[16];
};

// Binding helpers; the statement copies every value (SQLITE_TRANSIENT).
void bindUuid(sqlite3_stmt* st, int i, const QUuid& id)
{
    UuidBytes(id).bind(st, i);
}
void bindOptionalUuid(sqlite3_stmt* st, int i, const Record* record)
{
    if (record)
        bindUuid(st, i, record->id());
    else
        sqlite3_bind_null(st, i);
}
void bindBytes(sqlite3_stmt* st, int i, const QByteArray& bytes)
{
    sqlite3_bind_blob64(st, i, bytes.constData(), sqlite3_uint64(bytes.size()), SQLITE_TRANSIENT);
}
void bindOptionalBytes(sqlite3_stmt* st, int i, const std::optional<QByteArray>& bytes)
{
    if (bytes)
        bindBytes(st, i, *bytes);
    else
        sqlite3_bind_null(st, i);
}
void bindDate(sqlite3_stmt* st, int i, const QDateTime& date)
{
    sqlite3_bind_int64(st, i, date.toMSecsSinceEpoch());
}
void bindOptionalDate(sqlite3_stmt* st, int i, const std::optional<QDateTime>& date)
{
    if (date)
        bindDate(st, i, *date);
    else
        sqlite3_bind_null(st, i);
}

// UTF-8 texts for one save, one reusable buffer per parameter, bound
// without a further copy (SQLITE_STATIC). A buffer stays as it is until the
// same parameter is bound again, and every row binds all its parameters
// before its step; the bindings are cleared before the buffers go.
class TextBindings {
public:
    void bind(sqlite3_stmt* st, int i, const QString& text)
    {
        if (text.isEmpty()) {
            sqlite3_bind_text(st, i, "", 0, SQLITE_STATIC);
            return;
        }
        QByteArray& buffer = m_buffers[size_t(i)];
        buffer.resize(m_encoder.requiredSpace(text.size()));
        const char* end = m_encoder.appendToBuffer(buffer.data(), text);
        sqlite3_bind_text64(st, i, buffer.constData(), sqlite3_uint64(end - buffer.constData()), SQLITE_STATIC,
                            SQLITE_UTF8);
    }
    void bind(sqlite3_stmt* st, int i, const std::optional<QString>& text)
    {
        if (text)
            bind(st, i, *text);
        else
            sqlite3_bind_null(st, i);
    }

private:
    QStringEncoder m_encoder{QStringEncoder::Utf8, QStringEncoder::Flag::Stateless};
    std::array<QByteArray, 16> m_buffers;
};

// Resets a cached statement when it goes out of scope.
struct StatementScope {
    sqlite3_stmt* st;
    ~StatementScope()
    {
        if (st) {
            sqlite3_reset(st);
            sqlite3_clear_bindings(st);
        }
    }
};

} // namespace

QString LibraryStore::schemaVersionText()
{
    return u"%1.%2.%3"_s.arg(kSchemaMajor).arg(kSchemaMinor).arg(kSchemaPatch);
}

LibraryStore::~LibraryStore()
{
    for (sqlite3_stmt* st : std::as_const(m_statements))
        sqlite3_finalize(st);
    if (m_db)
        sqlite3_close(m_db);
}

QString LibraryStore::lastError() const
{
    return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : u"out of memory"_s;
}

Status LibraryStore::exec(const char* sql)
{
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const QString error = message ? QString::fromUtf8(message) : lastError();
        sqlite3_free(message);
        return Status::failure(error);
    }
    return {};
}

sqlite3_stmt* LibraryStore::prepare(const char* sql) const
{
    const QByteArray key(sql);
    if (sqlite3_stmt* cached = m_statements.value(key))
        return cached;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK)
        return nullptr;
    m_statements.insert(key, st);
    return st;
}

Result<std::unique_ptr<LibraryStore>> LibraryStore::open(const QString& path)
{
    using R = Result<std::unique_ptr<LibraryStore>>;
    const QFileInfo info(path);
    const QString dirPath = info.absolutePath();
    if (!QDir().mkpath(dirPath))
        return R::failure(u"The folder “%1” cannot be created."_s.arg(dirPath));
    const QFileInfo dirInfo(dirPath);
    if (!dirInfo.isReadable() || !dirInfo.isExecutable())
        return R::failure(u"The folder “%1” cannot be read."_s.arg(dirPath));
    if (info.exists() && !info.isFile())
        return R::failure(u"“%1” is not a file."_s.arg(path));

    std::unique_ptr<LibraryStore> store(new LibraryStore);
    store->m_path = info.absoluteFilePath();
    const QByteArray nativePath = QFile::encodeName(store->m_path);
    const int rc = sqlite3_open_v2(nativePath.constData(), &store->m_db,
                                   // One thread uses the connection (see the class): no locking per call.
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK)
        return R::failure(u"The library file “%1” cannot be opened (%2)."_s.arg(path, store->lastError()));
    sqlite3_extended_result_codes(store->m_db, 1);
    sqlite3_busy_timeout(store->m_db, 5000);

    // Read-only checks first: nothing may be written to a file we reject.
    if (Status compatible = store->checkCompatible(); !compatible)
        return R::failure(compatible.error());
    if (sqlite3_db_readonly(store->m_db, "main") == 1)
        return R::failure(u"The library file “%1” is read-only."_s.arg(path));

    for (const char* pragma :
         {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON", kCacheSizePragma}) {
        if (Status s = store->exec(pragma); !s)
            return R::failure(u"The library file “%1” cannot be used (%2)."_s.arg(path, s.error()));
    }
    return R(std::move(store));
}

Status LibraryStore::checkCompatible()
{
    sqlite3_stmt* st = nullptr;
    auto fail = [&](const QString& why) {
        if (st)
            sqlite3_finalize(st);
        return Status::failure(why);
    };
    if (sqlite3_prepare_v2(m_db, "PRAGMA user_version", -1, &st, nullptr) != SQLITE_OK
        || sqlite3_step(st) != SQLITE_ROW)
        return fail(u"The library file “%1” is damaged or is not a library (%2)."_s.arg(m_path, lastError()));
    const int userVersion = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    st = nullptr;

    if (sqlite3_prepare_v2(m_db, "SELECT count(*), sum(name = 'StoreInfo') FROM sqlite_schema WHERE type = 'table'", -1,
                           &st, nullptr)
            != SQLITE_OK
        || sqlite3_step(st) != SQLITE_ROW)
        return fail(u"The library file “%1” is damaged or is not a library (%2)."_s.arg(m_path, lastError()));
    const int tables = sqlite3_column_int(st, 0);
    const bool hasInfo = sqlite3_column_int(st, 1) > 0;
    sqlite3_finalize(st);
    st = nullptr;

    if (tables == 0 && userVersion == 0)
        return createSchema();
    if (!hasInfo)
        return fail(u"The file “%1” is not a Folionest library."_s.arg(m_path));
    if (userVersion > kUserVersion) {
        const QString found =
            u"%1.%2.%3"_s.arg(userVersion / 10000).arg(userVersion / 100 % 100).arg(userVersion % 100);
        return fail(
            u"The library “%1” was written by a newer version of Folionest (schema %2; this version reads %3)."_s.arg(
                m_path, found, schemaVersionText()));
    }
    // Make sure the tables can be read at all (a damaged file fails here).
    if (sqlite3_prepare_v2(m_db, "SELECT count(*) FROM Item", -1, &st, nullptr) != SQLITE_OK
        || sqlite3_step(st) != SQLITE_ROW)
        return fail(u"The library file “%1” is damaged (%2)."_s.arg(m_path, lastError()));
    sqlite3_finalize(st);
    return {};
}

Status LibraryStore::createSchema()
{
    if (sqlite3_db_readonly(m_db, "main") == 1)
        return Status::failure(u"The library file “%1” is read-only."_s.arg(m_path));
    // WAL before the first table, so the new file never uses a rollback journal.
    if (Status s = exec("PRAGMA journal_mode=WAL"); !s)
        return Status::failure(u"The library file “%1” cannot be created (%2)."_s.arg(m_path, s.error()));
    const QByteArray sql = QByteArray("BEGIN;") + kSchema
                           + QByteArray("INSERT INTO StoreInfo VALUES('application','Folionest');"
                                        "INSERT INTO StoreInfo VALUES('schema','Item,Folder,Tag');"
                                        "INSERT INTO StoreInfo VALUES('schemaVersion','")
                           + schemaVersionText().toLatin1()
                           + "');PRAGMA user_version=" + QByteArray::number(kUserVersion) + ";COMMIT;";
    if (Status s = exec(sql.constData()); !s) {
        (void)exec("ROLLBACK");
        return Status::failure(u"The library file “%1” cannot be created (%2)."_s.arg(m_path, s.error()));
    }
    return {};
}

Result<LoadedLibrary> LibraryStore::load()
{
    using R = Result<LoadedLibrary>;
    LoadedLibrary lib;
    auto failed = [&] { return R::failure(u"The library cannot be read (%1)."_s.arg(lastError())); };

    // Folders, then their parent links once every folder exists.
    QHash<QUuid, Folder*> folders;
    QList<std::pair<Folder*, QUuid>> parentLinks;
    {
        sqlite3_stmt* st = prepare("SELECT id, name, iconName, colorHex, sortOrder, createdAt, modifiedAt, parentId "
                                   "FROM Folder ORDER BY rowid");
        if (!st)
            return failed();
        StatementScope scope{st};
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            auto folder = RecordContextAccess::makeFolder(uuidFrom(st, 0));
            RecordContextAccess::fill(*folder, {textFrom(st, 1), textFrom(st, 2), textFrom(st, 3),
                                                sqlite3_column_int(st, 4), dateFrom(st, 5), dateFrom(st, 6)});
            if (sqlite3_column_type(st, 7) != SQLITE_NULL)
                parentLinks.append({folder.get(), uuidFrom(st, 7)});
            folders.insert(folder->id(), folder.get());
            lib.folders.push_back(std::move(folder));
        }
        if (rc != SQLITE_DONE)
            return failed();
    }
    for (const auto& [folder, parentId] : std::as_const(parentLinks)) {
        Folder* parent = folders.value(parentId);
        // A damaged link (missing parent, or a loop) leaves the folder at the top.
        if (parent && parent != folder && !folder->isAncestorOf(parent))
            RecordContextAccess::linkParent(*folder, parent);
    }

    QHash<QUuid, Tag*> tags;
    {
        sqlite3_stmt* st =
            prepare("SELECT id, name, colorHex, sortOrder, createdAt, modifiedAt FROM Tag ORDER BY rowid");
        if (!st)
            return failed();
        StatementScope scope{st};
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            auto tag = RecordContextAccess::makeTag(uuidFrom(st, 0));
            RecordContextAccess::fill(
                *tag, {textFrom(st, 1), textFrom(st, 2), sqlite3_column_int(st, 3), dateFrom(st, 4), dateFrom(st, 5)});
            tags.insert(tag->id(), tag.get());
            lib.tags.push_back(std::move(tag));
        }
        if (rc != SQLITE_DONE)
            return failed();
    }

    QHash<QUuid, Item*>& items = lib.itemsById;
    // Items of one site share one host string.
    QHash<QString, QString> domains;
    {
        sqlite3_stmt* st = prepare("SELECT id, typeRawValue, urlString, title, note, metadataJSON, sourceDomain, "
                                   "sourceApp, folderId, isArchived, isFavorite, isRead, createdAt, modifiedAt, "
                                   "accessedAt FROM Item ORDER BY rowid");
        if (!st)
            return failed();
        StatementScope scope{st};
        const qint64 count = [&] {
            sqlite3_stmt* c = prepare("SELECT count(*) FROM Item");
            StatementScope cs{c};
            return c && sqlite3_step(c) == SQLITE_ROW ? sqlite3_column_int64(c, 0) : 0;
        }();
        lib.items.reserve(size_t(count));
        items.reserve(count);
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            auto item = RecordContextAccess::makeItem(uuidFrom(st, 0));
            RecordContextAccess::ItemRow row;
            row.typeRawValue = textFrom(st, 1);
            row.urlString = optionalText(st, 2);
            row.title = textFrom(st, 3);
            row.note = optionalText(st, 4);
            if (sqlite3_column_type(st, 5) != SQLITE_NULL)
                row.metadataJSON =
                    QByteArray(static_cast<const char*>(sqlite3_column_blob(st, 5)), sqlite3_column_bytes(st, 5));
            if (auto domain = optionalText(st, 6)) {
                auto it = domains.constFind(*domain);
                if (it == domains.constEnd())
                    it = domains.insert(*domain, *domain);
                row.sourceDomain = it.value();
            }
            row.sourceApp = optionalText(st, 7);
            row.isArchived = sqlite3_column_int(st, 9) != 0;
            row.isFavorite = sqlite3_column_int(st, 10) != 0;
            row.isRead = sqlite3_column_int(st, 11) != 0;
            row.createdAt = dateFrom(st, 12);
            row.modifiedAt = dateFrom(st, 13);
            row.accessedAt = optionalDate(st, 14);
            RecordContextAccess::fill(*item, std::move(row));
            if (sqlite3_column_type(st, 8) != SQLITE_NULL)
                RecordContextAccess::linkFolder(*item, folders.value(uuidFrom(st, 8)));
            items.insert(item->id(), item.get());
            lib.items.push_back(std::move(item));
        }
        if (rc != SQLITE_DONE)
            return failed();
    }

    {
        sqlite3_stmt* st = prepare("SELECT itemId, tagId FROM ItemTag ORDER BY itemId, position");
        if (!st)
            return failed();
        StatementScope scope{st};
        int rc;
        Item* current = nullptr;
        QUuid currentId;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            const QUuid itemId = uuidFrom(st, 0);
            if (itemId != currentId) {
                currentId = itemId;
                current = items.value(itemId);
            }
            Tag* tag = tags.value(uuidFrom(st, 1));
            if (current && tag && !current->hasTag(tag->id()))
                RecordContextAccess::linkTag(*current, tag);
        }
        if (rc != SQLITE_DONE)
            return failed();
    }

    {
        sqlite3_stmt* st = prepare("SELECT itemId, kind FROM ItemBlob");
        if (!st)
            return failed();
        StatementScope scope{st};
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            const int kind = sqlite3_column_int(st, 1);
            if (Item* item = items.value(uuidFrom(st, 0)); item && (kind == 0 || kind == 1))
                RecordContextAccess::setBlobPresent(*item, BlobKind(kind), true);
        }
        if (rc != SQLITE_DONE)
            return failed();
    }
    return R(std::move(lib));
}

void LibraryStore::setBusyTimeout(int ms)
{
    sqlite3_busy_timeout(m_db, ms);
}

std::optional<QByteArray> LibraryStore::loadBlob(const QUuid& itemId, BlobKind kind) const
{
    sqlite3_stmt* st = prepare("SELECT data FROM ItemBlob WHERE itemId = ? AND kind = ?");
    if (!st)
        return std::nullopt;
    StatementScope scope{st};
    bindUuid(st, 1, itemId);
    sqlite3_bind_int(st, 2, int(kind));
    if (sqlite3_step(st) != SQLITE_ROW)
        return std::nullopt;
    return QByteArray(static_cast<const char*>(sqlite3_column_blob(st, 0)), sqlite3_column_bytes(st, 0));
}

Status LibraryStore::save(const ChangeSet& changes)
{
    if (changes.isEmpty())
        return {};
    auto fail = [&](const char* what) {
        const QString error = lastError();
        (void)exec("ROLLBACK");
        restoreCacheSize();
        return Status::failure(u"The library could not be saved (%1: %2)."_s.arg(QLatin1StringView(what), error));
    };
    auto step = [](sqlite3_stmt* st) {
        const bool done = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
        return done;
    };
    TextBindings texts;
    // The cached statements keep no copies of texts or pictures after the save.
    struct Bindings {
        LibraryStore* store;
        ~Bindings()
        {
            for (sqlite3_stmt* st : std::as_const(store->m_statements))
                sqlite3_clear_bindings(st);
        }
    } bindings{this};

    if (Status s = exec("BEGIN IMMEDIATE"); !s)
        return Status::failure(u"The library could not be saved (%1)."_s.arg(s.error()));
    // Parents may be written after their children within one save.
    if (Status s = exec("PRAGMA defer_foreign_keys=ON"); !s)
        return fail("deferring checks");
    // A large save (an import, a new library) would otherwise spill pages to
    // the log and read them back while it inserts.
    const qsizetype records = changes.upsertItems.size() + changes.upsertFolders.size() + changes.upsertTags.size();
    if (records > kLargeSaveRecords) {
        if (Status s = exec(kLargeSaveCachePragma); !s)
            return fail("sizing the cache");
        m_cacheEnlarged = true;
    }

    const auto deleteRows = [&](const QList<QUuid>& ids, const char* sql) {
        sqlite3_stmt* st = prepare(sql);
        if (!st)
            return false;
        for (const QUuid& id : ids) {
            bindUuid(st, 1, id);
            if (!step(st))
                return false;
        }
        return true;
    };
    if (!deleteRows(changes.deletedItems, "DELETE FROM Item WHERE id = ?"))
        return fail("deleting an item");
    if (!deleteRows(changes.deletedTags, "DELETE FROM Tag WHERE id = ?"))
        return fail("deleting a tag");
    if (!deleteRows(changes.deletedFolders, "DELETE FROM Folder WHERE id = ?"))
        return fail("deleting a folder");

    // New records are plain inserts; the others replace their row.
    if (!changes.upsertFolders.isEmpty()) {
        sqlite3_stmt* insert =
            prepare("INSERT INTO Folder(id, name, iconName, colorHex, sortOrder, createdAt, modifiedAt, parentId) "
                    "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
        sqlite3_stmt* upsert =
            prepare("INSERT INTO Folder(id, name, iconName, colorHex, sortOrder, createdAt, modifiedAt, parentId) "
                    "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8) ON CONFLICT(id) DO UPDATE SET name = ?2, iconName = ?3, "
                    "colorHex = ?4, sortOrder = ?5, createdAt = ?6, modifiedAt = ?7, parentId = ?8");
        if (!insert || !upsert)
            return fail("writing a folder");
        for (const Folder* f : changes.upsertFolders) {
            sqlite3_stmt* st = changes.newRecords.contains(f) ? insert : upsert;
            bindUuid(st, 1, f->id());
            texts.bind(st, 2, f->name());
            texts.bind(st, 3, f->iconName());
            texts.bind(st, 4, f->colorHex());
            sqlite3_bind_int(st, 5, f->sortOrder());
            bindDate(st, 6, f->createdAt());
            bindDate(st, 7, f->modifiedAt());
            bindOptionalUuid(st, 8, f->parent());
            if (!step(st))
                return fail("writing a folder");
        }
    }
    if (!changes.upsertTags.isEmpty()) {
        sqlite3_stmt* insert = prepare("INSERT INTO Tag(id, name, colorHex, sortOrder, createdAt, modifiedAt) "
                                       "VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
        sqlite3_stmt* upsert = prepare("INSERT INTO Tag(id, name, colorHex, sortOrder, createdAt, modifiedAt) "
                                       "VALUES(?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(id) DO UPDATE SET name = ?2, "
                                       "colorHex = ?3, sortOrder = ?4, createdAt = ?5, modifiedAt = ?6");
        if (!insert || !upsert)
            return fail("writing a tag");
        for (const Tag* t : changes.upsertTags) {
            sqlite3_stmt* st = changes.newRecords.contains(t) ? insert : upsert;
            bindUuid(st, 1, t->id());
            texts.bind(st, 2, t->name());
            texts.bind(st, 3, t->colorHex());
            sqlite3_bind_int(st, 4, t->sortOrder());
            bindDate(st, 5, t->createdAt());
            bindDate(st, 6, t->modifiedAt());
            if (!step(st))
                return fail("writing a tag");
        }
    }
    if (!changes.upsertItems.isEmpty()) {
        sqlite3_stmt* insert =
            prepare("INSERT INTO Item(id, typeRawValue, urlString, title, note, metadataJSON, sourceDomain, sourceApp, "
                    "folderId, isArchived, isFavorite, isRead, createdAt, modifiedAt, accessedAt) "
                    "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15)");
        sqlite3_stmt* upsert = prepare(
            "INSERT INTO Item(id, typeRawValue, urlString, title, note, metadataJSON, sourceDomain, sourceApp, "
            "folderId, isArchived, isFavorite, isRead, createdAt, modifiedAt, accessedAt) "
            "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15) ON CONFLICT(id) DO UPDATE SET "
            "typeRawValue = ?2, urlString = ?3, title = ?4, note = ?5, metadataJSON = ?6, sourceDomain = ?7, "
            "sourceApp = ?8, folderId = ?9, isArchived = ?10, isFavorite = ?11, isRead = ?12, createdAt = ?13, "
            "modifiedAt = ?14, accessedAt = ?15");
        sqlite3_stmt* deleteTags = prepare("DELETE FROM ItemTag WHERE itemId = ?");
        sqlite3_stmt* insertTag = prepare("INSERT INTO ItemTag(itemId, position, tagId) VALUES(?, ?, ?)");
        sqlite3_stmt* writeBlob = prepare("INSERT OR REPLACE INTO ItemBlob(itemId, kind, data) VALUES(?, ?, ?)");
        sqlite3_stmt* deleteBlob = prepare("DELETE FROM ItemBlob WHERE itemId = ? AND kind = ?");
        if (!insert || !upsert || !deleteTags || !insertTag || !writeBlob || !deleteBlob)
            return fail("writing an item");
        // Tag rows are written after the items, in key order: a large save
        // then fills the relation's pages one after another instead of
        // jumping around the whole table for every row.
        struct TagRow {
            UuidBytes item;
            int position;
            const Tag* tag;
        };
        std::vector<TagRow> tagRows;
        for (Item* item : changes.upsertItems) {
            const bool isNew = changes.newRecords.contains(item);
            const UuidBytes id(item->id());
            sqlite3_stmt* st = isNew ? insert : upsert;
            id.bindInPlace(st, 1);
            texts.bind(st, 2, item->typeRawValue());
            texts.bind(st, 3, item->urlString());
            texts.bind(st, 4, item->title());
            texts.bind(st, 5, item->note());
            bindOptionalBytes(st, 6, item->metadataJSON());
            texts.bind(st, 7, item->sourceDomain());
            texts.bind(st, 8, item->sourceApp());
            bindOptionalUuid(st, 9, item->folder());
            sqlite3_bind_int(st, 10, item->isArchived());
            sqlite3_bind_int(st, 11, item->isFavorite());
            sqlite3_bind_int(st, 12, item->isRead());
            bindDate(st, 13, item->createdAt());
            bindDate(st, 14, item->modifiedAt());
            bindOptionalDate(st, 15, item->accessedAt());
            if (!step(st))
                return fail("writing an item");

            if (isNew || changes.itemsWithTagChanges.contains(item)) {
                if (!isNew) {
                    id.bindInPlace(deleteTags, 1);
                    if (!step(deleteTags))
                        return fail("writing item tags");
                }
                int position = 0;
                for (const Tag* tag : item->tags())
                    tagRows.push_back({id, position++, tag});
            }
            for (BlobKind kind : {BlobKind::thumbnail, BlobKind::image}) {
                if (!RecordContextAccess::blobDirty(*item, kind))
                    continue;
                const QByteArray* bytes = RecordContextAccess::pendingBlob(*item, kind);
                if (!bytes && isNew)
                    continue;
                sqlite3_stmt* blob = bytes ? writeBlob : deleteBlob;
                id.bindInPlace(blob, 1);
                sqlite3_bind_int(blob, 2, int(kind));
                if (bytes)
                    bindBytes(blob, 3, *bytes);
                const bool written = step(blob);
                // Let go of the statement's copy of the picture at once.
                sqlite3_clear_bindings(blob);
                if (!written)
                    return fail("writing item pictures");
            }
        }
        std::sort(tagRows.begin(), tagRows.end(), [](const TagRow& a, const TagRow& b) {
            const int c = std::memcmp(a.item.bytes, b.item.bytes, sizeof a.item.bytes);
            return c < 0 || (c == 0 && a.position < b.position);
        });
        for (const TagRow& row : tagRows) {
            row.item.bindInPlace(insertTag, 1);
            sqlite3_bind_int(insertTag, 2, row.position);
            bindUuid(insertTag, 3, row.tag->id());
            if (!step(insertTag))
                return fail("writing item tags");
        }
    }
    if (Status s = exec("COMMIT"); !s) {
        (void)exec("ROLLBACK");
        restoreCacheSize();
        return Status::failure(u"The library could not be saved (%1)."_s.arg(s.error()));
    }
    restoreCacheSize();
    return {};
}

void LibraryStore::restoreCacheSize()
{
    if (!m_cacheEnlarged)
        return;
    m_cacheEnlarged = false;
    (void)exec(kCacheSizePragma);
}
