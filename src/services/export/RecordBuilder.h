#pragma once

#include "ExportData.h"
#include "ImportService.h"

#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

// Makes new records from the records of an export document, as an import or
// a restore gives them back (see ImportService::Mode). Records may come in
// any order, and an item as soon as it has been read: finish() then links
// items to their folder and tags and folders to their parents by the
// document's ids, in document order, and, restoring, sets every date last
// (linking counts as an edit). Nothing here touches a context or a store.
class RecordBuilder {
public:
    explicit RecordBuilder(ImportService::Mode mode);
    ~RecordBuilder();
    RecordBuilder(const RecordBuilder&) = delete;
    RecordBuilder& operator=(const RecordBuilder&) = delete;

    void add(const ExportedTag& tag);
    void add(const ExportedFolder& folder);
    // The item with its fields and pictures; its links come with finish().
    // With an id, the item takes it: the id its taken pictures were
    // written under.
    Item& add(const ExportedItem& item, const QUuid& id = {});
    void finish();

    // The records made, each list in the order added.
    std::vector<std::unique_ptr<Tag>>& tags() { return m_tags; }
    std::vector<std::unique_ptr<Folder>>& folders() { return m_folders; }
    std::vector<std::unique_ptr<Item>>& items() { return m_items; }

private:
    // What finish() needs of a record once its fields are set.
    struct Dates {
        QString createdAt;
        QString modifiedAt;
    };
    struct FolderLinks {
        std::optional<QString> parentId;
        Dates dates;
    };
    struct ItemLinks {
        std::optional<QString> folderId;
        std::optional<QStringList> tagIds;
        Dates dates;
    };

    bool m_restoring;
    std::vector<std::unique_ptr<Tag>> m_tags;
    std::vector<std::unique_ptr<Folder>> m_folders;
    std::vector<std::unique_ptr<Item>> m_items;
    std::vector<Dates> m_tagDates;
    std::vector<FolderLinks> m_folderLinks;
    std::vector<ItemLinks> m_itemLinks;
    // A later record with the same id replaces an earlier one here.
    QHash<QString, Tag*> m_tagsById;
    QHash<QString, Folder*> m_foldersById;
};
