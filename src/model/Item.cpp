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

#define FOLIONEST_SETTER(Member, Field, value)                                                                         \
    if (Member == value)                                                                                               \
        return;                                                                                                        \
    Member = value;                                                                                                    \
    changed(Field);

void Item::setUrlString(const std::optional<QString>& url)
{
    FOLIONEST_SETTER(m_urlString, ItemField::Url, url)
}
void Item::setTitle(const QString& title)
{
    FOLIONEST_SETTER(m_title, ItemField::Title, title)
}
void Item::setNote(const std::optional<QString>& note)
{
    FOLIONEST_SETTER(m_note, ItemField::Note, note)
}
void Item::setMetadataJSON(const std::optional<QByteArray>& json)
{
    FOLIONEST_SETTER(m_metadataJSON, ItemField::Metadata, json)
}
void Item::setSourceDomain(const std::optional<QString>& domain)
{
    FOLIONEST_SETTER(m_sourceDomain, ItemField::SourceDomain, domain)
}
void Item::setSourceApp(const std::optional<QString>& app)
{
    FOLIONEST_SETTER(m_sourceApp, ItemField::SourceApp, app)
}
void Item::setArchived(bool archived)
{
    FOLIONEST_SETTER(m_isArchived, ItemField::Archived, archived)
}
void Item::setFavorite(bool favorite)
{
    FOLIONEST_SETTER(m_isFavorite, ItemField::Favorite, favorite)
}
void Item::setRead(bool read)
{
    FOLIONEST_SETTER(m_isRead, ItemField::Read, read)
}
void Item::setCreatedAt(const QDateTime& date)
{
    FOLIONEST_SETTER(m_createdAt, ItemField::CreatedAt, date)
}
void Item::setModifiedAt(const QDateTime& date)
{
    FOLIONEST_SETTER(m_modifiedAt, ItemField::ModifiedAt, date)
}
void Item::setAccessedAt(const std::optional<QDateTime>& date){
    FOLIONEST_SETTER(m_accessedAt, ItemField::AccessedAt, date)}

#undef FOLIONEST_SETTER

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
    if (m_tags == tags)
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
