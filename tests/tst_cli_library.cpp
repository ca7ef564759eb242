#include "support/TestSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using TestSupport::cli;

namespace {
QString firstLine(const QByteArray& out)
{
    return QString::fromUtf8(out).section(u'\n', 0, 0).trimmed();
}
QList<QJsonObject> jsonLines(const QByteArray& out)
{
    QList<QJsonObject> objects;
    for (const QByteArray& line : out.split('\n')) {
        if (!line.trimmed().isEmpty())
            objects.append(QJsonDocument::fromJson(line).object());
    }
    return objects;
}
} // namespace

class TestCliLibrary : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    // An empty container name never falls back to the personal library.
    void emptyContainerIsRefused_data()
    {
        QTest::addColumn<bool>("app");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("environment");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("--container with an empty value")
            << false << QStringList{u"--container"_s, QString(), u"counts"_s} << QString() << 1;
        QTest::newRow("--container= with nothing after it")
            << false << QStringList{u"--container="_s, u"counts"_s} << QString() << 1;
        QTest::newRow("FOLIONEST_CONTAINER set but empty, tool")
            << false << QStringList{u"counts"_s} << u"FOLIONEST_CONTAINER="_s << 3;
        QTest::newRow("FOLIONEST_CONTAINER set but empty, application")
            << true << QStringList{u"--self-test"_s} << u"FOLIONEST_CONTAINER="_s << 1;
    }
    void emptyContainerIsRefused()
    {
        QFETCH(bool, app);
        QFETCH(QStringList, args);
        QFETCH(QString, environment);
        QFETCH(int, exitCode);
        QTemporaryDir home;
        QStringList env{u"XDG_DATA_HOME="_s + home.path(), u"XDG_CONFIG_HOME="_s + home.path()};
        if (!environment.isEmpty())
            env.append(environment);
        const auto result = TestSupport::run(app ? TestSupport::appPath() : TestSupport::cliPath(), args, env);
        QCOMPARE(result.exitCode, exitCode);
        QVERIFY2(result.err.toLower().contains("container"), result.err.constData());
        QVERIFY(!QDir(home.path()).exists(u"vellumkeep"_s)); // the personal library was not touched
    }

    // Control characters in names reach a terminal escaped, in every plain
    // listing; JSON keeps them exactly.
    void plainOutputEscapesControlCharacters()
    {
        TestSupport::TempContainer c;
        const QString hostile = u"a\x1b[2Jb\x1b]52;c;eA==\x07"
                                u"c\u202e\n"_s;
        const QString escaped = u"a\\x1B[2Jb\\x1B]52;c;eA==\\x07c\\u202E\\x0A"_s;
        const QString itemId =
            firstLine(cli(c.path(), {u"add"_s, u"--no-fetch"_s, u"https://a.example/"_s, u"--title"_s, hostile}).out);
        QCOMPARE(cli(c.path(), {u"folder"_s, u"add"_s, hostile}).exitCode, 0);
        const QString tagId = firstLine(cli(c.path(), {u"tag"_s, u"add"_s, hostile}).out);
        QCOMPARE(cli(c.path(), {u"tag"_s, u"attach"_s, itemId, tagId}).exitCode, 0);
        const QList<QStringList> commands{
            {u"list"_s}, {u"show"_s, itemId}, {u"folder"_s, u"list"_s}, {u"tag"_s, u"list"_s}, {u"search"_s, u"a"_s}};
        for (const QStringList& command : commands) {
            const auto r = cli(c.path(), command);
            QCOMPARE(r.exitCode, 0);
            const QString out = QString::fromUtf8(r.out);
            QVERIFY2(!out.contains(u'\x1b') && !out.contains(u'\x07') && !out.contains(u'\u202e'),
                     qPrintable(command.join(u' ')));
            QVERIFY2(out.contains(escaped), qPrintable(command.join(u' ') + u": "_s + out));
        }
        const auto json = jsonLines(cli(c.path(), {u"list"_s, u"--json"_s}).out);
        QCOMPARE(json.first().value("title"_L1).toString(), hostile);
    }

    void recordsThroughTheCli()
    {
        TestSupport::TempContainer c;
        const auto folder = cli(c.path(), {u"folder"_s, u"add"_s, u"Research"_s, u"--color"_s, u"ff9500"_s});
        QCOMPARE(folder.exitCode, 0);
        const QString folderId = firstLine(folder.out);
        const auto child = cli(c.path(), {u"folder"_s, u"add"_s, u"Papers"_s, u"--parent"_s, folderId});
        QCOMPARE(child.exitCode, 0);

        const auto added = cli(c.path(), {u"add"_s, u"--no-fetch"_s, u"https://www.youtube.com/watch?v=1"_s,
                                          u"--note"_s, u"n"_s, u"--folder"_s, folderId});
        QCOMPARE(added.exitCode, 0);
        const QString itemId = firstLine(added.out);
        QCOMPARE(itemId, itemId.toUpper());

        const QString tagId = firstLine(cli(c.path(), {u"tag"_s, u"add"_s, u"Work"_s, u"--color"_s, u"#fff"_s}).out);
        QCOMPARE(cli(c.path(), {u"tag"_s, u"attach"_s, itemId, tagId}).exitCode, 0);

        const auto listed = jsonLines(cli(c.path(), {u"list"_s, u"--json"_s}).out);
        QCOMPARE(listed.size(), 1);
        const QJsonObject item = listed.first();
        QCOMPARE(item.value("id"_L1).toString(), itemId);
        QCOMPARE(item.value("typeRawValue"_L1).toString(), u"video"_s);
        QCOMPARE(item.value("title"_L1).toString(), u"www.youtube.com"_s); // the host, as item creation does
        QCOMPARE(item.value("sourceDomain"_L1).toString(), u"www.youtube.com"_s);
        QCOMPARE(item.value("note"_L1).toString(), u"n"_s);
        QCOMPARE(item.value("folderId"_L1).toString(), folderId);
        QCOMPARE(item.value("tagIds"_L1).toArray(), QJsonArray{tagId});
        QVERIFY(item.value("accessedAt"_L1).isNull());
        QCOMPARE(item.value("hasThumbnail"_L1), QJsonValue(false));
        QVERIFY(item.value("createdAt"_L1).toString().endsWith(u'Z'));

        const auto tags = jsonLines(cli(c.path(), {u"tag"_s, u"list"_s, u"--json"_s}).out);
        QCOMPARE(tags.first().value("colorHex"_L1).toString(), u"#000FFF"_s); // the hex rule, as import does
        QCOMPARE(tags.first().value("itemCount"_L1).toInt(), 1);

        const auto folders = jsonLines(cli(c.path(), {u"folder"_s, u"list"_s, u"--json"_s}).out);
        QCOMPARE(folders.size(), 2);
        QCOMPARE(folders[1].value("parentId"_L1).toString(), folderId);

        // Editing through the item's operations moves modifiedAt.
        const QString modifiedBefore = item.value("modifiedAt"_L1).toString();
        QCOMPARE(cli(c.path(), {u"edit"_s, itemId, u"--favorite"_s, u"on"_s, u"--folder"_s, u"none"_s}).exitCode, 0);
        const QJsonObject edited = jsonLines(cli(c.path(), {u"show"_s, itemId, u"--json"_s}).out).first();
        QVERIFY(edited.value("isFavorite"_L1).toBool());
        QVERIFY(edited.value("folderId"_L1).isNull());
        QVERIFY(edited.value("modifiedAt"_L1).toString() > modifiedBefore);

        const auto counts = QString::fromUtf8(cli(c.path(), {u"counts"_s}).out);
        QCOMPARE(counts, u"inbox 1\nfavorites 1\nrecentlyAdded 1\nrecentlyViewed 0\narchived 0\nallItems 1\n"_s);

        // Deleting the folder tree keeps the items; deleting the tag detaches it.
        QCOMPARE(cli(c.path(), {u"folder"_s, u"delete"_s, folderId}).exitCode, 0);
        QCOMPARE(cli(c.path(), {u"folder"_s, u"list"_s}).out, QByteArray());
        QCOMPARE(cli(c.path(), {u"tag"_s, u"delete"_s, tagId}).exitCode, 0);
        const QJsonObject after = jsonLines(cli(c.path(), {u"list"_s, u"--json"_s}).out).first();
        QCOMPARE(after.value("tagIds"_L1).toArray(), QJsonArray{});
        QCOMPARE(cli(c.path(), {u"delete"_s, itemId}).exitCode, 0);
        QCOMPARE(cli(c.path(), {u"list"_s}).out, QByteArray());
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const QString unknown = u"9B2E0F39-4F4B-4B3C-9C47-3C1A1B1E5D11"_s;
        QTest::newRow("no command") << QStringList{} << 1 << u"Usage"_s;
        QTest::newRow("unknown command") << QStringList{u"frobnicate"_s} << 1 << u"unknown command"_s;
        QTest::newRow("id that is not a UUID") << QStringList{u"show"_s, u"12"_s} << 1 << u"not a valid item id"_s;
        QTest::newRow("unknown item") << QStringList{u"show"_s, unknown} << 2 << u"no item with id"_s;
        QTest::newRow("unknown folder") << QStringList{u"folder"_s, u"delete"_s, unknown} << 2 << u"no folder"_s;
        QTest::newRow("unknown tag") << QStringList{u"tag"_s, u"delete"_s, unknown} << 2 << u"no tag"_s;
        QTest::newRow("URL without scheme") << QStringList{u"add"_s, u"example.com"_s} << 1 << u"not a URL"_s;
        QTest::newRow("unknown option") << QStringList{u"list"_s, u"--colour"_s} << 1 << u"unknown option"_s;
        QTest::newRow("missing option value")
            << QStringList{u"add"_s, u"https://a.b"_s, u"--title"_s} << 1 << u"needs a value"_s;
        QTest::newRow("bad on/off is a usage error before the lookup")
            << QStringList{u"edit"_s, unknown, u"--favorite"_s, u"maybe"_s} << 1 << u"takes on or off"_s;
        QTest::newRow("extra argument") << QStringList{u"counts"_s, u"now"_s} << 1 << u"unexpected argument"_s;
    }
    void failures()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, message);
        TestSupport::TempContainer c;
        const auto result = cli(c.path(), args);
        QCOMPARE(result.exitStatus, QProcess::NormalExit);
        QCOMPARE(result.exitCode, status);
        QVERIFY2(QString::fromUtf8(result.err).contains(message), result.err.constData());
    }
};

QTEST_GUILESS_MAIN(TestCliLibrary)
#include "tst_cli_library.moc"
