#include "ModelContext.h"

#include "model/RecordContextAccess.h"

#include <QDebug>

#include <algorithm>

using namespace Qt::StringLiterals;

ModelContext::ModelContext(std::unique_ptr<LibraryStore> store) : m_store(std::move(store))
{
    m_autosaveTimer.setSingleShot(true);
    m_autosaveTimer.setInterval(kDefaultAutosaveDelayMs);
    connect(&m_autosaveTimer, &QTimer::timeout, this, &ModelContext::autosave);
}

ModelContext::~ModelContext()
{
    if (m_saveOnDestruction && hasChanges()) {
        if (Status s = save(); !s)
            qWarning().noquote() << u"Failed to save the library: "_s + s.error();
    }
    for (Item* item : m_items.list())
        RecordContextAccess::forgetLinks(*item);
    for (Folder* folder : m_folders.list())
        RecordContextAccess::forgetLinks(*folder);
    for (Tag* tag : m_tags.list())
        RecordContextAccess::forgetLinks(*tag);
    for (auto& item : m_graveItems)
        RecordContextAccess::forgetLinks(*item);
    for (auto& folder : m_graveFolders)
        RecordContextAccess::forgetLinks(*folder);
    for (auto& tag : m_graveTags)
        RecordContextAccess::forgetLinks(*tag);
}

Result<std::unique_ptr<ModelContext>> ModelContext::open(const QString& storePath)
{
    using R = Result<std::unique_ptr<ModelContext>>;
    auto store = LibraryStore::open(storePath);
    if (!store)
        return R::failure(store.error());
    auto loaded = store.value()->load();
    if (!loaded)
        return R::failure(loaded.error());

    std::unique_ptr<ModelContext> context(new ModelContext(std::move(store).value()));
    LoadedLibrary& lib = loaded.value();
    context->m_folders.reserve(qsizetype(lib.folders.size()));
    for (auto& folder : lib.folders) {
        RecordContextAccess::attach(*folder, context.get());
        context->m_foldersById.insert(folder->id(), folder.get());
        context->m_folders.append(folder.release());
    }
    for (auto& tag : lib.tags) {
        RecordContextAccess::attach(*tag, context.get());
        context->m_tagsById.insert(tag->id(), tag.get());
        context->m_tags.append(tag.release());
    }
    context->m_items.reserve(qsizetype(lib.items.size()));
    context->m_itemsById = std::move(lib.itemsById);
    for (auto& item : lib.items) {
        RecordContextAccess::attach(*item, context.get());
        context->m_items.append(item.release());
    }
    return R(std::move(context));
}

void ModelContext::setAutosaveDelay(int ms)
{
    m_autosaveTimer.setInterval(ms);
}

void ModelContext::scheduleSave()
{
    // The first unsaved change starts the clock; later ones ride along, so a
    // change is never more than one delay away from the disk.
    if (!m_autosaveTimer.isActive())
        m_autosaveTimer.start();
}

void ModelContext::scheduleChanged()
{
    if (m_changedPending)
        return;
    m_changedPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_changedPending = false;
            Q_EMIT changed();
        },
        Qt::QueuedConnection);
}

void ModelContext::autosave()
{
    if (Status s = save(); !s) {
        qWarning().noquote() << u"Failed to save the library: "_s + s.error();
        // Try again later; the pending changes are kept.
        m_autosaveTimer.start(std::max(1000, m_autosaveTimer.interval()));
    }
}

Item* ModelContext::insert(std::unique_ptr<Item> owned)
{
    Item* item = owned.release();
    m_items.append(item);
    m_itemsById.insert(item->id(), item);
    RecordContextAccess::attach(*item, this);
    m_newRecords.insert(item);
    m_dirtyItems.insert(item);
    scheduleSave();
    Q_EMIT itemInserted(item);
    scheduleChanged();
    return item;
}

