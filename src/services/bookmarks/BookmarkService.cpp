#include "BookmarkService.h"

#include "BookmarkFileReader.h"
#include "BookmarkFileWriter.h"
#include "BrowserBookmarks.h"

#include "model/Tag.h"
#include "services/export/ExportService.h"
#include "services/export/LibrarySnapshot.h"
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

// Orders the library's folders parents first, siblings by sort order (as
// the sidebar shows them), and turns items with a URL into links.
BookmarkTree treeOf(const LibrarySnapshot& snapshot, BookmarkExportResult& counts)
{
    BookmarkTree tree;
    QHash<QUuid, qsizetype> position;
    for (qsizetype i = 0; i < snapshot.folders.size(); ++i)
        position.insert(snapshot.folders[i].id, i);
    QHash<qsizetype, QList<qsizetype>> childrenOf; // -1: the top level
    for (qsizetype i = 0; i < snapshot.folders.size(); ++i)
        childrenOf[position.value(snapshot.folders[i].parentId, -1)].append(i);
    for (QList<qsizetype>& children : childrenOf) {
        std::stable_sort(children.begin(), children.end(), [&](qsizetype a, qsizetype b) {
            return snapshot.folders[a].sortOrder < snapshot.folders[b].sortOrder;
        });
    }
    QHash<QUuid, qsizetype> folderIndex;
    std::vector<std::pair<qsizetype, qsizetype>> stack; // snapshot folder, parent in the tree
    const QList<qsizetype> top = childrenOf.value(-1);
    for (auto it = top.crbegin(); it != top.crend(); ++it)
        stack.emplace_back(*it, -1);
    while (!stack.empty()) {
        const auto [source, parent] = stack.back();
        stack.pop_back();
        const LibrarySnapshot::FolderValues& values = snapshot.folders[source];
        if (folderIndex.contains(values.id))
            continue;
        folderIndex.insert(values.id, tree.folders.size());
        tree.folders.append({values.name, parent, values.createdAt, values.modifiedAt});
        const QList<qsizetype> children = childrenOf.value(source);
        for (auto it = children.crbegin(); it != children.crend(); ++it)
            stack.emplace_back(*it, tree.folders.size() - 1);
    }

    QHash<QUuid, QString> tagName;
    for (const LibrarySnapshot::TagValues& tag : snapshot.tags)
        tagName.insert(tag.id, tag.name);
    tree.links.reserve(snapshot.items.size());
    for (const LibrarySnapshot::ItemValues& item : snapshot.items) {
        if (!item.urlString || item.urlString->isEmpty()) {
            ++counts.withoutUrl;
            continue;
        }
        BookmarkTree::Link link;
        link.url = *item.urlString;
        link.title = item.title;
        if (item.note && !item.note->isEmpty())
            link.note = item.note;
        for (const QUuid& id : item.tagIds) {
            if (const auto it = tagName.constFind(id); it != tagName.cend())
                link.tags.append(*it);
        }
        link.folder = folderIndex.value(item.folderId, -1);
        link.addDate = item.createdAt;
        link.lastModified = item.modifiedAt;
        tree.links.append(std::move(link));
    }
    counts.bookmarks = tree.links.size();
    counts.folders = tree.folders.size();
    return tree;
}

using Reader = std::function<TreeOutcome(const Progress&)>;

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
        TreeOutcome tree = read([&](qsizetype done, qsizetype total) {
            if (total > 0)
                promise->setProgressValue(int(done * kReadShare / total));
            return !promise->isCanceled();
        });
        if (promise->isCanceled())
            return promise->finish();
        if (!tree)
            return finish(ImportOutcome::failure(tree.error()));
        auto prepared =
            std::make_shared<const BookmarkImport::Prepared>(BookmarkImport::prepare(std::move(tree).value()));
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

TreeOutcome readFile(const QString& path, const Progress& progress)
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
                                        progress);
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return TreeOutcome::failure(BookmarkError::readFailed(cannotRead(path, file.errorString())));
    return BookmarkFileReader::read(bytes, progress);
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
    return runImport([path](const Progress& progress) { return readFile(path, progress); }, context, options);
}

QFuture<ImportOutcome> importProfile(const BrowserProfile& profile, ModelContext& context,
                                     BookmarkImportOptions options)
{
    return runImport([profile](const Progress& progress) { return readProfile(profile, progress); }, context, options);
}

QString exportFilePath(const QDateTime& moment)
{
    return QDir(QDir::tempPath()).filePath(u"vellumkeep_bookmarks_"_s + ExportService::timeStamp(moment) + u".html"_s);
}

QFuture<ExportOutcome> exportLibrary(ModelContext& context, QString path)
{
    auto snapshot = std::make_shared<const LibrarySnapshot>(
        LibrarySnapshot::take(context.items(), context.folders(), context.tags()));
    if (path.isEmpty())
        path = exportFilePath(snapshot->exportDate);
    auto promise = std::make_shared<QPromise<ExportOutcome>>();
    QFuture<ExportOutcome> future = promise->future();
    promise->start();
    promise->setProgressValueAndText(0, u"Exporting bookmarks"_s);
    ExportService::shared().worker().start([promise, snapshot, path] {
        BookmarkExportResult counts;
        counts.path = path;
        const BookmarkTree tree = treeOf(*snapshot, counts);
        promise->setProgressRange(0, int(std::min<qsizetype>(tree.links.size(), INT_MAX)));
        const Status written = ExportService::writeFileAtomically(path, [&](QIODevice& file) {
            return BookmarkFileWriter::write(tree, file, [&](qsizetype done, qsizetype) {
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
