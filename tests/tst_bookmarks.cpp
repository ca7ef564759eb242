// Browser bookmarks in and out: bookmark files as Firefox and Chromium write
// them and as people edit them, Firefox's places.sqlite (built here with the
// browser's table layout, held locked as a running browser holds it),
// Chromium's Bookmarks document, the merge into a library, export and the
// round trip, hostile files, cancelling and failing saves.

#include "model/Clock.h"
#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "services/bookmarks/BookmarkFileReader.h"
#include "services/bookmarks/BookmarkFileWriter.h"
#include "services/bookmarks/BookmarkImport.h"
#include "services/bookmarks/BookmarkService.h"
#include "services/bookmarks/BrowserBookmarks.h"
#include "services/export/ExportService.h"
#include "store/ModelContext.h"
#include "support/PlacesDatabase.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFutureWatcher>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sqlite3.h>

using namespace Qt::StringLiterals;
using Outcome = BookmarkService::ImportOutcome;

namespace {

const QDateTime kNow = QDateTime(QDate(2025, 3, 14), QTime(9, 26, 53), Qt::UTC);

QString fixture(const QString& name)
{
    return TestSupport::testDataPath(u"bookmarks/"_s + name);
}

template <typename T>
T wait(const QFuture<T>& future)
{
    QFutureWatcher<T> watcher;
    QSignalSpy finished(&watcher, &QFutureWatcher<T>::finished);
    watcher.setFuture(future);
    if (!future.isFinished())
        finished.wait(30000);
    return future.result();
}

QString date(const QDateTime& d)
{
    return d == kNow ? u"now"_s : d.toUTC().toString(Qt::ISODate);
}

QString seconds(qint64 s)
{
    return date(QDateTime::fromSecsSinceEpoch(s, Qt::UTC));
}

// One line per item: folder path | title | URL | type | tags | note | dates.
QStringList describe(const ModelContext& context)
{
    QStringList lines;
    for (const Item* item : context.items()) {
        QStringList path;
        for (const Folder* f = item->folder(); f; f = f->parent())
            path.prepend(f->name());
        QStringList tags;
        for (const Tag* tag : item->tags())
            tags.append(tag->name());
        tags.sort();
        lines.append(QStringList{path.join(u'/'), item->title(), item->urlString().value_or(u"-"_s),
                                 ItemTypes::rawValue(item->type()), tags.join(u','), item->note().value_or(u"-"_s),
                                 date(item->createdAt()), date(item->modifiedAt())}
                         .join(u" | "_s));
    }
    lines.sort();
    return lines;
}

QString counts(const BookmarkImportResult& r)
{
    return u"%1 items, %2 folders, %3 tags, %4 duplicates, %5 unsupported"_s.arg(r.itemsAdded)
        .arg(r.foldersCreated)
        .arg(r.tagsCreated)
        .arg(r.duplicatesSkipped)
        .arg(r.unsupportedSkipped);
}

QString line(const QString& path, const QString& title, const QString& url, const char* type, const QString& tags,
             const QString& note, const QString& created, const QString& modified)
{
    return QStringList{path, title, url, QLatin1StringView(type), tags, note, created, modified}.join(u" | "_s);
}

const QString kFirefoxNote = u"The transformer paper & its <attention>"_s;

QStringList firefoxLines()
{
    return {
        line({}, u"Getting Started"_s, u"https://www.mozilla.org/en-US/firefox/central/"_s, "web_link", {}, u"-"_s,
             seconds(1700000000), seconds(1700000100)),
        line(u"Bookmarks Toolbar"_s, u"Quarterly report"_s, u"https://example.com/docs/Report.PDF"_s, "document", {},
             u"-"_s, seconds(1700001300), seconds(1700001400)),
        line(u"Research"_s, u"Attention Is All You Need"_s, u"https://arxiv.org/abs/1706.03762"_s, "web_link",
             u"ml,papers"_s, kFirefoxNote, seconds(1700000400), seconds(1700000500)),
        line(u"Research/Video"_s, u"Lecture 1 – Transformers"_s, u"https://www.youtube.com/watch?v=abc&t=10"_s, "video",
             u"ml"_s, u"-"_s, seconds(1700000800), seconds(1700000900)),
    };
}

QStringList chromiumLines()
{
    return {
        line({}, u"A post"_s, u"https://twitter.com/someone/status/1"_s, "social_post", {}, u"-"_s, seconds(1700000500),
             u"now"_s),
        line(u"Bookmarks bar"_s, u"Hacker News"_s, u"https://news.ycombinator.com/"_s, "web_link", {}, u"-"_s,
             seconds(1700000100), u"now"_s),
        line(u"Bookmarks bar/Recipes"_s, u"Sourdough \"starter\""_s, u"https://cooking.example.org/bread"_s, "web_link",
             {}, u"-"_s, seconds(1700000400), u"now"_s),
    };
}

// What an imported link becomes, the plain way: every address through
// QUrl, and the duplicate key lower-cased on a copy. The import takes most
// addresses apart without QUrl; this is what it must agree with.
QString referenceDuplicateKey(QStringView url)
{
    if (const qsizetype hash = url.indexOf(u'#'); hash >= 0)
        url = url.first(hash);
    QString key = url.toString();
    const qsizetype colon = key.indexOf(u':');
    if (colon <= 0)
        return key;
    for (qsizetype i = 0; i < colon; ++i)
        key[i] = key[i].toLower();
    if (key.mid(colon + 1, 2) != u"//")
        return key;
    const qsizetype authority = colon + 3;
    qsizetype end = authority;
    while (end < key.size() && key[end] != u'/' && key[end] != u'?')
        ++end;
    const qsizetype at = key.lastIndexOf(u'@', end - 1);
    for (qsizetype i = std::max(authority, at + 1); i < end; ++i)
        key[i] = key[i].toLower();
    return key;
}

// "url | host | type | key | title", or nothing for a link that is no item.
std::optional<QString> referencePrepared(const BookmarkTree::Link& link)
{
    for (const QStringView scheme : {u"javascript:", u"place:", u"data:", u"about:"}) {
        if (link.url.startsWith(scheme, Qt::CaseInsensitive))
            return std::nullopt;
    }
    const QUrl url(link.url, QUrl::TolerantMode);
    if (link.url.isEmpty() || !url.isValid() || url.scheme().isEmpty())
        return std::nullopt;
    const QString encoded = url.toString(QUrl::FullyEncoded);
    const QString host = url.host();
    const QString title = !link.title.isEmpty() ? link.title : (host.isEmpty() ? u"Untitled"_s : host);
    return QStringList{encoded, host, ItemTypes::rawValue(ItemTypes::detect(url)), referenceDuplicateKey(encoded),
                       title}
        .join(u" | "_s);
}

// Addresses near the edges of what can be read without QUrl: cases in the
// scheme and host, labels that are empty, hyphenated, ACE, numeric or too
// long, users, ports, and every printable ASCII character, spaces, percent
// escapes and other scripts in the path, query and fragment.
QString randomUrl(QRandomGenerator& random)
{
    const auto pick = [&](const QStringList& choices) { return choices[int(random.bounded(int(choices.size())))]; };
    const auto chance = [&](int percent) { return int(random.bounded(100)) < percent; };
    QString url = pick({u"http://"_s,
                        u"https://"_s,
                        u"https://"_s,
                        u"HTTP://"_s,
                        u"ftp://"_s,
                        u"http:"_s,
                        u"mailto:"_s,
                        u"javascript:"_s,
                        u"//"_s,
                        {}});
    if (chance(5))
        url += u"user:pw@"_s;
    const int labels = 1 + int(random.bounded(4));
    for (int l = 0; l < labels; ++l) {
        if (l > 0)
            url += u'.';
        if (chance(3)) {
            url += pick({{},
                         u"-a"_s,
                         u"a-"_s,
                         u"xn--bcher-kva"_s,
                         u"a_b"_s,
                         u"Example"_s,
                         u"127"_s,
                         u"0x7f"_s,
                         QString(63, u'a'),
                         QString(64, u'a'),
                         u"ex\u00E4mple"_s,
                         u"a--b"_s,
                         u"youtube"_s,
                         u"x"_s});
            continue;
        }
        const int length = 1 + int(random.bounded(12));
        for (int i = 0; i < length; ++i)
            url += QChar(u"abcdefghijklmnopqrstuvwxyz0123456789-"[random.bounded(37)]);
    }
    if (chance(3))
        url += pick({u"."_s, u":8080"_s, u":"_s, u":080"_s, u":99999"_s});
    if (chance(90))
        url += pick({u"/"_s, u"/"_s, u"/"_s, u"?"_s, u"#"_s});
    const int rest = int(random.bounded(30));
    for (int i = 0; i < rest; ++i) {
        if (chance(90))
            url += QChar(u"abcXYZ019/-._~?=&#:@!$'()*+,;[]"[random.bounded(31)]);
        else if (chance(70))
            url += QChar(char16_t(0x21 + random.bounded(0x7F - 0x21)));
        else
            url += pick({u" "_s, u"%41"_s, u"%7e"_s, u"%2F"_s, u"%zz"_s, u"%"_s, u"\u00FC"_s, u"\u4E2D"_s, u"\t"_s,
                         u".JPG"_s, u".pdf"_s, u".mp4"_s});
    }
    return url;
}

// Import from a file, a Chromium profile folder or a Firefox profile folder.
Outcome importFrom(const QString& source, ModelContext& context, BookmarkImportOptions options = {})
{
    if (source.endsWith(u".html"))
        return wait(BookmarkService::importFile(source, context, options));
    BrowserProfile profile;
    profile.family = QFile::exists(source + u"/places.sqlite"_s) ? BrowserProfile::Family::firefox
                                                                 : BrowserProfile::Family::chromium;
    profile.path = source;
    return wait(BookmarkService::importProfile(profile, context, options));
}

} // namespace

