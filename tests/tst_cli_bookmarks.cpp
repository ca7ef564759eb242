// folionest-cli import-bookmarks, export-bookmarks and bookmark-profiles,
// run as a user runs them, with browser profiles in a home of the test's own.

#include "model/Item.h"
#include "store/ModelContext.h"
#include "support/PlacesDatabase.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString fixture(const QString& name)
{
    return TestSupport::testDataPath(u"bookmarks/"_s + name);
}

class Home {
public:
    QString path(const QString& relative = {}) const
    {
        return relative.isEmpty() ? m_dir.path() : m_dir.filePath(relative);
    }
    QStringList env() const { return {u"HOME="_s + path(), u"XDG_CONFIG_HOME="_s + path(u".config"_s)}; }
    TestSupport::ProcessResult cli(const QString& container, const QStringList& args) const
    {
        return TestSupport::run(TestSupport::cliPath(), QStringList{u"--container"_s, container} + args, env());
    }
    QString chromiumProfile(const QString& name) const
    {
        const QString dir = path(u".config/chromium/"_s + name);
        QDir().mkpath(dir);
        QFile::copy(fixture(u"chromium-Bookmarks.json"_s), dir + u"/Bookmarks"_s);
        return dir;
    }

private:
    QTemporaryDir m_dir;
};

QString out(const TestSupport::ProcessResult& r)
{
    return QString::fromUtf8(r.out);
}

QString err(const TestSupport::ProcessResult& r)
{
    return QString::fromUtf8(r.err);
}

} // namespace

