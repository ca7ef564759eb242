#include "LibraryStore.h"

#include "model/Clock.h"
#include "model/RecordContextAccess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTimeZone>
#include <QUrl>
#include <QtEndian>

#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <functional>
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
  parentId BLOB REFERENCES Folder(id) ON DELETE CASCADE,
  version INTEGER NOT NULL DEFAULT 0);
CREATE INDEX FolderParent ON Folder(parentId);
CREATE TABLE Tag(
  id BLOB PRIMARY KEY NOT NULL,
  name TEXT NOT NULL,
  colorHex TEXT NOT NULL,
  sortOrder INTEGER NOT NULL,
  createdAt INTEGER NOT NULL,
  modifiedAt INTEGER NOT NULL,
  version INTEGER NOT NULL DEFAULT 0);
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
  accessedAt INTEGER,
  version INTEGER NOT NULL DEFAULT 0);
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

// The change sequence and the deletion log (schema 1.1). Triggers log every
// deletion, including those the foreign keys cascade to, with the number of
// the transaction that made it; kinds are 0 item, 1 folder, 2 tag.
const char* const kChangeLog = R"sql(
CREATE INDEX ItemVersion ON Item(version);
CREATE TABLE Sequence(value INTEGER NOT NULL, prunedThrough INTEGER NOT NULL);
INSERT INTO Sequence VALUES(0, 0);
CREATE TABLE Tombstone(seq INTEGER NOT NULL, kind INTEGER NOT NULL, id BLOB NOT NULL);
CREATE INDEX TombstoneSeq ON Tombstone(seq);
)sql";
const char* const kDeletionTriggers = R"sql(
CREATE TRIGGER ItemDeleted AFTER DELETE ON Item BEGIN
  INSERT INTO Tombstone VALUES((SELECT value FROM Sequence), 0, OLD.id); END;
CREATE TRIGGER FolderDeleted AFTER DELETE ON Folder BEGIN
  INSERT INTO Tombstone VALUES((SELECT value FROM Sequence), 1, OLD.id); END;
CREATE TRIGGER TagDeleted AFTER DELETE ON Tag BEGIN
  INSERT INTO Tombstone VALUES((SELECT value FROM Sequence), 2, OLD.id); END;
)sql";

// Deletion log entries older than this many transactions are dropped; a
// connection further behind compares every id instead.
constexpr qint64 kTombstoneHorizon = 4096;

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

// Items of one site share one host string.
using HostStrings = QHash<QString, QString>;

// Columns 1-6: name, iconName, colorHex, sortOrder, createdAt, modifiedAt.
RecordContextAccess::FolderRow folderFields(sqlite3_stmt* st)
{
    return {textFrom(st, 1),           textFrom(st, 2), textFrom(st, 3),
            sqlite3_column_int(st, 4), dateFrom(st, 5), dateFrom(st, 6)};
}

// Columns 1-5: name, colorHex, sortOrder, createdAt, modifiedAt.
RecordContextAccess::TagRow tagFields(sqlite3_stmt* st)
{
    return {textFrom(st, 1), textFrom(st, 2), sqlite3_column_int(st, 3), dateFrom(st, 4), dateFrom(st, 5)};
}

// Columns 1-14 of the item queries below (8, the folder, is left to the caller).
RecordContextAccess::ItemRow itemFields(sqlite3_stmt* st, HostStrings& domains)
{
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
    return row;
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

sqlite3_stmt* LibraryStore::prepare(const QByteArray& sql) const
{
    return prepare(sql.constData());
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

namespace {

// Switching a file to WAL takes it whole for an instant, and SQLite answers
// "busy" there at once instead of waiting: another process is creating or
// opening the same library at that moment. Tried again for a few seconds.
Status retryWhileBusy(sqlite3* db, const std::function<Status()>& run)
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        Status s = run();
        const int code = sqlite3_errcode(db);
        if (s || (code != SQLITE_BUSY && code != SQLITE_LOCKED) || waited.elapsed() >= 5000)
            return s;
        sqlite3_sleep(10);
    }
}

bool writable(const QByteArray& nativePath)
{
    return ::access(nativePath.constData(), W_OK) == 0;
}

} // namespace

