// Firefox's places.sqlite: moz_bookmarks holds the tree (type 1 bookmark,
// 2 folder, 3 separator; parent, position, title, dateAdded and
// lastModified in microseconds since 1970), moz_places the URLs (fk). The
// roots are found by their fixed guids. A tag is a folder under the tags
// root whose entries point at the tagged places.

#include "BrowserBookmarks.h"

#include "BookmarkFileReader.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kBookmark = 1;
constexpr int kFolder = 2;

struct Row {
    qint64 id = 0;
    int type = 0;
    qint64 place = 0;
    QString title;
    QString guid;
    QString url;
    std::optional<qint64> added;
    std::optional<qint64> modified;
};

struct Database {
    sqlite3* db = nullptr;
    ~Database() { sqlite3_close_v2(db); }
    QString error() const { return QString::fromUtf8(sqlite3_errmsg(db)); }
};

struct Statement {
    sqlite3_stmt* stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

QString text(sqlite3_stmt* stmt, int column)
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return bytes ? QString::fromUtf8(bytes, sqlite3_column_bytes(stmt, column)) : QString();
}

std::optional<qint64> date(sqlite3_stmt* stmt, int column)
{
    const qint64 micros = sqlite3_column_int64(stmt, column);
    if (sqlite3_column_type(stmt, column) != SQLITE_INTEGER || micros <= 0)
        return std::nullopt;
    return micros / 1000;
}

bool hasTable(sqlite3* db, const char* name)
{
    Statement s;
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?", -1, &s.stmt, nullptr)
        != SQLITE_OK)
        return false;
    sqlite3_bind_text(s.stmt, 1, name, -1, SQLITE_STATIC);
    return sqlite3_step(s.stmt) == SQLITE_ROW;
}

// Runs a query and calls `row` for each result; false on an error.
template <typename F>
bool query(sqlite3* db, const char* sql, F row)
{
    Statement s;
    if (sqlite3_prepare_v2(db, sql, -1, &s.stmt, nullptr) != SQLITE_OK)
        return false;
    int rc;
    while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW)
        row(s.stmt);
    return rc == SQLITE_DONE;
}

// The names Firefox shows for its roots; the menu's contents are the top level.
QString rootName(const QString& guid)
{
    if (guid == u"toolbar_____")
        return u"Bookmarks Toolbar"_s;
    if (guid == u"unfiled_____")
        return u"Other Bookmarks"_s;
    if (guid == u"mobile______")
        return u"Mobile Bookmarks"_s;
    return {};
}

} // namespace

