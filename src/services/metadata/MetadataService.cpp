#include "MetadataService.h"

#include "HtmlMetadataParser.h"
#include "ThumbnailService.h"

#include "model/AppConstants.h"
#include "model/Clock.h"
#include "model/Item.h"
#include "model/ItemMetadata.h"
#include "platform/LinkPreview.h"
#include "store/ModelContext.h"

#include <QCoreApplication>
#include <QDebug>
#include <QHash>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkRequest>
#include <QPointer>
#include <QPromise>
#include <QStringDecoder>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

using namespace Qt::StringLiterals;

QString MetadataError::description() const
{
    switch (m_kind) {
    case Kind::fetchFailed: return u"Failed to fetch metadata"_s;
    case Kind::invalidData: return u"Invalid data received"_s;
    case Kind::imageFetchFailed: return u"Failed to fetch image"_s;
    case Kind::imageTooLarge: return u"Image is too large"_s;
    case Kind::network: return m_message;
    }
    return {};
}

namespace {

struct Download {
    int status = 0; // 0: not an HTTP answer
    QByteArray body;
    bool tooLarge = false;
    std::optional<MetadataError> networkError;
};

bool isWebAddress(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

// Strict UTF-8 first, then ISO Latin-1, as the page's bytes allow.
std::optional<QString> decodePage(const QByteArray& body)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(body);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(body);
}

} // namespace

// Lives on the service's thread; owns the network access manager and the
// cache, so neither needs a lock.
class MetadataService::Worker final : public QObject {
public:
    explicit Worker(MetadataService* service) : m_service(service) {}

    int idleMs = kIdleTimeoutMs;
    int totalMs = kTotalTimeoutMs;

    void setClock(std::function<QDateTime()> clock)
    {
        QMutexLocker lock(&m_clockMutex);
        m_clock = std::move(clock);
    }

    QDateTime now()
    {
        QMutexLocker lock(&m_clockMutex);
        return m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
    }

    void fetchMetadata(const QUrl& url, std::shared_ptr<QPromise<MetadataFetch>> promise)
    {
        const QString key = url.toString(QUrl::FullyEncoded);
        if (const auto it = m_cache.constFind(key);
            it != m_cache.constEnd() && it->timestamp.secsTo(now()) < kCacheSeconds) {
            finish(promise, {it->metadata, std::nullopt});
            return;
        }
        // The link-preview component is started on the main thread.
        QPointer<Worker> self(this);
        QMetaObject::invokeMethod(
            m_service,
            [self, url, key, promise, service = m_service] {
                service->m_preview->fetch(url).then(self.data(), [self, url, key, promise](LinkPreviewOutcome outcome) {
                    if (!self)
                        return;
                    if (outcome.metadata) {
                        FetchedMetadata m;
                        m.title = outcome.metadata->title;
                        if (outcome.metadata->hasImage) {
                            const auto& address = outcome.metadata->remoteVideoURL ? outcome.metadata->remoteVideoURL
                                                                                   : outcome.metadata->canonicalURL;
                            if (address)
                                m.imageURL = address->toString(QUrl::FullyEncoded);
                        }
                        self->store(key, m);
                        finish(promise, {m, std::nullopt});
                        return;
                    }
                    self->fetchHTML(url, key, promise);
                });
            },
            Qt::QueuedConnection);
    }

    void fetchThumbnailData(const QUrl& url, std::shared_ptr<QPromise<ImageFetch>> promise)
    {
        auto metadataPromise = std::make_shared<QPromise<MetadataFetch>>();
        metadataPromise->start();
        QFuture<MetadataFetch> future = metadataPromise->future();
        QPointer<Worker> self(this);
        future.then(this, [self, promise](MetadataFetch fetched) {
            if (!self)
                return;
            if (!fetched.metadata) {
                finish(promise, {std::nullopt, fetched.error});
                return;
            }
            const QUrl imageURL(fetched.metadata->imageURL.value_or(QString()), QUrl::StrictMode);
            if (!fetched.metadata->imageURL || !imageURL.isValid() || imageURL.isEmpty()) {
                finish(promise, {});
                return;
            }
            if (!isWebAddress(imageURL)) {
                // Never read local files or other schemes a page may name.
                finish(promise, {std::nullopt, MetadataError::imageFetchFailed()});
                return;
            }
            self->download(imageURL, kMaxImageBytes, true, [promise](Download d) {
                if (d.networkError)
                    finish(promise, {std::nullopt, d.networkError});
                else if (d.tooLarge)
                    finish(promise, {std::nullopt, MetadataError::imageTooLarge()});
                else if (d.status < 200 || d.status > 299)
                    finish(promise, {std::nullopt, MetadataError::imageFetchFailed()});
                else
                    finish(promise, {d.body, std::nullopt});
            });
        });
        fetchMetadata(url, metadataPromise);
    }

private:
    struct Cached {
        FetchedMetadata metadata;
        QDateTime timestamp;
    };