Folder* ModelContext::insert(std::unique_ptr<Folder> owned)
{
    Folder* folder = owned.release();
    m_folders.append(folder);
    m_foldersById.insert(folder->id(), folder);
    RecordContextAccess::attach(*folder, this);
    m_newRecords.insert(folder);
    m_dirtyFolders.insert(folder);
    scheduleSave();
    Q_EMIT folderInserted(folder);
    scheduleChanged();
    return folder;
}

Tag* ModelContext::insert(std::unique_ptr<Tag> owned)
{
    Tag* tag = owned.release();
    m_tags.append(tag);
    m_tagsById.insert(tag->id(), tag);
    RecordContextAccess::attach(*tag, this);
    m_newRecords.insert(tag);
    m_dirtyTags.insert(tag);
    scheduleSave();
    Q_EMIT tagInserted(tag);
    scheduleChanged();
    return tag;
}

void ModelContext::remove(Item* item)
{
    if (!item || item->isDeleted() || !m_itemsById.contains(item->id()))
        return;
    Q_EMIT itemAboutToBeRemoved(item);
    const QUuid id = item->id();
    RecordContextAccess::detach(*item);
    RecordContextAccess::markDeleted(*item);
    RecordContextAccess::attach(*item, nullptr);
    m_itemsById.remove(id);
    m_dirtyItems.remove(item);
    m_tagDirtyItems.remove(item);
    if (!m_newRecords.remove(item))
        m_deletedItemIds.append(id);
    m_graveItems.push_back(m_items.take(item));
    scheduleSave();
    Q_EMIT itemRemoved(id);
    scheduleChanged();
}

void ModelContext::remove(Folder* folder)
{
    if (!folder || folder->isDeleted() || !m_foldersById.contains(folder->id()))
        return;
    // Children first, deepest last in the list, so every removal sees a leaf.
    const QList<Folder*> doomed = QList<Folder*>{folder} + folder->allDescendants();
    for (auto it = doomed.crbegin(); it != doomed.crend(); ++it) {
        Folder* f = *it;
        Q_EMIT folderAboutToBeRemoved(f);
        // Nullify: the items stay in the library, unfiled.
        const QList<Item*> items = f->items();
        for (Item* item : items)
            item->setFolder(nullptr);
        if (f->parent())
            (void)f->setParent(nullptr);
        const QUuid id = f->id();
        RecordContextAccess::markDeleted(*f);
        RecordContextAccess::attach(*f, nullptr);
        m_foldersById.remove(id);
        m_dirtyFolders.remove(f);
        if (!m_newRecords.remove(f))
            m_deletedFolderIds.append(id);
        m_graveFolders.push_back(m_folders.take(f));
        Q_EMIT folderRemoved(id);
    }
    scheduleSave();
    scheduleChanged();
}

void ModelContext::remove(Tag* tag)
{
    if (!tag || tag->isDeleted() || !m_tagsById.contains(tag->id()))
        return;
    Q_EMIT tagAboutToBeRemoved(tag);
    // Nullify: detach from every item; the items stay.
    const QList<Item*> items = tag->items();
    for (Item* item : items) {
        QList<Tag*> tags = item->tags();
        tags.removeAll(tag);
        item->setTags(tags);
    }
    const QUuid id = tag->id();
    RecordContextAccess::markDeleted(*tag);
    RecordContextAccess::attach(*tag, nullptr);
    m_tagsById.remove(id);
    m_dirtyTags.remove(tag);
    if (!m_newRecords.remove(tag))
        m_deletedTagIds.append(id);
    m_graveTags.push_back(m_tags.take(tag));
    scheduleSave();
    Q_EMIT tagRemoved(id);
    scheduleChanged();
}

template <typename T>
static QList<T*> sortedCopy(const QList<T*>& list, const std::function<bool(const T*, const T*)>& lessThan)
{
    QList<T*> result = list;
    if (lessThan)
        std::stable_sort(result.begin(), result.end(), lessThan);
    return result;
}

