#pragma once

#include <QFile>
#include <QString>
#include <QTest>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

// A Firefox profile's places.sqlite with the browser's own tables, held
// open in WAL mode with an exclusive lock and nothing checkpointed, as a
// running Firefox holds it.
class PlacesDatabase {
public:
    explicit PlacesDatabase(const QString& path)
    {
        sqlite3_open(QFile::encodeName(path).constData(), &m_db);
        exec("PRAGMA journal_mode=WAL; PRAGMA locking_mode=EXCLUSIVE; PRAGMA wal_autocheckpoint=0;");
        exec("CREATE TABLE moz_origins (id INTEGER PRIMARY KEY, prefix TEXT NOT NULL, host TEXT NOT NULL, "
             "frecency INTEGER NOT NULL, recalc_frecency INTEGER NOT NULL DEFAULT 0, alt_frecency INTEGER, "
             "recalc_alt_frecency INTEGER NOT NULL DEFAULT 0, UNIQUE (prefix, host))");
        exec("CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR, rev_host "
             "LONGVARCHAR, visit_count INTEGER DEFAULT 0, hidden INTEGER DEFAULT 0 NOT NULL, typed INTEGER DEFAULT 0 "
             "NOT NULL, frecency INTEGER DEFAULT -1 NOT NULL, last_visit_date INTEGER , guid TEXT, foreign_count "
             "INTEGER DEFAULT 0 NOT NULL, url_hash INTEGER DEFAULT 0 NOT NULL , description TEXT, preview_image_url "
             "TEXT, site_name TEXT, origin_id INTEGER REFERENCES moz_origins(id), recalc_frecency INTEGER NOT NULL "
             "DEFAULT 0, alt_frecency INTEGER, recalc_alt_frecency INTEGER NOT NULL DEFAULT 0)");
        exec("CREATE TABLE moz_bookmarks (id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER DEFAULT NULL, parent "
             "INTEGER, position INTEGER, title LONGVARCHAR, keyword_id INTEGER, folder_type TEXT, dateAdded "
             "INTEGER, lastModified INTEGER, guid TEXT, syncStatus INTEGER NOT NULL DEFAULT 0, syncChangeCounter "
             "INTEGER NOT NULL DEFAULT 1)");
        exec("CREATE TABLE moz_anno_attributes (id INTEGER PRIMARY KEY, name VARCHAR(32) UNIQUE NOT NULL)");
        exec("CREATE TABLE moz_items_annos (id INTEGER PRIMARY KEY, item_id INTEGER NOT NULL, anno_attribute_id "
             "INTEGER, content LONGVARCHAR, flags INTEGER DEFAULT 0 NOT NULL, expiration INTEGER DEFAULT 0 NOT NULL, "
             "type INTEGER DEFAULT 0 NOT NULL, dateAdded INTEGER DEFAULT 0 NOT NULL, lastModified INTEGER DEFAULT 0 "
             "NOT NULL)");
        exec("CREATE UNIQUE INDEX moz_bookmarks_guid_uniqueindex ON moz_bookmarks (guid)");
        exec("CREATE INDEX moz_bookmarks_itemindex ON moz_bookmarks (fk, type)");
        exec("CREATE INDEX moz_bookmarks_parentindex ON moz_bookmarks (parent, position)");
    }
    ~PlacesDatabase() { sqlite3_close(m_db); }