    template <typename T>
    static void finish(const std::shared_ptr<QPromise<T>>& promise, T value)
    {
        promise->addResult(std::move(value));
        promise->finish();
    }

    void store(const QString& key, const FetchedMetadata& metadata) { m_cache.insert(key, {metadata, now()}); }

    void fetchHTML(const QUrl& url, const QString& key, std::shared_ptr<QPromise<MetadataFetch>> promise)
    {
        if (!isWebAddress(url)) {
            finish(promise, {std::nullopt, MetadataError::fetchFailed()});
            return;
        }
        QPointer<Worker> self(this);
        download(url, kMaxPageBytes, false, [self, url, key, promise](Download d) {
            if (d.networkError) {
                finish(promise, {std::nullopt, d.networkError});
                return;
            }
            if (d.status < 200 || d.status > 299) {
                finish(promise, {std::nullopt, MetadataError::fetchFailed()});
                return;
            }
            const std::optional<QString> text = decodePage(d.body);
            if (!text) {
                finish(promise, {std::nullopt, MetadataError::invalidData()});
                return;
            }
            const FetchedMetadata metadata = HtmlMetadataParser::parseHTML(*text, url);
            // Cached as well: saving a link downloads its page once.
            if (self)
                self->store(key, metadata);
            finish(promise, {metadata, std::nullopt});
        });
    }

    // One GET. Pages stop at their limit and keep what arrived; pictures
    // fail as soon as they pass it.
    void download(const QUrl& url, qint64 limit, bool failOverLimit, std::function<void(Download)> done)
    {
        if (!m_network) {
            m_network = new QNetworkAccessManager(this);
            m_network->setCookieJar(new QNetworkCookieJar(m_network)); // in memory only
            m_network->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
            m_network->setAutoDeleteReplies(false);
        }
        QNetworkRequest request(url);
        request.setHeader(QNetworkRequest::UserAgentHeader, AppConstants::userAgent());
        request.setRawHeader("Accept", "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
        request.setRawHeader("Accept-Language", "en-US,en;q=0.9");
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
        request.setMaximumRedirectsAllowed(20);

        QNetworkReply* reply = m_network->get(request);
        auto state = std::make_shared<Download>();
        auto timedOut = std::make_shared<bool>(false);
        auto* idle = new QTimer(reply);
        idle->setSingleShot(true);
        idle->start(idleMs);
        auto* total = new QTimer(reply);
        total->setSingleShot(true);
        total->start(totalMs);
        auto expire = [reply, timedOut] {
            *timedOut = true;
            reply->abort();
        };
        connect(idle, &QTimer::timeout, reply, expire);
        connect(total, &QTimer::timeout, reply, expire);
        connect(reply, &QNetworkReply::metaDataChanged, reply, [idle, this] { idle->start(idleMs); });
        connect(reply, &QNetworkReply::readyRead, reply, [reply, state, idle, limit, failOverLimit, this] {
            idle->start(idleMs);
            if (state->tooLarge)
                return;
            const qint64 room = limit - state->body.size();
            QByteArray chunk = reply->read(std::max<qint64>(room, 0) + 1);
            if (chunk.size() > room) {
                state->body.append(chunk.left(room));
                state->tooLarge = true;
                reply->abort();
                return;
            }
            state->body.append(chunk);
            Q_UNUSED(failOverLimit);
        });
        connect(reply, &QNetworkReply::finished, reply, [reply, state, timedOut, failOverLimit, done] {
            reply->deleteLater();
            if (!state->tooLarge)
                state->body.append(reply->readAll());
            const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            state->status = status.isValid() ? status.toInt() : 0;
            if (state->tooLarge) {
                // A page keeps its first 10 MiB (metadata lives in the head).
                if (!failOverLimit)
                    state->tooLarge = false;
            } else if (*timedOut) {
                state->networkError = MetadataError::network(QNetworkReply::TimeoutError, u"The request timed out."_s);
            } else if (reply->error() != QNetworkReply::NoError && !(state->status >= 400 && state->status < 600)) {
                state->networkError = MetadataError::network(reply->error(), reply->errorString());
            }
            done(std::move(*state));
        });
    }

    MetadataService* m_service;
    QNetworkAccessManager* m_network = nullptr;
    QHash<QString, Cached> m_cache;
    QMutex m_clockMutex;
    std::function<QDateTime()> m_clock;
};

MetadataService::MetadataService(std::shared_ptr<LinkPreviewProvider> preview, QObject* parent)
    : QObject(parent), m_preview(preview ? std::move(preview) : LinkPreviewProvider::platformDefault())
{
    m_thread.setObjectName(u"metadata"_s);
    m_worker = new Worker(this);
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.start();
}

MetadataService::~MetadataService()
{
    m_thread.quit();
    m_thread.wait();
}

MetadataService& MetadataService::shared()
{
    static MetadataService* s_shared = [] {
        auto* service = new MetadataService;
        // Stop the thread before the application object goes away.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, service, [service] {
            service->m_thread.quit();
            service->m_thread.wait();
        });
        return service;
    }();
    return *s_shared;
}