class TestCliBookmarks : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void importsAFileAndSkipsDuplicates()
    {
        TestSupport::TempContainer container;
        const Home home;
        const auto first = home.cli(container.path(), {u"import-bookmarks"_s, fixture(u"firefox.html"_s)});
        QCOMPARE(first.exitCode, 0);
        QCOMPARE(out(first), u"Imported 4 items, 3 folders, 2 tags; skipped 0 duplicates, 2 unsupported links.\n"_s);
        QCOMPARE(err(first), QString());

        const auto again = home.cli(container.path(), {u"import-bookmarks"_s, fixture(u"firefox.html"_s)});
        QCOMPARE(out(again), u"Imported 0 items, 0 folders, 0 tags; skipped 4 duplicates, 2 unsupported links.\n"_s);
        const auto kept =
            home.cli(container.path(), {u"import-bookmarks"_s, u"--keep-duplicates"_s, fixture(u"firefox.html"_s)});
        QCOMPARE(out(kept), u"Imported 4 items, 0 folders, 0 tags; skipped 0 duplicates, 2 unsupported links.\n"_s);
        QCOMPARE(TestSupport::cli(container.path(), {u"list"_s}).out.count('\n'), 8);
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("not a bookmark file") << QStringList{u"import-bookmarks"_s, fixture(u"not-bookmarks.html"_s)}
                                             << 5 << u"folionest-cli: Not a bookmark file\n"_s;
        QTest::newRow("missing file")
            << QStringList{u"import-bookmarks"_s, u"/nonexistent/bookmarks.html"_s} << 5
            << u"folionest-cli: Cannot read “/nonexistent/bookmarks.html”: No such file or directory\n"_s;
        QTest::newRow("no file") << QStringList{u"import-bookmarks"_s} << 1 << u"folionest-cli: missing argument\n"_s;
        QTest::newRow("two browsers") << QStringList{u"import-bookmarks"_s, u"--firefox"_s, u"--chromium"_s} << 1
                                      << u"folionest-cli: --firefox and --chromium cannot be combined\n"_s;
        QTest::newRow("no profile at all") << QStringList{u"import-bookmarks"_s, u"--firefox"_s} << 5
                                           << u"folionest-cli: no Firefox profile with bookmarks found\n"_s;
        QTest::newRow("unknown profile name") << QStringList{u"import-bookmarks"_s, u"--chromium"_s, u"Nobody"_s} << 1
                                              << u"folionest-cli: no Chromium profile or folder “Nobody”\n"_s;
        QTest::newRow("folder without bookmarks")
            << QStringList{u"import-bookmarks"_s, u"--firefox"_s, u"/"_s} << 5
            << u"folionest-cli: no Firefox bookmarks in / (places.sqlite is missing)\n"_s;
        QTest::newRow("output is a folder") << QStringList{u"export-bookmarks"_s, u"-o"_s, u"/tmp"_s} << 1
                                            << u"folionest-cli: -o takes a file name\n"_s;
    }

    void failures()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        TestSupport::TempContainer container;
        const Home home;
        const auto r = home.cli(container.path(), args);
        QCOMPARE(err(r), message);
        QCOMPARE(r.exitCode, exitCode);
        QCOMPARE(out(r), QString());
        QCOMPARE(TestSupport::cli(container.path(), {u"list"_s}).out, QByteArray());
    }

    void importsBrowserProfiles()
    {
        TestSupport::TempContainer container;
        const Home home;
        // One Chromium profile: taken without asking.
        home.chromiumProfile(u"Default"_s);
        const auto chromium = home.cli(container.path(), {u"import-bookmarks"_s, u"--chromium"_s});
        QCOMPARE(err(chromium), QString());
        QCOMPARE(out(chromium), u"Imported 3 items, 2 folders, 0 tags; skipped 0 duplicates, 0 unsupported links.\n"_s);

        // A second one, and neither was used last: the user must choose.
        home.chromiumProfile(u"Profile 1"_s);
        QFile state(home.path(u".config/chromium/Local State"_s));
        QVERIFY(state.open(QIODevice::WriteOnly));
        state.write(R"({"profile": {"last_used": "Profile 9", "info_cache": {"Profile 1": {"name": "Work"}}}})");
        state.close();
        const auto ambiguous = home.cli(container.path(), {u"import-bookmarks"_s, u"--chromium"_s});
        QCOMPARE(ambiguous.exitCode, 1);
        QVERIFY2(err(ambiguous).contains(u"several Chromium profiles"_s) && err(ambiguous).contains(u"“Work”"_s),
                 ambiguous.err.constData());
        const auto byName = home.cli(container.path(), {u"import-bookmarks"_s, u"--chromium"_s, u"Work"_s});
        QCOMPARE(out(byName), u"Imported 0 items, 0 folders, 0 tags; skipped 3 duplicates, 0 unsupported links.\n"_s);

        // Firefox by its profile folder, while the browser holds it locked.
        const QString profile = home.path(u".mozilla/firefox/x.default"_s);
        QVERIFY(QDir().mkpath(profile));
        PlacesDatabase places(profile + u"/places.sqlite"_s);
        places.fillLikeFirefoxHtml();
        const auto firefox = home.cli(container.path(), {u"import-bookmarks"_s, u"--firefox"_s, profile});
        QCOMPARE(err(firefox), QString());
        QCOMPARE(out(firefox), u"Imported 4 items, 3 folders, 2 tags; skipped 0 duplicates, 2 unsupported links.\n"_s);

        const auto listed = home.cli(container.path(), {u"bookmark-profiles"_s, u"--json"_s});
        const QList<QByteArray> lines = listed.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        // Profiles Local State names come first.
        const QJsonObject work = QJsonDocument::fromJson(lines[0]).object();
        QCOMPARE(QJsonDocument::fromJson(lines[1]).object().value(u"name"_s).toString(), u"Default"_s);
        QCOMPARE(work.value(u"browser"_s).toString(), u"Chromium"_s);
        QCOMPARE(work.value(u"name"_s).toString(), u"Work"_s);
        QCOMPARE(work.value(u"path"_s).toString(), home.path(u".config/chromium/Profile 1"_s));
        QCOMPARE(work.value(u"isDefault"_s).toBool(), false);
    }

    void exports()
    {
        TestSupport::TempContainer container;
        const Home home;
        QCOMPARE(home.cli(container.path(), {u"import-bookmarks"_s, fixture(u"chromium.html"_s)}).exitCode, 0);
        QCOMPARE(TestSupport::cli(container.path(), {u"add-file"_s, fixture(u"messy.html"_s)}).exitCode, 0);
        {
            auto context = container.open();
            context->insert(std::make_unique<Item>(ItemType::screenshot, u"Screenshot"_s));
            QVERIFY(context->save().ok());
        }

        const QString path = QDir(container.path()).filePath(u"bookmarks.html"_s);
        const auto r = home.cli(container.path(), {u"export-bookmarks"_s, u"-o"_s, path});
        QCOMPARE(err(r), QString());
        QCOMPARE(out(r), u"Exported 4 bookmarks, 2 folders to %1; left out 1 item without a URL.\n"_s.arg(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray html = file.readAll();
        QVERIFY(html.startsWith("<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"));
        QVERIFY(html.contains("<DT><A HREF=\"file://"));
        QVERIFY(html.contains("Sourdough &quot;starter&quot;</A>"));

        // Into a second library: the same bookmarks.
        TestSupport::TempContainer second;
        const auto back = home.cli(second.path(), {u"import-bookmarks"_s, path});
        QCOMPARE(out(back), u"Imported 4 items, 2 folders, 0 tags; skipped 0 duplicates, 0 unsupported links.\n"_s);
    }
};

QTEST_GUILESS_MAIN(TestCliBookmarks)
#include "tst_cli_bookmarks.moc"
