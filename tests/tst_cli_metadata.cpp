#include "support/TestHttpServer.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
// Runs the tool while this process's event loop keeps serving HTTP.
TestSupport::ProcessResult runServing(const QStringList& args)
{
    QProcess process;
    process.start(TestSupport::cliPath(), args);
    TestSupport::ProcessResult result;
    if (!process.waitForStarted())
        return result;
    QDeadlineTimer deadline(30000);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    result.exitCode = process.exitCode();
    result.exitStatus = process.exitStatus();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

const QByteArray kPage = "<html><head><title> Saved &amp; sound </title><meta name=\"description\" "
                         "content=\"What it is\"><meta property=\"og:image\" content=\"pics/a.png\">"
                         "<meta property=\"og:site_name\" content=\"Site\"></head><body></body></html>";
} // namespace

class TestCliMetadata : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void addFetchesTitleMetadataAndThumbnail()
    {
        TestHttpServer server;
        server.route(u"/doc/page"_s, TestHttpServer::html(kPage));
        QImage picture(640, 480, QImage::Format_RGB32);
        picture.fill(Qt::yellow);
        TestHttpServer::Response png;
        QBuffer buffer(&png.body);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "PNG");
        server.route(u"/doc/pics/a.png"_s, png);

        TestSupport::TempContainer c;
        const auto added =
            runServing({u"--container"_s, c.path(), u"add"_s, server.url(u"/doc/page"_s).toString(), u"--json"_s});
        QCOMPARE(added.exitCode, 0);
        const QJsonObject item = QJsonDocument::fromJson(added.out).object();
        QCOMPARE(item.value("title"_L1).toString(), u"Saved & sound"_s);
        QCOMPARE(item.value("hasThumbnail"_L1).toBool(), true);
        QCOMPARE(item.value("metadataJSON"_L1).toObject().value("description"_L1).toString(), u"What it is"_s);
        QCOMPARE(server.count(u"/doc/page"_s), 1);

        const auto metadata = runServing({u"metadata"_s, server.url(u"/doc/page"_s).toString()});
        QCOMPARE(metadata.exitCode, 0);
        const QJsonObject m = QJsonDocument::fromJson(metadata.out).object();
        QCOMPARE(m.value("imageURL"_L1).toString(), server.url(u"/doc/pics/a.png"_s).toString());
        QCOMPARE(m.value("siteName"_L1).toString(), u"Site"_s);
        QVERIFY(!m.contains("author"_L1));

        const auto missing = runServing({u"metadata"_s, server.url(u"/nothing"_s).toString()});
        QCOMPARE(missing.exitCode, 5);
        QVERIFY(missing.err.contains("Failed to fetch metadata"));
    }

    // A page's <title> can carry escape sequences that rewrite the screen or
    // set the terminal's clipboard: plain output shows them escaped, JSON
    // keeps them exactly.
    void addPrintsAFetchedTitleEscaped()
    {
        TestHttpServer server;
        server.route(u"/evil"_s, TestHttpServer::html("<html><head><title>Hi\x1b]52;c;ZXZpbA==\x07\x1b[2J"
                                                      "\xe2\x80\xae</title></head></html>"));
        TestSupport::TempContainer c;
        const auto plain = runServing({u"--container"_s, c.path(), u"add"_s, server.url(u"/evil"_s).toString()});
        QCOMPARE(plain.exitCode, 0);
        QVERIFY2(!plain.out.contains('\x1b') && !plain.out.contains('\x07') && !plain.out.contains("\xe2\x80\xae"),
                 plain.out.constData());
        QVERIFY(plain.out.contains(R"(title:        Hi\x1B]52;c;ZXZpbA==\x07\x1B[2J\u202E)"));
        const auto json = runServing({u"--container"_s, c.path(), u"list"_s, u"--json"_s});
        QCOMPARE(QJsonDocument::fromJson(json.out.trimmed()).object().value("title"_L1).toString(),
                 u"Hi\x1b]52;c;ZXZpbA==\x07\x1b[2J\u202e"_s);
    }

    void parseHtmlReadsASavedPage()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(u"page.html"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(kPage);
        file.close();
        const auto r = TestSupport::run(
            TestSupport::cliPath(), {u"parse-html"_s, file.fileName(), u"--url"_s, u"https://example.com/doc/page"_s});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray(R"({"description":"What it is","imageURL":"https://example.com/doc/pics/a.png",)"
                                   R"("siteName":"Site","title":"Saved & sound"})"
                                   "\n"));
        const auto noUrl = TestSupport::run(TestSupport::cliPath(), {u"parse-html"_s, file.fileName()});
        QCOMPARE(noUrl.exitCode, 1);
    }
};

QTEST_GUILESS_MAIN(TestCliMetadata)
#include "tst_cli_metadata.moc"