QStringList MetadataService::requestHeaderNames()
{
    return {u"User-Agent"_s, u"Accept"_s, u"Accept-Language"_s};
}

void MetadataService::setTimeLimits(int idleMs, int totalMs)
{
    QMetaObject::invokeMethod(
        m_worker,
        [worker = m_worker, idleMs, totalMs] {
            worker->idleMs = idleMs;
            worker->totalMs = totalMs;
        },
        Qt::BlockingQueuedConnection);
}

void MetadataService::setClock(std::function<QDateTime()> clock)
{
    m_worker->setClock(std::move(clock));
}

QFuture<MetadataFetch> MetadataService::fetchMetadata(const QUrl& url)
{
    auto promise = std::make_shared<QPromise<MetadataFetch>>();
    promise->start();
    QFuture<MetadataFetch> future = promise->future();
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, url, promise] { worker->fetchMetadata(url, promise); }, Qt::QueuedConnection);
    return future;
}

QFuture<ImageFetch> MetadataService::fetchThumbnailData(const QUrl& url)
{
    auto promise = std::make_shared<QPromise<ImageFetch>>();
    promise->start();
    QFuture<ImageFetch> future = promise->future();
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, url, promise] { worker->fetchThumbnailData(url, promise); },
        Qt::QueuedConnection);
    return future;
}

QFuture<void> MetadataService::applyFetchedMetadata(ModelContext& context, Item& item, const QUrl& url)
{
    const QUuid id = item.id();
    QPointer<ModelContext> ctx(&context);
    auto report = [](const MetadataError& error) {
        qWarning().noquote() << u"Failed to fetch metadata: "_s + error.description();
    };
    return fetchMetadata(url)
        .then(&context,
              [this, ctx, id, url, report](MetadataFetch fetched) -> QFuture<void> {
                  Item* target = ctx ? ctx->item(id) : nullptr;
                  if (!fetched.metadata) {
                      const QString why =
                          fetched.error ? fetched.error->description() : MetadataError::fetchFailed().description();
                      report(fetched.error.value_or(MetadataError::fetchFailed()));
                      m_failures.insert(id, why);
                      Q_EMIT itemFetchFinished(id, why);
                      return QtFuture::makeReadyFuture();
                  }
                  m_failures.remove(id);
                  Q_EMIT itemFetchFinished(id, QString());
                  if (!target)
                      return QtFuture::makeReadyFuture();
                  if (fetched.metadata->title)
                      target->setTitle(*fetched.metadata->title);
                  ItemMetadata metadata;
                  metadata.author = fetched.metadata->author;
                  metadata.publishDate = fetched.metadata->publishDate;
                  metadata.description = fetched.metadata->description;
                  target->setMetadata(metadata);

                  return fetchThumbnailData(url)
                      .then(ctx.data(),
                            [ctx, id, report](ImageFetch image) -> QFuture<void> {
                                if (image.error)
                                    report(*image.error);
                                if (!image.bytes || !ctx)
                                    return QtFuture::makeReadyFuture();
                                // Decode off the main thread; set the result on it.
                                return QtConcurrent::run(&ThumbnailService::generateThumbnail, *image.bytes)
                                    .then(ctx.data(), [ctx, id](std::optional<QByteArray> thumbnail) {
                                        Item* found = ctx ? ctx->item(id) : nullptr;
                                        if (!found || !thumbnail)
                                            return;
                                        found->setThumbnailData(thumbnail);
                                        found->setModifiedAt(Clock::now());
                                    });
                            })
                      .unwrap();
              })
        .unwrap();
}
