#pragma once

#include "model/Folder.h"
#include "model/Item.h"
#include "model/Record.h"
#include "model/Result.h"
#include "model/Tag.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QThreadPool>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class LibraryStore;
struct ExternalChanges;
struct ChangeSet;

// The one main-thread context that owns every record of the library. It
// tracks changes, saves them in one transaction shortly after they happen
// (or at once with save()), applies the delete rules and tells observers.
//
// Other processes may change the same file. A save first takes in what they
// committed, then writes only the fields this context changed; deleting wins
// over editing, and of two edits of one field the later save wins.
// refreshFromStore() takes in others' changes between saves.
class ModelContext final : public QObject, public RecordObserver {
    Q_OBJECT

public:
    // Latest moment after the first unsaved change at which it is written.
    static constexpr int kDefaultAutosaveDelayMs = 250;

    ~ModelContext() override;

    // Opens the store file and loads every record.
    static Result<std::unique_ptr<ModelContext>> open(const QString& storePath);

    const QString& storePath() const;
    // The library could be opened for reading only; every save fails.
    bool isReadOnly() const;

    Item* insert(std::unique_ptr<Item> item);
    Folder* insert(std::unique_ptr<Folder> folder);
    Tag* insert(std::unique_ptr<Tag> tag);

    // Deleting an item takes it out of its folder and tags. Deleting a folder
    // deletes its descendants and leaves their items unfiled. Deleting a tag
    // detaches it from its items. Records stay valid (isDeleted() true) until
    // the next save has written the deletion.
    void remove(Item* item);
    void remove(Folder* folder);
    void remove(Tag* tag);
    // Deletes every item, folder and tag at once. Observers hear one pair of
    // signals (allAboutToBeRemoved, allRemoved) instead of one per record, and
    // the next save deletes every row of the file in one statement per table
    // (the deletion log still records each row, so other processes follow).
    // The records stay allocated until that save.
    void removeAll();

    // Every live record, in insertion (store) order.
    const QList<Item*>& items() const { return m_items.list(); }
    const QList<Folder*>& folders() const { return m_folders.list(); }
    const QList<Tag*>& tags() const { return m_tags.list(); }

    template <typename T>
    using Comparator = std::function<bool(const T*, const T*)>;
    // All records of a type, stably sorted.
    QList<Item*> fetchItems(const Comparator<Item>& lessThan) const;
    QList<Folder*> fetchFolders(const Comparator<Folder>& lessThan) const;
    QList<Tag*> fetchTags(const Comparator<Tag>& lessThan) const;

    Item* item(const QUuid& id) const { return m_itemsById.value(id); }
    Folder* folder(const QUuid& id) const { return m_foldersById.value(id); }
    Tag* tag(const QUuid& id) const { return m_tagsById.value(id); }

    bool hasChanges() const;
    // Writes every pending change now, in one transaction. On failure the
    // changes stay pending and nothing earlier is lost.
    Status save();
    // What a save would write, for people: "2 items and 1 folder".
    QString pendingChangesDescription() const;

    // From now on autosaves run on a writer thread with a connection of
    // their own, so a large save never stalls the thread of the window. Off
    // by default; save() always writes at once.
    void setBackgroundSaving(bool on);
    bool savesInBackground() const { return m_backgroundSaving; }
    // Writes every pending change on the writer thread; `done` runs on this
    // thread once they are on disk or the save failed (saveFailed is sent
    // too). Changes made meanwhile go into the next save. Without background
    // saving this saves at once.
    void saveInBackground(std::function<void(const Status&)> done = {});
    // A batch of changes spread over several event-loop turns (an import
    // inserting a slice per turn): automatic saves wait until it ends, so
    // its records are saved together and never half of them, and views that
    // go over the whole library on each insert may wait for batchEnded().
    void beginBatch() { ++m_batches; }
    void endBatch();
    bool inBatch() const { return m_batches > 0; }
    // A background save is under way.
    bool isSaving() const { return m_job != nullptr; }
    // Waits for the background save under way and takes in its outcome.
    void waitForSave();

    // Takes in what other processes committed since this context last
    // looked: their new and changed rows replace the fields this context has
    // not changed itself, and what they deleted leaves the context. Cheap
    // when nothing changed. True when anything was taken in.
    bool refreshFromStore();
    // Looks for other processes' commits every intervalMs (0 stops).
    void watchStore(int intervalMs);

    void setAutosaveDelay(int ms);
    // Whether pending changes are saved when the context goes away (on by
    // default; a tool that saves explicitly turns it off, so a failed
    // command leaves nothing half-done behind).
    void setSaveOnDestruction(bool save) { m_saveOnDestruction = save; }
    // How long a save waits for another process's write lock.
    void setBusyTimeout(int ms);
    int autosaveDelay() const { return m_autosaveTimer.interval(); }

