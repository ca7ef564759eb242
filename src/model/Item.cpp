#include "Item.h"

#include "Clock.h"
#include "Folder.h"
#include "Tag.h"

#include <algorithm>

using namespace Qt::StringLiterals;

Item::Item(const QUuid& id) : Record(id) {}

Item::Item(ItemType type, const QString& title, const std::optional<QUrl>& url, const std::optional<QString>& note,
           Folder* folder)
    : Record(QUuid::createUuid())
{
    m_typeRawValue = ItemTypes::rawValue(type);
    m_title = title;
    if (url)
        m_urlString = url->toString(QUrl::FullyEncoded);
    m_note = note;
    setFolder(folder);
    m_createdAt = Clock::now();
    m_modifiedAt = Clock::now();
    if (url) {
        const QString host = url->host();
        if (!host.isEmpty())
            m_sourceDomain = host;
    }
}

Item::~Item()
{
    // A record going away takes itself out of the inverse lists.
    m_observer = nullptr;
    if (m_folder)
        m_folder->m_items.removeOne(this);
    for (Tag* tag : std::as_const(m_tags))
        tag->m_items.removeOne(this);
}

void Item::changed(quint32 fields)
{
    if (m_observer)
        m_observer->itemChanged(this, fields);
}

void Item::touch(quint32 fields)
{
    m_modifiedAt = Clock::now();
    changed(fields | ItemField::ModifiedAt);
}

ItemType Item::type() const
{
    return ItemTypes::fromRawValue(m_typeRawValue).value_or(ItemType::webLink);
}

void Item::setTypeRawValue(const QString& raw)
{
    if (m_typeRawValue == raw)
        return;
    // Share the static buffer of a known raw value.
    const auto known = ItemTypes::fromRawValue(raw);
    m_typeRawValue = known ? ItemTypes::rawValue(*known) : raw;
    changed(ItemField::Type);
}

void Item::setUrlString(const std::optional<QString>& url)
{
    if (assign(m_urlString, url))
        changed(ItemField::Url);
}
void Item::setTitle(const QString& title)
{
    if (assign(m_title, title))
        changed(ItemField::Title);
}
void Item::setNote(const std::optional<QString>& note)
{
    if (assign(m_note, note))
        changed(ItemField::Note);
}
void Item::setMetadataJSON(const std::optional<QByteArray>& json)
{
    if (assign(m_metadataJSON, json))
        changed(ItemField::Metadata);
}
void Item::setSourceDomain(const std::optional<QString>& domain)
{
    if (assign(m_sourceDomain, domain))
        changed(ItemField::SourceDomain);
}
void Item::setSourceApp(const std::optional<QString>& app)
{
    if (assign(m_sourceApp, app))
        changed(ItemField::SourceApp);
}
void Item::setArchived(bool archived)
{
    if (assign(m_isArchived, archived))
        changed(ItemField::Archived);
}
void Item::setFavorite(bool favorite)
{
    if (assign(m_isFavorite, favorite))
        changed(ItemField::Favorite);
}
void Item::setRead(bool read)
{
    if (assign(m_isRead, read))
        changed(ItemField::Read);
}
void Item::setCreatedAt(const QDateTime& date)
{
    if (assign(m_createdAt, date))
        changed(ItemField::CreatedAt);
}
void Item::setModifiedAt(const QDateTime& date)
{
    if (assign(m_modifiedAt, date))
        changed(ItemField::ModifiedAt);
}
void Item::setAccessedAt(const std::optional<QDateTime>& date)
{
    if (assign(m_accessedAt, date))
        changed(ItemField::AccessedAt);
}

std::optional<QByteArray> Item::blobData(const Blob& blob, BlobKind kind) const
{
    if (!blob.present)
        return std::nullopt;
    if (blob.bytes)
        return *blob.bytes;
    if (m_observer)
        return m_observer->loadItemBlob(this, kind);
    return std::nullopt;
}

void Item::setBlob(Blob& blob, const std::optional<QByteArray>& bytes, quint32 field)
{
    blob.present = bytes.has_value();
    blob.bytes = bytes ? std::make_unique<QByteArray>(*bytes) : nullptr;
    blob.dirty = true;
    changed(field);
}

std::optional<QByteArray> Item::thumbnailData() const
{
    return blobData(m_thumbnail, BlobKind::thumbnail);
}
void Item::setThumbnailData(const std::optional<QByteArray>& bytes)
{
    setBlob(m_thumbnail, bytes, ItemField::Thumbnail);
}
std::optional<QByteArray> Item::imageData() const
{
    return blobData(m_image, BlobKind::image);
}
void Item::setImageData(const std::optional<QByteArray>& bytes)
{
    setBlob(m_image, bytes, ItemField::Image);
}

std::optional<ItemMetadata> Item::metadata() const
{
    if (!m_metadataJSON)
        return std::nullopt;
    return ItemMetadata::fromJson(*m_metadataJSON);
}

void Item::setMetadata(const std::optional<ItemMetadata>& metadata)
{
    setMetadataJSON(metadata ? metadata->toJson() : QByteArray("null"));
}

void Item::setFolder(Folder* folder)
{
    if (m_folder == folder)
        return;
    if (m_folder)
        m_folder->m_items.removeOne(this);
    m_folder = folder;
    if (m_folder)
        m_folder->m_items.append(this);
    changed(ItemField::Folder);
}

void Item::setTags(const QList<Tag*>& tags)
{
    // Not QList's ==, which hands a null pointer to memcmp for two empty lists.
    if (std::equal(m_tags.cbegin(), m_tags.cend(), tags.cbegin(), tags.cend()))
        return;
    for (Tag* tag : std::as_const(m_tags))
        tag->m_items.removeOne(this);
    m_tags = tags;
    for (Tag* tag : std::as_const(m_tags))
        tag->m_items.append(this);
    changed(ItemField::Tags);
}

bool Item::hasTag(const QUuid& tagId) const
{
    return std::any_of(m_tags.cbegin(), m_tags.cend(), [&](const Tag* t) { return t->id() == tagId; });
}

QList<Tag*> Item::sortedTags() const
{
    QList<Tag*> sorted = m_tags;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Tag* a, const Tag* b) {
        return Collation::compareCaseInsensitive(a->name(), b->name()) < 0;
    });
    return sorted;
}

void Item::toggleFavorite()
{
    m_isFavorite = !m_isFavorite;
    touch(ItemField::Favorite);
}

void Item::toggleArchived()
{
    m_isArchived = !m_isArchived;
    touch(ItemField::Archived);
}

void Item::moveToFolder(Folder* folder)
{
    setFolder(folder);
    touch(ItemField::Folder);
}

void Item::addTag(Tag* tag)
{
    if (!tag || hasTag(tag->id()))
        return;
    m_tags.append(tag);
    tag->m_items.append(this);
    touch(ItemField::Tags);
}

void Item::removeTag(const Tag* tag)
{
    if (!tag)
        return;
    const QUuid id = tag->id();
    for (qsizetype i = m_tags.size() - 1; i >= 0; --i) {
        if (m_tags[i]->id() == id) {
            m_tags[i]->m_items.removeOne(this);
            m_tags.removeAt(i);
        }
    }
    touch(ItemField::Tags);
}
