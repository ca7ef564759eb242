// The share intake at scale, in the real main window: LINKS pending web links
// and PHOTOS pending 12-megapixel JPEG photographs are taken in, and the run
// prints the wall time and the longest stall of the UI thread (the longest
// gap between two ticks of a 1 ms timer on it), during the intake and up to
// the end of the library's last save.
//
// Usage: intake_run [LINKS] [PHOTOS] [--deferred-save]   (default 1000 100; QT_QPA_PLATFORM=offscreen works)
//
// With --deferred-save the library saves only after the intake, in one go,
// which tells the intake's own stalls from those of the saves it causes.
//
// Metadata fetching is left out (no network here): the web items stay as
// the entries describe them.

#include "app/AppState.h"
#include "platform/ContainerPaths.h"
#include "services/intake/PendingItemFile.h"
#include "services/intake/PendingItemsService.h"
#include "store/ModelContext.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

// A 4000 × 3000 picture with the detail of a photograph, so that it is as
// large as one (several MB as JPEG at quality 90).
QByteArray photograph()
{
    QImage image(4000, 3000, QImage::Format_RGB32);
    QRandomGenerator random(14);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int n = int(random.bounded(48));
            line[x] = qRgb((x / 16 + n) & 0xff, (y / 12 + n) & 0xff, ((x + y) / 28 + n) & 0xff);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

// The longest gap between two ticks of a 1 ms timer on the UI thread.
class StallProbe final : public QObject {
public:
    StallProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = qMax(m_longest, now - m_last);
            m_last = now;
        });
    }
    void start()
    {
        m_longest = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    double longestMs() const { return double(m_longest) / 1e6; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int links = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int photos = argc > 2 ? std::atoi(argv[2]) : 100;
    const bool deferredSave = argc > 3 && std::strcmp(argv[3], "--deferred-save") == 0;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    QTemporaryDir container;
    const QString queue = ContainerPaths::pendingItemsDirectory(container.path());
    QDir().mkpath(queue);
    auto opened = ModelContext::open(ContainerPaths::storePath(container.path()));
    if (!opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.error()));
        return 1;
    }
    std::unique_ptr<ModelContext> context = std::move(opened).value();
    if (deferredSave)
        context->setAutosaveDelay(24 * 3600 * 1000);
    else
        context->setBackgroundSaving(true); // as the application saves
    AppState state;
    state.observe(context.get());
    MainWindow window(context.get(), &state);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    // The window's own first intake (activation) finds the queue empty.
    QTest::qWait(200);
    while (PendingItemsService::shared().isRunning())
        QTest::qWait(20);

    const QByteArray photo = photograph();
    for (int i = 0; i < links; ++i) {
        PendingItem entry;
        entry.type = u"web_link"_s;
        entry.title = u"Shared link %1"_s.arg(i);
        entry.url = u"https://example.com/articles/%1"_s.arg(i);
        write(queue + u"/link-%1.json"_s.arg(i), PendingItemFile::encode(entry));
    }
    for (int i = 0; i < photos; ++i) {
        PendingItem entry;
        entry.type = u"image"_s;
        entry.title = u"Photo %1"_s.arg(i);
        entry.imageFileName = u"photo-%1.jpg"_s.arg(i);
        write(queue + u'/' + *entry.imageFileName, photo);
        write(queue + u"/photo-%1.json"_s.arg(i), PendingItemFile::encode(entry));
    }
    std::printf("queue: %d links, %d photos of 4000 x 3000 (%.1f MB each)\n", links, photos,
                double(photo.size()) / 1e6);

    StallProbe probe;
    QElapsedTimer wall;
    PendingItemsService::RunResult result;
    bool finished = false;
    QObject::connect(&PendingItemsService::shared(), &PendingItemsService::runFinished, &app,
                     [&](const PendingItemsService::RunResult& r) {
                         result = r;
                         finished = true;
                     });
    probe.start();
    wall.start();
    PendingItemsService::shared().processPendingItems(*context, nullptr);
    while (!finished)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 intakeMs = wall.elapsed();
    const double intakeStall = probe.longestMs();
    QElapsedTimer saving;
    saving.start();
    if (deferredSave && !context->save()) {
        std::fprintf(stderr, "the save failed\n");
        return 1;
    }
    const qint64 oneSaveMs = saving.elapsed();
    while (context->hasChanges() || context->isSaving())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 savedMs = wall.elapsed();

    std::printf("items made: %d, entries refused: %d, items in the library: %lld\n", result.itemsMade,
                result.entriesRejected, qlonglong(context->items().size()));
    std::printf("intake: %lld ms wall, longest UI-thread stall %.1f ms\n", qlonglong(intakeMs), intakeStall);
    if (deferredSave)
        std::printf("one save of everything afterwards: %lld ms on the UI thread\n", qlonglong(oneSaveMs));
    else
        std::printf("to the last save: %lld ms wall, longest UI-thread stall %.1f ms\n", qlonglong(savedMs),
                    probe.longestMs());
    return result.itemsMade == links + photos ? 0 : 1;
}
