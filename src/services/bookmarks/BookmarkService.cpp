#include "BookmarkService.h"

#include "BookmarkFileReader.h"
#include "BookmarkFileWriter.h"
#include "BrowserBookmarks.h"

#include "model/Clock.h"
#include "model/Tag.h"
#include "services/export/ExportService.h"
#include "store/ModelContext.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QPointer>
#include <QPromise>

#include <climits>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace BookmarkService {
namespace {

// Progress of an import, in thousandths: reading takes the first 900.
constexpr int kProgressScale = 1000;
constexpr int kReadShare = 900;

QString cannotRead(const QString& path, const QString& why)
{
    return u"Cannot read “%1”: %2"_s.arg(QDir::toNativeSeparators(path), why);
}

// The library's bookmarks: folders parents first, siblings by sort order
// (as the sidebar shows them), and every item with a URL as a link. Main
// thread; the texts are shared with the records, not copied.
BookmarkList bookmarksOf(const ModelContext& context, BookmarkExportResult& counts)
{
    BookmarkList list;
    const QList<Folder*>& folders = context.folders();
    QHash<const Folder*, qsizetype> position;
    position.reserve(folders.size());
    for (qsizetype i = 0; i < folders.size(); ++i)
        position.insert(folders[i], i);
    QHash<qsizetype, QList<qsizetype>> childrenOf; // -1: the top level
    for (qsizetype i = 0; i < folders.size(); ++i)
        childrenOf[position.value(folders[i]->parent(), -1)].append(i);
    for (QList<qsizetype>& children : childrenOf) {
        std::stable_sort(children.begin(), children.end(),
                         [&](qsizetype a, qsizetype b) { return folders[a]->sortOrder() < folders[b]->sortOrder(); });
    }
    QHash<const Folder*, qsizetype> folderIndex;
    std::vector<std::pair<qsizetype, qsizetype>> stack; // folder, parent in the list
    const QList<qsizetype> top = childrenOf.value(-1);
    for (auto it = top.crbegin(); it != top.crend(); ++it)
        stack.emplace_back(*it, -1);
    while (!stack.empty()) {
        const auto [source, parent] = stack.back();
        stack.pop_back();
        const Folder* folder = folders[source];
        if (folderIndex.contains(folder))
            continue;
        folderIndex.insert(folder, list.folders.size());
        list.folders.append({folder->name(), parent, folder->createdAt().toMSecsSinceEpoch(),
                             folder->modifiedAt().toMSecsSinceEpoch()});
        const QList<qsizetype> children = childrenOf.value(source);
        for (auto it = children.crbegin(); it != children.crend(); ++it)
            stack.emplace_back(*it, list.folders.size() - 1);
    }

    QHash<const Tag*, qsizetype> tagIndex;
    for (const Tag* tag : context.tags()) {
        tagIndex.insert(tag, list.tagNames.size());
        list.tagNames.append(tag->name());
    }
    const QList<Item*>& items = context.items();
    list.links.reserve(size_t(items.size()));
    for (const Item* item : items) {
        const std::optional<QString>& url = item->urlString();
        if (!url || url->isEmpty()) {
            ++counts.withoutUrl;
            continue;
        }
        BookmarkList::Link& link = list.links.emplace_back();
        link.url = *url;
        link.title = item->title();
        if (const std::optional<QString>& note = item->note(); note && !note->isEmpty())
            link.note = *note;
        if (const Folder* folder = item->folder())
            link.folder = folderIndex.value(folder, -1);
        link.firstTag = qsizetype(list.tags.size());
        for (const Tag* tag : item->tags()) {
            if (const auto it = tagIndex.constFind(tag); it != tagIndex.cend())
                list.tags.push_back(*it);
        }
        link.tagCount = qsizetype(list.tags.size()) - link.firstTag;
        link.addDate = item->createdAt().toMSecsSinceEpoch();
        link.lastModified = item->modifiedAt().toMSecsSinceEpoch();
    }
    counts.bookmarks = qsizetype(list.links.size());
    counts.folders = list.folders.size();
    return list;
}

using Reader = std::function<TreeOutcome(const Progress&, const BookmarkTreeBuilder::LinkBatches&)>;

QFuture<ImportOutcome> runImport(Reader read, ModelContext& context, BookmarkImportOptions options)
{
    auto promise = std::make_shared<QPromise<ImportOutcome>>();
    QFuture<ImportOutcome> future = promise->future();
    promise->start();
    promise->setProgressRange(0, kProgressScale);
    promise->setProgressValueAndText(0, u"Reading bookmarks"_s);
    QPointer<ModelContext> target(&context);
    ExportService::shared().worker().start([promise, read = std::move(read), target, options] {
        const auto finish = [&](ImportOutcome outcome) {
            promise->addResult(std::move(outcome));
            promise->finish();
        };
        // Links are prepared on the pool while the rest is still being read.
        BookmarkImport::Preparer preparer;
        TreeOutcome tree = read(
            [&](qsizetype done, qsizetype total) {
                if (total > 0)
                    promise->setProgressValue(int(done * kReadShare / total));
                return !promise->isCanceled();
            },
            [&](QList<BookmarkTree::Link> links) { preparer.add(std::move(links)); });
        if (promise->isCanceled())
            return promise->finish();
        if (!tree)
            return finish(ImportOutcome::failure(tree.error()));
        auto prepared = std::make_shared<BookmarkImport::Prepared>(preparer.finish(std::move(tree).value()));
        promise->setProgressValueAndText(kReadShare, u"Adding bookmarks to the library"_s);
        // The records are made on the main thread, in one step.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [promise, prepared, target, options] {
                if (promise->isCanceled())
                    return promise->finish();
                if (!target) {
                    promise->addResult(ImportOutcome::failure(BookmarkError::saveFailed(u"The library was closed."_s)));
                    return promise->finish();
                }
                promise->addResult(BookmarkImport::apply(*prepared, *target, options));
                promise->setProgressValue(kProgressScale);
                promise->finish();
            },
            Qt::QueuedConnection);
    });
    return future;
}

} // namespace

