// Commands that read and edit the library's records.

#include "Cli.h"

#include "app/ItemCreation.h"
#include "model/Clock.h"
#include "model/ColorHex.h"
#include "model/Folder.h"
#include "model/Item.h"
#include "model/SmartFolder.h"
#include "model/SystemColors.h"
#include "model/Tag.h"
#include "model/TagDragItem.h"
#include "services/metadata/MetadataService.h"
#include "services/metadata/ThumbnailService.h"
#include "store/ModelContext.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace Cli {
namespace {

QUrl parseUrl(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        throw Failed{UsageError, u"“%1” is not a URL with a scheme (such as https://%1)"_s.arg(text)};
    return url;
}

QColor parseColor(const std::optional<QString>& text)
{
    // The text goes through the same rule as imported colours.
    return text ? ColorHex::fromHex(*text) : SystemColors::blue();
}

void printItem(QTextStream& out, const Item& item)
{
    out << "id:           " << UuidText::toString(item.id()) << '\n'
        << "type:         " << item.typeRawValue() << '\n'
        << "title:        " << plainText(item.title()) << '\n'
        << "url:          " << plainText(item.urlString().value_or(QString())) << '\n'
        << "note:         " << plainText(item.note().value_or(QString())) << '\n'
        << "source:       " << plainText(item.sourceDomain().value_or(QString())) << '\n'
        << "folder:       " << plainText(item.folder() ? item.folder()->name() : QString()) << '\n';
    QStringList tags;
    for (const Tag* tag : item.sortedTags())
        tags.append(tag->name());
    out << "tags:         " << plainText(tags.join(u", "_s)) << '\n'
        << "favorite:     " << (item.isFavorite() ? "yes" : "no") << '\n'
        << "archived:     " << (item.isArchived() ? "yes" : "no") << '\n'
        << "thumbnail:    " << (item.hasThumbnail() ? "yes" : "no") << '\n'
        << "image:        " << (item.hasImage() ? "yes" : "no") << '\n'
        << "created:      " << isoDate(item.createdAt()) << '\n'
        << "modified:     " << isoDate(item.modifiedAt()) << '\n';
    if (item.accessedAt())
        out << "viewed:       " << isoDate(*item.accessedAt()) << '\n';
    if (const auto metadata = item.metadata())
        out << "metadata:     " << QString::fromUtf8(metadata->toJson()) << '\n';
}

int addItem(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {u"--title"_s, u"--note"_s, u"--folder"_s}, {u"--no-fetch"_s, u"--json"_s});
    args.expectPositional(1, 1);
    const QUrl url = parseUrl(args.positional(0, "URL"));
    const auto folderArg = args.value(u"--folder"_s);
    if (folderArg)
        parseId(*folderArg, "folder");
    Folder* folder = folderArg ? &folderById(s, *folderArg) : nullptr;

    // The same creation as the window's, then the background fetch, waited for.
    MetadataService* metadata = args.has(u"--no-fetch"_s) ? nullptr : &MetadataService::shared();
    ItemCreation::Added added = ItemCreation::addItemFromURL(s.context(), url, metadata);
    waitFor(added.metadata);
    Item* item = s.context().item(added.item->id());
    if (folder)
        item->setFolder(folder);
    if (const auto note = args.value(u"--note"_s))
        item->setNote(*note);
    // A title given on the command line wins over the page's.
    if (const auto title = args.value(u"--title"_s))
        item->setTitle(*title);
    s.save();
    if (args.has(u"--json"_s)) {
        s.out() << jsonLine(itemJson(*item)) << '\n';
    } else if (metadata) {
        printItem(s.out(), *item);
    } else {
        s.out() << UuidText::toString(item->id()) << '\n';
    }
    return Success;
}

// A screenshot item from a picture, as pasting one does.
int addImage(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {}, {});
    args.expectPositional(1, 1);
    const QString path = args.positional(0, "FILE");
    const QByteArray bytes = readPictureFile(path);
    // The window keeps what it is given; the tool says plainly when a file is
    // no picture it can read (a text file, an empty one, one cut short).
    if (!ThumbnailService::isImage(bytes))
        throw Failed{NotAnImage, u"%1 is not an image that can be read"_s.arg(path)};
    Item* item = ItemCreation::addItemFromImageData(s.context(), bytes).item;
    s.save();
    s.out() << UuidText::toString(item->id()) << '\n';
    return Success;
}

