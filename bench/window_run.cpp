// An instrumented run of the real main window on a library, printing:
//   - the time from process start to the first painted main window,
//   - the time from a keystroke in the search field to the updated list model,
//   - pictures decoded and resident memory while scrolling the grid top to bottom.
// Usage: FOLIONEST_CONTAINER=DIR window_run   (QT_QPA_PLATFORM=offscreen works)

#include "app/AppState.h"
#include "app/ItemListQuery.h"
#include "platform/ContainerPaths.h"
#include "store/ModelContext.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"
#include "ui/main/ItemListModel.h"
#include "ui/main/MiddleColumn.h"
#include "ui/main/PictureCache.h"
#include "ui/main/SidebarView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QScrollBar>
#include <QTest>
#include <QThreadPool>

#include <cstdio>
#include <fstream>
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