TreeOutcome readFile(const QString& path, const Progress& progress, const BookmarkTreeBuilder::LinkBatches& batches)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return TreeOutcome::failure(BookmarkError::readFailed(cannotRead(path, file.errorString())));
    // Mapped rather than read: a large file costs address space, not memory.
    const qint64 size = file.size();
    if (size == 0)
        return TreeOutcome::failure(BookmarkError::notBookmarkFile());
    if (const uchar* mapped = file.map(0, size)) {
        return BookmarkFileReader::read(QByteArrayView(reinterpret_cast<const char*>(mapped), qsizetype(size)),
                                        progress, batches);
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return TreeOutcome::failure(BookmarkError::readFailed(cannotRead(path, file.errorString())));
    return BookmarkFileReader::read(bytes, progress, batches);
}

TreeOutcome readProfile(const BrowserProfile& profile, const Progress& progress)
{
    if (progress && !progress(0, 1))
        return TreeOutcome::failure(BookmarkError::canceled());
    const QString path = profile.bookmarksPath();
    if (profile.family == BrowserProfile::Family::firefox)
        return BrowserBookmarks::readFirefox(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return TreeOutcome::failure(BookmarkError::readFailed(cannotRead(path, file.errorString())));
    return BrowserBookmarks::readChromium(file.readAll());
}

QFuture<ImportOutcome> importFile(const QString& path, ModelContext& context, BookmarkImportOptions options)
{
    return runImport(
        [path](const Progress& progress, const BookmarkTreeBuilder::LinkBatches& batches) {
            return readFile(path, progress, batches);
        },
        context, options);
}

QFuture<ImportOutcome> importProfile(const BrowserProfile& profile, ModelContext& context,
                                     BookmarkImportOptions options)
{
    return runImport([profile](const Progress& progress,
                               const BookmarkTreeBuilder::LinkBatches&) { return readProfile(profile, progress); },
                     context, options);
}

QString exportFilePath(const QDateTime& moment)
{
    return QDir(QDir::tempPath()).filePath(u"vellumkeep_bookmarks_"_s + ExportService::timeStamp(moment) + u".html"_s);
}

QFuture<ExportOutcome> exportLibrary(ModelContext& context, QString path)
{
    BookmarkExportResult counts;
    auto list = std::make_shared<const BookmarkList>(bookmarksOf(context, counts));
    if (path.isEmpty())
        path = exportFilePath(Clock::now());
    counts.path = path;
    auto promise = std::make_shared<QPromise<ExportOutcome>>();
    QFuture<ExportOutcome> future = promise->future();
    promise->start();
    promise->setProgressValueAndText(0, u"Exporting bookmarks"_s);
    ExportService::shared().worker().start([promise, list, counts] {
        promise->setProgressRange(0, int(std::min<qsizetype>(qsizetype(list->links.size()), INT_MAX)));
        const Status written = ExportService::writeFileAtomically(counts.path, [&](QIODevice& file) {
            return BookmarkFileWriter::write(*list, file, [&](qsizetype done, qsizetype) {
                if (done % 256 == 0)
                    promise->setProgressValue(int(done));
                return !promise->isCanceled();
            });
        });
        if (promise->isCanceled())
            return promise->finish();
        if (!written)
            promise->addResult(ExportOutcome::failure(BookmarkError::writeFailed(written.error())));
        else
            promise->addResult(counts);
        promise->finish();
    });
    return future;
}

} // namespace BookmarkService
