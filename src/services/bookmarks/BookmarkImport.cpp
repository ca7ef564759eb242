#include "BookmarkImport.h"

#include "model/Clock.h"
#include "model/ColorHex.h"
#include "store/ModelContext.h"

#include <QHash>
#include <QMutex>
#include <QSet>
#include <QUrl>
#include <QVarLengthArray>
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

QString duplicateKey(const QString& url)
{
    const qsizetype hash = url.indexOf(u'#');
    const QStringView key = hash >= 0 ? QStringView(url).first(hash) : QStringView(url);
    // The scheme, and the host of an address with an authority, compare
    // without case: the ranges to lower-case.
    std::pair<qsizetype, qsizetype> ranges[2] = {{0, 0}, {0, 0}};
    const qsizetype colon = key.indexOf(u':');
    if (colon > 0) {
        ranges[0] = {0, colon};
        if (key.mid(colon + 1, 2) == u"//") {
            const qsizetype authority = colon + 3;
            qsizetype end = authority;
            while (end < key.size() && key[end] != u'/' && key[end] != u'?')
                ++end;
            const qsizetype at = key.lastIndexOf(u'@', end - 1);
            ranges[1] = {std::max(authority, at + 1), end};
        }
    }
    const auto lowered = [&](qsizetype i) { return key[i].toLower(); };
    bool changes = hash >= 0;
    for (const auto& [from, to] : ranges) {
        for (qsizetype i = from; i < to && !changes; ++i)
            changes = lowered(i) != key[i];
    }
    // Most addresses are their own key: share the text.
    if (!changes)
        return url;
    QString lower = key.toString();
    for (const auto& [from, to] : ranges) {
        for (qsizetype i = from; i < to; ++i)
            lower[i] = lowered(i);
    }
    return lower;
}