class TestBookmarks : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void importsEverySource_data();
    void importsEverySource();
    void firefoxProfileIsReadThroughACopy();
    void notABookmarkFile_data();
    void notABookmarkFile();
    void mergesIntoTheLibrary();
    void roundTrip();
    void importsLargeFilesInBatches();
    void hostileFiles();
    void preparesLinksAsQUrlDoes();
    void decodesEntities_data();
    void decodesEntities();
    void readsDates_data();
    void readsDates();
    void cancelLeavesEverythingAsItWas();
    void failedSaveLeavesTheLibraryAsItWas();
    void discoversProfiles();
};

void TestBookmarks::importsEverySource_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("counts");

    QTest::newRow("Firefox bookmark file")
        << fixture(u"firefox.html"_s) << firefoxLines() << u"4 items, 3 folders, 2 tags, 0 duplicates, 2 unsupported"_s;
    QTest::newRow("Firefox profile") << u"firefox-profile"_s << firefoxLines()
                                     << u"4 items, 3 folders, 2 tags, 0 duplicates, 2 unsupported"_s;
    QTest::newRow("Chromium bookmark file") << fixture(u"chromium.html"_s) << chromiumLines()
                                            << u"3 items, 2 folders, 0 tags, 0 duplicates, 0 unsupported"_s;
    QTest::newRow("Chromium profile") << u"chromium-profile"_s << chromiumLines()
                                      << u"3 items, 2 folders, 0 tags, 0 duplicates, 0 unsupported"_s;
    QTest::newRow("hand-edited file")
        << fixture(u"messy.html"_s)
        << QStringList{
               line({}, u"Bad dates"_s, u"https://example.org/d"_s, "web_link", {}, u"-"_s, u"now"_s, u"now"_s),
               line({}, u"Single quoted title"_s, u"https://example.org/b"_s, "web_link", {},
                    u"A note\nover two lines ©"_s, seconds(1700000100), u"now"_s),
               line({}, u"Unquoted ABé&unknown; &"_s, u"https://example.org/a?x=1&y=2"_s, "web_link", {}, u"-"_s,
                    seconds(1700000000), u"now"_s),
               line({}, u"empty.example.net"_s, u"https://empty.example.net/x"_s, "web_link", {}, u"-"_s, u"now"_s,
                    u"now"_s),
               line(u"Nested"_s, u"Unclosed link"_s, u"https://example.org/c"_s, "web_link", u"Later,Reading"_s,
                    u"-"_s, u"now"_s, u"now"_s),
           }
        << u"5 items, 1 folders, 2 tags, 2 duplicates, 4 unsupported"_s;
    QTest::newRow("windows-1252 file") << fixture(u"windows-1252.html"_s)
                                       << QStringList{line(u"Cafés"_s, u"Café € 5 “quoted”"_s,
                                                           u"https://example.fr/caf%C3%A9"_s, "web_link", {}, u"-"_s,
                                                           seconds(1700000000), u"now"_s)}
                                       << u"1 items, 1 folders, 0 tags, 0 duplicates, 0 unsupported"_s;
}

