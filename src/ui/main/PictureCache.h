#pragma once

#include <QCache>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QSize>
#include <QUuid>

class Item;
class ModelContext;

// Decoded item pictures for the list and grid: decoded off the main thread
// at the size they are shown, kept in an LRU cache with a memory budget, so
// scrolling decodes only what comes into view.
class PictureCache final : public QObject {
    Q_OBJECT

public:
    enum class Source {
        thumbnail,        // the thumbnail only (rows)
        thumbnailOrImage, // the thumbnail, else the image (cards)
        imageOrThumbnail, // the image, else the thumbnail (detail)
    };

    explicit PictureCache(ModelContext* context, qsizetype budgetBytes = 64 * 1024 * 1024, QObject* parent = nullptr);
    ~PictureCache() override;

    // The picture scaled to cover `size` (device pixels), or a null image
    // while it is being decoded or when the item has none that decodes.
    // `ready` reports when a requested picture arrives.
    QImage picture(const Item* item, Source source, const QSize& size);
    // True when the item has no picture of that source that decodes.
    bool hasNoPicture(const Item* item, Source source) const;

    int decodeCount() const { return m_decodes; }
    qsizetype cachedBytes() const { return m_cache.totalCost(); }

Q_SIGNALS:
    void ready(const QUuid& itemId);

private:
    struct Key {
        QUuid id;
        Source source;
        QSize size;
        bool operator==(const Key&) const = default;
    };
    friend size_t qHash(const Key& key, size_t seed) noexcept
    {
        return qHashMulti(seed, key.id, int(key.source), key.size.width(), key.size.height());
    }
    void forget(const QUuid& id);

    ModelContext* m_context;
    QCache<Key, QImage> m_cache;
    QSet<Key> m_pending;
    QSet<Key> m_failed;
    int m_decodes = 0;
    quint64 m_generation = 0;
    QHash<QUuid, quint64> m_generationOf; // bumps when an item's pictures change
};
