#include "model/Item.h"
#include "platform/LinkPreview.h"
#include "services/metadata/MetadataService.h"
#include "store/ModelContext.h"
#include "support/TestHttpServer.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QPromise>
#include <QTest>

#include <atomic>

using namespace Qt::StringLiterals;

namespace {

template <typename T>
T await(QFuture<T> future, int timeoutMs = 20000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!future.isFinished() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (!future.isFinished())
        qFatal("future did not finish");
    if constexpr (!std::is_void_v<T>)
        return future.result();
}

QByteArray page(const QByteArray& head)
{
    return "<!doctype html><html><head>" + head + "</head><body><p>Body</p></body></html>";
}

QByteArray jpeg(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "jpeg").write(image);
    return out;
}

// A link-preview component that answers what the test tells it.
class FakePreview final : public LinkPreviewProvider {
public:
    std::optional<LinkPreviewMetadata> answer;
    int calls = 0;
    QFuture<LinkPreviewOutcome> fetch(const QUrl&) override
    {
        ++calls;
        return QtFuture::makeReadyFuture(LinkPreviewOutcome{answer, answer ? QString() : u"failed"_s});
    }
};

} // namespace

class TestMetadataService : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TestSupport::initTestEnvironment(); }

    void requestCarriesTheHeaders()
    {
        TestHttpServer server;
        server.route(u"/p"_s, TestHttpServer::html(page("<title>T</title>")));
        MetadataService service;
        const MetadataFetch result = await(service.fetchMetadata(server.url(u"/p"_s)));
        QVERIFY(result.metadata);
        QCOMPARE(server.requests().size(), 1);
        const auto& headers = server.requests().first().headers;
        QCOMPARE(headers.value("user-agent"),
                 QByteArray("Folionest/" FOLIONEST_VERSION " (Privacy-First Reference Library)"));
        QCOMPARE(headers.value("accept"),
                 QByteArray("text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8"));
        QCOMPARE(headers.value("accept-language"), QByteArray("en-US,en;q=0.9"));
        QVERIFY(!headers.contains("cookie"));
    }

    void pages_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QString>("title"); // empty: the fetch fails
        QTest::addColumn<QString>("error");
        QTest::newRow("UTF-8 page") << QByteArray("/utf8") << u"Grüße aus Köln"_s << QString();
        QTest::newRow("Latin-1 page") << QByteArray("/latin1") << u"Grüße aus Köln"_s << QString();
        QTest::newRow("redirect is followed") << QByteArray("/moved") << u"Grüße aus Köln"_s << QString();
        QTest::newRow("404") << QByteArray("/missing") << QString() << u"Failed to fetch metadata"_s;
        QTest::newRow("500") << QByteArray("/broken") << QString() << u"Failed to fetch metadata"_s;
        QTest::newRow("redirect to a file") << QByteArray("/tofile") << QString() << u""_s;
    }
    void pages()
    {
        QFETCH(QByteArray, path);
        QFETCH(QString, title);
        QFETCH(QString, error);
        TestHttpServer server;
        server.route(u"/utf8"_s, TestHttpServer::html(page("<title>Grüße aus Köln</title>")));
        server.route(u"/latin1"_s,
                     TestHttpServer::html(page(QStringLiteral("<title>Grüße aus Köln</title>").toLatin1()), "latin1"));
        server.route(u"/moved"_s, TestHttpServer::redirect(server.url(u"/utf8"_s).toString()));
        TestHttpServer::Response broken = TestHttpServer::html(page("<title>Oops</title>"));
        broken.status = 500;
        broken.reason = "Internal Server Error";
        server.route(u"/broken"_s, broken);
        server.route(u"/tofile"_s, TestHttpServer::redirect(u"file:///etc/passwd"_s));
        MetadataService service;
        const MetadataFetch result = await(service.fetchMetadata(server.url(QString::fromUtf8(path))));
        if (title.isEmpty()) {
            QVERIFY(!result.metadata);
            QVERIFY(result.error);
            if (!error.isEmpty())
                QCOMPARE(result.error->description(), error);
        } else {
            QVERIFY(result.metadata);
            QCOMPARE(result.metadata->title, std::optional<QString>(title));
        }
    }

    void nonWebAddressesAreNeverRead_data()
    {
        QTest::addColumn<QString>("image");
        QTest::newRow("file URL") << u"file:///etc/passwd"_s;
        QTest::newRow("data URL") << u"data:image/png;base64,iVBORw0KGgo="_s;
        QTest::newRow("ftp URL") << u"ftp://127.0.0.1/picture.png"_s;
    }
    void nonWebAddressesAreNeverRead()
    {
        QFETCH(QString, image);
        TestHttpServer server;
        server.route(u"/p"_s,
                     TestHttpServer::html(page("<meta property=\"og:image\" content=\"" + image.toUtf8() + "\">")));
        MetadataService service;
        const ImageFetch result = await(service.fetchThumbnailData(server.url(u"/p"_s)));
        QVERIFY(!result.bytes);
        QVERIFY(result.error);
        QCOMPARE(result.error->description(), u"Failed to fetch image"_s);
        // Typed by the user instead of found in a page: the same refusal.
        const MetadataFetch typed = await(service.fetchMetadata(QUrl(image)));
        QVERIFY(!typed.metadata);
        QCOMPARE(typed.error->description(), u"Failed to fetch metadata"_s);
    }

    void imageSizeLimit_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("sendLength");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("exactly 10,485,760 bytes") << qint64(10'485'760) << true << true;
        QTest::newRow("10,485,761 bytes") << qint64(10'485'761) << true << false;
        QTest::newRow("10,485,761 bytes without a length") << qint64(10'485'761) << false << false;
    }
    void imageSizeLimit()
    {
        QFETCH(qint64, size);
        QFETCH(bool, sendLength);
        QFETCH(bool, accepted);
        TestHttpServer server;
        server.route(u"/p"_s, TestHttpServer::html(page("<meta property=\"og:image\" content=\"/big.jpg\">")));
        TestHttpServer::Response big;
        big.body = QByteArray(int(size), 'x');
        big.sendLength = sendLength;
        server.route(u"/big.jpg"_s, big);
        MetadataService service;
        const ImageFetch result = await(service.fetchThumbnailData(server.url(u"/p"_s)));
        if (accepted) {
            QVERIFY(result.bytes);
            QCOMPARE(result.bytes->size(), size);
        } else {
            QVERIFY(!result.bytes);
            QCOMPARE(result.error->description(), u"Image is too large"_s);
        }
    }

    void pageBodyIsReadUpToTenMebibytes()
    {
        TestHttpServer server;
        QByteArray huge = page("<title>Huge</title>");
        huge.append(QByteArray(12 * 1024 * 1024, 'x'));
        server.route(u"/huge"_s, TestHttpServer::html(huge));
        MetadataService service;
        const MetadataFetch result = await(service.fetchMetadata(server.url(u"/huge"_s)));
        QVERIFY(result.metadata);
        QCOMPARE(result.metadata->title, std::optional<QString>(u"Huge"_s));
    }

    void stalledServersHitTheTimeLimits_data()
    {
        QTest::addColumn<bool>("trickle");
        QTest::newRow("no data for the idle limit") << false;
        QTest::newRow("data too slow for the total limit") << true;
    }
    void stalledServersHitTheTimeLimits()
    {
        QFETCH(bool, trickle);
        TestHttpServer server;
        TestHttpServer::Response slow = TestHttpServer::html(page("<title>Slow</title>"));
        slow.stall = !trickle;
        slow.trickleMs = trickle ? 50 : 0;
        server.route(u"/slow"_s, slow);
        MetadataService service;
        service.setTimeLimits(400, 1200); // the real ones are 10 s and 15 s
        const MetadataFetch result = await(service.fetchMetadata(server.url(u"/slow"_s)));
        QVERIFY(!result.metadata);
        QCOMPARE(result.error->kind(), MetadataError::Kind::network);
        QCOMPARE(result.error->networkError(), QNetworkReply::TimeoutError);
    }

    void cacheAnswersForAnHour()
    {
        TestHttpServer server;
        server.route(u"/p"_s, TestHttpServer::html(page("<title>Cached</title>")));
        MetadataService service;
        auto offset = std::make_shared<std::atomic<qint64>>(0);
        const QDateTime start = QDateTime::currentDateTimeUtc();
        service.setClock([start, offset] { return start.addSecs(*offset); });
        QVERIFY(await(service.fetchMetadata(server.url(u"/p"_s))).metadata);
        *offset = 3599;
        QCOMPARE(await(service.fetchMetadata(server.url(u"/p"_s))).metadata->title,
                 std::optional<QString>(u"Cached"_s));
        QCOMPARE(server.count(u"/p"_s), 1);
        *offset = 3600 + 3599; // stored at 0: an hour has passed
        QVERIFY(await(service.fetchMetadata(server.url(u"/p"_s))).metadata);
        QCOMPARE(server.count(u"/p"_s), 2);
    }

    void linkPreviewAnswersFirst()
    {
        TestHttpServer server;
        auto preview = std::make_shared<FakePreview>();
        preview->answer = LinkPreviewMetadata{u"From preview"_s, true, std::nullopt, server.url(u"/canonical"_s)};
        MetadataService service(preview);
        const MetadataFetch result = await(service.fetchMetadata(server.url(u"/p"_s)));
        QCOMPARE(result.metadata->title, std::optional<QString>(u"From preview"_s));
        QCOMPARE(result.metadata->imageURL, std::optional<QString>(server.url(u"/canonical"_s).toString()));
        QCOMPARE(result.metadata->description, std::nullopt);
        QCOMPARE(server.requests().size(), 0);
        // Cached: the second call asks nobody.
        await(service.fetchMetadata(server.url(u"/p"_s)));
        QCOMPARE(preview->calls, 1);
    }

    void applyingFillsTheItemWithOneDownloadOfThePage()
    {
        TestHttpServer server;
        server.route(u"/article"_s, TestHttpServer::html(page(
                                        "<title> The article </title><meta name=\"description\" content=\"About it\">"
                                        "<meta name=\"author\" content=\"Ada\"><meta property=\"og:image\" "
                                        "content=\"/pic.jpg\"><meta property=\"og:site_name\" content=\"Site\">")));
        TestHttpServer::Response picture;
        picture.body = jpeg(800, 600);
        server.route(u"/pic.jpg"_s, picture);

        TestSupport::TempContainer container;
        auto ctx = container.open();
        const QUrl url = server.url(u"/article"_s);
        Item* item = ctx->insert(std::make_unique<Item>(ItemTypes::detect(url), url.host(), url));
        ItemMetadata old;
        old.ogImageURL = u"https://old.example/x.png"_s;
        old.keywords = QStringList{u"old"_s};
        item->setMetadata(old);
        MetadataService service;
        await(service.applyFetchedMetadata(*ctx, *item, url));

        QCOMPARE(item->title(), u"The article"_s);
        const ItemMetadata m = *item->metadata();
        QCOMPARE(m.author, std::optional<QString>(u"Ada"_s));
        QCOMPARE(m.description, std::optional<QString>(u"About it"_s));
        QCOMPARE(m.ogImageURL, std::nullopt); // replaced, not merged
        QCOMPARE(m.keywords, std::nullopt);
        QCOMPARE(m.siteName, std::nullopt);
        QVERIFY(item->hasThumbnail());
        QCOMPARE(QImage::fromData(*item->thumbnailData()).size(), QSize(400, 300));
        QCOMPARE(server.count(u"/article"_s), 1);
        QCOMPARE(server.count(u"/pic.jpg"_s), 1);
    }

    void applyingSurvivesFailuresAndDeletion()
    {
        TestHttpServer server;
        server.route(u"/noimage"_s, TestHttpServer::html(page("<title>No image</title>")));
        server.route(u"/notimage"_s, TestHttpServer::html(page("<title>Bad image</title><meta property=\"og:image\" "
                                                               "content=\"/noimage\">")));
        TestSupport::TempContainer container;
        auto ctx = container.open();
        MetadataService service;

        // No picture named: title and metadata are still set.
        Item* plain = ctx->insert(std::make_unique<Item>(ItemType::webLink, u"host"_s));
        await(service.applyFetchedMetadata(*ctx, *plain, server.url(u"/noimage"_s)));
        QCOMPARE(plain->title(), u"No image"_s);
        QVERIFY(!plain->hasThumbnail());

        // The "picture" is a page: no thumbnail, nothing else lost.
        Item* bad = ctx->insert(std::make_unique<Item>(ItemType::webLink, u"host"_s));
        await(service.applyFetchedMetadata(*ctx, *bad, server.url(u"/notimage"_s)));
        QCOMPARE(bad->title(), u"Bad image"_s);
        QVERIFY(!bad->hasThumbnail());

        // 404: the item keeps what it had, with one console line.
        Item* missing = ctx->insert(std::make_unique<Item>(ItemType::webLink, u"kept"_s));
        QTest::ignoreMessage(QtWarningMsg, "Failed to fetch metadata: Failed to fetch metadata");
        await(service.applyFetchedMetadata(*ctx, *missing, server.url(u"/missing"_s)));
        QCOMPARE(missing->title(), u"kept"_s);

        // Deleted while the page loads: nothing happens to anything.
        Item* gone = ctx->insert(std::make_unique<Item>(ItemType::webLink, u"gone"_s));
        QFuture<void> pending = service.applyFetchedMetadata(*ctx, *gone, server.url(u"/noimage"_s));
        ctx->remove(gone);
        QVERIFY(ctx->save().ok());
        await(pending);
    }
};

QTEST_GUILESS_MAIN(TestMetadataService)
#include "tst_metadataservice.moc"
