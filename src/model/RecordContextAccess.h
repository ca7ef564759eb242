#pragma once

#include "Folder.h"
#include "Item.h"
#include "Tag.h"

#include <memory>

// The store's private door into records: creating them with a known id,
// filling fields without change notifications, and attaching the context.
class RecordContextAccess {
public:
    static std::unique_ptr<Item> makeItem(const QUuid& id) { return std::unique_ptr<Item>(new Item(id)); }
    static std::unique_ptr<Folder> makeFolder(const QUuid& id) { return std::unique_ptr<Folder>(new Folder(id)); }
    static std::unique_ptr<Tag> makeTag(const QUuid& id) { return std::unique_ptr<Tag>(new Tag(id)); }

    static void attach(Record& record, RecordObserver* observer) { record.m_observer = observer; }
    static void markDeleted(Record& record) { record.m_deleted = true; }
    static qint64 storeVersion(const Record& record) { return record.m_storeVersion; }
    static void setStoreVersion(Record& record, qint64 version) { record.m_storeVersion = version; }

    struct ItemRow {
        QString typeRawValue;
        std::optional<QString> urlString;
        QString title;
        std::optional<QString> note;
        std::optional<QByteArray> metadataJSON;
        std::optional<QString> sourceDomain;
        std::optional<QString> sourceApp;
        bool isArchived = false;
        bool isFavorite = false;
        bool isRead = false;
        QDateTime createdAt;
        QDateTime modifiedAt;
        std::optional<QDateTime> accessedAt;
    };
    static void fill(Item& item, ItemRow&& row)
    {
        const auto known = ItemTypes::fromRawValue(row.typeRawValue);
        item.m_typeRawValue = known ? ItemTypes::rawValue(*known) : std::move(row.typeRawValue);
        item.m_urlString = std::move(row.urlString);
        item.m_title = std::move(row.title);
        item.m_note = std::move(row.note);
        item.m_metadataJSON = std::move(row.metadataJSON);
        item.m_sourceDomain = std::move(row.sourceDomain);
        item.m_sourceApp = std::move(row.sourceApp);
        item.m_isArchived = row.isArchived;
        item.m_isFavorite = row.isFavorite;
        item.m_isRead = row.isRead;
        item.m_createdAt = std::move(row.createdAt);
        item.m_modifiedAt = std::move(row.modifiedAt);
        item.m_accessedAt = std::move(row.accessedAt);
    }
    static void setBlobPresent(Item& item, BlobKind kind, bool present)
    {
        (kind == BlobKind::thumbnail ? item.m_thumbnail : item.m_image).present = present;
    }
    // Relationship links made while loading, without notifications.
    static void linkFolder(Item& item, Folder* folder)
    {
        item.m_folder = folder;
        if (folder)
            folder->m_items.append(&item);
    }
    static void linkTag(Item& item, Tag* tag)
    {
        item.m_tags.append(tag);
        tag->m_items.append(&item);
    }
    static void linkParent(Folder& folder, Folder* parent)
    {
        folder.m_parent = parent;
        if (parent)
            parent->m_children.append(&folder);
    }

    struct FolderRow {
        QString name;
        QString iconName;
        QString colorHex;
        int sortOrder = 0;
        QDateTime createdAt;
        QDateTime modifiedAt;
    };
    static void fill(Folder& folder, FolderRow&& row)
    {
        folder.m_name = std::move(row.name);
        folder.m_iconName = std::move(row.iconName);
        folder.m_colorHex = std::move(row.colorHex);
        folder.m_sortOrder = row.sortOrder;
        folder.m_createdAt = std::move(row.createdAt);
        folder.m_modifiedAt = std::move(row.modifiedAt);
    }
    struct TagRow {
        QString name;
        QString colorHex;
        int sortOrder = 0;
        QDateTime createdAt;
        QDateTime modifiedAt;
    };
    static void fill(Tag& tag, TagRow&& row)
    {
        tag.m_name = std::move(row.name);
        tag.m_colorHex = std::move(row.colorHex);
        tag.m_sortOrder = row.sortOrder;
        tag.m_createdAt = std::move(row.createdAt);
        tag.m_modifiedAt = std::move(row.modifiedAt);
    }

    // Blob bytes waiting to be written, and the flag that says so.
    static bool blobDirty(const Item& item, BlobKind kind) { return blob(item, kind).dirty; }
    // Null when the picture was removed.
    static const QByteArray* pendingBlob(const Item& item, BlobKind kind) { return blob(item, kind).bytes.get(); }
    static void blobSaved(Item& item, BlobKind kind)
    {
        auto& b = kind == BlobKind::thumbnail ? item.m_thumbnail : item.m_image;
        b.dirty = false;
        b.bytes.reset(); // read back from the store on demand
    }

    // Detaches relationships of a record being deleted, without notifications.
    static void detach(Item& item)
    {
        if (item.m_folder)
            item.m_folder->m_items.removeOne(&item);
        item.m_folder = nullptr;
        for (Tag* tag : std::as_const(item.m_tags))
            tag->m_items.removeOne(&item);
        item.m_tags.clear();
    }

    // Drops every link without touching the other side; used when a whole
    // context is torn down, so destruction stays linear.
    static void forgetLinks(Item& item)
    {
        item.m_observer = nullptr;
        item.m_folder = nullptr;
        item.m_tags.clear();
    }
    static void forgetLinks(Folder& folder)
    {
        folder.m_observer = nullptr;
        folder.m_parent = nullptr;
        folder.m_children.clear();
        folder.m_items.clear();
    }
    static void forgetLinks(Tag& tag)
    {
        tag.m_observer = nullptr;
        tag.m_items.clear();
    }

private:
    static const Item::Blob& blob(const Item& item, BlobKind kind)
    {
        return kind == BlobKind::thumbnail ? item.m_thumbnail : item.m_image;
    }
};