Result<std::unique_ptr<LibraryStore>> LibraryStore::open(const QString& path)
{
    using R = Result<std::unique_ptr<LibraryStore>>;
    const QFileInfo info(path);
    const QString dirPath = info.absolutePath();
    const bool dirExisted = QFileInfo::exists(dirPath);
    if (!QDir().mkpath(dirPath))
        return R::failure(u"The folder “%1” cannot be created."_s.arg(dirPath));
    // The library is private: a folder made for it is its owner's only.
    if (!dirExisted)
        QFile::setPermissions(dirPath, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QFileInfo dirInfo(dirPath);
    if (!dirInfo.isReadable() || !dirInfo.isExecutable())
        return R::failure(u"The folder “%1” cannot be read."_s.arg(dirPath));
    if (info.exists() && !info.isFile())
        return R::failure(u"“%1” is not a file."_s.arg(path));

    std::unique_ptr<LibraryStore> store(new LibraryStore);
    store->m_path = info.absoluteFilePath();
    const QByteArray nativePath = QFile::encodeName(store->m_path);
    const QByteArray walPath = nativePath + "-wal";
    const QByteArray shmPath = nativePath + "-shm";
    const auto exists = [](const QByteArray& p) { return ::access(p.constData(), F_OK) == 0; };
    const bool dirWritable = writable(QFile::encodeName(dirPath));
    if (!info.exists()) {
        if (!dirWritable)
            return R::failure(u"The folder “%1” is read-only: a new library cannot be made there."_s.arg(dirPath));
        // Made private before SQLite sees it; the log files SQLite adds take
        // the store's permissions. Another process may get there first.
        const int fd = ::open(nativePath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
    }

    bool readOnly = !writable(nativePath);
    if (!readOnly) {
        // A read-only session of an earlier version could leave its log files
        // unwritable, after which every save failed: give ours back the
        // store's permissions. A log file can also vanish at any moment (the
        // last process to close the library deletes it): gone is as good as
        // writable.
        const auto unwritable = [](const QByteArray& p) { return !writable(p) && errno != ENOENT; };
        for (const QByteArray& log : {walPath, shmPath}) {
            if (unwritable(log) && !QFile::setPermissions(QFile::decodeName(log), QFile::permissions(store->m_path))
                && unwritable(log))
                readOnly = true;
        }
        // Without its log files, a library in a read-only folder can only be read.
        if (!dirWritable && !(exists(walPath) && exists(shmPath)))
            readOnly = true;
    }
    store->m_readOnly = readOnly;
    int rc;
    if (readOnly) {
        // Read-only, SQLite would create missing log files with the store's
        // read-only permissions and leave them behind; without them the file
        // is read as it stands, and nobody can be writing it.
        store->m_immutable = !(exists(walPath) && exists(shmPath));
        const QByteArray uri =
            QUrl::fromLocalFile(store->m_path).toEncoded() + (store->m_immutable ? "?immutable=1" : "?mode=ro");
        rc = sqlite3_open_v2(uri.constData(), &store->m_db,
                             SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    } else {
        rc = sqlite3_open_v2(nativePath.constData(), &store->m_db,
                             // One thread uses the connection (see the class): no locking per call.
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    }
    if (rc != SQLITE_OK)
        return R::failure(u"The library file “%1” cannot be opened (%2)."_s.arg(path, store->lastError()));
    sqlite3_extended_result_codes(store->m_db, 1);
    sqlite3_busy_timeout(store->m_db, 5000);

    // Read-only checks first: nothing may be written to a file we reject.
    if (Status compatible = store->checkCompatible(); !compatible)
        return R::failure(compatible.error());
    const auto version = store->userVersion();
    if (!version)
        return R::failure(u"The library file “%1” cannot be used (%2)."_s.arg(path, version.error()));
    if (readOnly || sqlite3_db_readonly(store->m_db, "main") == 1) {
        store->m_readOnly = true;
        // An older schema stays as it is: it is read without row versions.
        store->m_legacySchema = version.value() < kUserVersion;
        if (Status s = store->exec("PRAGMA foreign_keys=ON"); !s)
            return R::failure(u"The library file “%1” cannot be used (%2)."_s.arg(path, s.error()));
        return R(std::move(store));
    }

    for (const char* pragma :
         {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON", kCacheSizePragma}) {
        if (Status s = retryWhileBusy(store->m_db, [&] { return store->exec(pragma); }); !s)
            return R::failure(u"The library file “%1” cannot be used (%2)."_s.arg(path, s.error()));
    }
    if (Status s = store->migrate(version.value()); !s)
        return R::failure(s.error());
    return R(std::move(store));
}

Result<int> LibraryStore::userVersion()
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db, "PRAGMA user_version", -1, &st, nullptr) != SQLITE_OK
        || sqlite3_step(st) != SQLITE_ROW) {
        sqlite3_finalize(st);
        return Result<int>::failure(lastError());
    }
    const int version = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    return version;
}

Status LibraryStore::checkCompatible()
{
    sqlite3_stmt* st = nullptr;
    auto fail = [&](const QString& why) {
        if (st)
            sqlite3_finalize(st);
        return Status::failure(why);
    };
    const auto version = userVersion();
    if (!version)
        return fail(u"The library file “%1” is damaged or is not a library (%2)."_s.arg(m_path, version.error()));
    const int userVersion = version.value();

    if (sqlite3_prepare_v2(m_db, "SELECT count(*), sum(name = 'StoreInfo') FROM sqlite_schema WHERE type = 'table'", -1,
                           &st, nullptr)
            != SQLITE_OK
        || sqlite3_step(st) != SQLITE_ROW)
        return fail(u"The library file “%1” is damaged or is not a library (%2)."_s.arg(m_path, lastError()));
    const int tables = sqlite3_column_int(st, 0);
    const bool hasInfo = sqlite3_column_int(st, 1) > 0;
    sqlite3_finalize(st);
    st = nullptr;

    if (tables == 0 && userVersion == 0) {
        if (Status s = createSchema(); !s)
            return s;
        // Created here or by another process that got there first: either
        // way the file is checked as any other.
        return checkCompatible();
    }
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
    auto failed = [this](const QString& error) {
        (void)exec("ROLLBACK");
        return Status::failure(u"The library file “%1” cannot be created (%2)."_s.arg(m_path, error));
    };
    // WAL before the first table, so the new file never uses a rollback journal.
    if (Status s = retryWhileBusy(m_db, [this] { return exec("PRAGMA journal_mode=WAL"); }); !s)
        return failed(s.error());
    // Other processes may be creating the same library right now: the write
    // lock decides who does, and the others find the tables made.
    if (Status s = exec("BEGIN IMMEDIATE"); !s)
        return failed(s.error());
    const auto version = userVersion();
    if (!version)
        return failed(version.error());
    if (version.value() != 0) {
        (void)exec("COMMIT");
        return {};
    }
    const QByteArray sql = QByteArray(kSchema) + kChangeLog + kDeletionTriggers
                           + QByteArray("INSERT INTO StoreInfo VALUES('application','Folionest');"
                                        "INSERT INTO StoreInfo VALUES('schema','Item,Folder,Tag');"
                                        "INSERT INTO StoreInfo VALUES('schemaVersion','")
                           + schemaVersionText().toLatin1()
                           + "');PRAGMA user_version=" + QByteArray::number(kUserVersion) + ";";
    if (Status s = exec(sql.constData()); !s)
        return failed(s.error());
    if (Status s = exec("COMMIT"); !s)
        return failed(s.error());
    return {};
}

Status LibraryStore::migrate(int fromVersion)
{
    if (fromVersion >= kUserVersion)
        return {};
    auto failed = [this](const QString& error) {
        (void)exec("ROLLBACK");
        return Status::failure(u"The library file “%1” cannot be updated (%2)."_s.arg(m_path, error));
    };
    if (Status s = exec("BEGIN IMMEDIATE"); !s)
        return failed(s.error());
    // Another process may have updated it meanwhile.
    const auto version = userVersion();
    if (!version)
        return failed(version.error());
    if (version.value() >= kUserVersion) {
        (void)exec("COMMIT");
        return {};
    }
    // 1.0 -> 1.1: row versions, the change sequence and the deletion log.
    const QByteArray sql =
        QByteArray("ALTER TABLE Folder ADD COLUMN version INTEGER NOT NULL DEFAULT 0;"
                   "ALTER TABLE Tag ADD COLUMN version INTEGER NOT NULL DEFAULT 0;"
                   "ALTER TABLE Item ADD COLUMN version INTEGER NOT NULL DEFAULT 0;")
        + kChangeLog + kDeletionTriggers + "UPDATE StoreInfo SET value = '" + schemaVersionText().toLatin1()
        + "' WHERE key = 'schemaVersion';PRAGMA user_version=" + QByteArray::number(kUserVersion) + ";";
    if (Status s = exec(sql.constData()); !s)
        return failed(s.error());
    if (Status s = exec("COMMIT"); !s)
        return failed(s.error());
    return {};
}

Result<LoadedLibrary> LibraryStore::load()
{
    using R = Result<LoadedLibrary>;
    LoadedLibrary lib;
    auto failed = [&] {
        const QString error = lastError();
        rollback();
        return R::failure(u"The library cannot be read (%1)."_s.arg(error));
    };
    // One read transaction: the rows and the sequence number belong together.
    if (Status s = beginRead(); !s)
        return R::failure(u"The library cannot be read (%1)."_s.arg(s.error()));
    // An older schema opened read-only has no row versions.
    const QByteArray version = m_legacySchema ? "0" : "version";
    if (!m_legacySchema) {
        sqlite3_stmt* st = prepare("SELECT value FROM Sequence");
        if (!st)
            return failed();
        StatementScope scope{st};
        if (sqlite3_step(st) != SQLITE_ROW)
            return failed();
        lib.sequence = sqlite3_column_int64(st, 0);
    }

    // Folders, then their parent links once every folder exists.
    QHash<QUuid, Folder*> folders;
    QList<std::pair<Folder*, QUuid>> parentLinks;
    {
        sqlite3_stmt* st = prepare("SELECT id, name, iconName, colorHex, sortOrder, createdAt, modifiedAt, parentId, "
                                   + version + " FROM Folder ORDER BY rowid");
        if (!st)
            return failed();
        StatementScope scope{st};
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            auto folder = RecordContextAccess::makeFolder(uuidFrom(st, 0));
            RecordContextAccess::fill(*folder, folderFields(st));
            RecordContextAccess::setStoreVersion(*folder, sqlite3_column_int64(st, 8));
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
        sqlite3_stmt* st = prepare("SELECT id, name, colorHex, sortOrder, createdAt, modifiedAt, " + version
                                   + " FROM Tag ORDER BY rowid");
        if (!st)
            return failed();
        StatementScope scope{st};
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            auto tag = RecordContextAccess::makeTag(uuidFrom(st, 0));
            RecordContextAccess::fill(*tag, tagFields(st));
            RecordContextAccess::setStoreVersion(*tag, sqlite3_column_int64(st, 6));
            tags.insert(tag->id(), tag.get());
            lib.tags.push_back(std::move(tag));
        }
        if (rc != SQLITE_DONE)
            return failed();
    }

    QHash<QUuid, Item*>& items = lib.itemsById;
    HostStrings domains;
    {
        sqlite3_stmt* st = prepare("SELECT id, typeRawValue, urlString, title, note, metadataJSON, sourceDomain, "
                                   "sourceApp, folderId, isArchived, isFavorite, isRead, createdAt, modifiedAt, "
                                   "accessedAt, "
                                   + version + " FROM Item ORDER BY rowid");
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
            RecordContextAccess::ItemRow row = itemFields(st, domains);
            RecordContextAccess::fill(*item, std::move(row));
            RecordContextAccess::setStoreVersion(*item, sqlite3_column_int64(st, 15));
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
    if (Status s = commit(); !s)
        return R::failure(u"The library cannot be read (%1)."_s.arg(s.error()));
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

Status LibraryStore::beginRead()
{
    return exec("BEGIN");
}

Status LibraryStore::beginWrite(WriteMode mode)
{
    // Emptying whole tables is only quick without foreign keys, and they can
    // only be switched off outside a transaction. The write checks the rows
    // it leaves instead.
    if (mode == WriteMode::wipe) {
        if (Status s = exec("PRAGMA foreign_keys=OFF"); !s)
            return s;
        m_foreignKeysOff = true;
    }
    Status s = exec("BEGIN IMMEDIATE");
    if (!s)
        restoreForeignKeys();
    return s;
}

Status LibraryStore::commit()
{
    Status s = exec("COMMIT");
    if (!s)
        rollback();
    restoreCacheSize();
    restoreForeignKeys();
    return s;
}

void LibraryStore::rollback()
{
    if (!sqlite3_get_autocommit(m_db))
        (void)exec("ROLLBACK");
    restoreCacheSize();
    restoreForeignKeys();
}

void LibraryStore::restoreForeignKeys()
{
    if (!m_foreignKeysOff)
        return;
    m_foreignKeysOff = false;
    (void)exec("PRAGMA foreign_keys=ON");
}

bool LibraryStore::externallyChanged()
{
    // Nobody writes a file opened as it stands; an older schema has no log.
    if (m_immutable || m_legacySchema)
        return false;
    sqlite3_stmt* st = prepare("PRAGMA data_version");
    if (!st)
        return true;
    StatementScope scope{st};
    if (sqlite3_step(st) != SQLITE_ROW)
        return true;
    const qint64 version = sqlite3_column_int64(st, 0);
    const bool changed = version != m_dataVersion;
    m_dataVersion = version;
    return changed;
}

Result<ExternalChanges> LibraryStore::readChanges(qint64 since)
{
    using R = Result<ExternalChanges>;
    ExternalChanges changes;
    auto failed = [&] { return R::failure(u"The library cannot be read (%1)."_s.arg(lastError())); };
    qint64 prunedThrough = 0;
    {
        sqlite3_stmt* st = prepare("SELECT value, prunedThrough FROM Sequence");
        if (!st)
            return failed();
        StatementScope scope{st};
        if (sqlite3_step(st) != SQLITE_ROW)
            return failed();
        changes.sequence = sqlite3_column_int64(st, 0);
        prunedThrough = sqlite3_column_int64(st, 1);
    }
    if (changes.sequence == since)
        return R(std::move(changes));

    if (since < prunedThrough) {
        // The log was pruned past this point: list what exists instead.
        auto ids = [&](const char* sql) -> std::optional<QSet<QUuid>> {
            sqlite3_stmt* st = prepare(sql);
            if (!st)
                return std::nullopt;
            StatementScope scope{st};
            QSet<QUuid> set;
            int rc;
            while ((rc = sqlite3_step(st)) == SQLITE_ROW)
                set.insert(uuidFrom(st, 0));
            if (rc != SQLITE_DONE)
                return std::nullopt;
            return set;
        };
        changes.liveItems = ids("SELECT id FROM Item");
        changes.liveFolders = ids("SELECT id FROM Folder");
        changes.liveTags = ids("SELECT id FROM Tag");
        if (!changes.liveItems || !changes.liveFolders || !changes.liveTags)
            return failed();
    } else {
        sqlite3_stmt* st = prepare("SELECT kind, id FROM Tombstone WHERE seq > ? ORDER BY seq");
        if (!st)
            return failed();
        StatementScope scope{st};
        sqlite3_bind_int64(st, 1, since);
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            const QUuid id = uuidFrom(st, 1);
            switch (sqlite3_column_int(st, 0)) {
            case 0: changes.deletedItems.append(id); break;
            case 1: changes.deletedFolders.append(id); break;
            case 2: changes.deletedTags.append(id); break;
            default: break;
            }
        }
        if (rc != SQLITE_DONE)
            return failed();
    }

    {
        sqlite3_stmt* st = prepare("SELECT id, name, iconName, colorHex, sortOrder, createdAt, modifiedAt, parentId, "
                                   "version FROM Folder WHERE version > ? ORDER BY rowid");
        if (!st)
            return failed();
        StatementScope scope{st};
        sqlite3_bind_int64(st, 1, since);
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            StoredFolder& f = changes.folders.emplace_back();
            f.id = uuidFrom(st, 0);
            f.fields = folderFields(st);
            if (sqlite3_column_type(st, 7) != SQLITE_NULL)
                f.parentId = uuidFrom(st, 7);
            f.version = sqlite3_column_int64(st, 8);
        }
        if (rc != SQLITE_DONE)
            return failed();
    }
    {
        sqlite3_stmt* st = prepare("SELECT id, name, colorHex, sortOrder, createdAt, modifiedAt, version FROM Tag "
                                   "WHERE version > ? ORDER BY rowid");
        if (!st)
            return failed();
        StatementScope scope{st};
        sqlite3_bind_int64(st, 1, since);
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            StoredTag& t = changes.tags.emplace_back();
            t.id = uuidFrom(st, 0);
            t.fields = tagFields(st);
            t.version = sqlite3_column_int64(st, 6);
        }
        if (rc != SQLITE_DONE)
            return failed();
    }
    {
        sqlite3_stmt* st = prepare("SELECT id, typeRawValue, urlString, title, note, metadataJSON, sourceDomain, "
                                   "sourceApp, folderId, isArchived, isFavorite, isRead, createdAt, modifiedAt, "
                                   "accessedAt, version FROM Item WHERE version > ? ORDER BY rowid");
        if (!st)
            return failed();
        StatementScope scope{st};
        sqlite3_bind_int64(st, 1, since);
        HostStrings domains;
        QHash<QUuid, qsizetype> positions;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            StoredItem& item = changes.items.emplace_back();
            item.id = uuidFrom(st, 0);
            item.fields = itemFields(st, domains);
            if (sqlite3_column_type(st, 8) != SQLITE_NULL)
                item.folderId = uuidFrom(st, 8);
            item.version = sqlite3_column_int64(st, 15);
            positions.insert(item.id, qsizetype(changes.items.size()) - 1);
        }
        if (rc != SQLITE_DONE)
            return failed();
        if (!changes.items.empty()) {
            sqlite3_stmt* tags = prepare("SELECT itemId, tagId FROM ItemTag WHERE itemId IN "
                                         "(SELECT id FROM Item WHERE version > ?) ORDER BY itemId, position");
            sqlite3_stmt* blobs = prepare("SELECT itemId, kind FROM ItemBlob WHERE itemId IN "
                                          "(SELECT id FROM Item WHERE version > ?)");
            if (!tags || !blobs)
                return failed();
            StatementScope tagScope{tags};
            StatementScope blobScope{blobs};
            sqlite3_bind_int64(tags, 1, since);
            while ((rc = sqlite3_step(tags)) == SQLITE_ROW) {
                if (const qsizetype i = positions.value(uuidFrom(tags, 0), -1); i >= 0)
                    changes.items[size_t(i)].tagIds.append(uuidFrom(tags, 1));
            }
            if (rc != SQLITE_DONE)
                return failed();
            sqlite3_bind_int64(blobs, 1, since);
            while ((rc = sqlite3_step(blobs)) == SQLITE_ROW) {
                if (const qsizetype i = positions.value(uuidFrom(blobs, 0), -1); i >= 0) {
                    StoredItem& item = changes.items[size_t(i)];
                    (sqlite3_column_int(blobs, 1) == 0 ? item.hasThumbnail : item.hasImage) = true;
                }
            }
            if (rc != SQLITE_DONE)
                return failed();
        }
    }
    return R(std::move(changes));
}