    void exec(const char* sql)
    {
        char* error = nullptr;
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
            QTest::qFail(error, __FILE__, __LINE__);
            sqlite3_free(error);
        }
    }
    void exec(const QString& sql) { exec(sql.toUtf8().constData()); }

    void place(int id, const QString& url)
    {
        exec(u"INSERT INTO moz_places (id, url, guid) VALUES (%1, '%2', 'place%1')"_s.arg(id).arg(url));
    }
    // type 1 bookmark, 2 folder, 3 separator; dates in seconds, stored in microseconds.
    void bookmark(int id, int type, int parent, int position, const QString& title, int place = 0, qint64 added = 0,
                  qint64 modified = 0, const QString& guid = {})
    {
        exec(u"INSERT INTO moz_bookmarks (id, type, fk, parent, position, title, dateAdded, lastModified, guid) "
             "VALUES (%1, %2, %3, %4, %5, '%6', %7, %8, '%9')"_s.arg(id)
                 .arg(type)
                 .arg(place ? QString::number(place) : u"NULL"_s)
                 .arg(parent)
                 .arg(position)
                 .arg(QString(title).replace(u"'"_s, u"''"_s))
                 .arg(added * 1000000)
                 .arg(modified * 1000000)
                 .arg(guid.isEmpty() ? u"item%1"_s.arg(id, 7, 10, QChar(u'0')) : guid));
    }

    // The tree of tests/data/bookmarks/firefox.html, as Firefox keeps it.
    void fillLikeFirefoxHtml()
    {
        exec("BEGIN");
        bookmark(1, 2, 0, 0, {}, 0, 1699990000, 1699990000, u"root________"_s);
        bookmark(2, 2, 1, 0, u"menu"_s, 0, 1699990000, 1699990000, u"menu________"_s);
        bookmark(3, 2, 1, 1, u"toolbar"_s, 0, 1700001000, 1700001100, u"toolbar_____"_s);
        bookmark(4, 2, 1, 2, u"tags"_s, 0, 1699990000, 1699990000, u"tags________"_s);
        bookmark(5, 2, 1, 3, u"unfiled"_s, 0, 1699990000, 1699990000, u"unfiled_____"_s);
        bookmark(6, 2, 1, 4, u"mobile"_s, 0, 1699990000, 1699990000, u"mobile______"_s);
        place(1, u"https://www.mozilla.org/en-US/firefox/central/"_s);
        place(2, u"https://arxiv.org/abs/1706.03762"_s);
        place(3, u"https://www.youtube.com/watch?v=abc&t=10"_s);
        place(4, u"place:sort=8&maxResults=10"_s);
        place(5, u"https://example.com/docs/Report.PDF"_s);
        place(6, u"javascript:void(document.title)"_s);
        bookmark(10, 1, 2, 0, u"Getting Started"_s, 1, 1700000000, 1700000100);
        bookmark(11, 2, 2, 1, u"Research"_s, 0, 1700000200, 1700000300);
        bookmark(12, 1, 11, 0, u"Attention Is All You Need"_s, 2, 1700000400, 1700000500);
        bookmark(13, 2, 11, 1, u"Video"_s, 0, 1700000600, 1700000700);
        bookmark(14, 1, 13, 0, u"Lecture 1 – Transformers"_s, 3, 1700000800, 1700000900);
        bookmark(15, 3, 2, 2, {}, 0, 1700000950, 1700000950);
        bookmark(16, 1, 3, 0, u"Most Visited"_s, 4, 1700001200, 1700001200);
        bookmark(17, 1, 3, 1, u"Quarterly report"_s, 5, 1700001300, 1700001400);
        bookmark(18, 1, 3, 2, u"Bookmarklet"_s, 6, 1700001500, 1700001500);
        bookmark(19, 2, 2, 3, u"Empty"_s, 0, 1700001800, 1700001900);
        bookmark(20, 2, 4, 0, u"ml"_s, 0, 1700000500, 1700000500);
        bookmark(21, 1, 20, 0, {}, 2, 1700000500, 1700000500);
        bookmark(22, 1, 20, 1, {}, 3, 1700000900, 1700000900);
        bookmark(23, 2, 4, 1, u"papers"_s, 0, 1700000500, 1700000500);
        bookmark(24, 1, 23, 0, {}, 2, 1700000500, 1700000500);
        exec("INSERT INTO moz_anno_attributes VALUES (1, 'bookmarkProperties/description')");
        exec("INSERT INTO moz_items_annos (item_id, anno_attribute_id, content) VALUES "
             "(12, 1, 'The transformer paper & its <attention>')");
        exec("COMMIT");
    }

private:
    sqlite3* m_db = nullptr;
};