void TestBookmarks::importsEverySource()
{
    QFETCH(QString, source);
    QFETCH(QStringList, expected);
    QFETCH(QString, counts);
    TestSupport::FixedClock clock(kNow);
    QTemporaryDir profiles;
    std::unique_ptr<PlacesDatabase> places;
    if (source == u"firefox-profile") {
        source = profiles.filePath(u"abcd1234.default-release"_s);
        QVERIFY(QDir().mkpath(source));
        places = std::make_unique<PlacesDatabase>(source + u"/places.sqlite"_s);
        places->fillLikeFirefoxHtml();
    } else if (source == u"chromium-profile") {
        source = profiles.filePath(u"Default"_s);
        QVERIFY(QDir().mkpath(source));
        QVERIFY(QFile::copy(fixture(u"chromium-Bookmarks.json"_s), source + u"/Bookmarks"_s));
    }

    TestSupport::TempContainer container;
    auto context = container.open();
    const Outcome imported = importFrom(source, *context);
    QVERIFY2(imported.ok(), qPrintable(imported.ok() ? QString() : imported.error().description()));
    QCOMPARE(::counts(imported.value()), counts);
    QCOMPARE(describe(*context), expected);
    for (const Tag* tag : context->tags())
        QCOMPARE(tag->colorHex(), u"#007AFF"_s);
    for (const Folder* folder : context->folders())
        QCOMPARE(folder->iconName(), u"folder"_s);

    // Saved: the library reads the same from its file.
    context.reset();
    context = container.open();
    QCOMPARE(describe(*context), expected);
}

