#pragma once

#include "BookmarkError.h"
#include "BookmarkTree.h"

#include "model/Item.h"
#include "model/Result.h"

#include <QList>
#include <QString>

#include <memory>
#include <vector>

class ModelContext;

struct BookmarkImportOptions {
    // Import links whose URL the library (or the file) already has.
    bool keepDuplicates = false;
};

// What an import did.
struct BookmarkImportResult {
    qsizetype itemsAdded = 0;
    qsizetype foldersCreated = 0;
    qsizetype tagsCreated = 0;
    qsizetype duplicatesSkipped = 0;
    qsizetype unsupportedSkipped = 0;
    bool operator==(const BookmarkImportResult&) const = default;
};

// Turns bookmarks into library records, in two steps: `prepare` works off
// the main thread (the slow part: URL parsing, item types, titles, and the
// items themselves, which no context knows yet), `apply` files the items,
// tags them and inserts them on the main thread in one synchronous step,
// all or nothing.
namespace BookmarkImport {

// URLs longer than this are no links a browser would keep.
constexpr qsizetype kMaxUrlLength = 65536;

struct PreparedLink {
    // Made as item creation makes it: type, URL, the title (the host, or
    // "Untitled", when the bookmark has none), the host as source domain, the
    // note. Folder, tags and dates are the main thread's part.
    std::unique_ptr<Item> item;
    QStringList tags;
    qsizetype folder = -1;
    QString duplicateKey;
    std::optional<qint64> addDate;
    std::optional<qint64> lastModified;
};

struct Prepared {
    QList<BookmarkTree::Folder> folders;
    // In the order of the source, in the batches they were prepared in.
    std::vector<std::vector<PreparedLink>> links;
    // javascript:, place:, data: and about: links, and links without a usable URL.
    qsizetype unsupported = 0;
};

// Prepares links on the thread pool, also while they are still being read:
// add() hands a batch over and returns at once, finish() waits for every
// batch. Any one thread at a time; destroying it waits for the batches.
class Preparer {
public:
    Preparer();
    ~Preparer();
    Preparer(const Preparer&) = delete;
    Preparer& operator=(const Preparer&) = delete;

    void add(QList<BookmarkTree::Link> links);
    // The tree's folders, and its links after those added.
    Prepared finish(BookmarkTree tree);

private:
    struct HostTables;
    struct Batch;
    std::unique_ptr<HostTables> m_hosts;
    std::vector<std::unique_ptr<Batch>> m_batches;
};

Prepared prepare(BookmarkTree tree);

// A link is a duplicate of another with the same URL after lower-casing the
// scheme and the host and dropping the fragment.
QString duplicateKey(const QString& url);

// Adds the prepared items (taking them out of `prepared`), with the dates of
// the bookmark (now when it has none) and the tags; folders go into a
// folder of the same name at the same place when the library has one, and
// tags are matched by name whatever the case (new ones are blue). Folders
// without an imported link are not made. Saves; when the save fails, the
// records made are taken out again and the library is as it was.
Result<BookmarkImportResult, BookmarkError> apply(Prepared& prepared, ModelContext& context,
                                                  const BookmarkImportOptions& options);

} // namespace BookmarkImport