// An item for a file, as choosing or dropping one does.
int addFile(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {}, {});
    args.expectPositional(1, 1);
    const QFileInfo info(args.positional(0, "FILE"));
    if (!info.isFile())
        throw Failed{Failure, u"%1 is not a file"_s.arg(info.filePath())};
    const QUrl url = QUrl::fromLocalFile(info.absoluteFilePath());
    auto owned = std::make_unique<Item>(ItemTypes::detect(url), info.completeBaseName(), url);
    if (owned->type() == ItemType::image || owned->type() == ItemType::screenshot) {
        const QByteArray bytes = readPictureFile(info.absoluteFilePath());
        owned->setImage(bytes);
        owned->setThumbnail(bytes);
    }
    Item* item = s.context().insert(std::move(owned));
    s.save();
    s.out() << UuidText::toString(item->id()) << '\n';
    return Success;
}

int listItems(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {}, {u"--json"_s});
    args.expectPositional(0, 0);
    const QList<Item*> items =
        s.context().fetchItems([](const Item* a, const Item* b) { return a->createdAt() > b->createdAt(); });
    for (const Item* item : items) {
        if (args.has(u"--json"_s))
            s.out() << jsonLine(itemJson(*item)) << '\n';
        else
            s.out() << UuidText::toString(item->id()) << "  " << item->typeRawValue().leftJustified(11) << "  "
                    << plainText(item->title()) << '\n';
    }
    return Success;
}

int showItem(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {}, {u"--json"_s});
    args.expectPositional(1, 1);
    const Item& item = itemById(s, args.positional(0, "ID"));
    if (args.has(u"--json"_s))
        s.out() << jsonLine(itemJson(item)) << '\n';
    else
        printItem(s.out(), item);
    return Success;
}

int editItem(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(
        argv, {u"--title"_s, u"--note"_s, u"--favorite"_s, u"--archived"_s, u"--folder"_s, u"--picture"_s}, {});
    args.expectPositional(1, 1);
    // Check every argument before the first lookup or change.
    auto onOff = [&args](const QString& option) -> std::optional<bool> {
        if (const auto v = args.value(option))
            return parseOnOff(*v, option == u"--favorite" ? "--favorite" : "--archived");
        return std::nullopt;
    };
    const auto favorite = onOff(u"--favorite"_s);
    const auto archived = onOff(u"--archived"_s);
    Item& item = itemById(s, args.positional(0, "ID"));
    std::optional<Folder*> folder;
    if (const auto f = args.value(u"--folder"_s))
        folder = (*f == u"none") ? nullptr : &folderById(s, *f);
    const auto title = args.value(u"--title"_s);
    if (title && title->isEmpty())
        throw Failed{UsageError, u"the title cannot be empty"_s};
    std::optional<QByteArray> pictureBytes;
    if (const auto picture = args.value(u"--picture"_s)) {
        pictureBytes = readPictureFile(*picture);
        if (!ThumbnailService::isImage(*pictureBytes))
            throw Failed{NotAnImage, u"%1 is not an image that can be read"_s.arg(*picture)};
    }

    // Title and note are edited as the item editor does: then the item
    // counts as modified now.
    const auto note = args.value(u"--note"_s);
    if (title || note) {
        if (title)
            item.setTitle(*title);
        if (note)
            item.setNote(note->isEmpty() ? std::nullopt : std::optional<QString>(*note));
        item.setModifiedAt(Clock::now());
    }
    if (favorite && *favorite != item.isFavorite())
        item.toggleFavorite();
    if (archived && *archived != item.isArchived())
        item.toggleArchived();
    if (folder && *folder != item.folder())
        item.moveToFolder(*folder);
    if (pictureBytes) {
        item.setThumbnail(*pictureBytes);
        item.setImage(*pictureBytes);
    }
    s.save({&item, folder.value_or(nullptr)});
    printItem(s.out(), item);
    return Success;
}

int deleteItem(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {}, {});
    args.expectPositional(1, 1);
    Item& item = itemById(s, args.positional(0, "ID"));
    s.context().remove(&item);
    s.save();
    return Success;
}

int addFolder(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {u"--parent"_s, u"--icon"_s, u"--color"_s}, {});
    args.expectPositional(1, 1);
    const QString name = args.positional(0, "NAME");
    if (name.trimmed().isEmpty())
        throw Failed{UsageError, u"the folder name cannot be empty"_s};
    Folder* parent = args.value(u"--parent"_s) ? &folderById(s, *args.value(u"--parent"_s)) : nullptr;
    auto folder = std::make_unique<Folder>(name, args.value(u"--icon"_s).value_or(u"folder"_s),
                                           parseColor(args.value(u"--color"_s)), parent);
    Folder* inserted = s.context().insert(std::move(folder));
    s.save({inserted});
    s.out() << UuidText::toString(inserted->id()) << '\n';
    return Success;
}