void TestBookmarks::firefoxProfileIsReadThroughACopy()
{
    // A running browser keeps the database locked and its newest pages in
    // the log; the profile must come out of the import untouched.
    QTemporaryDir profile;
    const QString path = profile.filePath(u"places.sqlite"_s);
    PlacesDatabase places(path);
    places.fillLikeFirefoxHtml();
    QVERIFY(QFileInfo(path + u"-wal"_s).size() > 0);
    const QByteArray database = TestSupport::readFile(path);
    const QByteArray log = TestSupport::readFile(path + u"-wal"_s);
    const QStringList files = QDir(profile.path()).entryList(QDir::Files);

    QTemporaryDir scratch;
    const auto tree = BrowserBookmarks::readFirefox(path, scratch.path());
    QVERIFY(tree.ok());
    QCOMPARE(tree.value().links.size(), 6); // separators and tag entries are no links
    QCOMPARE(TestSupport::readFile(path), database);
    QCOMPARE(TestSupport::readFile(path + u"-wal"_s), log);
    QCOMPARE(QDir(profile.path()).entryList(QDir::Files), files);
    QVERIFY(QDir(scratch.path()).isEmpty()); // the private copy is gone

    const auto missing = BrowserBookmarks::readFirefox(profile.filePath(u"nothing.sqlite"_s));
    QCOMPARE(missing.error().kind(), BookmarkError::Kind::readFailed);
    const auto notPlaces = BrowserBookmarks::readFirefox(TestSupport::TempContainer().storePath());
    QVERIFY(!notPlaces.ok());
}

void TestBookmarks::notABookmarkFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("an ordinary page with a definition list") << TestSupport::readFile(fixture(u"not-bookmarks.html"_s));
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("plain text") << QByteArray("just some words <and> a bracket\n");
    QTest::newRow("an export document") << QByteArray("{\"version\": \"1.0\", \"items\": []}");
    QTest::newRow("a picture") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    QTest::newRow("a list without entries") << QByteArray("<DL><p>\n<DT>term\n</DL>");
}

void TestBookmarks::notABookmarkFile()
{
    QFETCH(QByteArray, bytes);
    TestSupport::TempContainer container;
    auto context = container.open();
    context->insert(std::make_unique<Item>(ItemType::webLink, u"mine"_s));
    QVERIFY(context->save().ok());
    const QString path = QDir(container.path()).filePath(u"input.html"_s);
    QVERIFY(TestSupport::writeFile(path, bytes));

    const Outcome imported = wait(BookmarkService::importFile(path, *context));
    QVERIFY(!imported.ok());
    QCOMPARE(imported.error().description(), u"Not a bookmark file"_s);
    QCOMPARE(context->items().size(), 1);
    QVERIFY(!context->hasChanges());

    const Outcome missing = wait(BookmarkService::importFile(path + u".missing"_s, *context));
    QCOMPARE(missing.error().kind(), BookmarkError::Kind::readFailed);
    QVERIFY(missing.error().description().contains(u"input.html.missing"_s));
}

void TestBookmarks::mergesIntoTheLibrary()
{
    TestSupport::FixedClock clock(kNow);
    TestSupport::TempContainer container;
    auto context = container.open();
    // The library has the Research folder, an "ML" tag and the arXiv link
    // already (with another scheme case and a fragment).
    Folder* research = context->insert(std::make_unique<Folder>(u"Research"_s, u"book"_s, QColor(Qt::red)));
    Tag* ml = context->insert(std::make_unique<Tag>(u"ML"_s, QColor(Qt::green)));
    context->insert(
        std::make_unique<Item>(ItemType::webLink, u"mine"_s, QUrl(u"HTTPS://ArXiv.org/abs/1706.03762#intro"_s)));
    QVERIFY(context->save().ok());

    const Outcome first = importFrom(fixture(u"firefox.html"_s), *context);
    QVERIFY(first.ok());
    QCOMPARE(counts(first.value()), u"3 items, 2 folders, 0 tags, 1 duplicates, 2 unsupported"_s);
    // Video went into the existing Research folder; the toolbar is new.
    QCOMPARE(research->children().size(), 1);
    QCOMPARE(research->children().first()->name(), u"Video"_s);
    QCOMPARE(ml->items().size(), 1); // Lecture's "ML"; Attention was the duplicate
    QCOMPARE(context->folders().size(), 3);

    // The same file again: nothing new, no second tree.
    const Outcome second = importFrom(fixture(u"firefox.html"_s), *context);
    QCOMPARE(counts(second.value()), u"0 items, 0 folders, 0 tags, 4 duplicates, 2 unsupported"_s);
    QCOMPARE(context->items().size(), 4);

    // Keeping duplicates adds the links again, into the same folders.
    const Outcome kept = importFrom(fixture(u"firefox.html"_s), *context, {true});
    QCOMPARE(counts(kept.value()), u"4 items, 0 folders, 1 tags, 0 duplicates, 2 unsupported"_s);
    QCOMPARE(context->items().size(), 8);
    QCOMPARE(context->folders().size(), 3);
    QCOMPARE(context->tags().size(), 2);
    QCOMPARE(research->color(), QColor(Qt::red)); // reused, not changed
}

