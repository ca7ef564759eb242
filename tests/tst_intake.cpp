// The share intake: pending entries in the container's queue folder become
// items; the wake-up signal on the session bus, the window's activation and
// the start-up step run it; `folionest-cli share` and `folionest FILE…` fill
// the queue.

#include "support/TestHttpServer.h"
#include "support/TestSupport.h"

#include "app/AppNotifications.h"
#include "app/AppState.h"
#include "model/Item.h"
#include "platform/ContainerPaths.h"
#include "platform/NewItemsSignal.h"
#include "platform/SingleInstance.h"
#include "services/intake/PendingItemFile.h"
#include "services/intake/PendingItemsService.h"
#include "services/intake/PendingShare.h"
#include "services/metadata/MetadataService.h"
#include "store/ModelContext.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"

#include <QBuffer>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(PendingItemsService::RunResult)

namespace {

QByteArray pictureBytes(int width = 640, int height = 480, const char* format = "png")
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QPainter(&image).fillRect(0, 0, width / 2, height / 2, Qt::yellow);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QByteArray json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

int mode(const QString& path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 0777);
}

bool exists(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

// Runs the intake once over a container and waits for it to finish.
PendingItemsService::RunResult runIntake(PendingItemsService& service, ModelContext& context,
                                         MetadataService* metadata = nullptr)
{
    QSignalSpy finished(&service, &PendingItemsService::runFinished);
    service.processPendingItems(context, metadata);
    if (!finished.wait(60000))
        return {-1, -1};
    return finished.first().first().value<PendingItemsService::RunResult>();
}

} // namespace

