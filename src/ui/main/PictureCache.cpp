#include "PictureCache.h"

#include "model/Item.h"
#include "services/metadata/ThumbnailService.h"
#include "store/ModelContext.h"

#include <QBuffer>
#include <QFutureWatcher>
#include <QImageReader>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// Decodes at the smallest scale that still covers the target, then crops to
// it (a "fill"), so a card never holds more pixels than it shows.
QImage decodeCovering(const QByteArray& bytes, const QSize& target)
{
    if (bytes.isEmpty())
        return {};
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    reader.setAllocationLimit(ThumbnailService::kAllocationLimitMB);
    const QSize raw = reader.size();
    if (raw.isValid()) {
        if (qint64(raw.width()) * raw.height() > ThumbnailService::kMaxPixels)
            return {};
        const QSize covering = raw.scaled(target, Qt::KeepAspectRatioByExpanding);
        if (covering.width() < raw.width() && !(reader.transformation() & QImageIOHandler::TransformationRotate90))
            reader.setScaledSize(covering);
    }
    QImage image = reader.read();
    if (image.isNull())
        return {};
    const QSize covering = image.size().scaled(target, Qt::KeepAspectRatioByExpanding);
    if (covering.width() < image.width())
        image = image.scaled(covering, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QRect crop((image.width() - target.width()) / 2, (image.height() - target.height()) / 2,
                     std::min(target.width(), image.width()), std::min(target.height(), image.height()));
    return image.copy(crop.intersected(image.rect())).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

PictureCache::PictureCache(ModelContext* context, qsizetype budgetBytes, QObject* parent)
    : QObject(parent), m_context(context)
{
    m_cache.setMaxCost(budgetBytes);
    connect(context, &ModelContext::itemUpdated, this, [this](Item* item, quint32 fields) {
        if (fields & (ItemField::Thumbnail | ItemField::Image))
            forget(item->id());
    });
    connect(context, &ModelContext::itemRemoved, this, &PictureCache::forget);
}

PictureCache::~PictureCache() = default;

void PictureCache::forget(const QUuid& id)
{
    m_generationOf[id] = ++m_generation;
    const QList<Key> keys = m_cache.keys();
    for (const Key& key : keys) {
        if (key.id == id)
            m_cache.remove(key);
    }
    m_failed.removeIf([&id](const Key& key) { return key.id == id; });
}

bool PictureCache::hasNoPicture(const Item* item, Source source) const
{
    switch (source) {
    case Source::thumbnail:
        if (!item->hasThumbnail())
            return true;
        break;
    default:
        if (!item->hasThumbnail() && !item->hasImage())
            return true;
        break;
    }
    for (const Key& key : m_failed) {
        if (key.id == item->id() && key.source == source)
            return true;
    }
    return false;
}

QImage PictureCache::picture(const Item* item, Source source, const QSize& size)
{
    if (!item || size.isEmpty())
        return {};
    const Key key{item->id(), source, size};
    if (const QImage* cached = m_cache.object(key))
        return *cached;
    if (m_pending.contains(key) || m_failed.contains(key) || hasNoPicture(item, source))
        return {};

    // The bytes come from the store here, on the main thread; the decoding
    // runs on the pool.
    QByteArray first;
    QByteArray second;
    switch (source) {
    case Source::thumbnail: first = item->thumbnailData().value_or(QByteArray()); break;
    case Source::thumbnailOrImage:
        first = item->thumbnailData().value_or(QByteArray());
        second = item->hasImage() ? item->imageData().value_or(QByteArray()) : QByteArray();
        break;
    case Source::imageOrThumbnail:
        first = item->hasImage() ? item->imageData().value_or(QByteArray()) : QByteArray();
        second = item->thumbnailData().value_or(QByteArray());
        break;
    }
    m_pending.insert(key);
    ++m_decodes;
    const quint64 generation = m_generationOf.value(key.id);
    auto* watcher = new QFutureWatcher<QImage>(this);
    connect(watcher, &QFutureWatcher<QImage>::finished, this, [this, watcher, key, generation] {
        watcher->deleteLater();
        m_pending.remove(key);
        if (m_generationOf.value(key.id) != generation)
            return; // the pictures changed meanwhile; a fresh request will come
        const QImage image = watcher->result();
        if (image.isNull()) {
            m_failed.insert(key);
        } else {
            m_cache.insert(key, new QImage(image), qsizetype(image.sizeInBytes()));
        }
        Q_EMIT ready(key.id);
    });
    watcher->setFuture(QtConcurrent::run([first, second, size] {
        QImage image = decodeCovering(first, size);
        if (image.isNull())
            image = decodeCovering(second, size);
        return image;
    }));
    return {};
}