namespace {

// Columns of the update statements, with the field that changes each. The
// statement's parameters are ?1 the new version, ?2 the id, ?3 the version
// the record knows, then one per column from ?4 in this order.
struct Column {
    quint32 field;
    const char* name;
};
constexpr Column kItemColumns[] = {
    {ItemField::Type, "typeRawValue"},     {ItemField::Url, "urlString"},
    {ItemField::Title, "title"},           {ItemField::Note, "note"},
    {ItemField::Metadata, "metadataJSON"}, {ItemField::SourceDomain, "sourceDomain"},
    {ItemField::SourceApp, "sourceApp"},   {ItemField::Folder, "folderId"},
    {ItemField::Archived, "isArchived"},   {ItemField::Favorite, "isFavorite"},
    {ItemField::Read, "isRead"},           {ItemField::CreatedAt, "createdAt"},
    {ItemField::ModifiedAt, "modifiedAt"}, {ItemField::AccessedAt, "accessedAt"},
};
constexpr Column kFolderColumns[] = {
    {FolderField::Name, "name"},           {FolderField::IconName, "iconName"},
    {FolderField::ColorHex, "colorHex"},   {FolderField::SortOrder, "sortOrder"},
    {FolderField::CreatedAt, "createdAt"}, {FolderField::ModifiedAt, "modifiedAt"},
    {FolderField::Parent, "parentId"},
};
constexpr Column kTagColumns[] = {
    {TagField::Name, "name"},           {TagField::ColorHex, "colorHex"},     {TagField::SortOrder, "sortOrder"},
    {TagField::CreatedAt, "createdAt"}, {TagField::ModifiedAt, "modifiedAt"},
};
constexpr int kFirstColumnParameter = 4;

template <size_t N>
QByteArray updateSql(const char* table, const Column (&columns)[N], quint32 fields, bool checkVersion)
{
    QByteArray sql = QByteArray("UPDATE ") + table + " SET version = ?1";
    for (size_t i = 0; i < N; ++i) {
        if (fields & columns[i].field)
            sql += QByteArray(", ") + columns[i].name + " = ?" + QByteArray::number(kFirstColumnParameter + int(i));
    }
    sql += checkVersion ? " WHERE id = ?2 AND version = ?3" : " WHERE id = ?2";
    return sql;
}

template <size_t N>
quint32 storedFields(const Column (&columns)[N])
{
    quint32 mask = 0;
    for (const Column& c : columns)
        mask |= c.field;
    return mask;
}

} // namespace

