#include "ModelContext.h"

#include "LibraryStore.h"

#include "model/RecordContextAccess.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <tuple>
#include <utility>

using namespace Qt::StringLiterals;

ModelContext::ModelContext(std::unique_ptr<LibraryStore> store) : m_store(std::move(store))
{
    m_autosaveTimer.setSingleShot(true);
    m_autosaveTimer.setInterval(kDefaultAutosaveDelayMs);
    connect(&m_autosaveTimer, &QTimer::timeout, this, &ModelContext::autosave);
    connect(&m_watchTimer, &QTimer::timeout, this, &ModelContext::refreshFromStore);
}

ModelContext::~ModelContext()
{
    // Nobody is left to hear how a save ends.
    m_saveWaiters.clear();
    waitForSave();
    m_saveWaiters.clear();
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
    context->m_sequence = lib.sequence;
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

const QString& ModelContext::storePath() const
{
    return m_store->path();
}

bool ModelContext::isReadOnly() const
{
    return m_store->isReadOnly();
}

void ModelContext::setBusyTimeout(int ms)
{
    m_busyTimeoutMs = ms;
    m_store->setBusyTimeout(ms);
    if (m_writer) {
        waitForSave();
        m_writer->setBusyTimeout(ms);
    }
}

void ModelContext::watchStore(int intervalMs)
{
    if (intervalMs <= 0) {
        m_watchTimer.stop();
        return;
    }
    // PRAGMA data_version answers from the connection's shared memory: a
    // look costs microseconds, so an idle window stays idle.
    m_watchTimer.start(intervalMs);
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

void ModelContext::endBatch()
{
    if (m_batches == 0 || --m_batches > 0)
        return;
    if (hasChanges())
        scheduleSave();
    Q_EMIT batchEnded();
}

void ModelContext::autosave()
{
    if (m_batches > 0)
        return; // endBatch() schedules it again
    // A failure is announced (saveFailed) and the changes stay pending; the
    // next change, or an explicit save, tries again.
    if (m_backgroundSaving)
        return saveInBackground();
    if (Status s = save(); !s)
        qWarning().noquote() << u"Failed to save the library: "_s + s.error();
}

Item* ModelContext::insert(std::unique_ptr<Item> owned)
{
    Item* item = owned.release();
    m_items.append(item);
    m_itemsById.insert(item->id(), item);
    RecordContextAccess::attach(*item, this);
    m_newRecords.insert(item, ++m_insertSerial);
    m_dirtyItems.insert(item, 0);
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
    m_newRecords.insert(folder, ++m_insertSerial);
    m_dirtyFolders.insert(folder, 0);
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
    m_newRecords.insert(tag, ++m_insertSerial);
    m_dirtyTags.insert(tag, 0);
    scheduleSave();
    Q_EMIT tagInserted(tag);
    scheduleChanged();
    return tag;
}

void ModelContext::remove(Item* item)
{
    if (!item || item->isDeleted() || !m_itemsById.contains(item->id()))
        return;
    discard(item, true);
    scheduleSave();
}

void ModelContext::remove(Folder* folder)
{
    if (!folder || folder->isDeleted() || !m_foldersById.contains(folder->id()))
        return;
    discard(folder, true);
    scheduleSave();
}

void ModelContext::remove(Tag* tag)
{
    if (!tag || tag->isDeleted() || !m_tagsById.contains(tag->id()))
        return;
    discard(tag, true);
    scheduleSave();
}

void ModelContext::discard(Item* item, bool writeDeletion)
{
    Q_EMIT itemAboutToBeRemoved(item);
    const QUuid id = item->id();
    RecordContextAccess::detach(*item);
    RecordContextAccess::markDeleted(*item);
    RecordContextAccess::attach(*item, nullptr);
    m_itemsById.remove(id);
    m_dirtyItems.remove(item);
    if (!m_newRecords.remove(item) && writeDeletion)
        m_deletedItemIds.append(id);
    m_graveItems.push_back(m_items.take(item));
    Q_EMIT itemRemoved(id);
    scheduleChanged();
}

void ModelContext::discard(Folder* folder, bool writeDeletion)
{
    // Children first, deepest last in the list, so every removal sees a leaf.
    const QList<Folder*> doomed = QList<Folder*>{folder} + folder->allDescendants();
    for (auto it = doomed.crbegin(); it != doomed.crend(); ++it) {
        Folder* f = *it;
        Q_EMIT folderAboutToBeRemoved(f);
        // Nullify: the items stay in the library, unfiled. The store's delete
        // rule does the same to the rows, so the items are not written.
        const bool wasQuiet = std::exchange(m_quiet, true);
        const QList<Item*> items = f->items();
        for (Item* item : items)
            item->setFolder(nullptr);
        if (f->parent())
            (void)f->setParent(nullptr);
        m_quiet = wasQuiet;
        const QUuid id = f->id();
        RecordContextAccess::markDeleted(*f);
        RecordContextAccess::attach(*f, nullptr);
        m_foldersById.remove(id);
        m_dirtyFolders.remove(f);
        if (!m_newRecords.remove(f) && writeDeletion)
            m_deletedFolderIds.append(id);
        m_graveFolders.push_back(m_folders.take(f));
        Q_EMIT folderRemoved(id);
    }
    scheduleChanged();
}

void ModelContext::discard(Tag* tag, bool writeDeletion)
{
    Q_EMIT tagAboutToBeRemoved(tag);
    // Nullify: detach from every item; the items stay. The store's delete
    // rule drops the tag's rows, so the items are not written.
    const bool wasQuiet = std::exchange(m_quiet, true);
    const QList<Item*> items = tag->items();
    for (Item* item : items) {
        QList<Tag*> tags = item->tags();
        tags.removeAll(tag);
        item->setTags(tags);
    }
    m_quiet = wasQuiet;
    const QUuid id = tag->id();
    RecordContextAccess::markDeleted(*tag);
    RecordContextAccess::attach(*tag, nullptr);
    m_tagsById.remove(id);
    m_dirtyTags.remove(tag);
    if (!m_newRecords.remove(tag) && writeDeletion)
        m_deletedTagIds.append(id);
    m_graveTags.push_back(m_tags.take(tag));
    Q_EMIT tagRemoved(id);
    scheduleChanged();
}

void ModelContext::removeAll()
{
    Q_EMIT allAboutToBeRemoved();
    // Every record goes, so links are dropped on both sides without
    // notifications, and nothing is written per record: the save deletes
    // whole tables.
    auto bury = [](auto& list, auto& byId, auto& grave) {
        const auto all = list.list();
        grave.reserve(grave.size() + size_t(all.size()));
        for (auto* record : all) {
            RecordContextAccess::forgetLinks(*record);
            RecordContextAccess::markDeleted(*record);
            RecordContextAccess::attach(*record, nullptr);
        }
        for (auto* record : all)
            grave.push_back(std::unique_ptr<std::remove_pointer_t<decltype(record)>>(record));
        list.releaseAll();
        byId.clear();
    };
    bury(m_items, m_itemsById, m_graveItems);
    bury(m_folders, m_foldersById, m_graveFolders);
    bury(m_tags, m_tagsById, m_graveTags);
    // Records never saved need no deletion of their own.
    m_newRecords.clear();
    m_dirtyItems.clear();
    m_dirtyFolders.clear();
    m_dirtyTags.clear();
    m_deletedItemIds.clear();
    m_deletedFolderIds.clear();
    m_deletedTagIds.clear();
    m_removeAllPending = true;
    Q_EMIT allRemoved();
    scheduleSave();
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
    if (!m_quiet) {
        m_dirtyItems[item] |= fields;
        scheduleSave();
    }
    Q_EMIT itemUpdated(item, fields);
    scheduleChanged();
}

void ModelContext::folderChanged(Folder* folder, quint32 fields)
{
    // Children and items are other records' fields: nothing of this row changes.
    if (!m_quiet && (fields & ~(FolderField::Children | FolderField::Items))) {
        m_dirtyFolders[folder] |= fields;
        scheduleSave();
    }
    Q_EMIT folderUpdated(folder, fields);
    scheduleChanged();
}

void ModelContext::tagChanged(Tag* tag, quint32 fields)
{
    if (!m_quiet && (fields & ~TagField::Items)) {
        m_dirtyTags[tag] |= fields;
        scheduleSave();
    }
    Q_EMIT tagUpdated(tag, fields);
    scheduleChanged();
}

std::optional<QByteArray> ModelContext::loadItemBlob(const Item* item, BlobKind kind) const
{
    return m_store->loadBlob(item->id(), kind);
}

bool ModelContext::hasChanges() const
{
    return m_removeAllPending || !m_dirtyItems.isEmpty() || !m_dirtyFolders.isEmpty() || !m_dirtyTags.isEmpty()
           || !m_deletedItemIds.isEmpty() || !m_deletedFolderIds.isEmpty() || !m_deletedTagIds.isEmpty();
}

QString ModelContext::pendingChangesDescription() const
{
    const qsizetype items = m_dirtyItems.size() + m_deletedItemIds.size();
    const qsizetype folders = m_dirtyFolders.size() + m_deletedFolderIds.size();
    const qsizetype tags = m_dirtyTags.size() + m_deletedTagIds.size();
    QStringList parts;
    if (m_removeAllPending)
        parts.append(u"all items, folders and tags"_s);
    auto count = [&](qsizetype n, const QString& one, const QString& many) {
        if (n > 0)
            parts.append(n == 1 ? one : many.arg(n));
    };
    count(items, u"1 item"_s, u"%1 items"_s);
    count(folders, u"1 folder"_s, u"%1 folders"_s);
    count(tags, u"1 tag"_s, u"%1 tags"_s);
    if (parts.size() <= 1)
        return parts.value(0);
    const QString last = parts.takeLast();
    return parts.join(u", "_s) + u" and "_s + last;
}

// A save on the writer thread: what it took from the context, copies of the
// values it writes, and what it found.
namespace {

// Changes of a background save copied in one go; above this, a slice of at
// most so many milliseconds per event-loop turn.
constexpr qsizetype kCopySlice = 2000;
constexpr qint64 kCopySliceMs = 8;

} // namespace

struct ModelContext::SaveJob {
    quint64 serial = 0;
    qint64 since = 0;
    ChangeSet changes;
    // The pending changes it took, given back if it does not get written.
    QHash<Item*, quint32> items;
    QHash<Folder*, quint32> folders;
    QHash<Tag*, quint32> tags;
    std::vector<std::unique_ptr<Item>> itemValues;
    std::vector<std::unique_ptr<Folder>> folderValues;
    std::vector<std::unique_ptr<Tag>> tagValues;
    size_t graveItems = 0;
    size_t graveFolders = 0;
    size_t graveTags = 0;
    // Outcome, set on the writer thread.
    std::optional<ExternalChanges> external;
    WriteReport report;
    qint64 sequence = 0;
    QString error;
    // Others deleted what the changes refer to: take that in first, then
    // write again.
    bool retry = false;

    // The copies are made before the job goes to the writer, a slice per
    // event-loop turn when there are many. A record may change between the
    // gathering and its copy; the copy then holds the newer values (the
    // change is the next save's too), but the links it had when gathered:
    // a folder or tag linked to since may not be saved before this job.
    std::vector<std::pair<Folder*, QList<Tag*>>> itemLinks;
    std::vector<Folder*> folderParents;
    qsizetype copiedFolders = 0;
    qsizetype copiedTags = 0;
    qsizetype copiedItems = 0;
    bool submitted = false;
    std::function<void()> submit;

    // Makes copies for up to budgetMs milliseconds (all of them when
    // negative); true once every change has its copy.
    bool copySome(qint64 budgetMs)
    {
        QElapsedTimer clock;
        clock.start();
        const auto spent = [&](qsizetype n) { return budgetMs >= 0 && n % 256 == 0 && clock.elapsed() >= budgetMs; };
        for (; copiedFolders < changes.folders.size(); ++copiedFolders) {
            auto& change = changes.folders[copiedFolders];
            folderValues.push_back(RecordContextAccess::snapshot(*change.record));
            RecordContextAccess::setLinks(*folderValues.back(), folderParents[size_t(copiedFolders)]);
            change.values = folderValues.back().get();
        }
        for (; copiedTags < changes.tags.size(); ++copiedTags) {
            auto& change = changes.tags[copiedTags];
            tagValues.push_back(RecordContextAccess::snapshot(*change.record));
            change.values = tagValues.back().get();
        }
        while (copiedItems < changes.items.size()) {
            auto& change = changes.items[copiedItems];
            itemValues.push_back(RecordContextAccess::snapshot(*change.record));
            const auto& [folder, linkedTags] = itemLinks[size_t(copiedItems)];
            RecordContextAccess::setLinks(*itemValues.back(), folder, linkedTags);
            change.values = itemValues.back().get();
            if (spent(++copiedItems))
                break;
        }
        if (copiedItems < changes.items.size())
            return false;
        itemLinks = {};
        folderParents = {};
        return true;
    }

    ~SaveJob()
    {
        for (auto& v : itemValues)
            RecordContextAccess::forgetLinks(*v);
        for (auto& v : folderValues)
            RecordContextAccess::forgetLinks(*v);
        for (auto& v : tagValues)
            RecordContextAccess::forgetLinks(*v);
    }
};

namespace {

// Whether the change set refers to a folder or tag that others deleted
// since it was gathered; written as it is, the save would fail on the
// references, so the context takes the deletions in and gathers again.
bool refersToDeleted(const ChangeSet& changes, const ExternalChanges& external)
{
    const QSet<QUuid> deletedFolders(external.deletedFolders.cbegin(), external.deletedFolders.cend());
    const QSet<QUuid> deletedTags(external.deletedTags.cbegin(), external.deletedTags.cend());
    if (deletedFolders.isEmpty() && deletedTags.isEmpty() && !external.liveFolders && !external.liveTags)
        return false;
    auto gone = [&](const Record* record, const QSet<QUuid>& deleted, const std::optional<QSet<QUuid>>& live) {
        if (!record || changes.newRecords.contains(record))
            return false;
        return deleted.contains(record->id()) || (live && !live->contains(record->id()));
    };
    for (const auto& change : changes.folders) {
        if (gone(change.value().parent(), deletedFolders, external.liveFolders))
            return true;
    }
    for (const auto& change : changes.items) {
        const Item& item = change.value();
        if (gone(item.folder(), deletedFolders, external.liveFolders))
            return true;
        for (const Tag* tag : item.tags()) {
            if (gone(tag, deletedTags, external.liveTags))
                return true;
        }
    }
    return false;
}

// Runs on the writer thread; touches nothing but the job and its connection.
} // namespace

void ModelContext::gatherChanges(ChangeSet& changes, SaveJob* job)
{
    changes.deleteEverything = m_removeAllPending;
    changes.deletedItems = m_deletedItemIds;
    changes.deletedFolders = m_deletedFolderIds;
    changes.deletedTags = m_deletedTagIds;
    // New rows are written in the order they were inserted, which is the
    // order they load in; changed rows in any order.
    auto gather = [this, job](const auto& dirty, auto* values) {
        using T = std::remove_pointer_t<typename std::decay_t<decltype(dirty)>::key_type>;
        // Changed rows (serial 0) first, then new ones by insertion.
        std::vector<std::pair<quint64, ChangeSet::Change<T>>> ordered;
        ordered.reserve(size_t(dirty.size()));
        for (auto it = dirty.cbegin(); it != dirty.cend(); ++it)
            ordered.push_back({m_newRecords.value(it.key(), 0), {it.key(), it.value()}});
        std::sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        QList<ChangeSet::Change<T>> out;
        out.reserve(qsizetype(ordered.size()));
        if (values)
            values->reserve(ordered.size());
        if constexpr (std::is_same_v<T, Item>) {
            if (job)
                job->itemLinks.reserve(ordered.size());
        }
        for (auto& entry : ordered) {
            // The copies come later (SaveJob::copySome); the links now.
            if constexpr (std::is_same_v<T, Item>) {
                if (job)
                    job->itemLinks.emplace_back(entry.second.record->folder(), entry.second.record->tags());
            } else if constexpr (std::is_same_v<T, Folder>) {
                if (job)
                    job->folderParents.push_back(entry.second.record->parent());
            }
            out.append(entry.second);
        }
        return out;
    };
    changes.folders = gather(m_dirtyFolders, job ? &job->folderValues : nullptr);
    changes.tags = gather(m_dirtyTags, job ? &job->tagValues : nullptr);
    changes.items = gather(m_dirtyItems, job ? &job->itemValues : nullptr);
    changes.newRecords = m_newRecords;
    if (!job)
        return;
    // The job owns these changes now; what changes from here on is the
    // next save's.
    job->items = std::exchange(m_dirtyItems, {});
    job->folders = std::exchange(m_dirtyFolders, {});
    job->tags = std::exchange(m_dirtyTags, {});
    m_newRecords.clear();
    m_deletedItemIds.clear();
    m_deletedFolderIds.clear();
    m_deletedTagIds.clear();
    m_removeAllPending = false;
}

void ModelContext::setBackgroundSaving(bool on)
{
    m_backgroundSaving = on;
    if (!on)
        waitForSave();
}

void ModelContext::saveInBackground(std::function<void(const Status&)> done)
{
    if (!m_backgroundSaving) {
        const Status s = save();
        if (done)
            done(s);
        return;
    }
    m_autosaveTimer.stop();
    if (done)
        m_saveWaiters.append(std::move(done));
    // Changes made while a save runs go into the next one, started when it ends.
    if (m_job)
        return;
    if (!hasChanges())
        return settleWaiters({});
    m_retries = 0;
    startBackgroundSave();
}

void ModelContext::startBackgroundSave()
{
    if (m_store->isReadOnly()) {
        const Status s = failSave(u"The library “%1” is open read-only: changes cannot be saved."_s.arg(storePath()));
        return settleWaiters(s);
    }
    if (!m_writer) {
        auto writer = LibraryStore::open(storePath());
        if (!writer) {
            const Status s = failSave(u"The library could not be saved (%1)."_s.arg(writer.error()));
            return settleWaiters(s);
        }
        m_writer = std::move(writer).value();
        if (m_busyTimeoutMs >= 0)
            m_writer->setBusyTimeout(m_busyTimeoutMs);
        m_writerPool.setMaxThreadCount(1);
        m_writerPool.setExpiryTimeout(-1);
    }
    auto job = std::make_unique<SaveJob>();
    job->serial = ++m_jobSerial;
    job->since = m_sequence;
    job->graveItems = m_graveItems.size();
    job->graveFolders = m_graveFolders.size();
    job->graveTags = m_graveTags.size();
    gatherChanges(job->changes, job.get());
    SaveJob* running = job.get();
    m_job = std::move(job);
    running->submit = [this, running] {
        running->submitted = true;
        m_writerPool.start([this, running, store = m_writer.get()] {
            writeJob(*store, *running);
            const quint64 serial = running->serial;
            QMetaObject::invokeMethod(
                this,
                [this, serial] {
                    if (m_job && m_job->serial == serial)
                        finishBackgroundSave(true);
                },
                Qt::QueuedConnection);
        });
    };
    // An edit or two is copied and written at once; the copies of an import
    // of a hundred thousand records are made a slice per turn, from the next
    // turn on, so that the window keeps drawing.
    if (running->changes.items.size() < kCopySlice) {
        running->copySome(-1);
        return running->submit();
    }
    auto step = std::make_shared<std::function<void()>>();
    *step = [this, serial = running->serial, weak = std::weak_ptr(step)] {
        if (!m_job || m_job->serial != serial || m_job->submitted)
            return;
        if (m_job->copySome(kCopySliceMs))
            return m_job->submit();
        if (auto self = weak.lock())
            QTimer::singleShot(0, this, [self] { (*self)(); });
    };
    QTimer::singleShot(0, this, [step] { (*step)(); });
}

void ModelContext::writeJob(LibraryStore& store, SaveJob& job)
{
    const bool wipe = job.changes.deleteEverything;
    auto fail = [&](const QString& error) {
        store.rollback();
        job.error = error;
    };
    if (Status s = store.beginWrite(wipe ? LibraryStore::WriteMode::wipe : LibraryStore::WriteMode::normal); !s)
        return fail(u"The library could not be saved (%1)."_s.arg(s.error()));
    auto external = store.readChanges(job.since);
    if (!external)
        return fail(u"The library could not be saved (%1)."_s.arg(external.error()));
    job.external = std::move(external).value();
    if (!wipe && refersToDeleted(job.changes, *job.external)) {
        store.rollback();
        job.retry = true;
        return;
    }
    if (!job.changes.isEmpty()) {
        auto written = store.write(job.changes);
        if (!written)
            return fail(written.error());
        job.report = std::move(written).value();
    }
    if (Status s = store.commit(); !s)
        return fail(u"The library could not be saved (%1)."_s.arg(s.error()));
    job.sequence = job.changes.isEmpty() ? job.external->sequence : job.report.sequence;
}

void ModelContext::waitForSave()
{
    if (m_job && !m_job->submitted) {
        m_job->copySome(-1);
        m_job->submit();
    }
    m_writerPool.waitForDone();
    if (m_job)
        finishBackgroundSave(false);
}

void ModelContext::finishBackgroundSave(bool goOn)
{
    std::unique_ptr<SaveJob> job = std::move(m_job);
    const bool written = job->error.isEmpty() && !job->retry;
    // What others committed before this save; after a wipe there is nothing
    // of theirs left to take in.
    if (job->external && !(written && job->changes.deleteEverything))
        applyExternal(*job->external, job.get());
    if (!written) {
        requeue(*job);
        if (job->retry && (!goOn || m_retries++ < 3)) {
            m_sequence = job->external->sequence;
            if (goOn)
                startBackgroundSave();
            return;
        }
        const QString error =
            job->retry ? u"The library could not be saved (other programs kept deleting what it refers to)."_s
                       : job->error;
        qWarning().noquote() << u"Failed to save the library: "_s + error;
        Q_EMIT saveFailed(error);
        return settleWaiters(Status::failure(error));
    }
    m_sequence = job->sequence;
    const quint32 pictureFields = ItemField::Thumbnail | ItemField::Image;
    for (const auto& change : std::as_const(job->changes.items)) {
        Item* item = change.record;
        RecordContextAccess::setStoreVersion(*item, job->report.sequence);
        // A picture replaced while the save ran is still waiting for the next.
        const quint32 again = m_dirtyItems.value(item) & pictureFields;
        if (!(again & ItemField::Thumbnail))
            RecordContextAccess::blobSaved(*item, BlobKind::thumbnail);
        if (!(again & ItemField::Image))
            RecordContextAccess::blobSaved(*item, BlobKind::image);
    }
    for (const auto& change : std::as_const(job->changes.folders))
        RecordContextAccess::setStoreVersion(*change.record, job->report.sequence);
    for (const auto& change : std::as_const(job->changes.tags))
        RecordContextAccess::setStoreVersion(*change.record, job->report.sequence);
    for (Item* item : std::as_const(job->report.vanishedItems)) {
        if (!item->isDeleted())
            discard(item, false);
    }
    for (Tag* tag : std::as_const(job->report.vanishedTags)) {
        if (!tag->isDeleted())
            discard(tag, false);
    }
    for (Folder* folder : std::as_const(job->report.vanishedFolders)) {
        if (!folder->isDeleted())
            discard(folder, false);
    }
    const size_t graveItems = job->graveItems;
    const size_t graveFolders = job->graveFolders;
    const size_t graveTags = job->graveTags;
    // The copies (and the pictures they share) are freed on the writer
    // thread. They only point at records, which may go with the graves
    // next, and never read them again.
    m_writerPool.start([retired = std::shared_ptr<SaveJob>(std::move(job))]() mutable { retired.reset(); });
    forgetGraves(graveItems, graveFolders, graveTags);
    Q_EMIT saved();
    if (hasChanges()) {
        // The waiters are settled by the save that writes the rest.
        if (goOn) {
            m_retries = 0;
            startBackgroundSave();
        }
        return;
    }
    settleWaiters({});
}

void ModelContext::requeue(SaveJob& job)
{
    // Back into the pending changes, under anything newer; records deleted
    // meanwhile stay deleted.
    for (auto it = job.items.cbegin(); it != job.items.cend(); ++it) {
        if (!it.key()->isDeleted())
            m_dirtyItems[it.key()] |= it.value();
    }
    for (auto it = job.folders.cbegin(); it != job.folders.cend(); ++it) {
        if (!it.key()->isDeleted())
            m_dirtyFolders[it.key()] |= it.value();
    }
    for (auto it = job.tags.cbegin(); it != job.tags.cend(); ++it) {
        if (!it.key()->isDeleted())
            m_dirtyTags[it.key()] |= it.value();
    }
    for (auto it = job.changes.newRecords.cbegin(); it != job.changes.newRecords.cend(); ++it) {
        if (!it.key()->isDeleted())
            m_newRecords.insert(it.key(), it.value());
    }
    m_deletedItemIds = job.changes.deletedItems + m_deletedItemIds;
    m_deletedFolderIds = job.changes.deletedFolders + m_deletedFolderIds;
    m_deletedTagIds = job.changes.deletedTags + m_deletedTagIds;
    m_removeAllPending = m_removeAllPending || job.changes.deleteEverything;
}

void ModelContext::settleWaiters(const Status& status)
{
    const auto waiters = std::exchange(m_saveWaiters, {});
    for (const auto& done : waiters)
        done(status);
}

Status ModelContext::failSave(const QString& error)
{
    m_store->rollback();
    m_saving = false;
    Q_EMIT saveFailed(error);
    return Status::failure(error);
}

Status ModelContext::save()
{
    // One writer at a time: the background save ends first.
    waitForSave();
    const Status status = saveNow();
    settleWaiters(status);
    return status;
}

Status ModelContext::saveNow()
{
    m_autosaveTimer.stop();
    if (!hasChanges() || m_saving)
        return {};
    if (m_store->isReadOnly())
        return failSave(u"The library “%1” is open read-only: changes cannot be saved."_s.arg(storePath()));
    m_saving = true;
    if (Status s =
            m_store->beginWrite(m_removeAllPending ? LibraryStore::WriteMode::wipe : LibraryStore::WriteMode::normal);
        !s)
        return failSave(u"The library could not be saved (%1)."_s.arg(s.error()));
    // The write lock is held from here on. What others committed comes in
    // first, so this save neither brings back a row they deleted nor refers
    // to one, and writes over no field it did not change itself.
    const size_t graveItems = m_graveItems.size();
    const size_t graveFolders = m_graveFolders.size();
    const size_t graveTags = m_graveTags.size();
    auto external = m_store->readChanges(m_sequence);
    if (!external)
        return failSave(u"The library could not be saved (%1)."_s.arg(external.error()));
    // Rows others wrote since are about to be deleted with the rest.
    if (!m_removeAllPending)
        applyExternal(external.value());

    ChangeSet changes;
    gatherChanges(changes, nullptr);

    WriteReport report;
    if (!changes.isEmpty()) {
        auto written = m_store->write(changes);
        if (!written)
            return failSave(written.error());
        report = std::move(written).value();
    }
    if (Status s = m_store->commit(); !s)
        return failSave(u"The library could not be saved (%1)."_s.arg(s.error()));
    m_sequence = changes.isEmpty() ? external->sequence : report.sequence;
    m_saving = false;

    for (const auto& change : std::as_const(changes.items)) {
        RecordContextAccess::setStoreVersion(*change.record, report.sequence);
        RecordContextAccess::blobSaved(*change.record, BlobKind::thumbnail);
        RecordContextAccess::blobSaved(*change.record, BlobKind::image);
    }
    for (const auto& change : std::as_const(changes.folders))
        RecordContextAccess::setStoreVersion(*change.record, report.sequence);
    for (const auto& change : std::as_const(changes.tags))
        RecordContextAccess::setStoreVersion(*change.record, report.sequence);
    m_newRecords.clear();
    m_dirtyItems.clear();
    m_dirtyFolders.clear();
    m_dirtyTags.clear();
    m_deletedItemIds.clear();
    m_deletedFolderIds.clear();
    m_deletedTagIds.clear();
    m_removeAllPending = false;
    // Rows that vanished under the write leave the context too.
    for (Item* item : std::as_const(report.vanishedItems)) {
        if (!item->isDeleted())
            discard(item, false);
    }
    for (Tag* tag : std::as_const(report.vanishedTags)) {
        if (!tag->isDeleted())
            discard(tag, false);
    }
    for (Folder* folder : std::as_const(report.vanishedFolders)) {
        if (!folder->isDeleted())
            discard(folder, false);
    }
    // Records whose deletion this save wrote can go; those that left during
    // it stay allocated until the next one.
    forgetGraves(graveItems, graveFolders, graveTags);
    Q_EMIT saved();
    return {};
}

void ModelContext::forgetGraves(size_t items, size_t folders, size_t tags)
{
    // Unlinked, a record is nobody's business but its owner's: many of them
    // (after "Delete All Data") are freed on the writer thread instead of
    // this one.
    constexpr size_t kFreeElsewhere = 1000;
    struct Doomed {
        std::vector<std::unique_ptr<Item>> items;
        std::vector<std::unique_ptr<Folder>> folders;
        std::vector<std::unique_ptr<Tag>> tags;
    };
    auto doomed = std::make_shared<Doomed>();
    auto forget = [](auto& grave, size_t n, auto& into) {
        n = std::min(n, grave.size());
        into.reserve(n);
        for (size_t i = 0; i < n; ++i) {
            RecordContextAccess::forgetLinks(*grave[i]);
            into.push_back(std::move(grave[i]));
        }
        grave.erase(grave.begin(), grave.begin() + std::ptrdiff_t(n));
    };
    forget(m_graveItems, items, doomed->items);
    forget(m_graveFolders, folders, doomed->folders);
    forget(m_graveTags, tags, doomed->tags);
    if (m_writer && doomed->items.size() + doomed->folders.size() + doomed->tags.size() > kFreeElsewhere)
        m_writerPool.start([doomed = std::move(doomed)]() mutable { doomed.reset(); });
}

bool ModelContext::refreshFromStore()
{
    // A background save takes in what others wrote when it ends.
    if (m_saving || m_job || !m_store->externallyChanged())
        return false;
    if (Status s = m_store->beginRead(); !s) {
        qWarning().noquote() << u"Failed to read the library: "_s + s.error();
        return false;
    }
    auto external = m_store->readChanges(m_sequence);
    m_store->rollback(); // a read transaction: nothing to keep
    if (!external) {
        qWarning().noquote() << u"Failed to read the library: "_s + external.error();
        return false;
    }
    if (external->sequence == m_sequence)
        return false;
    applyExternal(external.value());
    m_sequence = external->sequence;
    return true;
}

void ModelContext::applyExternal(ExternalChanges& changes, const SaveJob* job)
{
    const bool wasQuiet = std::exchange(m_quiet, true);
    // A record the file cannot list yet, and the fields this context changed.
    auto isNew = [&](const Record* record) {
        return m_newRecords.contains(record) || (job && job->changes.newRecords.contains(record));
    };
    auto mine = [job](const auto& pending, const auto& taken, auto* record) {
        return pending.value(record) | (job ? taken.value(record) : 0u);
    };
    // What others deleted leaves, whatever this context did to it meanwhile.
    for (const QUuid& id : std::as_const(changes.deletedItems)) {
        if (Item* item = m_itemsById.value(id))
            discard(item, false);
    }
    for (const QUuid& id : std::as_const(changes.deletedTags)) {
        if (Tag* tag = m_tagsById.value(id))
            discard(tag, false);
    }
    for (const QUuid& id : std::as_const(changes.deletedFolders)) {
        if (Folder* folder = m_foldersById.value(id))
            discard(folder, false);
    }
    // When the log does not reach back far enough: whatever saved record the
    // file no longer has was deleted.
    if (changes.liveItems) {
        const QList<Item*> all = items();
        for (Item* item : all) {
            if (!isNew(item) && !changes.liveItems->contains(item->id()))
                discard(item, false);
        }
    }
    if (changes.liveTags) {
        const QList<Tag*> all = tags();
        for (Tag* tag : all) {
            if (!isNew(tag) && !changes.liveTags->contains(tag->id()))
                discard(tag, false);
        }
    }
    if (changes.liveFolders) {
        const QList<Folder*> all = folders();
        for (Folder* folder : all) {
            if (!folder->isDeleted() && !isNew(folder) && !changes.liveFolders->contains(folder->id()))
                discard(folder, false);
        }
    }

    // Rows this context deleted itself stay deleted: its save comes next.
    QSet<QUuid> deletedItems(m_deletedItemIds.cbegin(), m_deletedItemIds.cend());
    QSet<QUuid> deletedFolders(m_deletedFolderIds.cbegin(), m_deletedFolderIds.cend());
    QSet<QUuid> deletedTags(m_deletedTagIds.cbegin(), m_deletedTagIds.cend());
    if (job) {
        deletedItems.unite(QSet<QUuid>(job->changes.deletedItems.cbegin(), job->changes.deletedItems.cend()));
        deletedFolders.unite(QSet<QUuid>(job->changes.deletedFolders.cbegin(), job->changes.deletedFolders.cend()));
        deletedTags.unite(QSet<QUuid>(job->changes.deletedTags.cbegin(), job->changes.deletedTags.cend()));
    }
    static const QHash<Item*, quint32> noItems;
    static const QHash<Folder*, quint32> noFolders;
    static const QHash<Tag*, quint32> noTags;
    const auto& takenItems = job ? job->items : noItems;
    const auto& takenFolders = job ? job->folders : noFolders;
    const auto& takenTags = job ? job->tags : noTags;

    // Changed and new rows. A field this context changed and has not saved
    // keeps its value: the save that follows writes it over theirs.
    QList<Folder*> newFolders;
    for (StoredFolder& row : changes.folders) {
        if (deletedFolders.contains(row.id))
            continue;
        Folder* folder = m_foldersById.value(row.id);
        if (!folder) {
            auto created = RecordContextAccess::makeFolder(row.id);
            RecordContextAccess::fill(*created, std::move(row.fields));
            folder = created.release();
            RecordContextAccess::attach(*folder, this);
            m_folders.append(folder);
            m_foldersById.insert(folder->id(), folder);
            newFolders.append(folder);
        } else {
            const quint32 own = mine(m_dirtyFolders, takenFolders, folder);
            auto& f = row.fields;
            if (!(own & FolderField::Name))
                folder->setName(f.name);
            if (!(own & FolderField::IconName))
                folder->setIconName(f.iconName);
            if (!(own & FolderField::ColorHex))
                folder->setColorHex(f.colorHex);
            if (!(own & FolderField::SortOrder))
                folder->setSortOrder(f.sortOrder);
            if (!(own & FolderField::CreatedAt))
                folder->setCreatedAt(f.createdAt);
            if (!(own & FolderField::ModifiedAt))
                folder->setModifiedAt(f.modifiedAt);
        }
        RecordContextAccess::setStoreVersion(*folder, row.version);
    }
    // Parents once every folder exists; a link that would close a loop with
    // this context's own unsaved moves is left as it is.
    for (const StoredFolder& row : changes.folders) {
        Folder* folder = m_foldersById.value(row.id);
        if (!folder || (mine(m_dirtyFolders, takenFolders, folder) & FolderField::Parent))
            continue;
        (void)folder->setParent(row.parentId ? m_foldersById.value(*row.parentId) : nullptr);
    }
    for (Folder* folder : std::as_const(newFolders))
        Q_EMIT folderInserted(folder);

    for (StoredTag& row : changes.tags) {
        if (deletedTags.contains(row.id))
            continue;
        Tag* tag = m_tagsById.value(row.id);
        if (!tag) {
            auto created = RecordContextAccess::makeTag(row.id);
            RecordContextAccess::fill(*created, std::move(row.fields));
            RecordContextAccess::setStoreVersion(*created, row.version);
            tag = created.release();
            RecordContextAccess::attach(*tag, this);
            m_tags.append(tag);
            m_tagsById.insert(tag->id(), tag);
            Q_EMIT tagInserted(tag);
            continue;
        }
        const quint32 own = mine(m_dirtyTags, takenTags, tag);
        auto& f = row.fields;
        if (!(own & TagField::Name))
            tag->setName(f.name);
        if (!(own & TagField::ColorHex))
            tag->setColorHex(f.colorHex);
        if (!(own & TagField::SortOrder))
            tag->setSortOrder(f.sortOrder);
        if (!(own & TagField::CreatedAt))
            tag->setCreatedAt(f.createdAt);
        if (!(own & TagField::ModifiedAt))
            tag->setModifiedAt(f.modifiedAt);
        RecordContextAccess::setStoreVersion(*tag, row.version);
    }

    for (StoredItem& row : changes.items) {
        if (deletedItems.contains(row.id))
            continue;
        Folder* folder = row.folderId ? m_foldersById.value(*row.folderId) : nullptr;
        QList<Tag*> tags;
        tags.reserve(row.tagIds.size());
        for (const QUuid& tagId : std::as_const(row.tagIds)) {
            Tag* tag = m_tagsById.value(tagId);
            if (tag && !tags.contains(tag))
                tags.append(tag);
        }
        Item* item = m_itemsById.value(row.id);
        if (!item) {
            auto created = RecordContextAccess::makeItem(row.id);
            RecordContextAccess::fill(*created, std::move(row.fields));
            RecordContextAccess::setStoreVersion(*created, row.version);
            RecordContextAccess::setBlobPresent(*created, BlobKind::thumbnail, row.hasThumbnail);
            RecordContextAccess::setBlobPresent(*created, BlobKind::image, row.hasImage);
            item = created.release();
            RecordContextAccess::linkFolder(*item, folder);
            for (Tag* tag : std::as_const(tags))
                RecordContextAccess::linkTag(*item, tag);
            RecordContextAccess::attach(*item, this);
            m_items.append(item);
            m_itemsById.insert(item->id(), item);
            Q_EMIT itemInserted(item);
            continue;
        }
        const quint32 own = mine(m_dirtyItems, takenItems, item);
        auto& f = row.fields;
        if (!(own & ItemField::Type))
            item->setTypeRawValue(f.typeRawValue);
        if (!(own & ItemField::Url))
            item->setUrlString(f.urlString);
        if (!(own & ItemField::Title))
            item->setTitle(f.title);
        if (!(own & ItemField::Note))
            item->setNote(f.note);
        if (!(own & ItemField::Metadata))
            item->setMetadataJSON(f.metadataJSON);
        if (!(own & ItemField::SourceDomain))
            item->setSourceDomain(f.sourceDomain);
        if (!(own & ItemField::SourceApp))
            item->setSourceApp(f.sourceApp);
        if (!(own & ItemField::Folder))
            item->setFolder(folder);
        if (!(own & ItemField::Tags))
            item->setTags(tags);
        if (!(own & ItemField::Archived))
            item->setArchived(f.isArchived);
        if (!(own & ItemField::Favorite))
            item->setFavorite(f.isFavorite);
        if (!(own & ItemField::Read))
            item->setRead(f.isRead);
        if (!(own & ItemField::CreatedAt))
            item->setCreatedAt(f.createdAt);
        if (!(own & ItemField::ModifiedAt))
            item->setModifiedAt(f.modifiedAt);
        if (!(own & ItemField::AccessedAt))
            item->setAccessedAt(f.accessedAt);
        // Pictures may have been replaced: forget what is held and tell the
        // views to read them again.
        quint32 pictures = 0;
        for (const auto& [kind, has, field] : {std::tuple{BlobKind::thumbnail, row.hasThumbnail, ItemField::Thumbnail},
                                               std::tuple{BlobKind::image, row.hasImage, ItemField::Image}}) {
            if (RecordContextAccess::blobDirty(*item, kind))
                continue;
            const bool had = kind == BlobKind::thumbnail ? item->hasThumbnail() : item->hasImage();
            if (!had && !has)
                continue;
            RecordContextAccess::setBlobPresent(*item, kind, has);
            RecordContextAccess::blobSaved(*item, kind);
            pictures |= field;
        }
        RecordContextAccess::setStoreVersion(*item, row.version);
        if (pictures)
            itemChanged(item, pictures);
    }
    m_quiet = wasQuiet;
}