void TestBookmarks::roundTrip()
{
    TestSupport::FixedClock clock(kNow);
    TestSupport::TempContainer source;
    QStringList expected;
    {
        auto context = source.open();
        Folder* top = context->insert(std::make_unique<Folder>(u"Work & <Play>"_s, u"folder"_s, QColor(Qt::blue)));
        Folder* child =
            context->insert(std::make_unique<Folder>(u"Deep \"quoted\""_s, u"star"_s, QColor(Qt::red), top));
        context->insert(std::make_unique<Folder>(u"Second"_s, u"folder"_s, QColor(Qt::blue), child));
        Tag* a = context->insert(std::make_unique<Tag>(u"Alpha"_s, QColor(Qt::blue)));
        Tag* b = context->insert(std::make_unique<Tag>(u"beta gamma"_s, QColor(Qt::red)));
        const auto add = [&](const QString& title, const QString& url, Folder* folder, const QList<Tag*>& tags,
                             const std::optional<QString>& note, qint64 created) {
            Item* item =
                context->insert(std::make_unique<Item>(ItemTypes::detect(QUrl(url)), title, QUrl(url), note, folder));
            for (Tag* tag : tags)
                item->addTag(tag);
            item->setCreatedAt(QDateTime::fromSecsSinceEpoch(created, Qt::UTC));
            item->setModifiedAt(QDateTime::fromSecsSinceEpoch(created + 60, Qt::UTC));
        };
        add(u"Top level"_s, u"https://example.com/?a=1&b=2"_s, nullptr, {a}, std::nullopt, 1600000000);
        add(u"In <top>"_s, u"https://www.youtube.com/watch?v=x"_s, top, {a, b}, u"note with \"quotes\"\nand a line"_s,
            1600000100);
        add(u"Déjà vu 🎉"_s, u"https://example.org/paper.pdf"_s, child, {}, u"tab\there"_s, 1600000200);
        context->insert(std::make_unique<Item>(ItemType::screenshot, u"No URL"_s));
        QVERIFY(context->save().ok());
        expected = describe(*context);
        expected.removeIf([](const QString& l) { return l.contains(u"No URL"_s); });

        const QString path = QDir(source.path()).filePath(u"out.html"_s);
        const auto exported = wait(BookmarkService::exportLibrary(*context, path));
        QVERIFY(exported.ok());
        QCOMPARE(exported.value().path, path);
        QCOMPARE(exported.value().bookmarks, 3);
        QCOMPARE(exported.value().folders, 3); // the empty one is written too
        QCOMPARE(exported.value().withoutUrl, 1);
        const QByteArray html = TestSupport::readFile(path);
        QVERIFY(html.startsWith("<!DOCTYPE NETSCAPE-Bookmark-file-1>"));
        QVERIFY(
            html.contains("<DT><H3 ADD_DATE=\"1741944413\" LAST_MODIFIED=\"1741944413\">Work &amp; &lt;Play&gt;</H3>"));
        QVERIFY(html.contains("TAGS=\"Alpha,beta gamma\">In &lt;top&gt;</A>"));
    }
    TestSupport::TempContainer target;
    auto context = target.open();
    const Outcome imported = importFrom(QDir(source.path()).filePath(u"out.html"_s), *context);
    QVERIFY(imported.ok());
    QCOMPARE(counts(imported.value()), u"3 items, 2 folders, 2 tags, 0 duplicates, 0 unsupported"_s);
    QCOMPARE(describe(*context), expected);
}

