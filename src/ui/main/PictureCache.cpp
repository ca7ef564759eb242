#include "PictureCache.h"

#include "model/Item.h"
#include "services/metadata/PictureDecoder.h"
#include "store/ModelContext.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// A card never holds more pixels than it shows: decoded to cover the size,
// then cropped to it.
QImage decodeCovering(const QByteArray& bytes, const QSize& target)
{
    const QImage image = PictureDecoder::decode(bytes, target, PictureDecoder::Fit::covering);
    return image.isNull() ? image : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
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
    connect(context, &ModelContext::allRemoved, this, [this] {
        m_cache.clear();
        m_generationOf.clear();
    });
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
