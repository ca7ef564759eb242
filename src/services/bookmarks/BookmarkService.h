#pragma once

#include "BookmarkError.h"
#include "BookmarkImport.h"
#include "BrowserProfiles.h"

#include "model/Result.h"

#include <QDateTime>
#include <QFuture>
#include <QString>

class ModelContext;

// What a bookmark export wrote.
struct BookmarkExportResult {
    QString path;
    qsizetype bookmarks = 0;
    qsizetype folders = 0;
    // Items without a URL, which a bookmark file cannot hold.
    qsizetype withoutUrl = 0;
};

// Bookmarks in and out, for the window and the command-line tool.
//
// The work runs as the JSON import and export do: files and profiles are
// read and decoded on the export service's worker over plain values; the
// records are made in one synchronous step on the main thread, all or
// nothing. An export snapshots the records on the main thread and writes on
// the worker, atomically.
//
// The futures report progress (QFutureWatcher::progressValueChanged, within
// progressMinimum()..progressMaximum(), with a text saying what is being
// done) and can be canceled with QFuture::cancel() until the records are
// made: a canceled import changes nothing and a canceled export leaves no
// file. A canceled future has no result; any other finishes with one, on
// the main thread for imports and on the worker for exports.
namespace BookmarkService {

using ImportOutcome = Result<BookmarkImportResult, BookmarkError>;
using ExportOutcome = Result<BookmarkExportResult, BookmarkError>;
using TreeOutcome = Result<BookmarkTree, BookmarkError>;
// Progress of a read: bytes or records done out of a total; false stops.
using Progress = std::function<bool(qsizetype done, qsizetype total)>;

// Reading, on the calling thread. With `batches`, a file's links are handed
// on as they are read (see BookmarkFileReader::read).
TreeOutcome readFile(const QString& path, const Progress& progress = {},
                     const BookmarkTreeBuilder::LinkBatches& batches = {});
TreeOutcome readProfile(const BrowserProfile& profile, const Progress& progress = {});

QFuture<ImportOutcome> importFile(const QString& path, ModelContext& context, BookmarkImportOptions options = {});
QFuture<ImportOutcome> importProfile(const BrowserProfile& profile, ModelContext& context,
                                     BookmarkImportOptions options = {});

// Every item with a URL, in its folder, to a bookmark file at `path` (an
// empty path: "vellumkeep_bookmarks_<time>.html" in the temporary folder).
QFuture<ExportOutcome> exportLibrary(ModelContext& context, QString path = {});
QString exportFilePath(const QDateTime& moment);

} // namespace BookmarkService