QList<Item*> ModelContext::fetchItems(const Comparator<Item>& lessThan) const
{
    return sortedCopy(items(), lessThan);
}

QList<Folder*> ModelContext::fetchFolders(const Comparator<Folder>& lessThan) const
{
    return sortedCopy(folders(), lessThan);
}

QList<Tag*> ModelContext::fetchTags(const Comparator<Tag>& lessThan) const
{
    return sortedCopy(tags(), lessThan);
}

void ModelContext::itemChanged(Item* item, quint32 fields)
{
    m_dirtyItems.insert(item);
    if (fields & ItemField::Tags)
        m_tagDirtyItems.insert(item);
    scheduleSave();
    Q_EMIT itemUpdated(item, fields);
    scheduleChanged();
}

void ModelContext::folderChanged(Folder* folder, quint32 fields)
{
    m_dirtyFolders.insert(folder);
    scheduleSave();
    Q_EMIT folderUpdated(folder, fields);
    scheduleChanged();
}

void ModelContext::tagChanged(Tag* tag, quint32 fields)
{
    m_dirtyTags.insert(tag);
    scheduleSave();
    Q_EMIT tagUpdated(tag, fields);
    scheduleChanged();
}

std::optional<QByteArray> ModelContext::loadItemBlob(const Item* item, BlobKind kind) const
{
    return m_store->loadBlob(item->id(), kind);
}

bool ModelContext::hasChanges() const
{
    return !m_dirtyItems.isEmpty() || !m_dirtyFolders.isEmpty() || !m_dirtyTags.isEmpty() || !m_deletedItemIds.isEmpty()
           || !m_deletedFolderIds.isEmpty() || !m_deletedTagIds.isEmpty();
}

Status ModelContext::save()
{
    m_autosaveTimer.stop();
    if (!hasChanges())
        return {};
    ChangeSet changes;
    changes.deletedItems = m_deletedItemIds;
    changes.deletedFolders = m_deletedFolderIds;
    changes.deletedTags = m_deletedTagIds;
    // Store order keeps the rows in insertion order on the next load.
    auto inStoreOrder = [](const auto& set, const auto& all) {
        using T = std::remove_pointer_t<typename std::decay_t<decltype(all)>::value_type>;
        QList<T*> out;
        out.reserve(set.size());
        if (qsizetype(set.size()) * 8 < all.size()) {
            for (T* r : set)
                out.append(r);
            return out;
        }
        for (T* r : all) {
            if (set.contains(r))
                out.append(r);
        }
        return out;
    };
    changes.upsertFolders = inStoreOrder(m_dirtyFolders, folders());
    changes.upsertTags = inStoreOrder(m_dirtyTags, tags());
    changes.upsertItems = inStoreOrder(m_dirtyItems, items());
    changes.itemsWithTagChanges = m_tagDirtyItems;
    changes.newRecords = m_newRecords;

    if (Status s = m_store->save(changes); !s) {
        Q_EMIT saveFailed(s.error());
        return s;
    }
    for (Item* item : std::as_const(changes.upsertItems)) {
        RecordContextAccess::blobSaved(*item, BlobKind::thumbnail);
        RecordContextAccess::blobSaved(*item, BlobKind::image);
    }
    m_newRecords.clear();
    m_dirtyItems.clear();
    m_tagDirtyItems.clear();
    m_dirtyFolders.clear();
    m_dirtyTags.clear();
    m_deletedItemIds.clear();
    m_deletedFolderIds.clear();
    m_deletedTagIds.clear();
    for (auto& item : m_graveItems)
        RecordContextAccess::forgetLinks(*item);
    for (auto& folder : m_graveFolders)
        RecordContextAccess::forgetLinks(*folder);
    for (auto& tag : m_graveTags)
        RecordContextAccess::forgetLinks(*tag);
    m_graveItems.clear();
    m_graveFolders.clear();
    m_graveTags.clear();
    Q_EMIT saved();
    return {};
}
