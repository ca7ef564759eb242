// The library-wide jobs of the settings window, run as the window runs them,
// with a 10 ms timer on the main thread. For export, backup, import, restore
// and "Delete All Data" it prints the wall time and the longest stall of the
// UI thread: the largest gap between two ticks of the timer.
// Usage: ui_stalls [ITEMS]   (default 100,000; QT_QPA_PLATFORM=offscreen works)

#include "LibraryGenerator.h"

#include "app/AppState.h"
#include "platform/ContainerPaths.h"
#include "services/export/ExportService.h"
#include "store/ModelContext.h"
#include "ui/MainWindow.h"
#include "ui/settings/DataActions.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// With UI_STALLS_TRACE=1, every stall over 40 ms is printed with the events
// the main thread handled in it that took 2 ms or more: receiver class,
// event type and milliseconds.
class TracingApplication : public QApplication {
public:
    using QApplication::QApplication;
    struct Handled {
        qint64 end;
        qint64 nsecs;
        QByteArray what;
    };
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (!s_tracing || m_depth > 0)
            return QApplication::notify(receiver, event);
        ++m_depth;
        QElapsedTimer clock;
        clock.start();
        const QByteArray what =
            QByteArray(receiver->metaObject()->className()) + " event " + QByteArray::number(int(event->type()));
        const bool handled = QApplication::notify(receiver, event);
        --m_depth;
        if (clock.nsecsElapsed() >= 2'000'000)
            m_handled.push_back({s_clock.nsecsElapsed(), clock.nsecsElapsed(), what});
        return handled;
    }
    // Prints what ran between `from` and now, when that was a stall.
    void reportGap(qint64 from, qint64 to)
    {
        if (to - from >= 40'000'000) {
            std::printf("  stall of %.1f ms:\n", double(to - from) / 1e6);
            for (const Handled& h : m_handled) {
                if (h.end >= from && h.end <= to)
                    std::printf("    %6.1f ms  %s\n", double(h.nsecs) / 1e6, h.what.constData());
            }
        }
        m_handled.clear();
    }
    static inline bool s_tracing = false;
    static inline QElapsedTimer s_clock;

private:
    int m_depth = 0;
    std::vector<Handled> m_handled;
};

// The largest gap between two ticks of a 10 ms timer while it runs.
class StallMeter {
public:
    StallMeter()
    {
        m_timer.setInterval(10);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_sinceTick.nsecsElapsed());
            if (TracingApplication::s_tracing) {
                const qint64 now = TracingApplication::s_clock.nsecsElapsed();
                static_cast<TracingApplication*>(QCoreApplication::instance())
                    ->reportGap(now - m_sinceTick.nsecsElapsed(), now);
            }
            m_sinceTick.start();
        });
    }
    void start()
    {
        m_longest = 0;
        m_sinceTick.start();
        m_timer.start();
    }
    double stop()
    {
        m_longest = std::max(m_longest, m_sinceTick.nsecsElapsed());
        m_timer.stop();
        return double(m_longest) / 1e6;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    qint64 m_longest = 0;
};

void report(const char* job, qint64 items, const QElapsedTimer& wall, StallMeter& meter)
{
    const double stall = meter.stop();
    std::printf("%-10s %8lld items  wall %8.0f ms  longest stall %6.1f ms\n", job, static_cast<long long>(items),
                double(wall.nsecsElapsed()) / 1e6, stall);
}

// Waits in the event loop, as the export sheet does.
template <typename T>
T await(QFuture<T> future)
{
    QFutureWatcher<T> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished())
        loop.exec();
    return future.result();
}

bool runJob(DataActions& actions, const std::function<void()>& start)
{
    QEventLoop loop;
    bool succeeded = false;
    const auto connection = QObject::connect(&actions, &DataActions::jobFinished, &loop, [&](bool ok) {
        succeeded = ok;
        loop.quit();
    });
    start();
    if (actions.isBusy())
        loop.exec();
    QObject::disconnect(connection);
    return succeeded;
}

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    TracingApplication app(argc, argv);
    TracingApplication::s_tracing = qEnvironmentVariableIntValue("UI_STALLS_TRACE") == 1;
    TracingApplication::s_clock.start();
    const QStringList args = QCoreApplication::arguments().mid(1);
    LibraryGenerator::Options options;
    if (!args.isEmpty())
        options.items = args[0].toInt();
    QTemporaryDir work;
    const QString passphrase = u"stall benchmark passphrase"_s;
    std::unique_ptr<ModelContext> context =
        LibraryGenerator::create(ContainerPaths::storePath(work.filePath(u"library"_s)), options);
    // As the application saves: on the writer thread.
    context->setBackgroundSaving(true);
    AppState state;
    state.observe(context.get());
    MainWindow window(context.get(), &state);
    window.show();
    DataActions actions(context.get(), &state, &window);
    StallMeter meter;
    QElapsedTimer wall;
    const qint64 items = context->items().size();

    meter.start();
    wall.start();
    const auto exported = await(ExportService::shared().exportLibrary(*context, false, work.filePath(u"e.json"_s)));
    report("export", items, wall, meter);
    meter.start();
    wall.start();
    const auto backedUp =
        await(ExportService::shared().backupLibrary(*context, passphrase, work.filePath(u"b.vkbackup"_s)));
    report("backup", items, wall, meter);
    if (!exported || !backedUp) {
        std::fprintf(stderr, "export or backup failed\n");
        return 1;
    }

    meter.start();
    wall.start();
    if (!runJob(actions, [&] { actions.deleteEverything(); }))
        return 1;
    report("delete-all", items, wall, meter);

    meter.start();
    wall.start();
    if (!runJob(actions, [&] { actions.importFile(exported.value().path); }))
        return 1;
    report("import", context->items().size(), wall, meter);
    // An empty library for the restore, as the import had.
    runJob(actions, [&] { actions.deleteEverything(); });

    meter.start();
    wall.start();
    if (!runJob(actions, [&] { actions.restoreFile(backedUp.value().path, passphrase); }))
        return 1;
    report("restore", context->items().size(), wall, meter);
    return 0;
}
