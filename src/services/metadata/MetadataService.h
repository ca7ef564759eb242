#pragma once

#include "FetchedMetadata.h"

#include <QByteArray>
#include <QDateTime>
#include <QFuture>
#include <QHash>
#include <QNetworkReply>
#include <QObject>
#include <QThread>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

class Item;
class LinkPreviewProvider;
class ModelContext;

// Why a fetch failed: one of the service's own cases, or the network's own
// error passed through with its text.
class MetadataError {
public:
    enum class Kind { fetchFailed, invalidData, imageFetchFailed, imageTooLarge, network };

    static MetadataError fetchFailed() { return {Kind::fetchFailed}; }
    static MetadataError invalidData() { return {Kind::invalidData}; }
    static MetadataError imageFetchFailed() { return {Kind::imageFetchFailed}; }
    static MetadataError imageTooLarge() { return {Kind::imageTooLarge}; }
    static MetadataError network(QNetworkReply::NetworkError code, const QString& message)
    {
        MetadataError e{Kind::network};
        e.m_networkError = code;
        e.m_message = message;
        return e;
    }

    Kind kind() const { return m_kind; }
    QNetworkReply::NetworkError networkError() const { return m_networkError; }
    QString description() const;

private:
    MetadataError(Kind kind) : m_kind(kind) {}
    Kind m_kind;
    QNetworkReply::NetworkError m_networkError = QNetworkReply::NoError;
    QString m_message;
};

struct MetadataFetch {
    std::optional<FetchedMetadata> metadata;
    std::optional<MetadataError> error;
};

// No bytes and no error: the page names no usable picture.
struct ImageFetch {
    std::optional<QByteArray> bytes;
    std::optional<MetadataError> error;
};

// Fetches what the library shows about a web link: the link-preview
// component first, the page's own HTML otherwise, and the page's preview
// picture. Downloads run on a thread of their own with their own network
// access manager; results are delivered as futures. Only http and https
// addresses are ever fetched, and no body is read past 10 MiB.
class MetadataService final : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 kMaxPageBytes = 10'485'760;
    static constexpr qint64 kMaxImageBytes = 10'485'760;
    static constexpr qint64 kCacheSeconds = 3600;
    static constexpr int kIdleTimeoutMs = 10'000;
    static constexpr int kTotalTimeoutMs = 15'000;

    // Must be created on the main thread.
    explicit MetadataService(std::shared_ptr<LinkPreviewProvider> preview = nullptr, QObject* parent = nullptr);
    ~MetadataService() override;
    static MetadataService& shared();

    QFuture<MetadataFetch> fetchMetadata(const QUrl& url);
    QFuture<ImageFetch> fetchThumbnailData(const QUrl& url);
    // Fills a freshly added web item: title and metadata, then thumbnail.
    // Main thread; never fails outward (a failure is one console line). The
    // item is found again by id, so deleting it meanwhile is harmless.
    QFuture<void> applyFetchedMetadata(ModelContext& context, Item& item, const QUrl& url);
    // Why the last fetch for an item failed (empty: it did not, or none ran
    // in this process). Kept for the session only.
    QString lastFailure(const QUuid& itemId) const { return m_failures.value(itemId); }

    // For tests: shorter time limits and a clock of their own (the clock is
    // called on the service's thread).
    void setTimeLimits(int idleMs, int totalMs);
    void setClock(std::function<QDateTime()> clock);

    static QStringList requestHeaderNames();

Q_SIGNALS:
    // A fetch begun by applyFetchedMetadata ended; `failure` is empty when
    // the page was read.
    void itemFetchFinished(const QUuid& itemId, const QString& failure);

private:
    QHash<QUuid, QString> m_failures;
    class Worker;
    QThread m_thread;
    Worker* m_worker = nullptr;
    std::shared_ptr<LinkPreviewProvider> m_preview;

    friend class Worker;
};