    // RecordObserver
    void itemChanged(Item* item, quint32 fields) override;
    void folderChanged(Folder* folder, quint32 fields) override;
    void tagChanged(Tag* tag, quint32 fields) override;
    std::optional<QByteArray> loadItemBlob(const Item* item, BlobKind kind) const override;

Q_SIGNALS:
    void itemInserted(Item* item);
    void itemAboutToBeRemoved(Item* item);
    void itemRemoved(const QUuid& id);
    void itemUpdated(Item* item, quint32 fields);
    void folderInserted(Folder* folder);
    void folderAboutToBeRemoved(Folder* folder);
    void folderRemoved(const QUuid& id);
    void folderUpdated(Folder* folder, quint32 fields);
    void tagInserted(Tag* tag);
    void tagAboutToBeRemoved(Tag* tag);
    void tagRemoved(const QUuid& id);
    void tagUpdated(Tag* tag, quint32 fields);
    // removeAll(): before any record leaves (all still live), and after every
    // record has left. No per-record signal is sent in between.
    void allAboutToBeRemoved();
    void allRemoved();
    // Once per event-loop turn after any of the above.
    void changed();
    void saved();
    // Once per failed save; the changes stay pending for the next one.
    void saveFailed(const QString& error);
    // The last batch ended (endBatch()).
    void batchEnded();

private:
    explicit ModelContext(std::unique_ptr<LibraryStore> store);
    void scheduleSave();
    void scheduleChanged();
    void autosave();
    Status failSave(const QString& error);
    // Takes a record out of the context (a folder with its descendants),
    // applying the delete rules; with writeDeletion false the store already
    // lacks the row (another process deleted it).
    void discard(Item* item, bool writeDeletion);
    void discard(Folder* folder, bool writeDeletion);
    void discard(Tag* tag, bool writeDeletion);
    struct SaveJob;
    // The pending changes as one change set; with a job, the records' values
    // are copied into it and the pending changes move into it.
    void gatherChanges(ChangeSet& changes, SaveJob* job);
    void startBackgroundSave();
    void finishBackgroundSave(bool goOn);
    static void writeJob(LibraryStore& store, SaveJob& job);
    Status saveNow();
    void requeue(SaveJob& job);
    void settleWaiters(const Status& status);
    // With a job: its changes count as this context's own (they are being
    // written, or are about to be written again).
    void applyExternal(ExternalChanges& changes, const SaveJob* job = nullptr);
    void forgetGraves(size_t items, size_t folders, size_t tags);

    std::unique_ptr<LibraryStore> m_store;
    // Owning list in insertion order; removal leaves a hole that the next
    // read compacts, so deleting many records stays linear. The position
    // lookup is built on the first removal, not while loading.
    template <typename T>
    class RecordList {
    public:
        ~RecordList() { qDeleteAll(m_list); }
        const QList<T*>& list() const
        {
            if (m_holes > 0) {
                m_list.removeAll(nullptr);
                m_holes = 0;
                m_index.clear();
                m_indexed = false;
            }
            return m_list;
        }
        void append(T* record)
        {
            if (m_indexed)
                m_index.insert(record, m_list.size());
            m_list.append(record);
        }
        // Returns the record to the caller, who now owns it.
        std::unique_ptr<T> take(T* record)
        {
            if (!m_indexed) {
                m_index.reserve(m_list.size());
                for (qsizetype i = 0; i < m_list.size(); ++i) {
                    if (m_list[i])
                        m_index.insert(m_list[i], i);
                }
                m_indexed = true;
            }
            // Holes keep every position valid until the next compaction.
            const qsizetype i = m_index.take(record);
            m_list[i] = nullptr;
            ++m_holes;
            return std::unique_ptr<T>(record);
        }
        void reserve(qsizetype n) { m_list.reserve(n); }
        // Hands every record to the caller at once.
        void releaseAll()
        {
            m_list.clear();
            m_index.clear();
            m_indexed = false;
            m_holes = 0;
        }

    private:
        mutable QList<T*> m_list;
        mutable QHash<const T*, qsizetype> m_index;
        mutable bool m_indexed = false;
        mutable qsizetype m_holes = 0;
    };

    RecordList<Item> m_items;
    RecordList<Folder> m_folders;
    RecordList<Tag> m_tags;
    QHash<QUuid, Item*> m_itemsById;
    QHash<QUuid, Folder*> m_foldersById;
    QHash<QUuid, Tag*> m_tagsById;

    // Pending changes: each dirty record with the fields that changed.
    // Records never saved, with their insertion serial (they are written in
    // that order).
    QHash<const Record*, quint64> m_newRecords;
    quint64 m_insertSerial = 0;
    QHash<Item*, quint32> m_dirtyItems;
    QHash<Folder*, quint32> m_dirtyFolders;
    QHash<Tag*, quint32> m_dirtyTags;
    QList<QUuid> m_deletedItemIds;
    QList<QUuid> m_deletedFolderIds;
    QList<QUuid> m_deletedTagIds;
    // removeAll() has not been saved yet: the next save empties the file first.
    bool m_removeAllPending = false;
    // Deleted records, kept alive until the save after their deletion.
    std::vector<std::unique_ptr<Item>> m_graveItems;
    std::vector<std::unique_ptr<Folder>> m_graveFolders;
    std::vector<std::unique_ptr<Tag>> m_graveTags;
    // The store's change sequence as far as this context has taken it in.
    qint64 m_sequence = 0;
    // While set, record changes are already in the store (or will be made
    // there by the delete rules): they are announced but not written.
    bool m_quiet = false;
    bool m_saving = false;

    // Background saving: the writer's connection, used only by the one
    // thread of its pool, and the save it is running.
    bool m_backgroundSaving = false;
    std::unique_ptr<LibraryStore> m_writer;
    QThreadPool m_writerPool;
    std::unique_ptr<SaveJob> m_job;
    quint64 m_jobSerial = 0;
    QList<std::function<void(const Status&)>> m_saveWaiters;
    int m_retries = 0;
    int m_busyTimeoutMs = -1;
    int m_batches = 0;

    QTimer m_autosaveTimer;
    QTimer m_watchTimer;
    bool m_changedPending = false;
    bool m_saveOnDestruction = true;
};