void TestBookmarks::importsLargeFilesInBatches()
{
    // More links than several batches, so that they are prepared while the
    // file is still being read: every link has a description (also those
    // that end a batch), two spellings of one tag, folders, unsupported links
    // and a duplicate among them.
    TestSupport::FixedClock clock(kNow);
    const int count = 3 * int(BookmarkFileReader::kBatchSize) + 5;
    QByteArray html = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n";
    QStringList expected;
    int unsupported = 0;
    for (int i = 0; i < count; ++i) {
        const QByteArray n = QByteArray::number(i);
        const QByteArray folder = "F" + QByteArray::number(i / 1000);
        if (i % 1000 == 0)
            html += QByteArray(i > 0 ? "</DL><p>\n" : "") + "<DT><H3>" + folder + "</H3>\n<DL><p>\n";
        if (i % 997 == 0) {
            html += "<DT><A HREF=\"javascript:void(0)\">script</A>\n";
            ++unsupported;
        }
        const QByteArray url = "https://site" + QByteArray::number(i % 50) + ".example/page/" + n;
        const QByteArray tag = QByteArray::number(i % 3);
        html += "<DT><A HREF=\"" + url + "\" ADD_DATE=\"" + QByteArray::number(1600000000 + i) + "\" TAGS=\"t" + tag
                + ",T" + tag + "\">Link " + n + "</A>\n<DD>note " + n + "\n";
        expected.append(line(QString::fromLatin1(folder), u"Link "_s + QString::fromLatin1(n), QString::fromLatin1(url),
                             "web_link", u"t"_s + QString::fromLatin1(tag), u"note "_s + QString::fromLatin1(n),
                             seconds(1600000000 + i), u"now"_s));
    }
    html += "</DL><p>\n<DT><A HREF=\"https://site0.example/page/0#again\">Again</A>\n</DL><p>\n";
    expected.sort();

    TestSupport::TempContainer container;
    const QString path = QDir(container.path()).filePath(u"large.html"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(html);
    file.close();
    auto context = container.open();
    const Outcome imported = importFrom(path, *context);
    QVERIFY(imported.ok());
    QCOMPARE(counts(imported.value()), u"%1 items, %2 folders, 3 tags, 1 duplicates, %3 unsupported"_s.arg(count)
                                           .arg((count + 999) / 1000)
                                           .arg(unsupported));
    QCOMPARE(describe(*context), expected);
}

void TestBookmarks::hostileFiles()
{
    // 100,000 folders deep: no recursion, no tree of that depth; the link
    // lands in the deepest folder kept.
    constexpr int kDeep = 100000;
    QByteArray deep = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n";
    for (int i = 0; i < kDeep; ++i)
        deep += "<DT><H3>f</H3><DL><p>";
    deep += "<DT><A HREF=\"https://deep.example/\">deep</A>";
    for (int i = 0; i < kDeep; ++i)
        deep += "</DL><p>";
    deep += "<DT><A HREF=\"https://shallow.example/\">shallow</A>";
    const auto tree = BookmarkFileReader::read(deep);
    QVERIFY(tree.ok());
    QCOMPARE(tree.value().folders.size(), BookmarkFileReader::kMaxDepth);
    QCOMPARE(tree.value().links.size(), 2);
    QCOMPARE(tree.value().path(tree.value().links[0].folder).size(), BookmarkFileReader::kMaxDepth);
    QCOMPARE(tree.value().links[1].folder, -1);

    // Thousands of empty folders make none.
    QByteArray empty = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n";
    for (int i = 0; i < 10000; ++i)
        empty += "<DT><H3>e</H3>\n<DL><p>\n</DL><p>\n";
    QVERIFY(BookmarkFileReader::read(empty).value().folders.isEmpty());

    // A 16 MB icon attribute, a title longer than any browser keeps, an
    // attribute whose quote never closes.
    QByteArray large = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n<DT><A HREF=\"https://a.example/\" ICON=\"";
    large += QByteArray(16 << 20, 'A');
    large += "\" TAGS=\"t\">" + QByteArray(1 << 20, 'x') + "</A>\n<DT><A HREF=\"https://b.example/\" ICON=\"";
    large += QByteArray(1 << 20, 'B');
    const auto read = BookmarkFileReader::read(large);
    QVERIFY(read.ok());
    QCOMPARE(read.value().links.size(), 1);
    QCOMPARE(read.value().links[0].tags, QStringList{u"t"_s});
    QCOMPARE(read.value().links[0].title.size(), BookmarkFileReader::kMaxTitleLength);
}

void TestBookmarks::preparesLinksAsQUrlDoes()
{
    // Enough links for several batches on the pool.
    QRandomGenerator random(20250314);
    BookmarkTree tree;
    QStringList expected;
    for (int i = 0; i < 20000; ++i) {
        BookmarkTree::Link link;
        link.url = randomUrl(random);
        link.title = i % 3 == 0 ? QString() : u"title %1"_s.arg(i);
        if (const auto prepared = referencePrepared(link))
            expected.append(*prepared);
        tree.links.append(link);
    }
    const BookmarkImport::Prepared prepared = BookmarkImport::prepare(tree);
    QStringList actual;
    for (const std::vector<BookmarkImport::PreparedLink>& batch : prepared.links) {
        for (const BookmarkImport::PreparedLink& link : batch) {
            const Item& item = *link.item;
            actual.append(QStringList{item.urlString().value_or(QString()), item.sourceDomain().value_or(QString()),
                                      item.typeRawValue(), link.duplicateKey, item.title()}
                              .join(u" | "_s));
        }
    }
    QCOMPARE(prepared.unsupported, tree.links.size() - expected.size());
    for (qsizetype i = 0; i < std::min(actual.size(), expected.size()); ++i)
        QCOMPARE(actual[i], expected[i]);
    QCOMPARE(actual.size(), expected.size());
}

void TestBookmarks::decodesEntities_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("decoded");
    QTest::newRow("named") << u"&lt;a&gt; &amp; &quot;b&quot; &apos;c&#39;"_s << u"<a> & \"b\" 'c'"_s;
    QTest::newRow("numeric, hex and without semicolon") << u"&#65;&#x42;&#X43;&#68x"_s << u"ABCDx"_s;
    QTest::newRow("astral plane") << u"&#x1F389;"_s << u"🎉"_s;
    QTest::newRow("C1 numbers mean windows-1252") << u"&#128;&#150;"_s << u"€–"_s;
    QTest::newRow("invalid numbers become U+FFFD") << u"&#0;&#xD800;&#99999999999;"_s << u"\uFFFD\uFFFD\uFFFD"_s;
    QTest::newRow("legacy names without semicolon") << u"a&ampb &lt3"_s << u"a&b <3"_s;
    QTest::newRow("other names need their semicolon") << u"&nbsp &copy;"_s << u"&nbsp ©"_s;
    QTest::newRow("unknown and bare ampersands stay") << u"&bogus; & &# &#x;"_s << u"&bogus; & &# &#x;"_s;
}

