// Writes a generated library into a container folder, for the benchmark
// scripts: make_library DIR [ITEMS] [--folders N] [--tags N] [--bookmarks FILE.html]
// [--thumbnails]

#include "LibraryGenerator.h"

#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "platform/ContainerPaths.h"
#include "store/ModelContext.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextStream>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char** argv)
{
    // Pictures are drawn without a display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: make_library DIR [ITEMS] [--folders N] [--tags N] [--bookmarks FILE.html] "
                             "[--thumbnails]\n");
        return 1;
    }
    LibraryGenerator::Options options;
    if (args.size() > 1 && !args[1].startsWith(u"--"_s))
        options.items = args[1].toInt();
    const auto count = [&args](const QString& option, int fallback) {
        const qsizetype at = args.indexOf(option);
        return at >= 0 && at + 1 < args.size() ? args[at + 1].toInt() : fallback;
    };
    options.folders = count(u"--folders"_s, options.folders);
    options.tags = count(u"--tags"_s, options.tags);
    const QString store = ContainerPaths::storePath(args[0]);
    if (QFile::exists(store)) {
        std::fprintf(stderr, "%s exists already\n", qPrintable(store));
        return 1;
    }
    auto ctx = LibraryGenerator::create(store, options);

    // --thumbnails: every item gets one of a few dozen real JPEG thumbnails,
    // so the grid has pictures to decode.
    if (args.contains(u"--thumbnails"_s)) {
        QList<QByteArray> thumbnails;
        for (int i = 0; i < 48; ++i) {
            QImage image(400, 300, QImage::Format_RGB32);
            QPainter painter(&image);
            QLinearGradient gradient(0, 0, 400, 300);
            gradient.setColorAt(0, QColor::fromHsv((i * 37) % 360, 160, 230));
            gradient.setColorAt(1, QColor::fromHsv((i * 37 + 120) % 360, 200, 120));
            painter.fillRect(image.rect(), gradient);
            painter.setPen(Qt::white);
            painter.setFont(QFont(u"DejaVu Sans"_s, 48, QFont::Bold));
            painter.drawText(image.rect(), Qt::AlignCenter, QString::number(i));
            painter.end();
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "JPEG", 70);
            thumbnails.append(bytes);
        }
        int n = 0;
        for (Item* item : ctx->items())
            item->setThumbnailData(thumbnails[n++ % thumbnails.size()]);
        if (!ctx->save().ok())
            return 1;
    }

    const qsizetype b = args.indexOf(u"--bookmarks"_s);
    if (b >= 0 && b + 1 < args.size()) {
        // Netscape bookmark file, as browsers export them.
        QFile file(args[b + 1]);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 1;
        QTextStream out(&file);
        out << "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
               "charset=UTF-8\">\n<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks</H1>\n<DL><p>\n";
        for (const Item* item : ctx->items()) {
            QStringList tags;
            for (const Tag* tag : item->tags())
                tags.append(tag->name().toHtmlEscaped());
            out << "<DT><A HREF=\"" << item->urlString().value_or(QString()).toHtmlEscaped() << "\" ADD_DATE=\""
                << item->createdAt().toSecsSinceEpoch() << "\" TAGS=\"" << tags.join(u',') << "\">"
                << item->title().toHtmlEscaped() << "</A>\n";
            if (item->note())
                out << "<DD>" << item->note()->toHtmlEscaped() << "\n";
        }
        out << "</DL><p>\n";
    }
    std::printf("%lld items, %lld folders, %lld tags in %s\n", static_cast<long long>(ctx->items().size()),
                static_cast<long long>(ctx->folders().size()), static_cast<long long>(ctx->tags().size()),
                qPrintable(store));
    // Words for benchmark queries: very common, common, rare.
    std::printf("words: %s %s %s\n", qPrintable(LibraryGenerator::word(0)), qPrintable(LibraryGenerator::word(3)),
                qPrintable(LibraryGenerator::word(2000)));
    return 0;
}
