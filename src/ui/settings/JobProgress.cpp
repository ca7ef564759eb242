#include "JobProgress.h"

#include <QLocale>
#include <QProgressDialog>
#include <QTimer>

using namespace Qt::StringLiterals;

JobProgress::JobProgress(QWidget* window, QFuture<void> future, const QString& what, const QString& unit,
                         bool cancellable)
    : QObject(window), m_window(window), m_what(what), m_unit(unit), m_cancellable(cancellable)
{
    // The future's own progress, where it reports one (bookmarks do).
    connect(&m_watcher, &QFutureWatcherBase::progressValueChanged, this, [this](int value) {
        update(value - m_watcher.progressMinimum(), m_watcher.progressMaximum() - m_watcher.progressMinimum(),
               m_watcher.progressText());
    });
    connect(&m_watcher, &QFutureWatcherBase::finished, this, [this] {
        m_ended = true;
        if (m_dialog)
            m_dialog->reset();
        Q_EMIT finished();
        deleteLater();
    });
    m_watcher.setFuture(future);
    QTimer::singleShot(kShowAfterMs, this, [this] {
        if (!m_watcher.isFinished())
            show();
    });
}

JobProgress::~JobProgress()
{
    delete m_dialog;
}

std::function<void(qsizetype, qsizetype)> JobProgress::reporter()
{
    QPointer<JobProgress> self(this);
    return [self](qsizetype done, qsizetype total) {
        // Queued to this object's thread; dropped if it is gone by then.
        QMetaObject::invokeMethod(
            self.data(),
            [self, done, total] {
                if (self)
                    self->update(done, total, {});
            },
            Qt::QueuedConnection);
    };
}

void JobProgress::show()
{
    m_dialog = new QProgressDialog(m_window);
    m_dialog->setObjectName(u"progressDialog"_s);
    m_dialog->setWindowTitle(m_what);
    m_dialog->setAccessibleName(m_what);
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setMinimumDuration(0);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    if (m_cancellable) {
        m_dialog->setCancelButtonText(u"Cancel"_s);
        connect(m_dialog, &QProgressDialog::canceled, this, &JobProgress::cancel);
    } else {
        m_dialog->setCancelButton(nullptr);
    }
    update(m_done, m_total, m_text);
    m_dialog->show();
}

void JobProgress::cancel()
{
    // Until the end is handled here, the records have not been made: a cancel
    // still takes effect even when the worker is already done.
    if (!m_cancellable || m_canceled || m_ended)
        return;
    m_canceled = true;
    m_watcher.future().cancel();
    if (m_dialog)
        m_dialog->setLabelText(u"Cancelling…"_s);
}

void JobProgress::update(qsizetype done, qsizetype total, const QString& text)
{
    m_done = done;
    m_total = total;
    m_text = text;
    if (!m_dialog || m_canceled)
        return;
    const QLocale locale;
    QString label = m_what;
    if (!text.isEmpty())
        label += u'\n' + text;
    else if (total > 0)
        label += u'\n' + u"%1 of %2 %3"_s.arg(locale.toString(done), locale.toString(total), m_unit);
    else if (done > 0)
        label += u'\n' + u"%1 %2"_s.arg(locale.toString(done), m_unit);
    m_dialog->setLabelText(label);
    // QProgressDialog counts in int; scale large totals.
    const qsizetype scale = total > 1'000'000 ? total / 1'000'000 + 1 : 1;
    m_dialog->setMaximum(int(total / scale));
    m_dialog->setValue(int(std::min(done, total) / scale));
}