void TestBookmarks::decodesEntities()
{
    QFETCH(QString, text);
    QFETCH(QString, decoded);
    QCOMPARE(BookmarkFileReader::decodeEntities(text), decoded);
}

void TestBookmarks::readsDates_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("msecs"); // -1: none
    QTest::newRow("seconds") << QByteArray("1700000000") << qint64(1700000000000);
    QTest::newRow("surrounding space") << QByteArray(" 1700000000 ") << qint64(1700000000000);
    QTest::newRow("milliseconds") << QByteArray("1700000000123") << qint64(1700000000123);
    QTest::newRow("microseconds") << QByteArray("1700000000123456") << qint64(1700000000123);
    QTest::newRow("zero means unknown") << QByteArray("0") << qint64(-1);
    QTest::newRow("negative") << QByteArray("-5") << qint64(-1);
    QTest::newRow("not a number") << QByteArray("yesterday") << qint64(-1);
    QTest::newRow("too many digits") << QByteArray("99999999999999999999999") << qint64(-1);
    QTest::newRow("empty") << QByteArray() << qint64(-1);
}

void TestBookmarks::readsDates()
{
    QFETCH(QByteArray, text);
    QFETCH(qint64, msecs);
    QCOMPARE(BookmarkFileReader::parseDate(text).value_or(-1), msecs);
}

void TestBookmarks::cancelLeavesEverythingAsItWas()
{
    TestSupport::TempContainer container;
    auto context = container.open();
    context->insert(std::make_unique<Item>(ItemType::webLink, u"mine"_s, QUrl(u"https://mine.example/"_s)));
    QVERIFY(context->save().ok());

    // Held worker: the jobs below wait behind this one until released.
    QSemaphore gate;
    const auto hold = [&] { ExportService::shared().worker().start([&gate] { gate.acquire(); }); };

    // Canceled while waiting to read.
    hold();
    QFuture<Outcome> reading = BookmarkService::importFile(fixture(u"firefox.html"_s), *context);
    reading.cancel();
    gate.release();
    QTRY_VERIFY(reading.isFinished());
    QVERIFY(reading.isCanceled());
    QCOMPARE(reading.resultCount(), 0);

    // Canceled after reading, before the records are made.
    QFuture<Outcome> applying = BookmarkService::importFile(fixture(u"firefox.html"_s), *context);
    // Waits without running the event loop, so the step that makes the
    // records (queued to this thread) cannot run before the cancel.
    const QDeadlineTimer deadline(30000);
    while (applying.progressValue() < 900 && !applying.isFinished() && !deadline.hasExpired())
        QThread::msleep(1);
    QCOMPARE(applying.progressValue(), 900);
    applying.cancel();
    QTRY_VERIFY(applying.isFinished());
    QCOMPARE(applying.resultCount(), 0);
    QCOMPARE(context->items().size(), 1);
    QVERIFY(!context->hasChanges());

    // A canceled read stops early.
    int calls = 0;
    QByteArray big = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL>";
    big += QByteArray("<p>").repeated(8 << 20);
    const auto stopped = BookmarkFileReader::read(big, [&](qsizetype, qsizetype) { return ++calls < 2; });
    QCOMPARE(stopped.error().kind(), BookmarkError::Kind::canceled);
    QCOMPARE(calls, 2);

    // An export canceled before it runs leaves no file.
    const QString path = QDir(container.path()).filePath(u"out.html"_s);
    hold();
    QFuture<BookmarkService::ExportOutcome> exporting = BookmarkService::exportLibrary(*context, path);
    exporting.cancel();
    gate.release();
    QTRY_VERIFY(exporting.isFinished());
    QCOMPARE(exporting.resultCount(), 0);
    QVERIFY(!QFile::exists(path));
    QCOMPARE(QDir(container.path()).entryList({u"out.html*"_s}, QDir::Files), QStringList());
}

