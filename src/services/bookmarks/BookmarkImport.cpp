#include "BookmarkImport.h"

#include "model/Clock.h"
#include "model/ColorHex.h"
#include "store/ModelContext.h"

#include <QHash>
#include <QSet>
#include <QUrl>
#include <QtConcurrent>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

bool isUnsupportedScheme(QStringView url)
{
    for (const QStringView scheme : {u"javascript:", u"place:", u"data:", u"about:"}) {
        if (url.startsWith(scheme, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QColor blue()
{
    return QColor::fromRgb(ColorHex::kSystemBlue);
}

QDateTime dateOr(const std::optional<qint64>& msecs, const QDateTime& fallback)
{
    return msecs ? Clock::fromMSecsUtc(*msecs) : fallback;
}

} // namespace

namespace BookmarkImport {

QString duplicateKey(QStringView url)
{
    if (const qsizetype hash = url.indexOf(u'#'); hash >= 0)
        url = url.first(hash);
    QString key = url.toString();
    const qsizetype colon = key.indexOf(u':');
    if (colon <= 0)
        return key;
    for (qsizetype i = 0; i < colon; ++i)
        key[i] = key[i].toLower();
    if (key.mid(colon + 1, 2) != u"//")
        return key;
    const qsizetype authority = colon + 3;
    qsizetype end = authority;
    while (end < key.size() && key[end] != u'/' && key[end] != u'?')
        ++end;
    const qsizetype at = key.lastIndexOf(u'@', end - 1);
    for (qsizetype i = std::max(authority, at + 1); i < end; ++i)
        key[i] = key[i].toLower();
    return key;
}

namespace {

// None for a link that cannot become an item.
std::optional<PreparedLink> prepareLink(BookmarkTree::Link& link)
{
    if (link.url.isEmpty() || link.url.size() > kMaxUrlLength || isUnsupportedScheme(link.url))
        return std::nullopt;
    const QUrl url(link.url, QUrl::TolerantMode);
    // A link must say where it goes: relative addresses lead nowhere.
    if (!url.isValid() || url.scheme().isEmpty())
        return std::nullopt;
    PreparedLink out;
    out.urlString = url.toString(QUrl::FullyEncoded);
    out.host = url.host();
    out.type = ItemTypes::detect(url);
    out.title = !link.title.isEmpty() ? std::move(link.title) : (out.host.isEmpty() ? u"Untitled"_s : out.host);
    out.note = std::move(link.note);
    out.tags = std::move(link.tags);
    out.folder = link.folder;
    out.duplicateKey = duplicateKey(out.urlString);
    out.addDate = link.addDate;
    out.lastModified = link.lastModified;
    return out;
}

} // namespace

Prepared prepare(BookmarkTree tree)
{
    // URL parsing is most of the work: the second half runs on another
    // thread of the pool meanwhile.
    const qsizetype count = tree.links.size();
    BookmarkTree::Link* links = tree.links.data();
    std::vector<std::optional<PreparedLink>> results(static_cast<size_t>(count));
    const auto run = [&](qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i)
            results[size_t(i)] = prepareLink(links[i]);
    };
    const bool split = count >= 2048;
    const qsizetype half = split ? count / 2 : count;
    QFuture<void> second;
    if (split)
        second = QtConcurrent::run([&] { run(half, count); });
    run(0, half);
    if (split)
        second.waitForFinished();

    Prepared prepared;
    prepared.folders = std::move(tree.folders);
    prepared.links.reserve(count);
    for (std::optional<PreparedLink>& link : results) {
        if (link)
            prepared.links.append(std::move(*link));
        else
            ++prepared.unsupported;
    }
    return prepared;
}

Result<BookmarkImportResult, BookmarkError> apply(const Prepared& prepared, ModelContext& context,
                                                  const BookmarkImportOptions& options)
{
    using R = Result<BookmarkImportResult, BookmarkError>;
    BookmarkImportResult result;
    result.unsupportedSkipped = prepared.unsupported;

    // Which links come in: duplicates of the library and of earlier links
    // of the same file stay out unless asked for.
    std::vector<bool> take(size_t(prepared.links.size()), true);
    if (!options.keepDuplicates) {
        QSet<QString> known;
        known.reserve(context.items().size() + prepared.links.size());
        for (const Item* item : context.items()) {
            if (item->urlString())
                known.insert(duplicateKey(*item->urlString()));
        }
        for (qsizetype i = 0; i < prepared.links.size(); ++i) {
            const QString& key = prepared.links[i].duplicateKey;
            if (known.contains(key)) {
                take[size_t(i)] = false;
                ++result.duplicatesSkipped;
            } else {
                known.insert(key);
            }
        }
    }

    // Folders holding a link that comes in, with their ancestors.
    const qsizetype folderCount = prepared.folders.size();
    std::vector<bool> needed(size_t(folderCount), false);
    for (qsizetype i = 0; i < prepared.links.size(); ++i) {
        if (!take[size_t(i)])
            continue;
        for (qsizetype f = prepared.links[i].folder; f >= 0 && f < folderCount && !needed[size_t(f)];
             f = prepared.folders[f].parent)
            needed[size_t(f)] = true;
    }

    // Every record is built and linked before the first insert.
    const QDateTime now = Clock::now();
    QHash<QPair<const Folder*, QString>, Folder*> folderAt;
    for (Folder* folder : context.folders()) {
        const QPair<const Folder*, QString> key{folder->parent(), folder->name()};
        if (!folderAt.contains(key))
            folderAt.insert(key, folder);
    }
    std::vector<std::unique_ptr<Folder>> newFolders;
    std::vector<Folder*> folderOf(size_t(folderCount), nullptr);
    for (qsizetype f = 0; f < folderCount; ++f) {
        if (!needed[size_t(f)])
            continue;
        const BookmarkTree::Folder& source = prepared.folders[f];
        // Parents come before their children in the tree.
        Folder* parent = source.parent >= 0 && source.parent < f ? folderOf[size_t(source.parent)] : nullptr;
        const QPair<const Folder*, QString> key{parent, source.name};
        Folder* folder = folderAt.value(key);
        if (!folder) {
            auto made = std::make_unique<Folder>(source.name, u"folder"_s, blue(), parent);
            made->setCreatedAt(dateOr(source.addDate, now));
            made->setModifiedAt(dateOr(source.lastModified, now));
            folder = made.get();
            folderAt.insert(key, folder);
            newFolders.push_back(std::move(made));
        }
        folderOf[size_t(f)] = folder;
    }

    QHash<QString, Tag*> tagNamed;
    for (Tag* tag : context.tags()) {
        const QString key = tag->name().toCaseFolded();
        if (!tagNamed.contains(key))
            tagNamed.insert(key, tag);
    }
    std::vector<std::unique_ptr<Tag>> newTags;
    std::vector<std::unique_ptr<Item>> newItems;
    newItems.reserve(size_t(prepared.links.size()));
    for (qsizetype i = 0; i < prepared.links.size(); ++i) {
        if (!take[size_t(i)])
            continue;
        const PreparedLink& link = prepared.links[i];
        auto item = std::make_unique<Item>(link.type, link.title);
        item->setUrlString(link.urlString);
        if (!link.host.isEmpty())
            item->setSourceDomain(link.host);
        item->setNote(link.note);
        if (link.folder >= 0 && link.folder < folderCount)
            item->setFolder(folderOf[size_t(link.folder)]);
        for (const QString& name : link.tags) {
            Tag*& tag = tagNamed[name.toCaseFolded()];
            if (!tag) {
                newTags.push_back(std::make_unique<Tag>(name, blue()));
                tag = newTags.back().get();
            }
            item->addTag(tag);
        }
        item->setCreatedAt(dateOr(link.addDate, now));
        item->setModifiedAt(dateOr(link.lastModified, now));
        newItems.push_back(std::move(item));
    }

    QList<Tag*> insertedTags;
    QList<Folder*> insertedFolders;
    QList<Item*> insertedItems;
    insertedItems.reserve(qsizetype(newItems.size()));
    for (auto& tag : newTags)
        insertedTags.append(context.insert(std::move(tag)));
    for (auto& folder : newFolders)
        insertedFolders.append(context.insert(std::move(folder)));
    for (auto& item : newItems)
        insertedItems.append(context.insert(std::move(item)));

    if (Status saved = context.save(); !saved) {
        // Never saved, so removing them writes nothing: the context keeps
        // what it had, the user's own unsaved changes included.
        for (Item* item : std::as_const(insertedItems))
            context.remove(item);
        for (auto it = insertedFolders.crbegin(); it != insertedFolders.crend(); ++it) {
            if (!(*it)->isDeleted())
                context.remove(*it);
        }
        for (Tag* tag : std::as_const(insertedTags))
            context.remove(tag);
        return R::failure(BookmarkError::saveFailed(saved.error()));
    }
    result.itemsAdded = insertedItems.size();
    result.foldersCreated = insertedFolders.size();
    result.tagsCreated = insertedTags.size();
    return result;
}

} // namespace BookmarkImport
