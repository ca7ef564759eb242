// Keeps changing a library until it is killed. After every automatic save it
// prints "saved N": items 0..N-1 have reached the disk.
//
// With --delete-all it deletes every record as "Delete All Data" does, saves,
// and prints "deleted" once the deletion is committed.

#include "model/Item.h"
#include "store/ModelContext.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 1;
    auto opened = ModelContext::open(QString::fromLocal8Bit(argv[1]));
    if (!opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.error()));
        return 3;
    }
    std::unique_ptr<ModelContext> ctx = std::move(opened).value();
    if (argc > 2 && qstrcmp(argv[2], "--delete-all") == 0) {
        ctx->removeAll();
        if (Status s = ctx->save(); !s) {
            std::fprintf(stderr, "%s\n", qPrintable(s.error()));
            return 5;
        }
        std::printf("deleted\n");
        std::fflush(stdout);
        return 0;
    }
    int next = int(ctx->items().size());
    int pendingFrom = next;
    QObject::connect(ctx.get(), &ModelContext::saved, [&] {
        std::printf("saved %d\n", next);
        std::fflush(stdout);
        pendingFrom = next;
    });
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        // Every tick adds an item and edits an older one, with a picture.
        auto item = std::make_unique<Item>(ItemType::webLink, u"item-%1"_s.arg(next));
        item->setThumbnailData(QByteArray(2048, char('a' + next % 26)));
        ctx->insert(std::move(item));
        if (next > 0)
            ctx->items().at(next / 2)->setNote(u"edited %1"_s.arg(next));
        ++next;
    });
    timer.start(2);
    Q_UNUSED(pendingFrom);
    return QCoreApplication::exec();
}