int listFolders(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {}, {u"--json"_s});
    args.expectPositional(0, 0);
    const bool json = args.has(u"--json"_s);
    // Depth-first from the roots, children by their sort order.
    std::function<void(const Folder*, int)> print = [&](const Folder* folder, int depth) {
        if (json)
            s.out() << jsonLine(folderJson(*folder)) << '\n';
        else
            s.out() << UuidText::toString(folder->id()) << "  " << QString(depth * 2, u' ') << plainText(folder->name())
                    << "  (" << folder->items().size() << ")\n";
        for (const Folder* child : folder->sortedChildren())
            print(child, depth + 1);
    };
    const QList<Folder*> roots = s.context().fetchFolders(Folder::displayOrder);
    for (const Folder* folder : roots) {
        if (!folder->parent())
            print(folder, 0);
    }
    return Success;
}

int deleteFolder(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {}, {});
    args.expectPositional(1, 1);
    Folder& folder = folderById(s, args.positional(0, "ID"));
    s.context().remove(&folder);
    s.save();
    return Success;
}

int addTag(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {u"--color"_s}, {});
    args.expectPositional(1, 1);
    const QString name = args.positional(0, "NAME");
    if (name.trimmed().isEmpty())
        throw Failed{UsageError, u"the tag name cannot be empty"_s};
    Tag* tag = s.context().insert(std::make_unique<Tag>(name, parseColor(args.value(u"--color"_s))));
    s.save();
    s.out() << UuidText::toString(tag->id()) << '\n';
    return Success;
}

int listTags(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {}, {u"--json"_s});
    args.expectPositional(0, 0);
    const QList<Tag*> tags = s.context().fetchTags(Tag::displayOrder);
    for (const Tag* tag : tags) {
        if (args.has(u"--json"_s))
            s.out() << jsonLine(tagJson(*tag)) << '\n';
        else
            s.out() << UuidText::toString(tag->id()) << "  " << plainText(tag->colorHex()) << "  "
                    << plainText(tag->name()) << "  (" << tag->itemCount() << ")\n";
    }
    return Success;
}

int attachTag(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {}, {});
    args.expectPositional(2, 2);
    Item& item = itemById(s, args.positional(0, "ITEM_ID"));
    Tag& tag = tagById(s, args.positional(1, "TAG_ID"));
    item.addTag(&tag);
    s.save({&item, &tag});
    return Success;
}

int deleteTag(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {}, {});
    args.expectPositional(1, 1);
    Tag& tag = tagById(s, args.positional(0, "ID"));
    s.context().remove(&tag);
    s.save();
    return Success;
}

int counts(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {}, {});
    args.expectPositional(0, 0);
    const QList<int> values = SmartFolders::counts(s.context().items(), SmartFolders::recentCutoff());
    const QList<SmartFolder>& all = SmartFolders::allCases();
    for (qsizetype i = 0; i < all.size(); ++i)
        s.out() << SmartFolders::rawValue(all[i]) << ' ' << values[i] << '\n';
    return Success;
}

} // namespace

void registerLibraryCommands()
{
    registerCommand(u"add"_s, u"add URL [--title T] [--note N] [--folder ID] [--no-fetch] [--json]"_s, addItem);
    registerCommand(u"add-image"_s, u"add-image FILE           (a screenshot item holding the picture)"_s, addImage);
    registerCommand(u"add-file"_s, u"add-file FILE            (an item for a local file)"_s, addFile);
    registerCommand(u"list"_s, u"list [--json]"_s, listItems);
    registerCommand(u"show"_s, u"show ID [--json]"_s, showItem);
    registerCommand(
        u"edit"_s,
        u"edit ID [--title T] [--note N] [--favorite on|off] [--archived on|off] [--folder ID|none] [--picture FILE]"_s,
        editItem);
    registerCommand(u"delete"_s, u"delete ID"_s, deleteItem);
    registerCommand(u"folder add"_s, u"folder add NAME [--parent ID] [--icon SYMBOL] [--color HEX]"_s, addFolder);
    registerCommand(u"folder list"_s, u"folder list [--json]"_s, listFolders);
    registerCommand(u"folder delete"_s, u"folder delete ID"_s, deleteFolder);
    registerCommand(u"tag add"_s, u"tag add NAME [--color HEX]"_s, addTag);
    registerCommand(u"tag list"_s, u"tag list [--json]"_s, listTags);
    registerCommand(u"tag attach"_s, u"tag attach ITEM_ID TAG_ID"_s, attachTag);
    registerCommand(u"tag delete"_s, u"tag delete ID"_s, deleteTag);
    registerCommand(u"counts"_s, u"counts"_s, counts);
}

} // namespace Cli
