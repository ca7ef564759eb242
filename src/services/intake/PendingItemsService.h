#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <deque>
#include <memory>

class MetadataService;
class ModelContext;
struct PreparedPendingItem;

// Takes in what other programs shared: every "*.json" entry of the
// container's PendingItems folder becomes an item, and the entry (with a
// picture it brought) is removed, whether it made an item or not.
//
// Files are read, checked and pictures decoded on a worker thread, one entry
// after another in the folder's order. The main thread makes the items of
// the entries that are ready in slices of a few milliseconds, so a long
// queue never holds up the window. A run asked for while one is going on
// follows it.
class PendingItemsService final : public QObject {
    Q_OBJECT

public:
    struct RunResult {
        int itemsMade = 0;
        int entriesRejected = 0; // removed without making an item
    };

    explicit PendingItemsService(QObject* parent = nullptr);
    ~PendingItemsService() override;

    static PendingItemsService& shared();

    // Processes the queue of the library's container (the folder of its
    // store). Web items get their metadata from `metadata` (none: no fetch).
    void processPendingItems(ModelContext& context, MetadataService* metadata);
    bool isRunning() const { return m_running; }

Q_SIGNALS:
    void itemMade(const QUuid& id);
    void runFinished(const PendingItemsService::RunResult& result);

private:
    // How long one slice of item making may hold the main thread.
    static constexpr int kSliceMs = 8;

    void startRun();
    void enqueue(std::shared_ptr<PreparedPendingItem> prepared);
    void takeInReady();
    void takeIn(const PreparedPendingItem& entry);
    void finishRun();

    QPointer<ModelContext> m_context;
    QPointer<MetadataService> m_metadata;
    QString m_queue;
    bool m_running = false;
    bool m_again = false;
    RunResult m_result;
    std::shared_ptr<std::atomic_bool> m_stop;
    // Entries the worker prepared, waiting for the main thread; a null
    // entry marks the end of the run.
    std::deque<std::shared_ptr<PreparedPendingItem>> m_ready;
    QTimer m_slice;
    QThreadPool m_worker;
};
