// Writes a library whose items carry large pictures, for the memory figure of
// an export with pictures: make_picture_library DIR [ITEMS] [MEGABYTES]
// (defaults: 1,000 items of 2 MB each, plus a 20 kB thumbnail). Saves every
// few items, so the generator itself never holds more than a few pictures.

#include "model/Item.h"
#include "platform/ContainerPaths.h"
#include "store/ModelContext.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: make_picture_library DIR [ITEMS] [MEGABYTES]\n");
        return 1;
    }
    const int items = args.size() > 1 ? args[1].toInt() : 1000;
    const auto size = qsizetype((args.size() > 2 ? args[2].toDouble() : 2.0) * 1024 * 1024);
    const QString store = ContainerPaths::storePath(args[0]);
    if (QFile::exists(store)) {
        std::fprintf(stderr, "%s exists already\n", qPrintable(store));
        return 1;
    }
    auto opened = ModelContext::open(store);
    if (!opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.error()));
        return 1;
    }
    ModelContext& context = *opened.value();
    QRandomGenerator random(20261210);
    // Random bytes do not compress: the worst case for every layer.
    auto bytes = [&](qsizetype n) {
        QByteArray b(n, '\0');
        random.fillRange(reinterpret_cast<quint32*>(b.data()), n / qsizetype(sizeof(quint32)));
        return b;
    };
    for (int i = 0; i < items; ++i) {
        Item* item = context.insert(std::make_unique<Item>(ItemType::image, u"Picture %1"_s.arg(i),
                                                           QUrl(u"https://example.com/pictures/%1.jpg"_s.arg(i))));
        item->setImageData(bytes(size));
        item->setThumbnailData(bytes(20 * 1024));
        if (i % 20 == 19 || i + 1 == items) {
            if (Status s = context.save(); !s) {
                std::fprintf(stderr, "%s\n", qPrintable(s.error()));
                return 1;
            }
        }
    }
    return 0;
}
