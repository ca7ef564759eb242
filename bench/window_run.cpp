// An instrumented run of the real main window on a library, printing:
//   - the time from process start to the first painted main window,
//   - the time from a keystroke in the search field to the updated list model,
//   - the sidebar's update after a folder rename, an item drop and a tag reorder,
//   - selecting every item and moving them all to a folder,
//   - the process's CPU use while the window sits idle for 10 s,
//   - pictures decoded and resident memory while scrolling the grid top to bottom.
// Usage: FOLIONEST_CONTAINER=DIR window_run [--no-scroll]   (QT_QPA_PLATFORM=offscreen works)
// The run changes the library (renames, moves): give it a copy.

#include "app/AppState.h"
#include "app/ItemListQuery.h"
#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "platform/ContainerPaths.h"
#include "store/ModelContext.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"
#include "ui/main/ItemListModel.h"
#include "ui/main/ItemSelection.h"
#include "ui/main/MiddleColumn.h"
#include "ui/main/PictureCache.h"
#include "ui/main/SelectionPane.h"
#include "ui/main/SidebarModel.h"
#include "ui/main/SidebarView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QThreadPool>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <string>

using namespace Qt::StringLiterals;

namespace {
QElapsedTimer s_clock;

double residentMB(const char* field = "VmRSS:")
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stod(line.substr(std::strlen(field))) / 1024.0;
    return 0;
}

class PaintProbe final : public QObject {
public:
    qint64 firstPaint = -1;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && firstPaint < 0)
            firstPaint = s_clock.elapsed();
        return false;
    }
};
} // namespace