void TestBookmarks::failedSaveLeavesTheLibraryAsItWas()
{
    TestSupport::TempContainer container;
    auto context = container.open();
    Folder* research = context->insert(std::make_unique<Folder>(u"Research"_s, u"folder"_s, QColor(Qt::red)));
    Tag* ml = context->insert(std::make_unique<Tag>(u"ml"_s, QColor(Qt::green)));
    Item* mine =
        context->insert(std::make_unique<Item>(ItemType::webLink, u"mine"_s, std::nullopt, std::nullopt, research));
    mine->addTag(ml);
    QVERIFY(context->save().ok());
    mine->setTitle(u"edited, not saved yet"_s);

    // Another process holds the write lock for longer than we wait.
    sqlite3* side = nullptr;
    sqlite3_open(QFile::encodeName(container.storePath()).constData(), &side);
    QCOMPARE(sqlite3_exec(side, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    context->setBusyTimeout(50);

    const Outcome imported = importFrom(fixture(u"firefox.html"_s), *context);
    QVERIFY(!imported.ok());
    QCOMPARE(imported.error().kind(), BookmarkError::Kind::saveFailed);
    QCOMPARE(context->items(), QList<Item*>{mine});
    QCOMPARE(context->folders(), QList<Folder*>{research});
    QCOMPARE(context->tags(), QList<Tag*>{ml});
    QCOMPARE(research->items(), QList<Item*>{mine});
    QVERIFY(research->children().isEmpty());
    QCOMPARE(ml->items(), QList<Item*>{mine});
    QCOMPARE(mine->title(), u"edited, not saved yet"_s);

    QCOMPARE(sqlite3_exec(side, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(side);
    QVERIFY(context->save().ok());
    context.reset();
    context = container.open();
    QCOMPARE(context->items().size(), 1);
    QCOMPARE(context->folders().size(), 1);
    QCOMPARE(context->items().first()->title(), u"edited, not saved yet"_s);
}

void TestBookmarks::discoversProfiles()
{
    QTemporaryDir home;
    const auto make = [&](const QString& relative, const QString& file, const QByteArray& bytes = "x") {
        const QString dir = home.filePath(relative);
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(TestSupport::writeFile(dir + u'/' + file, bytes));
    };
    // Firefox: two profiles with bookmarks (one the installation's
    // default, named with a comma), one without.
    make(u".mozilla/firefox/a1.default"_s, u"places.sqlite"_s);
    make(u".mozilla/firefox/b2.default-release"_s, u"places.sqlite"_s);
    QVERIFY(QDir().mkpath(home.filePath(u".mozilla/firefox/c3.empty"_s)));
    make(u".mozilla/firefox"_s, u"profiles.ini"_s,
         "[Profile1]\nName=default\nIsRelative=1\nPath=a1.default\nDefault=1\n\n"
         "[Profile0]\nName=work, mostly\nIsRelative=1\nPath=b2.default-release\n\n"
         "[Profile2]\nName=empty\nIsRelative=1\nPath=c3.empty\n\n"
         "[General]\nStartWithLastProfile=1\nVersion=2\n\n"
         "[Install4F96D1932A9F858E]\nDefault=b2.default-release\nLocked=1\n");
    // Brave: Local State names one profile and says which was used last;
    // another has no bookmarks yet.
    make(u"config/BraveSoftware/Brave-Browser/Default"_s, u"Bookmarks"_s);
    make(u"config/BraveSoftware/Brave-Browser/Profile 2"_s, u"Bookmarks"_s);
    QVERIFY(QDir().mkpath(home.filePath(u"config/BraveSoftware/Brave-Browser/Profile 3"_s)));
    make(u"config/BraveSoftware/Brave-Browser"_s, u"Local State"_s,
         R"({"profile": {"last_used": "Profile 2", "info_cache": {"Default": {"name": "Personal"},
            "Profile 2": {"name": "Work"}, "Profile 3": {"name": "New"}}}})");
    // Chromium from the Snap store, without a Local State.
    make(u"snap/chromium/common/chromium/Default"_s, u"Bookmarks"_s);

    const QList<BrowserProfile> found = BrowserProfiles::discover(home.path(), home.filePath(u"config"_s));
    QStringList listed;
    for (const BrowserProfile& p : found) {
        listed.append(u"%1 | %2 | %3 | %4"_s.arg(p.browser, p.name, QDir(home.path()).relativeFilePath(p.path),
                                                 p.isDefault ? u"default"_s : u"-"_s));
    }
    QCOMPARE(listed, (QStringList{
                         u"Firefox | default | .mozilla/firefox/a1.default | -"_s,
                         u"Firefox | work, mostly | .mozilla/firefox/b2.default-release | default"_s,
                         u"Chromium (Snap) | Default | snap/chromium/common/chromium/Default | default"_s,
                         u"Brave | Personal | config/BraveSoftware/Brave-Browser/Default | -"_s,
                         u"Brave | Work | config/BraveSoftware/Brave-Browser/Profile 2 | default"_s,
                     }));
    QCOMPARE(found[1].bookmarksPath(), home.filePath(u".mozilla/firefox/b2.default-release/places.sqlite"_s));
    QCOMPARE(found[4].bookmarksPath(), home.filePath(u"config/BraveSoftware/Brave-Browser/Profile 2/Bookmarks"_s));
    QVERIFY(BrowserProfiles::discover(home.filePath(u"nobody"_s), home.filePath(u"nobody"_s)).isEmpty());
}

QTEST_GUILESS_MAIN(TestBookmarks)
#include "tst_bookmarks.moc"
