#pragma once

#include "BookmarkError.h"
#include "BookmarkTree.h"

#include "model/ItemType.h"
#include "model/Result.h"

#include <QList>
#include <QString>

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

// Turns a bookmark tree into library records, in two steps: `prepare` works
// on plain values only (any thread, the slow part: URL parsing, item types,
// titles), `apply` makes the records on the main thread in one synchronous
// step, all or nothing.
namespace BookmarkImport {

// URLs longer than this are no links a browser would keep.
constexpr qsizetype kMaxUrlLength = 65536;

struct PreparedLink {
    QString urlString; // as the item keeps it
    QString host;
    QString title; // the host, or "Untitled", when the bookmark has none
    std::optional<QString> note;
    QStringList tags;
    qsizetype folder = -1;
    ItemType type = ItemType::webLink;
    QString duplicateKey;
    std::optional<qint64> addDate;
    std::optional<qint64> lastModified;
};

} // namespace BookmarkImport

Q_DECLARE_TYPEINFO(BookmarkImport::PreparedLink, Q_RELOCATABLE_TYPE);

namespace BookmarkImport {

struct Prepared {
    QList<BookmarkTree::Folder> folders;
    QList<PreparedLink> links;
    // javascript:, place:, data: and about: links, and links without a usable URL.
    qsizetype unsupported = 0;
};

Prepared prepare(BookmarkTree tree);

// A link is a duplicate of another with the same URL after lower-casing the
// scheme and the host and dropping the fragment.
QString duplicateKey(const QString& url);

// Adds the links as items, as item creation makes them (type from the URL,
// the host as title when there is none), with the dates of the bookmark
// (now when it has none), the note and the tags; folders go into a folder
// of the same name at the same place when the library has one, and tags
// are matched by name whatever the case (new ones are blue). Folders
// without an imported link are not made. Saves; when the save fails, the
// records made are taken out again and the library is as it was.
Result<BookmarkImportResult, BookmarkError> apply(const Prepared& prepared, ModelContext& context,
                                                  const BookmarkImportOptions& options);

} // namespace BookmarkImport