namespace BrowserBookmarks {

Result<BookmarkTree, BookmarkError> readFirefox(const QString& placesPath, const QString& scratchDir)
{
    using R = Result<BookmarkTree, BookmarkError>;
    const auto cannotRead = [&](const QString& why) {
        return R::failure(BookmarkError::readFailed(
            u"Cannot read the Firefox bookmarks in “%1”: %2"_s.arg(QDir::toNativeSeparators(placesPath), why)));
    };
    if (!QFile::exists(placesPath))
        return cannotRead(u"the file does not exist"_s);

    // The browser keeps the database locked and part of it in its log: copy
    // both and open the copy, which SQLite then recovers like any crashed file.
    std::unique_ptr<QTemporaryDir> scratch = scratchDir.isEmpty()
                                                 ? std::make_unique<QTemporaryDir>()
                                                 : std::make_unique<QTemporaryDir>(scratchDir + u"/places-XXXXXX"_s);
    if (!scratch->isValid())
        return cannotRead(scratch->errorString());
    const QString copy = scratch->filePath(u"places.sqlite"_s);
    if (!QFile::copy(placesPath, copy))
        return cannotRead(u"the file cannot be copied"_s);
    for (const char* suffix : {"-wal"}) {
        const QString log = placesPath + QLatin1StringView(suffix);
        if (QFile::exists(log) && !QFile::copy(log, copy + QLatin1StringView(suffix)))
            return cannotRead(u"its log cannot be copied"_s);
    }

    Database database;
    if (sqlite3_open_v2(QFile::encodeName(copy).constData(), &database.db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return cannotRead(database.error());
    if (!hasTable(database.db, "moz_bookmarks") || !hasTable(database.db, "moz_places"))
        return R::failure(BookmarkError::notBookmarkFile());

    QHash<qint64, std::vector<qint64>> children; // parent id → rows, by position
    QHash<qint64, Row> rows;
    qint64 rootId = -1;
    qint64 tagsRootId = -1;
    const bool read = query(database.db,
                            "SELECT b.id, b.type, b.fk, b.parent, b.title, b.guid, b.dateAdded, b.lastModified, p.url "
                            "FROM moz_bookmarks b LEFT JOIN moz_places p ON p.id = b.fk "
                            "ORDER BY b.parent, b.position, b.id",
                            [&](sqlite3_stmt* s) {
                                Row row;
                                row.id = sqlite3_column_int64(s, 0);
                                row.type = sqlite3_column_int(s, 1);
                                row.place = sqlite3_column_int64(s, 2);
                                row.title = text(s, 4);
                                row.guid = text(s, 5);
                                row.added = date(s, 6);
                                row.modified = date(s, 7);
                                row.url = text(s, 8);
                                if (row.guid == u"root________")
                                    rootId = row.id;
                                else if (row.guid == u"tags________")
                                    tagsRootId = row.id;
                                else
                                    children[sqlite3_column_int64(s, 3)].push_back(row.id);
                                rows.insert(row.id, std::move(row));
                            });
    if (!read)
        return cannotRead(database.error());
    if (rootId < 0)
        return R::failure(BookmarkError::notBookmarkFile());

    // Tags: the places each tag folder points at.
    QHash<qint64, QStringList> tagsOfPlace;
    for (const qint64 tagFolder : children.value(tagsRootId)) {
        const QString tag = rows.value(tagFolder).title.simplified();
        if (tag.isEmpty())
            continue;
        for (const qint64 entry : children.value(tagFolder)) {
            QStringList& tags = tagsOfPlace[rows.value(entry).place];
            if (!tags.contains(tag))
                tags.append(tag);
        }
    }
    // Descriptions, where an older Firefox kept them.
    QHash<qint64, QString> notes;
    if (hasTable(database.db, "moz_items_annos") && hasTable(database.db, "moz_anno_attributes")) {
        (void)query(database.db,
                    "SELECT a.item_id, a.content FROM moz_items_annos a JOIN moz_anno_attributes n "
                    "ON n.id = a.anno_attribute_id WHERE n.name = 'bookmarkProperties/description'",
                    [&](sqlite3_stmt* s) { notes.insert(sqlite3_column_int64(s, 0), text(s, 1).trimmed()); });
    }

    BookmarkTreeBuilder builder(BookmarkFileReader::kMaxDepth);
    struct Open {
        const std::vector<qint64>* children;
        size_t next = 0;
    };
    static const std::vector<qint64> kNone;
    std::vector<Open> stack;
    QSet<qint64> visited; // a damaged file may link folders in a loop
    const auto enter = [&](qint64 id) {
        const auto it = children.constFind(id);
        stack.push_back({it == children.cend() ? &kNone : &*it});
    };
    enter(rootId);
    builder.openTransparent();
    visited.insert(rootId);
    while (!stack.empty()) {
        Open& open = stack.back();
        if (open.next >= open.children->size()) {
            stack.pop_back();
            builder.close();
            continue;
        }
        const Row& row = rows[(*open.children)[open.next++]];
        if (visited.contains(row.id))
            continue;
        visited.insert(row.id);
        if (row.type == kBookmark) {
            BookmarkTree::Link link;
            link.url = row.url;
            link.title = row.title;
            link.tags = tagsOfPlace.value(row.place);
            if (const QString note = notes.value(row.id); !note.isEmpty())
                link.note = note;
            link.addDate = row.added;
            link.lastModified = row.modified;
            (void)builder.add(std::move(link));
        } else if (row.type == kFolder) {
            if (row.guid == u"menu________") {
                builder.openTransparent();
            } else {
                const QString root = rootName(row.guid);
                builder.open({root.isEmpty() ? row.title : root, -1, row.added, row.modified});
            }
            enter(row.id);
        }
    }
    return R(builder.take());
}

} // namespace BrowserBookmarks