Result<WriteReport> LibraryStore::write(const ChangeSet& changes)
{
    using R = Result<WriteReport>;
    WriteReport report;
    auto fail = [&](const char* what) {
        return R::failure(u"The library could not be saved (%1: %2)."_s.arg(QLatin1StringView(what), lastError()));
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

    // Parents may be written after their children within one save.
    if (Status s = exec("PRAGMA defer_foreign_keys=ON"); !s)
        return fail("deferring checks");
    {
        sqlite3_stmt* st = prepare("UPDATE Sequence SET value = value + 1 RETURNING value");
        if (!st)
            return fail("numbering the save");
        StatementScope scope{st};
        if (sqlite3_step(st) != SQLITE_ROW)
            return fail("numbering the save");
        report.sequence = sqlite3_column_int64(st, 0);
        if (sqlite3_step(st) != SQLITE_DONE)
            return fail("numbering the save");
    }
    // A large save (an import, a new library) would otherwise spill pages to
    // the log and read them back while it inserts.
    const qsizetype records = changes.items.size() + changes.folders.size() + changes.tags.size();
    if (records > kLargeSaveRecords) {
        if (Status s = exec(kLargeSaveCachePragma); !s)
            return fail("sizing the cache");
        m_cacheEnlarged = true;
    }

    // Whole tables at once. Logging every row would take seconds at 100,000
    // items, so the log is cut off at this save instead: a process behind it
    // then compares every id and finds them all gone. Without the triggers
    // and the foreign keys SQLite empties each table in one step.
    if (changes.deleteEverything) {
        if (!m_foreignKeysOff)
            return R::failure(u"The library could not be saved (deleting all data outside a wipe)."_s);
        const QByteArray sql = "DELETE FROM Tombstone;"
                               "UPDATE Sequence SET prunedThrough = value;"
                               "DROP TRIGGER ItemDeleted; DROP TRIGGER FolderDeleted; DROP TRIGGER TagDeleted;"
                               "DELETE FROM ItemTag; DELETE FROM ItemBlob; DELETE FROM Item;"
                               "DELETE FROM Folder; DELETE FROM Tag;"
                               + QByteArray(kDeletionTriggers);
        if (Status s = exec(sql.constData()); !s)
            return fail("deleting all data");
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

    // Runs the update of a changed record: only its changed columns, only
    // over the row version it knows. Returns false on an error; `gone` says
    // the row no longer exists.
    enum class Updated { done, gone, error };
    const auto update = [&](const QByteArray& checkedSql, const QByteArray& plainSql, const Record* record,
                            const auto& bindColumns) {
        sqlite3_stmt* st = prepare(checkedSql.constData());
        if (!st)
            return Updated::error;
        const UuidBytes id(record->id());
        sqlite3_bind_int64(st, 1, report.sequence);
        id.bindInPlace(st, 2);
        sqlite3_bind_int64(st, 3, RecordContextAccess::storeVersion(*record));
        bindColumns(st);
        if (!step(st))
            return Updated::error;
        if (sqlite3_changes(m_db) == 1)
            return Updated::done;
        // The row moved on without this connection seeing it (every writer
        // reads what others committed before it writes, so this means a
        // writer that does not): the changed fields still win, and nothing
        // else of the row is touched.
        sqlite3_stmt* plain = prepare(plainSql.constData());
        if (!plain)
            return Updated::error;
        sqlite3_bind_int64(plain, 1, report.sequence);
        id.bindInPlace(plain, 2);
        bindColumns(plain);
        if (!step(plain))
            return Updated::error;
        if (sqlite3_changes(m_db) == 1) {
            qWarning("Folionest: a row of the library changed without a record of it; writing over it");
            return Updated::done;
        }
        return Updated::gone;
    };

    if (!changes.folders.isEmpty()) {
        sqlite3_stmt* insert =
            prepare("INSERT INTO Folder(id, name, iconName, colorHex, sortOrder, createdAt, modifiedAt, parentId, "
                    "version) VALUES(?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?1)");
        if (!insert)
            return fail("writing a folder");
        for (const auto& change : changes.folders) {
            Folder* const record = change.record;
            const quint32 fields = change.fields;
            const Folder* const f = &change.value();
            const bool isNew = changes.newRecords.contains(record);
            const quint32 stored = isNew ? storedFields(kFolderColumns) : fields & storedFields(kFolderColumns);
            if (!stored)
                continue;
            auto bindColumns = [&, f = f](sqlite3_stmt* st) {
                const int p = kFirstColumnParameter;
                if (isNew)
                    bindUuid(st, p, f->id());
                if (stored & FolderField::Name)
                    texts.bind(st, p + 0 + isNew, f->name());
                if (stored & FolderField::IconName)
                    texts.bind(st, p + 1 + isNew, f->iconName());
                if (stored & FolderField::ColorHex)
                    texts.bind(st, p + 2 + isNew, f->colorHex());
                if (stored & FolderField::SortOrder)
                    sqlite3_bind_int(st, p + 3 + isNew, f->sortOrder());
                if (stored & FolderField::CreatedAt)
                    bindDate(st, p + 4 + isNew, f->createdAt());
                if (stored & FolderField::ModifiedAt)
                    bindDate(st, p + 5 + isNew, f->modifiedAt());
                if (stored & FolderField::Parent)
                    bindOptionalUuid(st, p + 6 + isNew, f->parent());
            };
            if (isNew) {
                sqlite3_bind_int64(insert, 1, report.sequence);
                bindColumns(insert);
                if (!step(insert))
                    return fail("writing a folder");
                continue;
            }
            switch (update(updateSql("Folder", kFolderColumns, stored, true),
                           updateSql("Folder", kFolderColumns, stored, false), f, bindColumns)) {
            case Updated::error: return fail("writing a folder");
            case Updated::gone: report.vanishedFolders.append(record); break;
            case Updated::done: break;
            }
        }
    }
    if (!changes.tags.isEmpty()) {
        sqlite3_stmt* insert = prepare("INSERT INTO Tag(id, name, colorHex, sortOrder, createdAt, modifiedAt, version) "
                                       "VALUES(?4, ?5, ?6, ?7, ?8, ?9, ?1)");
        if (!insert)
            return fail("writing a tag");
        for (const auto& change : changes.tags) {
            Tag* const record = change.record;
            const quint32 fields = change.fields;
            const Tag* const t = &change.value();
            const bool isNew = changes.newRecords.contains(record);
            const quint32 stored = isNew ? storedFields(kTagColumns) : fields & storedFields(kTagColumns);
            if (!stored)
                continue;
            auto bindColumns = [&, t = t](sqlite3_stmt* st) {
                const int p = kFirstColumnParameter;
                if (isNew)
                    bindUuid(st, p, t->id());
                if (stored & TagField::Name)
                    texts.bind(st, p + 0 + isNew, t->name());
                if (stored & TagField::ColorHex)
                    texts.bind(st, p + 1 + isNew, t->colorHex());
                if (stored & TagField::SortOrder)
                    sqlite3_bind_int(st, p + 2 + isNew, t->sortOrder());
                if (stored & TagField::CreatedAt)
                    bindDate(st, p + 3 + isNew, t->createdAt());
                if (stored & TagField::ModifiedAt)
                    bindDate(st, p + 4 + isNew, t->modifiedAt());
            };
            if (isNew) {
                sqlite3_bind_int64(insert, 1, report.sequence);
                bindColumns(insert);
                if (!step(insert))
                    return fail("writing a tag");
                continue;
            }
            switch (update(updateSql("Tag", kTagColumns, stored, true), updateSql("Tag", kTagColumns, stored, false), t,
                           bindColumns)) {
            case Updated::error: return fail("writing a tag");
            case Updated::gone: report.vanishedTags.append(record); break;
            case Updated::done: break;
            }
        }
    }
    if (!changes.items.isEmpty()) {
        sqlite3_stmt* insert =
            prepare("INSERT INTO Item(id, typeRawValue, urlString, title, note, metadataJSON, sourceDomain, sourceApp, "
                    "folderId, isArchived, isFavorite, isRead, createdAt, modifiedAt, accessedAt, version) "
                    "VALUES(?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, ?1)");
        sqlite3_stmt* deleteTags = prepare("DELETE FROM ItemTag WHERE itemId = ?");
        sqlite3_stmt* insertTag = prepare("INSERT INTO ItemTag(itemId, position, tagId) VALUES(?, ?, ?)");
        sqlite3_stmt* writeBlob = prepare("INSERT OR REPLACE INTO ItemBlob(itemId, kind, data) VALUES(?, ?, ?)");
        sqlite3_stmt* deleteBlob = prepare("DELETE FROM ItemBlob WHERE itemId = ? AND kind = ?");
        if (!insert || !deleteTags || !insertTag || !writeBlob || !deleteBlob)
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
        const quint32 itemColumns = storedFields(kItemColumns);
        for (const auto& change : changes.items) {
            Item* const record = change.record;
            const quint32 fields = change.fields;
            const Item* const item = &change.value();
            const bool isNew = changes.newRecords.contains(record);
            const quint32 stored = isNew ? itemColumns : fields & itemColumns;
            const UuidBytes id(item->id());
            auto bindColumns = [&, item = item](sqlite3_stmt* st) {
                const int p = kFirstColumnParameter + isNew;
                if (isNew)
                    id.bindInPlace(st, kFirstColumnParameter);
                if (stored & ItemField::Type)
                    texts.bind(st, p + 0, item->typeRawValue());
                if (stored & ItemField::Url)
                    texts.bind(st, p + 1, item->urlString());
                if (stored & ItemField::Title)
                    texts.bind(st, p + 2, item->title());
                if (stored & ItemField::Note)
                    texts.bind(st, p + 3, item->note());
                if (stored & ItemField::Metadata)
                    bindOptionalBytes(st, p + 4, item->metadataJSON());
                if (stored & ItemField::SourceDomain)
                    texts.bind(st, p + 5, item->sourceDomain());
                if (stored & ItemField::SourceApp)
                    texts.bind(st, p + 6, item->sourceApp());
                if (stored & ItemField::Folder)
                    bindOptionalUuid(st, p + 7, item->folder());
                if (stored & ItemField::Archived)
                    sqlite3_bind_int(st, p + 8, item->isArchived());
                if (stored & ItemField::Favorite)
                    sqlite3_bind_int(st, p + 9, item->isFavorite());
                if (stored & ItemField::Read)
                    sqlite3_bind_int(st, p + 10, item->isRead());
                if (stored & ItemField::CreatedAt)
                    bindDate(st, p + 11, item->createdAt());
                if (stored & ItemField::ModifiedAt)
                    bindDate(st, p + 12, item->modifiedAt());
                if (stored & ItemField::AccessedAt)
                    bindOptionalDate(st, p + 13, item->accessedAt());
            };
            if (isNew) {
                sqlite3_bind_int64(insert, 1, report.sequence);
                bindColumns(insert);
                if (!step(insert))
                    return fail("writing an item");
            } else {
                // Tag and picture changes move the row's version too, so
                // other processes read the item again.
                const Updated result = update(updateSql("Item", kItemColumns, stored, true),
                                              updateSql("Item", kItemColumns, stored, false), item, bindColumns);
                if (result == Updated::error)
                    return fail("writing an item");
                if (result == Updated::gone) {
                    report.vanishedItems.append(record);
                    continue;
                }
            }

            if (isNew || (fields & ItemField::Tags)) {
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

    // Now and then, forget deletions so old that no running process can
    // still be behind them (one that is compares every id instead).
    if (report.sequence % 256 == 0 && report.sequence > kTombstoneHorizon) {
        sqlite3_stmt* prune = prepare("DELETE FROM Tombstone WHERE seq <= ?1");
        // A wipe may already have cut the log off later than this.
        sqlite3_stmt* mark = prepare("UPDATE Sequence SET prunedThrough = max(prunedThrough, ?1)");
        if (!prune || !mark)
            return fail("pruning the deletion log");
        for (sqlite3_stmt* st : {prune, mark}) {
            sqlite3_bind_int64(st, 1, report.sequence - kTombstoneHorizon);
            if (!step(st))
                return fail("pruning the deletion log");
        }
    }
    // The wipe ran without foreign keys: what it leaves must still hold them.
    if (m_foreignKeysOff) {
        sqlite3_stmt* st = prepare("PRAGMA foreign_key_check");
        if (!st)
            return fail("checking references");
        StatementScope scope{st};
        const int rc = sqlite3_step(st);
        if (rc == SQLITE_ROW)
            return R::failure(u"The library could not be saved (a record refers to one that does not exist)."_s);
        if (rc != SQLITE_DONE)
            return fail("checking references");
    }
    return R(std::move(report));
}

void LibraryStore::restoreCacheSize()
{
    if (!m_cacheEnlarged)
        return;
    m_cacheEnlarged = false;
    (void)exec(kCacheSizePragma);
}
