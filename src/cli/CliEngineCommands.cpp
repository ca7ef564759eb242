// Commands over the engine: the item list as the main window computes it,
// and the two image operations.

#include "Cli.h"

#include "app/ItemListQuery.h"
#include "app/Vocabulary.h"
#include "model/Folder.h"
#include "model/Item.h"
#include "model/SmartFolder.h"
#include "model/Tag.h"
#include "model/TagDragItem.h"
#include "services/metadata/ThumbnailService.h"
#include "services/search/LibraryIndex.h"
#include "services/search/SearchService.h"
#include "store/ModelContext.h"

#include <QFile>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace Cli {
namespace {

int search(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {u"--smart"_s, u"--folder"_s, u"--tag"_s, u"--type"_s, u"--sort"_s},
                                  {u"--favorites"_s, u"--json"_s});
    args.expectPositional(0, 1);
    ItemListQuery::Selection selection;
    ItemListQuery::Filters filters;
    filters.query = args.positional().value(0);

    // Check every argument before opening the library.
    std::optional<SmartFolder> smart;
    if (const auto raw = args.value(u"--smart"_s)) {
        smart = SmartFolders::fromRawValue(*raw);
        if (!smart)
            throw Failed{UsageError, u"unknown smart folder “%1” (inbox, favorites, recentlyAdded, recentlyViewed, "
                                     "archived or allItems)"_s.arg(*raw)};
    }
    if (const auto raw = args.value(u"--type"_s)) {
        filters.type = ItemTypes::fromRawValue(*raw);
        if (!filters.type)
            throw Failed{UsageError, u"unknown type “%1” (web_link, video, social_post, image, screenshot or "
                                     "document)"_s.arg(*raw)};
    }
    if (const auto raw = args.value(u"--sort"_s)) {
        const auto order = SortOrders::fromRawValue(*raw);
        if (!order)
            throw Failed{UsageError, u"unknown sort order “%1” (date_added_desc, date_added_asc, title_asc, "
                                     "title_desc or date_modified_desc)"_s.arg(*raw)};
        filters.sortOrder = *order;
    }
    filters.favoritesOnly = args.has(u"--favorites"_s);
    const std::optional<QString> folderArg = args.value(u"--folder"_s);
    if (folderArg)
        parseId(*folderArg, "folder");
    for (const QString& tagArg : args.values(u"--tag"_s))
        parseId(tagArg, "tag");

    // Like the sidebar: a folder alone is a root-folder choice, a folder with
    // a smart folder a child-folder choice, neither the start-up selection.
    if (folderArg) {
        selection.folder = &folderById(s, *folderArg);
        selection.smartFolder = smart;
    } else {
        selection.smartFolder = smart.value_or(SmartFolder::allItems);
    }
    for (const QString& tagArg : args.values(u"--tag"_s))
        filters.tagIDs.insert(tagById(s, tagArg).id());

    LibraryIndex index(&s.context());
    const auto results = index.run(ItemListQuery::indexQuery(selection, filters, SmartFolders::recentCutoff()));
    for (const SearchService::Scored& r : results) {
        if (args.has(u"--json"_s)) {
            QJsonObject o = itemJson(*r.item);
            o.insert(u"score"_s, r.score);
            s.out() << jsonLine(o) << '\n';
        } else {
            s.out() << r.score << '\t' << UuidText::toString(r.item->id()) << '\t' << plainText(r.item->title())
                    << '\n';
        }
    }
    return Success;
}

void writeOutput(const QString& path, const QByteArray& bytes)
{
    if (path == u"-") {
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            throw Failed{Failure, u"cannot write to standard output"_s};
        return;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw Failed{Failure, u"cannot write %1: %2"_s.arg(path, file.errorString())};
}

int imageOperation(const QStringList& argv, bool thumbnail)
{
    const Args args = Args::parse(argv, {}, {});
    args.expectPositional(2, 2);
    const QByteArray input = readPictureFile(args.positional(0, "IN"));
    const std::optional<QByteArray> result =
        thumbnail ? ThumbnailService::generateThumbnail(input) : ThumbnailService::compressImage(input);
    if (!result)
        throw Failed{NotAnImage, u"%1 is not an image that can be read"_s.arg(args.positional(0, "IN"))};
    writeOutput(args.positional(1, "OUT"), *result);
    return Success;
}

} // namespace

void registerEngineCommands()
{
    registerCommand(u"search"_s,
                    u"search [QUERY] [--smart FOLDER] [--folder ID] [--tag ID]... [--type RAW] [--favorites] "
                    "[--sort RAW] [--json]"_s,
                    search);
    registerCommand(u"thumbnail"_s, u"thumbnail IN OUT        (400-pixel JPEG preview; - for stdin/stdout)"_s,
                    [](Session&, const QStringList& a) { return imageOperation(a, true); });
    registerCommand(u"compress"_s, u"compress IN OUT         (image bounded to 10 MiB)"_s,
                    [](Session&, const QStringList& a) { return imageOperation(a, false); });
}

} // namespace Cli