namespace {

// One text per host name, shared by every link of the site (one thread's).
class HostNames {
public:
    QString shared(QStringView host)
    {
        if (host.isEmpty())
            return {};
        // Looked up without a copy; copied once, when new.
        const QString key = QString::fromRawData(reinterpret_cast<const QChar*>(host.data()), host.size());
        if (const auto it = m_names.constFind(key); it != m_names.cend())
            return *it;
        return *m_names.insert(host.toString());
    }

private:
    QSet<QString> m_names;
};

bool isLowerAlpha(char16_t c)
{
    return c >= u'a' && c <= u'z';
}

bool isHostCharacter(char16_t c)
{
    return isLowerAlpha(c) || (c >= u'0' && c <= u'9') || c == u'-';
}

// A label QUrl keeps as it is: no empty one, no hyphen at either end, no
// ACE ("xn--") label, which QUrl may show decoded.
bool isPlainLabel(QStringView label)
{
    return !label.isEmpty() && label.size() <= 63 && label.front() != u'-' && label.back() != u'-'
           && !label.startsWith(u"xn--");
}

struct PlainUrl {
    QStringView host;
    QStringView path;
};

// An http or https address that QUrl would give back exactly as written,
// taken apart without it: a lower-case host name of plain labels whose last
// one starts with a letter (so it is no IPv4 address), no user, no port,
// and a path, query and fragment of printable ASCII that QUrl would not
// percent-encode or decode. Most bookmarks look like this. Anything else
// goes through QUrl; a property test holds the two to the same results.
std::optional<PlainUrl> plainWebUrl(QStringView url)
{
    qsizetype i = 0;
    if (url.startsWith(u"http://"))
        i = 7;
    else if (url.startsWith(u"https://"))
        i = 8;
    else
        return std::nullopt;
    const qsizetype hostStart = i;
    qsizetype label = i;
    while (i < url.size() && (isHostCharacter(url[i].unicode()) || url[i] == u'.')) {
        if (url[i] == u'.') {
            if (!isPlainLabel(url.sliced(label, i - label)))
                return std::nullopt;
            label = i + 1;
        }
        ++i;
    }
    if (!isPlainLabel(url.sliced(label, i - label)) || !isLowerAlpha(url[label].unicode()))
        return std::nullopt;
    const qsizetype hostEnd = i;
    qsizetype pathEnd = -1;
    bool inFragment = false;
    for (; i < url.size(); ++i) {
        const char16_t c = url[i].unicode();
        if (i == hostEnd && c != u'/' && c != u'?' && c != u'#')
            return std::nullopt; // a port, a user or a stray character
        if (c <= 0x20 || c >= 0x7F)
            return std::nullopt;
        switch (c) {
        case u'"':
        case u'%':
        case u'<':
        case u'>':
        case u'\\':
        case u'^':
        case u'`':
        case u'{':
        case u'|':
        case u'}': return std::nullopt;
        case u'?':
            if (pathEnd < 0)
                pathEnd = i;
            break;
        case u'#':
            if (inFragment)
                return std::nullopt;
            inFragment = true;
            if (pathEnd < 0)
                pathEnd = i;
            break;
        default: break;
        }
    }
    if (pathEnd < 0)
        pathEnd = url.size();
    return PlainUrl{url.sliced(hostStart, hostEnd - hostStart), url.sliced(hostEnd, pathEnd - hostEnd)};
}

// ASCII lower case, in a buffer on the stack for the usual lengths.
ItemType detectPlain(const PlainUrl& url)
{
    QVarLengthArray<char16_t, 256> path(url.path.size());
    for (qsizetype i = 0; i < url.path.size(); ++i) {
        const char16_t c = url.path[i].unicode();
        path[i] = c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
    }
    return ItemTypes::detect(url.host, QStringView(path.constData(), path.size()));
}

// None for a link that cannot become an item.
std::optional<PreparedLink> prepareLink(BookmarkTree::Link& link, HostNames& hosts)
{
    if (link.url.isEmpty() || link.url.size() > kMaxUrlLength || isUnsupportedScheme(link.url))
        return std::nullopt;
    QString urlString;
    QString host;
    ItemType type;
    if (const std::optional<PlainUrl> plain = plainWebUrl(link.url)) {
        host = hosts.shared(plain->host);
        type = detectPlain(*plain);
        urlString = std::move(link.url);
    } else {
        const QUrl url(link.url, QUrl::TolerantMode);
        // A link must say where it goes: relative addresses lead nowhere.
        if (!url.isValid() || url.scheme().isEmpty())
            return std::nullopt;
        urlString = url.toString(QUrl::FullyEncoded);
        host = hosts.shared(url.host());
        type = ItemTypes::detect(url);
    }
    PreparedLink out;
    out.item = std::make_unique<Item>(type, !link.title.isEmpty() ? std::move(link.title)
                                                                  : (host.isEmpty() ? u"Untitled"_s : host));
    out.duplicateKey = duplicateKey(urlString);
    out.item->setUrlString(std::move(urlString));
    if (!host.isEmpty())
        out.item->setSourceDomain(host);
    out.item->setNote(link.note);
    out.tags = std::move(link.tags);
    out.folder = link.folder;
    out.addDate = link.addDate;
    out.lastModified = link.lastModified;
    return out;
}

// Batches of this many links keep both threads of the pool busy and their
// results in order.
constexpr qsizetype kBatchSize = 4096;

} // namespace

// Host names shared by the batches, one table per batch at a time.
struct Preparer::HostTables {
    QMutex mutex;
    std::vector<std::unique_ptr<HostNames>> idle;

    std::unique_ptr<HostNames> take()
    {
        QMutexLocker lock(&mutex);
        if (idle.empty())
            return std::make_unique<HostNames>();
        std::unique_ptr<HostNames> table = std::move(idle.back());
        idle.pop_back();
        return table;
    }
    void give(std::unique_ptr<HostNames> table)
    {
        QMutexLocker lock(&mutex);
        idle.push_back(std::move(table));
    }
};

struct Preparer::Batch {
    QList<BookmarkTree::Link> links;
    std::vector<PreparedLink> prepared;
    qsizetype unsupported = 0;
    QFuture<void> done;
};

Preparer::Preparer() : m_hosts(std::make_unique<HostTables>()) {}

Preparer::~Preparer()
{
    for (const auto& batch : m_batches)
        batch->done.waitForFinished();
}

