#include "LibrarySnapshot.h"

#include "model/Clock.h"
#include "model/Folder.h"
#include "model/Item.h"
#include "model/ItemMetadata.h"
#include "model/Tag.h"
#include "model/TagDragItem.h"

LibrarySnapshot LibrarySnapshot::take(const QList<Item*>& items, const QList<Folder*>& folders, const QList<Tag*>& tags)
{
    LibrarySnapshot s;
    s.exportDate = Clock::now();
    s.items.reserve(items.size());
    for (const Item* item : items) {
        ItemValues v;
        v.id = item->id();
        // The type as the item reads it: a raw value of no known type is a web link.
        v.typeRawValue = ItemTypes::rawValue(item->type());
        v.title = item->title();
        v.urlString = item->urlString();
        v.note = item->note();
        v.sourceDomain = item->sourceDomain();
        if (item->folder())
            v.folderId = item->folder()->id();
        v.tagIds.reserve(item->tags().size());
        for (const Tag* tag : item->tags())
            v.tagIds.append(tag->id());
        v.isArchived = item->isArchived();
        v.isFavorite = item->isFavorite();
        v.isRead = item->isRead();
        if (item->accessedAt())
            v.accessedAt = item->accessedAt()->toMSecsSinceEpoch();
        v.sourceApp = item->sourceApp();
        v.createdAt = item->createdAt().toMSecsSinceEpoch();
        v.modifiedAt = item->modifiedAt().toMSecsSinceEpoch();
        v.metadataJSON = item->metadataJSON();
        v.hasImage = item->hasImage();
        v.hasThumbnail = item->hasThumbnail();
        s.items.append(std::move(v));
    }
    s.folders.reserve(folders.size());
    for (const Folder* folder : folders) {
        s.folders.append({folder->id(), folder->name(), folder->iconName(), folder->colorHex(),
                          folder->parent() ? folder->parent()->id() : QUuid(), folder->sortOrder(),
                          folder->createdAt().toMSecsSinceEpoch(), folder->modifiedAt().toMSecsSinceEpoch()});
    }
    s.tags.reserve(tags.size());
    for (const Tag* tag : tags) {
        s.tags.append({tag->id(), tag->name(), tag->colorHex(), tag->sortOrder(), tag->createdAt().toMSecsSinceEpoch(),
                       tag->modifiedAt().toMSecsSinceEpoch()});
    }
    return s;
}

ExportedItem LibrarySnapshot::record(const ItemValues& v, bool complete)
{
    ExportedItem r;
    r.id = UuidText::toString(v.id);
    r.type = v.typeRawValue;
    r.title = v.title;
    r.url = v.urlString;
    r.note = v.note;
    r.sourceDomain = v.sourceDomain;
    if (!v.folderId.isNull())
        r.folderId = UuidText::toString(v.folderId);
    QStringList tagIds;
    tagIds.reserve(v.tagIds.size());
    for (const QUuid& id : v.tagIds)
        tagIds.append(UuidText::toString(id));
    r.tagIds = std::move(tagIds);
    r.isArchived = v.isArchived;
    r.isFavorite = v.isFavorite;
    r.createdAt = ExportData::formatDate(v.createdAt);
    r.modifiedAt = ExportData::formatDate(v.modifiedAt);
    if (v.metadataJSON) {
        // Four fields of the decoded record travel; the rest stay home.
        if (const auto metadata = ItemMetadata::fromJson(*v.metadataJSON)) {
            ExportedMetadata& m = r.metadata.emplace();
            m.author = metadata->author;
            m.description = metadata->description;
            m.platform = metadata->platform;
            m.siteName = metadata->siteName;
            if (m.isEmpty())
                r.metadata.reset();
        }
    }
    if (complete) {
        r.isRead = v.isRead;
        if (v.accessedAt)
            r.accessedAt = ExportData::formatDate(*v.accessedAt);
        r.sourceApp = v.sourceApp;
        if (v.metadataJSON)
            r.metadataJSON = QString::fromUtf8(*v.metadataJSON);
    }
    return r;
}

ExportedFolder LibrarySnapshot::record(const FolderValues& v)
{
    ExportedFolder r;
    r.id = UuidText::toString(v.id);
    r.name = v.name;
    r.iconName = v.iconName;
    r.colorHex = v.colorHex;
    if (!v.parentId.isNull())
        r.parentId = UuidText::toString(v.parentId);
    r.sortOrder = v.sortOrder;
    r.createdAt = ExportData::formatDate(v.createdAt);
    r.modifiedAt = ExportData::formatDate(v.modifiedAt);
    return r;
}

ExportedTag LibrarySnapshot::record(const TagValues& v)
{
    ExportedTag r;
    r.id = UuidText::toString(v.id);
    r.name = v.name;
    r.colorHex = v.colorHex;
    r.sortOrder = v.sortOrder;
    r.createdAt = ExportData::formatDate(v.createdAt);
    r.modifiedAt = ExportData::formatDate(v.modifiedAt);
    return r;
}
