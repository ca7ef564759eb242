// Times the folder and tag sheets on a library, printing for each the median
// and the slowest of several runs:
//   - opening a sheet until it has painted once,
//   - the tag lists brought up to date after a rename, a drop and a reorder.
// Usage: sheets_run DIR   (a container made by make_library; offscreen works)
//   make_library DIR 100000 --folders 1000 --tags 500 && sheets_run DIR
// It renames, gives and reorders tags and saves them: use a library made for it.

#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "model/TagDragItem.h"
#include "platform/ContainerPaths.h"
#include "store/ModelContext.h"
#include "ui/sheets/FolderEditorSheet.h"
#include "ui/sheets/TagDrag.h"
#include "ui/sheets/TagEditorSheet.h"
#include "ui/sheets/TagListModel.h"
#include "ui/sheets/TagManagementView.h"
#include "ui/sheets/TagPickerSheet.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMimeData>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

constexpr int kRuns = 11;

// The first run stands apart: it pays for what the process loads once (the
// symbol font, styles, glyph caches).
void report(const char* what, QList<double> ms)
{
    const double first = ms.takeFirst();
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s first %6.1f ms, then median %6.1f ms, max %6.1f ms\n", what, first, ms[ms.size() / 2],
                ms.last());
}

// Builds, shows, lays out and paints a sheet, then closes it.
void timeOpening(const char* what, const std::function<QDialog*()>& make)
{
    QList<double> ms;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer t;
        t.start();
        std::unique_ptr<QDialog> sheet(make());
        sheet->show();
        // Lists lay out their rows on the next turn of the event loop: let
        // that happen, then paint everything once.
        QCoreApplication::processEvents();
        sheet->repaint();
        ms.append(double(t.nsecsElapsed()) / 1e6);
        sheet->close();
        QCoreApplication::processEvents();
    }
    report(what, ms);
}

// Runs a change and the event-loop turn after it, in which the lists catch up.
void timeUpdate(const char* what, const std::function<void(int)>& change)
{
    QList<double> ms;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer t;
        t.start();
        change(run);
        QCoreApplication::processEvents();
        ms.append(double(t.nsecsElapsed()) / 1e6);
    }
    report(what, ms);
}

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: sheets_run DIR (a container made by make_library)\n");
        return 1;
    }
    auto opened = ModelContext::open(ContainerPaths::storePath(args[0]));
    if (!opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.error()));
        return 1;
    }
    std::unique_ptr<ModelContext> context = std::move(opened).value();
    std::printf("library: %lld items, %lld folders, %lld tags\n", static_cast<long long>(context->items().size()),
                static_cast<long long>(context->folders().size()), static_cast<long long>(context->tags().size()));
    if (context->items().isEmpty() || context->folders().isEmpty() || context->tags().isEmpty()) {
        std::fprintf(stderr, "the library needs items, folders and tags\n");
        return 1;
    }

    ModelContext* ctx = context.get();
    Item* item = ctx->items().first();
    Folder* folder = ctx->folders().first();
    Tag* tag = ctx->tags().first();
    timeOpening("open the folder editor (new folder)", [ctx] { return new FolderEditorSheet(ctx, nullptr); });
    timeOpening("open the folder editor (edit)", [ctx, folder] { return new FolderEditorSheet(ctx, folder); });
    timeOpening("open the tag editor (edit)", [ctx, tag] { return new TagEditorSheet(ctx, tag); });
    timeOpening("open the tag picker", [ctx, item] { return new TagPickerSheet(ctx, item); });
    timeOpening("open tag management", [ctx] { return new TagManagementDialog(ctx); });

    // The updates, with the picker and the management list both open.
    TagPickerSheet picker(ctx, item);
    TagManagementDialog manager(ctx);
    picker.show();
    manager.show();
    QCoreApplication::processEvents();
    timeUpdate("rename a tag, lists updated", [tag](int run) { tag->setName(u"renamed %1"_s.arg(run)); });
    const QList<Tag*> tags = ctx->fetchTags(Tag::displayOrder);
    timeUpdate("drop a tag on the picker (saved)", [&picker, &tags](int run) {
        std::unique_ptr<QMimeData> data(TagDrag::mimeData(*tags[(run + 1) % tags.size()]));
        (void)picker.dropTags(data.get());
    });
    TagListModel* model = manager.view()->model();
    timeUpdate("reorder: last tag to the top, lists updated",
               [model](int) { model->moveRow({}, model->rowCount() - 1, {}, 0); });
    QElapsedTimer t;
    t.start();
    (void)ctx->save();
    std::printf("%-44s %6.1f ms\n", "save after the reorders", double(t.nsecsElapsed()) / 1e6);
    return 0;
}
