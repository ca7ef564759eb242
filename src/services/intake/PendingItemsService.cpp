#include "PendingItemsService.h"

#include "PendingItemsReader.h"

#include "model/Item.h"
#include "platform/ContainerPaths.h"
#include "services/metadata/MetadataService.h"
#include "services/metadata/ThumbnailService.h"
#include "store/ModelContext.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

using namespace Qt::StringLiterals;

PendingItemsService::PendingItemsService(QObject* parent) : QObject(parent)
{
    // One entry after another, in the folder's order.
    m_worker.setMaxThreadCount(1);
    m_worker.setObjectName(u"PendingItemsIntake"_s);
    m_slice.setSingleShot(true);
    m_slice.setInterval(0);
    connect(&m_slice, &QTimer::timeout, this, &PendingItemsService::takeInReady);
}

PendingItemsService::~PendingItemsService()
{
    if (m_stop)
        m_stop->store(true);
    m_worker.waitForDone();
}

PendingItemsService& PendingItemsService::shared()
{
    static PendingItemsService s_service;
    return s_service;
}

void PendingItemsService::processPendingItems(ModelContext& context, MetadataService* metadata)
{
    // Triggers that come during a run are served by one more run after it;
    // by then the entries it took are gone.
    if (m_running) {
        m_again = true;
        return;
    }
    m_context = &context;
    m_metadata = metadata;
    m_queue = ContainerPaths::pendingItemsDirectory(QFileInfo(context.storePath()).absolutePath());
    startRun();
}

void PendingItemsService::startRun()
{
    m_running = true;
    m_again = false;
    m_result = {};
    m_ready.clear();
    m_stop = std::make_shared<std::atomic_bool>(false);
    m_worker.start([this, stop = m_stop, queue = m_queue] {
        const PendingItemsReader reader(queue);
        const QStringList names = reader.isOpen() ? reader.entries() : QStringList();
        for (const QString& name : names) {
            if (stop->load())
                return;
            auto prepared = std::make_shared<PreparedPendingItem>(reader.prepare(name));
            if (prepared->kind == PreparedPendingItem::Kind::picture) {
                // Bytes that are no picture still make the item, without image and thumbnail.
                prepared->image = ThumbnailService::compressImage(prepared->pictureBytes);
                prepared->thumbnail = ThumbnailService::generateThumbnail(prepared->pictureBytes);
                prepared->pictureBytes.clear();
            }
            QMetaObject::invokeMethod(
                this,
                [this, stop, prepared] {
                    if (!stop->load())
                        enqueue(prepared);
                },
                Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(
            this,
            [this, stop] {
                if (!stop->load())
                    enqueue(nullptr);
            },
            Qt::QueuedConnection);
    });
}

void PendingItemsService::enqueue(std::shared_ptr<PreparedPendingItem> prepared)
{
    // Queued events are all delivered in one go; the items are made in
    // slices between them, so painting and input keep their turns.
    m_ready.push_back(std::move(prepared));
    if (!m_slice.isActive())
        m_slice.start();
}

void PendingItemsService::takeInReady()
{
    QElapsedTimer slice;
    slice.start();
    while (!m_ready.empty() && m_running) {
        std::shared_ptr<PreparedPendingItem> prepared = std::move(m_ready.front());
        m_ready.pop_front();
        if (!prepared) {
            finishRun();
            return;
        }
        takeIn(*prepared);
        if (slice.elapsed() >= kSliceMs)
            break;
    }
    if (!m_ready.empty() && m_running)
        m_slice.start();
}

void PendingItemsService::takeIn(const PreparedPendingItem& prepared)
{
    using Kind = PreparedPendingItem::Kind;
    if (prepared.kind == Kind::skipped)
        return;
    ModelContext* context = m_context;
    if (!context) {
        // The library closed: the entries wait for the next start.
        m_stop->store(true);
        m_ready.clear();
        finishRun();
        return;
    }
    const PendingItem& entry = prepared.entry;
    std::unique_ptr<Item> item;
    switch (prepared.kind) {
    case Kind::web:
        item = std::make_unique<Item>(ItemTypes::fromRawValue(entry.type).value_or(ItemType::webLink), entry.title,
                                      prepared.url, entry.note);
        break;
    case Kind::picture:
        item = std::make_unique<Item>(ItemType::screenshot, entry.title, std::nullopt, entry.note);
        item->setImageData(prepared.image);
        item->setThumbnailData(prepared.thumbnail);
        break;
    case Kind::document:
        item = std::make_unique<Item>(ItemType::document, entry.title, std::nullopt, entry.note);
        item->setUrlString(prepared.url.toString(QUrl::FullyEncoded));
        item->setSourceDomain(prepared.url.fileName());
        break;
    case Kind::none:
    case Kind::skipped: break;
    }

    const QByteArray queue = QFile::encodeName(m_queue) + '/';
    if (item) {
        Item* inserted = context->insert(std::move(item));
        ++m_result.itemsMade;
        // Only the item's own picture goes with the entry; a picture named
        // by an entry that made a web item stays.
        if (prepared.kind == Kind::picture)
            ::unlink(QByteArray(queue + QFile::encodeName(prepared.pictureName)).constData());
        if (m_metadata && prepared.kind == Kind::web && prepared.url.scheme().startsWith(u"http"))
            m_metadata->applyFetchedMetadata(*context, *inserted, prepared.url);
        Q_EMIT itemMade(inserted->id());
    } else {
        ++m_result.entriesRejected;
        qWarning().noquote() << u"Pending item %1 was removed without making an item: %2"_s.arg(prepared.entryName,
                                                                                                prepared.reason);
    }
    // The entry names a file directly inside the folder, never a link's target.
    ::unlink(QByteArray(queue + QFile::encodeName(prepared.entryName)).constData());
}

void PendingItemsService::finishRun()
{
    if (!m_running)
        return;
    m_running = false;
    Q_EMIT runFinished(m_result);
    if (m_again && m_context)
        startRun();
}
