#include "RecordBuilder.h"

#include "model/ColorHex.h"
#include "model/ItemMetadata.h"
#include "model/RecordContextAccess.h"

#include <QDateTime>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

bool parses(const std::optional<QString>& url)
{
    return url && !url->isEmpty() && QUrl(*url, QUrl::StrictMode).isValid();
}

// A date as the document writes it; none when it does not parse.
std::optional<QDateTime> documentDate(const QString& text)
{
    QDateTime date = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!date.isValid())
        return std::nullopt;
    return date.toUTC();
}

template <typename Record>
void restoreDates(Record& record, const QString& createdAt, const QString& modifiedAt)
{
    if (const auto created = documentDate(createdAt))
        record.setCreatedAt(*created);
    if (const auto modified = documentDate(modifiedAt))
        record.setModifiedAt(*modified);
}

} // namespace

RecordBuilder::RecordBuilder(ImportService::Mode mode) : m_restoring(mode == ImportService::Mode::restore) {}

RecordBuilder::~RecordBuilder() = default;

void RecordBuilder::add(const ExportedTag& t)
{
    auto tag = std::make_unique<Tag>(t.name, ColorHex::fromHex(t.colorHex));
    if (m_restoring) {
        // The colour as it was stored, not as it reads back.
        tag->setColorHex(t.colorHex);
        tag->setSortOrder(t.sortOrder.value_or(0));
    }
    m_tagsById.insert(t.id, tag.get());
    m_tagDates.push_back({t.createdAt, t.modifiedAt});
    m_tags.push_back(std::move(tag));
}

void RecordBuilder::add(const ExportedFolder& f)
{
    auto folder = std::make_unique<Folder>(f.name, f.iconName.value_or(u"folder"_s), ColorHex::fromHex(f.colorHex));
    folder->setSortOrder(f.sortOrder.value_or(0));
    if (m_restoring)
        folder->setColorHex(f.colorHex);
    m_foldersById.insert(f.id, folder.get());
    m_folderLinks.push_back({f.parentId, {f.createdAt, f.modifiedAt}});
    m_folders.push_back(std::move(folder));
}

Item& RecordBuilder::add(const ExportedItem& i, const QUuid& id)
{
    const ItemType type = ItemTypes::fromRawValue(i.type).value_or(ItemType::webLink);
    auto item = std::make_unique<Item>(type, i.title);
    if (!id.isNull())
        RecordContextAccess::setNewId(*item, id);
    // A text that parses as a URL is kept as the document has it (rather
    // than re-encoded); the document's source domain replaces the host.
    if (parses(i.url))
        item->setUrlString(i.url);
    item->setNote(i.note);
    item->setSourceDomain(i.sourceDomain);
    item->setArchived(i.isArchived.value_or(false));
    item->setFavorite(i.isFavorite.value_or(false));
    if (m_restoring && i.metadataJSON && ItemMetadata::fromJson(i.metadataJSON->toUtf8())) {
        item->setMetadataJSON(i.metadataJSON->toUtf8());
    } else if (i.metadata) {
        ItemMetadata metadata;
        metadata.author = i.metadata->author;
        metadata.description = i.metadata->description;
        if (m_restoring) {
            metadata.platform = i.metadata->platform;
            metadata.siteName = i.metadata->siteName;
        }
        item->setMetadata(metadata);
    }
    if (i.imageData)
        item->setImageData(*i.imageData);
    if (i.thumbnailData)
        item->setThumbnailData(*i.thumbnailData);
    if (i.imageTaken)
        RecordContextAccess::setBlobPresent(*item, BlobKind::image, true);
    if (i.thumbnailTaken)
        RecordContextAccess::setBlobPresent(*item, BlobKind::thumbnail, true);
    if (m_restoring) {
        if (!ItemTypes::fromRawValue(i.type))
            item->setTypeRawValue(i.type); // kept as stored, as the store keeps it
        item->setRead(i.isRead.value_or(false));
        item->setAccessedAt(i.accessedAt ? documentDate(*i.accessedAt) : std::nullopt);
        item->setSourceApp(i.sourceApp);
    }
    m_itemLinks.push_back({i.folderId, i.tagIds, {i.createdAt, i.modifiedAt}});
    m_items.push_back(std::move(item));
    return *m_items.back();
}

void RecordBuilder::finish()
{
    // Parents once every folder exists, in document order. A link that would
    // make a folder its own ancestor is refused by setParent; that folder
    // stays at the top level.
    for (size_t n = 0; n < m_folders.size(); ++n) {
        const std::optional<QString>& parentId = m_folderLinks[n].parentId;
        if (Folder* parent = parentId ? m_foldersById.value(*parentId) : nullptr)
            (void)m_folders[n]->setParent(parent);
    }
    for (size_t n = 0; n < m_items.size(); ++n) {
        Item& item = *m_items[n];
        const ItemLinks& links = m_itemLinks[n];
        if (Folder* folder = links.folderId ? m_foldersById.value(*links.folderId) : nullptr)
            item.setFolder(folder);
        for (const QString& id : links.tagIds.value_or(QStringList())) {
            if (Tag* tag = m_tagsById.value(id))
                item.addTag(tag);
        }
    }
    // Dates last: linking counts as an edit and sets modifiedAt.
    if (!m_restoring)
        return;
    for (size_t n = 0; n < m_tags.size(); ++n)
        restoreDates(*m_tags[n], m_tagDates[n].createdAt, m_tagDates[n].modifiedAt);
    for (size_t n = 0; n < m_folders.size(); ++n)
        restoreDates(*m_folders[n], m_folderLinks[n].dates.createdAt, m_folderLinks[n].dates.modifiedAt);
    for (size_t n = 0; n < m_items.size(); ++n)
        restoreDates(*m_items[n], m_itemLinks[n].dates.createdAt, m_itemLinks[n].dates.modifiedAt);
}
