#include "support/TestSupport.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using TestSupport::cli;

class TestCliEngine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void searchPrintsTheDisplayedList()
    {
        TestSupport::TempContainer c;
        auto add = [&](const QStringList& args) {
            const auto r = cli(c.path(), QStringList{u"add"_s, u"--no-fetch"_s} + args);
            return r.exitCode == 0 ? QString::fromUtf8(r.out).trimmed() : QString();
        };
        const QString garden = add({u"https://example.com/a"_s, u"--title"_s, u"Garden tips"_s});
        const QString mine = add({u"https://garden.org/b"_s, u"--title"_s, u"My garden"_s});
        const QString other = add({u"https://example.com/c"_s, u"--title"_s, u"Other"_s});
        QVERIFY(!garden.isEmpty() && !mine.isEmpty() && !other.isEmpty());
        const QString tag = QString::fromUtf8(cli(c.path(), {u"tag"_s, u"add"_s, u"t"_s}).out).trimmed();
        QCOMPARE(cli(c.path(), {u"tag"_s, u"attach"_s, other, tag}).exitCode, 0);
        QCOMPARE(cli(c.path(), {u"edit"_s, mine, u"--archived"_s, u"on"_s}).exitCode, 0);

        auto lines = [&](const QStringList& args) {
            const auto r = cli(c.path(), QStringList{u"search"_s} + args);
            return QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts);
        };
        QCOMPARE(lines({u"garden"_s}), QStringList{u"150\t"_s + garden + u"\tGarden tips"_s});
        // The archived smart folder lets the archived item through, ranked:
        // title 100, source domain 20, URL 10.
        QCOMPARE(lines({u"garden"_s, u"--smart"_s, u"archived"_s}), QStringList{u"130\t"_s + mine + u"\tMy garden"_s});
        QCOMPARE(lines({u"--tag"_s, tag}), QStringList{u"0\t"_s + other + u"\tOther"_s});
        QCOMPARE(lines({u"--sort"_s, u"title_asc"_s}).size(), 2);
        const auto json = cli(c.path(), {u"search"_s, u"tips"_s, u"--json"_s});
        const QJsonObject o = QJsonDocument::fromJson(json.out.split('\n').first()).object();
        QCOMPARE(o.value("score"_L1).toInt(), 100);
        QCOMPARE(o.value("id"_L1).toString(), garden);
    }

    void searchRejectsBadArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown smart folder") << QStringList{u"--smart"_s, u"trash"_s} << u"unknown smart folder"_s;
        QTest::newRow("unknown type") << QStringList{u"--type"_s, u"Video"_s} << u"unknown type"_s;
        QTest::newRow("unknown sort") << QStringList{u"--sort"_s, u"newest"_s} << u"unknown sort order"_s;
        QTest::newRow("tag that is not a UUID") << QStringList{u"--tag"_s, u"red"_s} << u"not a valid tag id"_s;
    }
    void searchRejectsBadArguments()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        TestSupport::TempContainer c;
        const auto r = cli(c.path(), QStringList{u"search"_s} + args);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.constData());
    }

    void imageCommands()
    {
        QTemporaryDir dir;
        QImage image(1600, 1200, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QVERIFY(image.save(dir.filePath(u"in.png"_s)));
        const auto thumb = TestSupport::run(TestSupport::cliPath(),
                                            {u"thumbnail"_s, dir.filePath(u"in.png"_s), dir.filePath(u"t.jpg"_s)});
        QCOMPARE(thumb.exitCode, 0);
        QCOMPARE(QImage(dir.filePath(u"t.jpg"_s)).size(), QSize(400, 300));
        const auto same = TestSupport::run(TestSupport::cliPath(),
                                           {u"compress"_s, dir.filePath(u"in.png"_s), dir.filePath(u"c.png"_s)});
        QCOMPARE(same.exitCode, 0);
        QFile a(dir.filePath(u"in.png"_s)), b(dir.filePath(u"c.png"_s));
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QCOMPARE(a.readAll(), b.readAll());

        QFile html(dir.filePath(u"page.html"_s));
        QVERIFY(html.open(QIODevice::WriteOnly));
        html.write("<html><title>not a picture</title></html>");
        html.close();
        for (const QString& command : {u"thumbnail"_s, u"compress"_s}) {
            const auto r = TestSupport::run(TestSupport::cliPath(), {command, html.fileName(), dir.filePath(u"o"_s)});
            QCOMPARE(r.exitCode, 4);
            QVERIFY(!QFile::exists(dir.filePath(u"o"_s)));
        }
    }
};

QTEST_GUILESS_MAIN(TestCliEngine)
#include "tst_cli_engine.moc"