class TestIntake : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        TestSupport::initTestEnvironment();
        qRegisterMetaType<PendingItemsService::RunResult>();
    }

    // Files are named relative to the container: "PendingItems/a.png". A
    // file's content "<png>" is a real picture; "$QUEUE" and "$CONTAINER"
    // stand for those folders' paths. A link is "name>target".
    void takesInEntries_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QString>("type");  // of the item made; empty: none
        QTest::addColumn<QString>("title"); // and its URL text below
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("picture");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<QStringList>("gone");

        const QString e = u"PendingItems/entry.json"_s;
        const QStringList png{u"PendingItems/a.png=<png>"_s};
        const QStringList outside{u"outside.png=<png>"_s};
        auto entry = [](std::initializer_list<std::pair<const char*, const char*>> fields) {
            QJsonObject o;
            for (const auto& [key, value] : fields)
                o.insert(QString::fromUtf8(key), QString::fromUtf8(value));
            return json(o);
        };

        QTest::newRow("web link") << entry({{"type", "web_link"}, {"title", "T"}, {"url", "https://example.com/a"}})
                                  << QStringList() << QStringList() << u"web_link"_s << u"T"_s
                                  << u"https://example.com/a"_s << false << QStringList() << QStringList{e};
        QTest::newRow("video type") << entry({{"type", "video"}, {"title", "V"}, {"url", "https://example.com/v"}})
                                    << QStringList() << QStringList() << u"video"_s << u"V"_s
                                    << u"https://example.com/v"_s << false << QStringList() << QStringList{e};
        QTest::newRow("a type of no name is a web link")
            << entry({{"type", "podcast"}, {"title", ""}, {"url", "https://example.com/p"}}) << QStringList()
            << QStringList() << u"web_link"_s << u""_s << u"https://example.com/p"_s << false << QStringList()
            << QStringList{e};
        QTest::newRow("url wins, the picture stays")
            << entry(
                   {{"type", "web_link"}, {"title", "W"}, {"url", "https://example.com/"}, {"imageFileName", "a.png"}})
            << png << QStringList() << u"web_link"_s << u"W"_s << u"https://example.com/"_s << false
            << QStringList{u"PendingItems/a.png"_s} << QStringList{e};
        QTest::newRow("picture makes a screenshot and goes")
            << entry({{"type", "image"}, {"title", "S"}, {"imageFileName", "a.png"}, {"note", "n"}}) << png
            << QStringList() << u"screenshot"_s << u"S"_s << QString() << true << QStringList()
            << QStringList{e, u"PendingItems/a.png"_s};
        QTest::newRow("an unusable url falls to the picture")
            << entry({{"type", "web_link"}, {"title", "S"}, {"url", "http://[::1"}, {"imageFileName", "a.png"}}) << png
            << QStringList() << u"screenshot"_s << u"S"_s << QString() << true << QStringList()
            << QStringList{e, u"PendingItems/a.png"_s};
        QTest::newRow("bytes that are no picture make an item without one")
            << entry({{"type", "image"}, {"title", "S"}, {"imageFileName", "a.png"}})
            << QStringList{u"PendingItems/a.png=<html>not a picture</html>"_s} << QStringList() << u"screenshot"_s
            << u"S"_s << QString() << false << QStringList() << QStringList{e, u"PendingItems/a.png"_s};
        QTest::newRow("missing picture") << entry({{"type", "image"}, {"title", "S"}, {"imageFileName", "gone.png"}})
                                         << QStringList() << QStringList() << QString() << QString() << QString()
                                         << false << QStringList() << QStringList{e};
        QTest::newRow("document stays where it is")
            << entry({{"type", "document"}, {"title", "D"}, {"filePath", "docs/r.pdf"}})
            << QStringList{u"PendingItems/docs/r.pdf=%PDF-1.4"_s} << QStringList() << u"document"_s << u"D"_s
            << u"file://$QUEUE/docs/r.pdf"_s << false << QStringList{u"PendingItems/docs/r.pdf"_s} << QStringList{e};
        QTest::newRow("missing document")
            << entry({{"type", "document"}, {"title", "D"}, {"filePath", "docs/r.pdf"}}) << QStringList()
            << QStringList() << QString() << QString() << QString() << false << QStringList() << QStringList{e};
        QTest::newRow("no title") << entry({{"type", "web_link"}, {"url", "https://example.com/"}}) << QStringList()
                                  << QStringList() << QString() << QString() << QString() << false << QStringList()
                                  << QStringList{e};
        QTest::newRow("title of another kind")
            << QByteArray("{\"type\":\"web_link\",\"title\":7,\"url\":\"https://example.com/\"}") << QStringList()
            << QStringList() << QString() << QString() << QString() << false << QStringList() << QStringList{e};
        QTest::newRow("top level array") << QByteArray(
            "[{\"type\":\"web_link\",\"title\":\"T\",\"url\":\"https://e.com\"}]")
                                         << QStringList() << QStringList() << QString() << QString() << QString()
                                         << false << QStringList() << QStringList{e};
        QTest::newRow("nothing to make an item of")
            << entry({{"type", "web_link"}, {"title", "T"}}) << QStringList() << QStringList() << QString() << QString()
            << QString() << false << QStringList() << QStringList{e};
        QTest::newRow("upper-case extension is no entry")
            << QByteArray()
            << QStringList{u"PendingItems/x.JSON={\"type\":\"video\",\"title\":\"t\",\"url\":\"h:x\"}"_s}
            << QStringList() << QString() << QString() << QString() << false << QStringList{u"PendingItems/x.JSON"_s}
            << QStringList();
        QTest::newRow("hidden entry is no entry")
            << QByteArray()
            << QStringList{u"PendingItems/.x.json={\"type\":\"video\",\"title\":\"t\",\"url\":\"h:x\"}"_s}
            << QStringList() << QString() << QString() << QString() << false << QStringList{u"PendingItems/.x.json"_s}
            << QStringList();
        QTest::newRow("over 1 MiB is removed unread")
            << entry({{"type", "web_link"}, {"title", "T"}, {"url", "https://example.com/"}}) + QByteArray(1 << 20, ' ')
            << QStringList() << QStringList() << QString() << QString() << QString() << false << QStringList()
            << QStringList{e};

        // Names that lead out of the queue folder: no item, and nothing
        // outside it read, moved or removed.
        for (const char* name : {"../outside.png", "$CONTAINER/outside.png", "a/../../outside.png", "link.png"}) {
            QTest::addRow("picture %s", name)
                << entry({{"type", "image"}, {"title", "S"}, {"imageFileName", name}}) << outside
                << QStringList{u"PendingItems/link.png>../outside.png"_s} << QString() << QString() << QString()
                << false << QStringList{u"outside.png"_s, u"PendingItems/link.png"_s} << QStringList{e};
        }
        for (const char* path : {"../outside.png", "$CONTAINER/outside.png", "docs/../../outside.png",
                                 "out/outside.png", "../default.store", "linked-store"}) {
            QTest::addRow("document %s", path)
                << entry({{"type", "document"}, {"title", "D"}, {"filePath", path}}) << outside
                << QStringList{u"PendingItems/out>.."_s, u"PendingItems/linked-store>../default.store"_s} << QString()
                << QString() << QString() << false
                << QStringList{u"outside.png"_s, u"default.store"_s, u"PendingItems/linked-store"_s} << QStringList{e};
        }
        QTest::newRow("a link inside the folder is followed")
            << entry({{"type", "document"}, {"title", "D"}, {"filePath", "latest.pdf"}})
            << QStringList{u"PendingItems/docs/r.pdf=%PDF-1.4"_s}
            << QStringList{u"PendingItems/latest.pdf>docs/r.pdf"_s} << u"document"_s << u"D"_s
            << u"file://$QUEUE/docs/r.pdf"_s << false
            << QStringList{u"PendingItems/docs/r.pdf"_s, u"PendingItems/latest.pdf"_s} << QStringList{e};
        QTest::newRow("entry that is a link out is removed, its target kept")
            << QByteArray() << QStringList{u"outside.json={\"type\":\"video\",\"title\":\"t\",\"url\":\"h:x\"}"_s}
            << QStringList{u"PendingItems/evil.json>../outside.json"_s} << QString() << QString() << QString() << false
            << QStringList{u"outside.json"_s} << QStringList{u"PendingItems/evil.json"_s};
    }

    void takesInEntries()
    {
        QFETCH(QByteArray, entry);
        QFETCH(QStringList, files);
        QFETCH(QStringList, links);
        QFETCH(QString, type);
        QFETCH(QString, title);
        QFETCH(QString, url);
        QFETCH(bool, picture);
        QFETCH(QStringList, kept);
        QFETCH(QStringList, gone);

        TestSupport::TempContainer container;
        auto context = container.open();
        QVERIFY(context->save().ok());
        const QString queue = ContainerPaths::pendingItemsDirectory(container.path());
        QVERIFY(QDir().mkpath(queue));
        auto expand = [&](QString text) {
            return text.replace(u"$QUEUE"_s, queue).replace(u"$CONTAINER"_s, container.path());
        };
        const QByteArray png = pictureBytes();
        for (const QString& file : std::as_const(files)) {
            const qsizetype eq = file.indexOf(u'=');
            const QString path = container.path() + u'/' + file.left(eq);
            QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
            const QString content = file.mid(eq + 1);
            QVERIFY(TestSupport::writeFile(path, content == u"<png>" ? png : content.toUtf8()));
        }
        for (const QString& link : std::as_const(links)) {
            const qsizetype arrow = link.indexOf(u'>');
            QVERIFY(QFile::link(link.mid(arrow + 1), container.path() + u'/' + link.left(arrow)));
        }
        if (!entry.isEmpty())
            QVERIFY(TestSupport::writeFile(queue + u"/entry.json"_s, expand(QString::fromUtf8(entry)).toUtf8()));
        const QByteArray storeBefore = TestSupport::readFile(container.storePath());

        PendingItemsService service;
        const PendingItemsService::RunResult result = runIntake(service, *context);
        QCOMPARE(result.itemsMade, type.isEmpty() ? 0 : 1);
        QCOMPARE(context->items().size(), type.isEmpty() ? 0 : 1);
        if (!type.isEmpty()) {
            const Item* item = context->items().first();
            QCOMPARE(item->typeRawValue(), type);
            QCOMPARE(item->title(), title);
            QCOMPARE(item->urlString().value_or(QString()), expand(url));
            QCOMPARE(item->hasImage(), picture);
            QCOMPARE(item->hasThumbnail(), picture);
            if (picture) {
                QCOMPARE(*item->imageData(), png); // under 10 MiB: kept as given
                QCOMPARE(QImage::fromData(*item->thumbnailData()).size(), QSize(400, 300));
            }
            if (type == u"document")
                QCOMPARE(item->sourceDomain().value_or(QString()), u"r.pdf"_s);
            if (entry.contains("\"note\""))
                QCOMPARE(item->note().value_or(QString()), u"n"_s);
        }
        for (const QString& path : std::as_const(kept))
            QVERIFY2(exists(container.path() + u'/' + path), qPrintable(path + u" was removed"_s));
        for (const QString& path : std::as_const(gone))
            QVERIFY2(!exists(container.path() + u'/' + path), qPrintable(path + u" is still there"_s));
        if (kept.contains(u"outside.png"_s))
            QCOMPARE(TestSupport::readFile(container.path() + u"/outside.png"_s), png);
        if (type.isEmpty())
            QCOMPARE(TestSupport::readFile(container.storePath()), storeBefore);
    }

    void oddEntriesNeitherHangNorSpread()
    {
        TestSupport::TempContainer container;
        auto context = container.open();
        const QString queue = ContainerPaths::pendingItemsDirectory(container.path());
        QVERIFY(QDir().mkpath(queue + u"/folder.json"_s));
        // A FIFO would block a plain read for ever.
        QCOMPARE(::mkfifo(QFile::encodeName(queue + u"/pipe.json"_s).constData(), 0600), 0);
        QVERIFY(TestSupport::writeFile(queue + u"/pipe-picture.json"_s,
                                       "{\"type\":\"image\",\"title\":\"p\",\"imageFileName\":\"p.png\"}"));
        QCOMPARE(::mkfifo(QFile::encodeName(queue + u"/p.png"_s).constData(), 0600), 0);

        PendingItemsService service;
        const PendingItemsService::RunResult result = runIntake(service, *context);
        QCOMPARE(result.itemsMade, 0);
        QVERIFY(context->items().isEmpty());
        QVERIFY(QFileInfo(queue + u"/folder.json"_s).isDir());
        QVERIFY(!exists(queue + u"/pipe.json"_s));
        QVERIFY(!exists(queue + u"/pipe-picture.json"_s));
        QVERIFY(exists(queue + u"/p.png"_s));

        // No queue folder at all is an empty queue.
        TestSupport::TempContainer bare;
        auto bareContext = bare.open();
        QCOMPARE(runIntake(service, *bareContext).itemsMade, 0);
    }

    void webItemsFetchTheirPage()
    {
        TestHttpServer server;
        server.route(u"/page"_s, TestHttpServer::html("<html><head><title>Fetched title</title></head></html>"));
        TestSupport::TempContainer container;
        auto context = container.open();
        const QString queue = ContainerPaths::pendingItemsDirectory(container.path());
        QVERIFY(QDir().mkpath(queue));
        const QString pageUrl = server.url(u"/page"_s).toString();
        QVERIFY(
            TestSupport::writeFile(queue + u"/web.json"_s,
                                   json({{u"type"_s, u"web_link"_s}, {u"title"_s, u"Shared"_s}, {u"url"_s, pageUrl}})));
        MetadataService metadata;
        PendingItemsService service;
        QCOMPARE(runIntake(service, *context, &metadata).itemsMade, 1);
        Item* item = context->items().first();
        QTRY_COMPARE(item->title(), u"Fetched title"_s);
        QCOMPARE(server.count(u"/page"_s) >= 1, true);
    }

    void triggersDuringARunAreServedAfterIt()
    {
        TestSupport::TempContainer container;
        auto context = container.open();
        const QString queue = ContainerPaths::pendingItemsDirectory(container.path());
        QVERIFY(QDir().mkpath(queue));
        for (int i = 0; i < 50; ++i) {
            const QString url = u"https://example.com/%1"_s.arg(i);
            QVERIFY(TestSupport::writeFile(queue + u"/%1.json"_s.arg(i),
                                           json({{u"type"_s, u"web_link"_s}, {u"title"_s, url}, {u"url"_s, url}})));
        }
        PendingItemsService service;
        QSignalSpy finished(&service, &PendingItemsService::runFinished);
        service.processPendingItems(*context, nullptr);
        service.processPendingItems(*context, nullptr);
        service.processPendingItems(*context, nullptr);
        QTRY_COMPARE(finished.size(), 2);
        QVERIFY(!service.isRunning());
        QCOMPARE(finished.at(0).first().value<PendingItemsService::RunResult>().itemsMade, 50);
        QCOMPARE(finished.at(1).first().value<PendingItemsService::RunResult>().itemsMade, 0);
        QCOMPARE(context->items().size(), 50);
        QVERIFY(QDir(queue).isEmpty());
    }

    void shareWritesPrivateEntriesTheIntakeTakesIn()
    {
        TestSupport::TempContainer root;
        const QString container = root.path() + u"/library"_s; // made by the share
        QTemporaryDir sources;
        const QString photo = sources.filePath(u"Holiday photo.JPG"_s);
        const QString report = sources.filePath(u"report.v2.pdf"_s);
        QVERIFY(TestSupport::writeFile(photo, pictureBytes(800, 600, "jpeg")));
        QVERIFY(TestSupport::writeFile(report, "%PDF-1.4 a report"));
        const QStringList env{u"FOLIONEST_CONTAINER="_s + container};

        // A bad argument anywhere: nothing written.
        for (const QStringList& args :
             {QStringList{u"share"_s, photo, sources.filePath(u"missing.pdf"_s)},
              QStringList{u"share"_s, u"https://example.com/"_s, u"--type"_s, u"podcast"_s}, QStringList{u"share"_s}}) {
            const TestSupport::ProcessResult bad = TestSupport::run(TestSupport::cliPath(), args, env);
            QCOMPARE(bad.exitCode, 1);
            QCOMPARE(bad.err.count('\n'), 1);
            QVERIFY(!exists(ContainerPaths::pendingItemsDirectory(container)));
        }

        const TestSupport::ProcessResult shared = TestSupport::run(
            TestSupport::cliPath(), {u"share"_s, u"https://www.youtube.com/watch?v=x"_s, photo, report}, env);
        QCOMPARE(shared.exitCode, 0);
        QVERIFY2(shared.out.startsWith("Shared 3 items.\nThey wait in "), shared.out.constData());
        const TestSupport::ProcessResult noted =
            TestSupport::run(TestSupport::cliPath(),
                             {u"share"_s, u"file://"_s + report, u"--title"_s, u"Q3"_s, u"--note"_s, u"read first"_s,
                              u"--type"_s, u"web_link"_s},
                             env);
        QCOMPARE(noted.exitCode, 0);

        const QString queue = ContainerPaths::pendingItemsDirectory(container);
        QCOMPARE(mode(container), 0700);
        QCOMPARE(mode(queue), 0700);
        QDirIterator it(queue, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        int files = 0;
        while (it.hasNext()) {
            const QString path = it.next();
            QVERIFY2(!QFileInfo(path).fileName().startsWith(u'.'), qPrintable(path));
            if (QFileInfo(path).isFile()) {
                ++files;
                QCOMPARE(mode(path), 0600);
            }
        }
        QCOMPARE(files, 4 + 3); // four entries, a picture and two documents

        auto opened = ModelContext::open(ContainerPaths::storePath(container));
        QVERIFY(opened.ok());
        std::unique_ptr<ModelContext> context = std::move(opened).value();
        PendingItemsService service;
        QCOMPARE(runIntake(service, *context).itemsMade, 4);
        QVERIFY(context->save().ok());
        // The store the share's container got, and its journal files, are private too.
        const QString store = ContainerPaths::storePath(container);
        for (const QString& file : QStringList{store, store + u"-wal"_s, store + u"-shm"_s})
            QCOMPARE(mode(file), 0600);
        QHash<QString, const Item*> byTitle;
        for (const Item* item : context->items())
            byTitle.insert(item->title(), item);
        QCOMPARE(byTitle.size(), 4);
        QCOMPARE(byTitle.value(u"www.youtube.com"_s)->typeRawValue(), u"video"_s);
        const Item* picture = byTitle.value(u"Holiday photo"_s);
        QCOMPARE(picture->typeRawValue(), u"screenshot"_s);
        QCOMPARE(*picture->imageData(), TestSupport::readFile(photo));
        QVERIFY(picture->hasThumbnail());
        const Item* document = byTitle.value(u"report.v2"_s);
        QCOMPARE(document->typeRawValue(), u"document"_s);
        QCOMPARE(document->sourceDomain().value_or(QString()), u"report.v2.pdf"_s);
        const QString copy = QUrl(document->urlString().value_or(QString())).toLocalFile();
        QVERIFY(copy.startsWith(QFileInfo(queue).canonicalFilePath() + u'/'));
        QCOMPARE(TestSupport::readFile(copy), TestSupport::readFile(report));
        const Item* withNote = byTitle.value(u"Q3"_s);
        QCOMPARE(withNote->typeRawValue(), u"document"_s); // the type names only web items
        QCOMPARE(withNote->note().value_or(QString()), u"read first"_s);
        // What stays: the two documents, in folders of their own.
        QCOMPARE(QDir(queue).entryList(QDir::Files | QDir::Hidden).size(), 0);
        QCOMPARE(QDir(queue).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 2);
    }

    void shareWhileTheIntakeLoopsNeverShowsHalfAnEntry()
    {
        TestSupport::TempContainer container;
        auto context = container.open();
        QTemporaryDir sources;
        QStringList args{u"share"_s};
        for (int i = 0; i < 6; ++i) {
            const QString path = sources.filePath(u"p%1.jpg"_s.arg(i));
            QVERIFY(TestSupport::writeFile(path, pictureBytes(1600 + i, 1200, "jpeg")));
            args << path << u"https://example.com/%1"_s.arg(i);
        }
        constexpr int kRounds = 4;
        PendingItemsService service;
        int rejected = 0;
        connect(&service, &PendingItemsService::runFinished, this,
                [&](const PendingItemsService::RunResult& result) { rejected += result.entriesRejected; });
        // The intake runs again and again while the shares write.
        bool looping = true;
        connect(&service, &PendingItemsService::runFinished, this, [&] {
            if (looping)
                // Tied to the service: a pending run dies with it, not after this test.
                QTimer::singleShot(0, &service, [&] { service.processPendingItems(*context, nullptr); });
        });
        service.processPendingItems(*context, nullptr);
        for (int round = 0; round < kRounds; ++round) {
            QProcess share;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(u"FOLIONEST_CONTAINER"_s, container.path());
            share.setProcessEnvironment(env);
            share.start(TestSupport::cliPath(), args);
            QVERIFY(share.waitForStarted());
            QTRY_COMPARE_WITH_TIMEOUT(share.state(), QProcess::NotRunning, 60000);
            QCOMPARE(share.exitCode(), 0);
        }
        QTRY_COMPARE_WITH_TIMEOUT(context->items().size(), kRounds * 12, 60000);
        looping = false;
        QTRY_VERIFY(!service.isRunning());
        QCOMPARE(rejected, 0);
        int pictures = 0;
        for (const Item* item : context->items()) {
            if (item->typeRawValue() == u"screenshot") {
                ++pictures;
                QVERIFY(item->hasImage());
                QVERIFY(item->hasThumbnail());
            }
        }
        QCOMPARE(pictures, kRounds * 6);
    }

    void wakeUpSignalRunsTheIntakeOnce()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("needs a session bus (scripts/setup.sh test runs one)");
        TestSupport::TempContainer container;
        auto context = container.open();
        AppState state;
        state.observe(context.get());
        SingleInstance instance(container.path());
        QCOMPARE(instance.claim(), SingleInstance::Claim::owner);
        Application application(context.get(), &state);
        int notified = 0;
        connect(&AppNotifications::instance(), &AppNotifications::processPendingItems, this, [&] { ++notified; });
        QSignalSpy deferred(&application, &Application::deferredStartup);
        QSignalSpy runs(&PendingItemsService::shared(), &PendingItemsService::runFinished);
        application.start();

        // Before the start-up step nobody listens.
        QVERIFY(NewItemsSignal::send());
        QVERIFY(deferred.wait());
        // The start-up step takes in what waited, once.
        QCOMPARE(notified, 1);
        QTRY_VERIFY(!PendingItemsService::shared().isRunning());

        // A share from another process: its signal makes exactly one intake.
        runs.clear();
        notified = 0;
        QTemporaryDir sources;
        const QString picture = sources.filePath(u"shot.png"_s);
        QVERIFY(TestSupport::writeFile(picture, pictureBytes()));
        const TestSupport::ProcessResult shared = TestSupport::cli(container.path(), {u"share"_s, picture});
        QCOMPARE(shared.exitCode, 0);
        QVERIFY2(shared.out.contains("Folionest takes it in now."), shared.out.constData());
        QTRY_COMPARE(context->items().size(), 1);
        QTRY_VERIFY(!PendingItemsService::shared().isRunning());
        // Whatever the bus still held for us has arrived after a round trip.
        QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
            u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s, u"org.freedesktop.DBus.Peer"_s, u"Ping"_s));
        QCoreApplication::processEvents();
        QCOMPARE(notified, 1);
        QCOMPARE(runs.size(), 1);
        QCOMPARE(context->items().first()->title(), u"shot"_s);
        QVERIFY(context->items().first()->hasThumbnail());
    }

    void windowActivationRunsTheIntake()
    {
        TestSupport::TempContainer container;
        auto context = container.open();
        AppState state;
        MetadataService metadata;
        MainWindow window(context.get(), &state, nullptr, &metadata);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY(!PendingItemsService::shared().isRunning());
        const PendingShare::Source mail{QUrl(u"mailto:someone@example.com"_s), {}, false};
        QVERIFY(PendingShare::write(container.path(), mail, {u"Mail"_s, std::nullopt, std::nullopt}).ok());
        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == other.windowHandle());
        QVERIFY(context->items().isEmpty());
        window.activateWindow();
        QTRY_COMPARE(context->items().size(), 1);
        QCOMPARE(context->items().first()->urlString().value_or(QString()), u"mailto:someone@example.com"_s);
    }

    void openingFilesHandsThemToTheRunningWindow()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("needs a session bus (scripts/setup.sh test runs one)");
        TestSupport::TempContainer container;
        QTemporaryDir config;
        QTemporaryDir sources;
        QVERIFY(TestSupport::writeFile(sources.filePath(u"notes.txt"_s), "some notes"));
        QVERIFY(TestSupport::writeFile(sources.filePath(u"first.pdf"_s), "%PDF-1.4"));
        const QStringList env{u"QT_QPA_PLATFORM=offscreen"_s, u"FOLIONEST_CONTAINER="_s + container.path(),
                              u"XDG_CONFIG_HOME="_s + config.path()};
        QProcess first;
        QProcessEnvironment penv = QProcessEnvironment::systemEnvironment();
        for (const QString& entry : env)
            penv.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
        first.setProcessEnvironment(penv);
        first.setWorkingDirectory(sources.path());
        // The first start brings a file of its own, by a relative path.
        first.start(TestSupport::appPath(), {u"first.pdf"_s});
        QVERIFY(first.waitForStarted());
        const QString service = SingleInstance::serviceName(container.path());
        QTRY_VERIFY_WITH_TIMEOUT(QDBusConnection::sessionBus().interface()->isServiceRegistered(service), 30000);

        // "Open with": a second start, elsewhere, with a relative path and a URL.
        QProcess second;
        second.setProcessEnvironment(penv);
        second.setWorkingDirectory(sources.path());
        second.start(TestSupport::appPath(), {u"notes.txt"_s, u"http://127.0.0.1:9/shared"_s});
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitCode(), 0);

        auto listTitles = [&] {
            QStringList titles;
            const TestSupport::ProcessResult listed = TestSupport::cli(container.path(), {u"list"_s, u"--json"_s});
            for (const QByteArray& line : listed.out.split('\n')) {
                if (!line.isEmpty())
                    titles << QJsonDocument::fromJson(line).object().value(u"title"_s).toString();
            }
            return titles;
        };
        QTRY_COMPARE_WITH_TIMEOUT(listTitles().size(), 3, 60000);
        QStringList titles = listTitles();
        titles.sort();
        // The web item's title is its host until the page's own title comes.
        QCOMPARE(titles.size(), 3);
        QVERIFY(titles.contains(u"first"_s));
        QVERIFY(titles.contains(u"notes"_s));
        QVERIFY(titles.contains(u"127.0.0.1"_s));
        first.terminate();
        QVERIFY(first.waitForFinished(30000));
    }
};

QTEST_MAIN(TestIntake)
#include "tst_intake.moc"