void Preparer::add(QList<BookmarkTree::Link> links)
{
    for (qsizetype from = 0; from < links.size(); from += kBatchSize) {
        auto batch = std::make_unique<Batch>();
        batch->links = from == 0 && links.size() <= kBatchSize ? std::move(links) : links.mid(from, kBatchSize);
        batch->done = QtConcurrent::run([b = batch.get(), tables = m_hosts.get()] {
            std::unique_ptr<HostNames> hosts = tables->take();
            b->prepared.reserve(size_t(b->links.size()));
            for (BookmarkTree::Link& link : b->links) {
                if (std::optional<PreparedLink> prepared = prepareLink(link, *hosts))
                    b->prepared.push_back(std::move(*prepared));
                else
                    ++b->unsupported;
            }
            b->links = {};
            tables->give(std::move(hosts));
        });
        m_batches.push_back(std::move(batch));
    }
}

Prepared Preparer::finish(BookmarkTree tree)
{
    add(std::move(tree.links));
    Prepared prepared;
    prepared.folders = std::move(tree.folders);
    prepared.links.reserve(m_batches.size());
    for (const auto& batch : m_batches) {
        batch->done.waitForFinished();
        prepared.links.push_back(std::move(batch->prepared));
        prepared.unsupported += batch->unsupported;
    }
    m_batches.clear();
    return prepared;
}

Prepared prepare(BookmarkTree tree)
{
    return Preparer().finish(std::move(tree));
}

Result<BookmarkImportResult, BookmarkError> apply(Prepared& prepared, ModelContext& context,
                                                  const BookmarkImportOptions& options)
{
    using R = Result<BookmarkImportResult, BookmarkError>;
    BookmarkImportResult result;
    result.unsupportedSkipped = prepared.unsupported;
    std::vector<PreparedLink*> links;
    for (std::vector<PreparedLink>& batch : prepared.links) {
        for (PreparedLink& link : batch)
            links.push_back(&link);
    }
    const qsizetype linkCount = qsizetype(links.size());

    // Which links come in: duplicates of the library and of earlier links
    // of the same file stay out unless asked for.
    std::vector<bool> take(size_t(linkCount), true);
    if (!options.keepDuplicates) {
        QSet<QString> known;
        known.reserve(context.items().size() + linkCount);
        for (const Item* item : context.items()) {
            if (item->urlString())
                known.insert(duplicateKey(*item->urlString()));
        }
        for (qsizetype i = 0; i < linkCount; ++i) {
            const QString& key = links[size_t(i)]->duplicateKey;
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
    for (qsizetype i = 0; i < linkCount; ++i) {
        if (!take[size_t(i)])
            continue;
        for (qsizetype f = links[size_t(i)]->folder; f >= 0 && f < folderCount && !needed[size_t(f)];
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

    QHash<QString, Tag*> tagNamed; // by case-folded name
    for (Tag* tag : context.tags()) {
        const QString key = tag->name().toCaseFolded();
        if (!tagNamed.contains(key))
            tagNamed.insert(key, tag);
    }
    QHash<QString, Tag*> tagSpelled;
    std::vector<std::unique_ptr<Tag>> newTags;
    std::vector<std::unique_ptr<Item>> newItems;
    newItems.reserve(size_t(linkCount));
    for (qsizetype i = 0; i < linkCount; ++i) {
        if (!take[size_t(i)])
            continue;
        PreparedLink& link = *links[size_t(i)];
        std::unique_ptr<Item> item = std::move(link.item);
        if (link.folder >= 0 && link.folder < folderCount)
            item->setFolder(folderOf[size_t(link.folder)]);
        if (!link.tags.isEmpty()) {
            QList<Tag*> tags;
            tags.reserve(link.tags.size());
            for (const QString& name : std::as_const(link.tags)) {
                // A file spells each tag the same way many times: fold each
                // spelling once.
                Tag*& tag = tagSpelled[name];
                if (!tag) {
                    Tag*& named = tagNamed[name.toCaseFolded()];
                    if (!named) {
                        newTags.push_back(std::make_unique<Tag>(name, blue()));
                        named = newTags.back().get();
                    }
                    tag = named;
                }
                // Two spellings may name one tag.
                if (!tags.contains(tag))
                    tags.append(tag);
            }
            item->setTags(tags);
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
