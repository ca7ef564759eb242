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
    // Gives a record no context knows yet the id its rows were written under.
    static void setNewId(Record& record, const QUuid& id)
    {
        Q_ASSERT(!record.isInserted());
        record.m_id = id;
    }
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

    // Copies of a record's stored values, for a save that runs on another
    // thread while the record goes on changing. A copy points at the same
    // folder, parent and tags, of which only the ids are read, and nothing
    // points back at it: call forgetLinks before deleting it.
    static std::unique_ptr<Item> snapshot(const Item& item)
    {
        auto copy = makeItem(item.m_id);
        copy->m_storeVersion = item.m_storeVersion;
        copy->m_typeRawValue = item.m_typeRawValue;
        copy->m_urlString = item.m_urlString;
        copy->m_title = item.m_title;
        copy->m_note = item.m_note;
        for (auto [from, to] : {std::pair{&item.m_thumbnail, &copy->m_thumbnail}, {&item.m_image, &copy->m_image}}) {
            to->present = from->present;
            to->dirty = from->dirty;
            if (from->bytes)
                to->bytes = std::make_unique<QByteArray>(*from->bytes);
        }
        copy->m_metadataJSON = item.m_metadataJSON;
        copy->m_sourceDomain = item.m_sourceDomain;
        copy->m_sourceApp = item.m_sourceApp;
        copy->m_folder = item.m_folder;
        copy->m_tags = item.m_tags;
        copy->m_isArchived = item.m_isArchived;
        copy->m_isFavorite = item.m_isFavorite;
        copy->m_isRead = item.m_isRead;
        copy->m_createdAt = item.m_createdAt;
        copy->m_modifiedAt = item.m_modifiedAt;
        copy->m_accessedAt = item.m_accessedAt;
        return copy;
    }
    static std::unique_ptr<Folder> snapshot(const Folder& folder)
    {
        auto copy = makeFolder(folder.m_id);
        copy->m_storeVersion = folder.m_storeVersion;
        copy->m_name = folder.m_name;
        copy->m_iconName = folder.m_iconName;
        copy->m_colorHex = folder.m_colorHex;
        copy->m_sortOrder = folder.m_sortOrder;
        copy->m_createdAt = folder.m_createdAt;
        copy->m_modifiedAt = folder.m_modifiedAt;
        copy->m_parent = folder.m_parent;
        return copy;
    }
    static std::unique_ptr<Tag> snapshot(const Tag& tag)
    {
        auto copy = makeTag(tag.m_id);
        copy->m_storeVersion = tag.m_storeVersion;
        copy->m_name = tag.m_name;
        copy->m_colorHex = tag.m_colorHex;
        copy->m_sortOrder = tag.m_sortOrder;
        copy->m_createdAt = tag.m_createdAt;
        copy->m_modifiedAt = tag.m_modifiedAt;
        return copy;
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

    // Gives a copy the links its record had at an earlier moment, without
    // touching the other side (a copy is never pointed at).
    static void setLinks(Item& copy, Folder* folder, const QList<Tag*>& tags)
    {
        copy.m_folder = folder;
        copy.m_tags = tags;
    }
    static void setLinks(Folder& copy, Folder* parent) { copy.m_parent = parent; }

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
