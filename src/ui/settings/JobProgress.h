#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QString>

#include <functional>

class QWidget;

// Shows the progress of work that runs off the UI thread. For the first half
// second nothing is shown (most jobs end by then); after that a window-modal
// progress dialog counts what is done ("Importing… 1,200 of 5,000 items").
// Work that can be called off offers "Cancel", which cancels the future.
//
// Progress comes from the future (QPromise::setProgressValue, with an
// optional text) or from report(), which any thread may call. finished()
// is emitted once on the main thread; the object then deletes itself.
class JobProgress final : public QObject {
    Q_OBJECT

public:
    static constexpr int kShowAfterMs = 500;

    // `what` is the job's name in the dialog ("Importing…"), `unit` what it
    // counts ("items").
    JobProgress(QWidget* window, QFuture<void> future, const QString& what, const QString& unit, bool cancellable);
    ~JobProgress() override;

    // Thread-safe; a total of 0 shows a busy bar.
    std::function<void(qsizetype done, qsizetype total)> reporter();
    bool wasCanceled() const { return m_canceled; }
    // What "Cancel" does (work that cannot be called off ignores it).
    void cancel();
    // Null until shown.
    QProgressDialog* dialog() const { return m_dialog; }

Q_SIGNALS:
    void finished();

private:
    void show();
    void update(qsizetype done, qsizetype total, const QString& text);

    QPointer<QWidget> m_window;
    QFutureWatcher<void> m_watcher;
    QString m_what;
    QString m_unit;
    bool m_cancellable;
    bool m_canceled = false;
    bool m_ended = false;
    QPointer<QProgressDialog> m_dialog;
    qsizetype m_done = 0;
    qsizetype m_total = 0;
    QString m_text;
};