int main(int argc, char** argv)
{
    s_clock.start();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QApplication app(argc, argv);
    const bool scroll = !QCoreApplication::arguments().contains(u"--no-scroll"_s);
    auto opened = ModelContext::open(ContainerPaths::storePath(ContainerPaths::containerDirectory().value()));
    if (!opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.error()));
        return 1;
    }
    std::unique_ptr<ModelContext> context = std::move(opened).value();
    const qint64 loaded = s_clock.elapsed();
    AppState state;
    Application application(context.get(), &state);
    PaintProbe probe;
    application.start();
    MainWindow* window = application.mainWindow();
    window->middle()->gridView()->viewport()->installEventFilter(&probe);
    while (probe.firstPaint < 0 && s_clock.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::printf("items: %lld\nstore opened and loaded: %lld ms\nfirst painted main window: %lld ms after start\n",
                static_cast<long long>(context->items().size()), static_cast<long long>(loaded),
                static_cast<long long>(probe.firstPaint));
    std::printf("resident after start: %.0f MB\n", residentMB());

    // Keystrokes: each one typed into the real search field, timed until the
    // list model holds the new list.
    QLineEdit* search = window->sidebar()->searchField();
    ItemListModel* model = window->middle()->model();
    QList<double> latencies;
    QList<double> painted;
    for (const QString& text : {u"t"_s, u"th"_s, u"the"_s, u"the r"_s, u"the ru"_s, u"the rus"_s, u"the rust"_s, u"k"_s,
                                u"ka"_s, u"kal"_s, u"kalu"_s, u"kalum"_s, u"kalums"_s}) {
        QElapsedTimer t;
        double at = -1;
        auto mark = [&] {
            if (at < 0)
                at = double(t.nsecsElapsed()) / 1e6;
        };
        // The model takes the new list in its own handler of this signal,
        // connected before ours.
        auto reset = QObject::connect(window->query(), &ItemListQuery::itemsChanged, mark);
        auto changed = QObject::connect(model, &QAbstractItemModel::modelReset, mark);
        t.start();
        search->setText(text);
        while (at < 0 && t.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        latencies.append(at);
        // And until the visible view has painted the new list.
        window->middle()->gridView()->viewport()->repaint();
        window->middle()->listView()->viewport()->repaint();
        painted.append(double(t.nsecsElapsed()) / 1e6);
        QObject::disconnect(reset);
        QObject::disconnect(changed);
        QCoreApplication::processEvents();
    }
    std::sort(latencies.begin(), latencies.end());
    std::sort(painted.begin(), painted.end());
    std::printf("keystroke to updated list model: median %.1f ms, max %.1f ms (%lld keystrokes)\n",
                latencies[latencies.size() / 2], latencies.last(), static_cast<long long>(latencies.size()));
    std::printf("keystroke to repainted list: median %.1f ms, max %.1f ms\n", painted[painted.size() / 2],
                painted.last());
    search->clear();
    QCoreApplication::processEvents();

    // The sidebar after a change: timed until its model has said so.
    SidebarModel* sidebar = window->sidebar()->model();
    auto untilSidebarChanges = [sidebar](const std::function<void()>& change) {
        QElapsedTimer t;
        bool changed = false;
        auto a = QObject::connect(sidebar, &QAbstractItemModel::dataChanged, [&] { changed = true; });
        auto b = QObject::connect(sidebar, &QAbstractItemModel::rowsMoved, [&] { changed = true; });
        auto c = QObject::connect(sidebar, &QAbstractItemModel::layoutChanged, [&] { changed = true; });
        t.start();
        change();
        while (!changed && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        const double ms = double(t.nsecsElapsed()) / 1e6;
        QObject::disconnect(a);
        QObject::disconnect(b);
        QObject::disconnect(c);
        return changed ? ms : -1.0;
    };
    const QList<Folder*> folders = context->fetchFolders(Folder::displayOrder);
    const QList<Tag*> tags = context->fetchTags(Tag::displayOrder);
    if (!folders.isEmpty() && tags.size() > 1) {
        Folder* target = folders.first();
        const double rename = untilSidebarChanges([&] { target->setName(target->name() + u" (renamed)"_s); });
        // One item dropped on a folder, 15 times (the median is shown).
        QList<double> drops;
        // WINDOW_RUN_DROPS repeats the drop, for profiling it.
        const int dropCount = std::max(15, qEnvironmentVariableIntValue("WINDOW_RUN_DROPS"));
        for (int i = 0; i < dropCount; ++i) {
            std::unique_ptr<QMimeData> mime(model->mimeData({model->index(i)}));
            drops.append(untilSidebarChanges([&] {
                sidebar->dropMimeData(mime.get(), Qt::CopyAction, -1, -1,
                                      sidebar->indexForFolder(folders.at(folders.size() - 1 - i)));
            }));
        }
        std::sort(drops.begin(), drops.end());
        const double drop = drops.at(drops.size() / 2);
        const double reorder = untilSidebarChanges([&] {
            // The last tag first, as a drag in tag management writes it.
            int order = 1;
            for (Tag* tag : tags)
                tag->setSortOrder(tag == tags.last() ? 0 : order++);
        });
        std::printf("sidebar updated after: folder rename %.1f ms, item drop %.1f ms, tag reorder %.1f ms"
                    " (%lld folders, %lld tags)\n",
                    rename, drop, reorder, static_cast<long long>(folders.size()), static_cast<long long>(tags.size()));

        // Every item selected and moved to one folder, until the window has
        // settled (list, sidebar counts and detail column up to date).
        // The save that follows is timed on its own.
        const int autosave = context->autosaveDelay();
        context->setAutosaveDelay(600000);
        QElapsedTimer t;
        t.start();
        window->middle()->selection()->selectAll();
        QCoreApplication::processEvents();
        const double selected = double(t.nsecsElapsed()) / 1e6;
        window->selectionPane()->moveTo(folders.at(folders.size() / 2)->id());
        const double moved = double(t.nsecsElapsed()) / 1e6;
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        std::printf("  (the edits themselves: %.0f ms)\n", moved - selected);
        std::printf("select all %lld items: %.0f ms; then move them to a folder: %.0f ms in all\n",
                    static_cast<long long>(window->middle()->selection()->count()), selected,
                    double(t.nsecsElapsed()) / 1e6);
        QElapsedTimer saving;
        saving.start();
        const bool saved = context->save().ok();
        std::printf("  then saving the %lld moved items: %.0f ms%s\n",
                    static_cast<long long>(window->middle()->selection()->count()), double(saving.nsecsElapsed()) / 1e6,
                    saved ? "" : " (failed)");
        context->setAutosaveDelay(autosave);
        window->selectItem(nullptr);
        QCoreApplication::processEvents();
    }

    // Idle: no input for 10 s after everything has settled.
    QTest::qWait(1000);
    timespec cpuBefore{}, cpuAfter{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuBefore);
    QElapsedTimer idle;
    idle.start();
    QTest::qWait(10000);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuAfter);
    const double cpu = double(cpuAfter.tv_sec - cpuBefore.tv_sec) + double(cpuAfter.tv_nsec - cpuBefore.tv_nsec) / 1e9;
    std::printf("idle window: %.2f %% of a core over %.1f s\n", 100.0 * cpu / (double(idle.elapsed()) / 1000.0),
                double(idle.elapsed()) / 1000.0);

    if (!scroll)
        return 0;
    // Scroll the grid from top to bottom a page at a time, painting each.
    QListView* grid = window->middle()->gridView();
    state.setViewMode(ViewMode::grid);
    QCoreApplication::processEvents();
    QScrollBar* bar = grid->verticalScrollBar();
    PictureCache* pictures = window->middle()->pictures();
    const int before = pictures->decodeCount();
    double peak = residentMB();
    int pages = 0;
    QElapsedTimer scrollTime;
    scrollTime.start();
    for (int value = 0; value <= bar->maximum(); value += std::max(1, bar->pageStep())) {
        bar->setValue(value);
        grid->viewport()->repaint();
        QCoreApplication::processEvents();
        ++pages;
        if (pages % 200 == 0)
            peak = std::max(peak, residentMB());
    }
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    peak = std::max(peak, residentMB());
    std::printf("grid scrolled top to bottom: %d pages in %.1f s, %d pictures decoded, cache %.0f MB,"
                " peak resident %.0f MB (VmHWM %.0f MB)\n",
                pages, double(scrollTime.elapsed()) / 1000.0, pictures->decodeCount() - before,
                double(pictures->cachedBytes()) / 1048576.0, peak, residentMB("VmHWM:"));
    return 0;
}
