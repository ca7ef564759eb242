// Writes a generated library into a container folder, for the benchmark
// scripts: make_library DIR [ITEMS] [--bookmarks FILE.html]

#include "LibraryGenerator.h"

#include "model/Item.h"
#include "model/Tag.h"
#include "platform/ContainerPaths.h"
#include "store/ModelContext.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: make_library DIR [ITEMS] [--bookmarks FILE.html]\n");
        return 1;
    }
    LibraryGenerator::Options options;
    if (args.size() > 1 && !args[1].startsWith(u"--"))
        options.items = args[1].toInt();
    const QString store = ContainerPaths::storePath(args[0]);
    if (QFile::exists(store)) {
        std::fprintf(stderr, "%s exists already\n", qPrintable(store));
        return 1;
    }
    auto ctx = LibraryGenerator::create(store, options);

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
    std::printf("%lld items in %s\n", static_cast<long long>(ctx->items().size()), qPrintable(store));
    // Words for benchmark queries: very common, common, rare.
    std::printf("words: %s %s %s\n", qPrintable(LibraryGenerator::word(0)), qPrintable(LibraryGenerator::word(3)),
                qPrintable(LibraryGenerator::word(2000)));
    return 0;
}
