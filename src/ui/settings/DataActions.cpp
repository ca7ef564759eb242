#include "DataActions.h"

#include "BookmarkImportSheet.h"
#include "ExportSheet.h"
#include "JobProgress.h"
#include "PassphrasePrompt.h"

#include "app/AppError.h"
#include "app/AppState.h"
#include "services/bookmarks/BookmarkService.h"
#include "services/export/ExportService.h"
#include "services/export/ImportService.h"
#include "store/ModelContext.h"
#include "ui/Dialogs.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QPromise>
#include <QtConcurrent>

using namespace Qt::StringLiterals;

namespace {

// Far more than any library's export with its pictures; a bound, so that a
// wrong file cannot take all memory.
constexpr qint64 kMaxDocumentBytes = 4LL * 1024 * 1024 * 1024;
constexpr int kProgressScale = 1000;

using Decoded = Result<ExportData, ImportError>;
using Built = Result<std::shared_ptr<ImportService::Records>, ImportError>;

QString megabytes(qint64 bytes)
{
    return QLocale().toString(double(bytes) / 1e6, 'f', 1);
}

// Reads the whole document on the worker, in slices, so the dialog can count
// and a cancel takes effect between slices. Empty when canceled or failed.
template <typename T>
std::optional<QByteArray> readDocument(const QString& path, QPromise<T>& promise)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        promise.addResult(T::failure(ImportError::decodingFailed(file.errorString())));
        return std::nullopt;
    }
    const qint64 size = file.size();
    if (size > kMaxDocumentBytes) {
        promise.addResult(T::failure(ImportError::decodingFailed(u"The file is larger than 4 GiB."_s)));
        return std::nullopt;
    }
    QByteArray bytes;
    bytes.reserve(size);
    constexpr qint64 kSlice = 4 * 1024 * 1024;
    while (!file.atEnd()) {
        if (promise.isCanceled())
            return std::nullopt;
        const qsizetype before = bytes.size();
        bytes.resize(before + qsizetype(std::min(kSlice, std::max<qint64>(size - before, 1))));
        const qint64 got = file.read(bytes.data() + before, bytes.size() - before);
        if (got < 0) {
            promise.addResult(T::failure(ImportError::decodingFailed(file.errorString())));
            return std::nullopt;
        }
        bytes.resize(before + got);
        if (got == 0)
            break;
        if (bytes.size() > kMaxDocumentBytes) {
            promise.addResult(T::failure(ImportError::decodingFailed(u"The file is larger than 4 GiB."_s)));
            return std::nullopt;
        }
        if (size > 0) {
            promise.setProgressValueAndText(int(std::min<qint64>(bytes.size(), size) * (kProgressScale / 2) / size),
                                            u"%1 of %2 MB read"_s.arg(megabytes(bytes.size()), megabytes(size)));
        }
    }
    return bytes;
}

} // namespace

DataActions::DataActions(ModelContext* context, AppState* state, QWidget* window)
    : QObject(window), m_context(context), m_state(state), m_window(window)
{}

void DataActions::begin()
{
    m_busy = true;
    Q_EMIT busyChanged(true);
}

void DataActions::end(bool succeeded)
{
    m_busy = false;
    Q_EMIT busyChanged(false);
    Q_EMIT jobFinished(succeeded);
}

void DataActions::exportData()
{
    auto* sheet = new ExportSheet(m_context, m_window);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->open();
}

void DataActions::importData()
{
    const QString path = Dialogs::current().openFile(m_window, u"Import Data"_s, {u"JSON files (*.json)"_s});
    if (!path.isEmpty())
        importFile(path);
}

void DataActions::restoreBackup()
{
    const QString path =
        Dialogs::current().openFile(m_window, u"Restore Backup"_s, {u"Folionest backups (*.vkbackup)"_s});
    if (path.isEmpty())
        return;
    auto* prompt = new PassphrasePrompt(u"Restore Backup"_s, u"Backup Passphrase"_s,
                                        u"Enter the passphrase this backup was made with. The backup's items, "
                                        u"folders and tags are added to the library."_s,
                                        u"Restore"_s, m_window);
    prompt->setObjectName(u"restoreSheet"_s);
    prompt->setAttribute(Qt::WA_DeleteOnClose);
    connect(prompt, &PassphrasePrompt::passphraseEntered, this,
            [this, path](const QString& passphrase) { restoreFile(path, passphrase); });
    prompt->open();
}

void DataActions::importFile(const QString& path)
{
    decodeAndApply(path, {}, false);
}

void DataActions::restoreFile(const QString& path, const QString& passphrase)
{
    decodeAndApply(path, passphrase, true);
}

void DataActions::decodeAndApply(const QString& path, const QString& passphrase, bool restoring)
{
    if (m_busy)
        return;
    begin();
    const ImportService::Mode mode = restoring ? ImportService::Mode::restore : ImportService::Mode::import;
    // Reading, decrypting, parsing and building the records all happen on
    // the worker; the main thread only inserts them and hands them to the
    // context's writer thread.
    QFuture<Built> built = QtConcurrent::run(
        &ExportService::shared().worker(),
        [path, restoring, mode](QPromise<Built>& promise, QString secret) {
            promise.setProgressRange(0, kProgressScale);
            std::optional<QByteArray> bytes = readDocument(path, promise);
            if (bytes && !promise.isCanceled()) {
                promise.setProgressValueAndText(kProgressScale / 2, restoring ? u"Decrypting and reading the backup"_s
                                                                              : u"Reading the document"_s);
                Decoded data = restoring ? ImportService::decodeBackup(*bytes, secret) : ImportService::decode(*bytes);
                bytes.reset();
                if (!data) {
                    promise.addResult(Built::failure(data.error()));
                } else if (!promise.isCanceled()) {
                    promise.setProgressValueAndText(
                        kProgressScale * 3 / 4, u"Preparing %1 items"_s.arg(QLocale().toString(data->items.size())));
                    promise.addResult(Built(ImportService::build(data.value(), mode)));
                }
            }
            SecurityService::wipe(secret);
        },
        passphrase);
    auto* progress = new JobProgress(m_window, QFuture<void>(built), restoring ? u"Restoring…"_s : u"Importing…"_s,
                                     u"items"_s, true);
    connect(progress, &JobProgress::finished, this, [this, built, progress, restoring] {
        // Called off before the records were inserted: nothing changed.
        if (built.isCanceled() || progress->wasCanceled() || built.resultCount() == 0)
            return end(false);
        Built records = built.result();
        if (!records) {
            m_state->showError(AppError::importError(records.error().description()));
            return end(false);
        }
        // The save cannot be called off: it is one transaction that either
        // lands whole or not at all.
        auto saving = std::make_shared<QPromise<void>>();
        saving->start();
        auto* saveProgress = new JobProgress(m_window, saving->future(), restoring ? u"Restoring…"_s : u"Importing…"_s,
                                             u"items"_s, false);
        saveProgress->reporter()(0, 0);
        QPointer<DataActions> self(this);
        ImportService::insertAndSave(
            records.value(), *m_context, [self, saving](const ImportService::ImportOutcome& outcome) {
                saving->finish();
                if (!self)
                    return;
                if (!outcome)
                    self->m_state->showError(AppError::importError(outcome.error().description()));
                self->end(bool(outcome));
            });
    });
}

void DataActions::importBookmarks()
{
    auto* sheet = new BookmarkImportSheet(m_window);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    connect(sheet, &BookmarkImportSheet::fileChosen, this, &DataActions::importBookmarkFile);
    connect(sheet, &BookmarkImportSheet::profileChosen, this, &DataActions::importBookmarkProfile);
    sheet->open();
}

namespace {

template <typename Outcome>
void watchBookmarks(QWidget* window, QFuture<Outcome> future, const QString& what, bool cancellable,
                    std::function<void(const Outcome*)> done)
{
    auto* progress = new JobProgress(window, QFuture<void>(future), what, u"bookmarks"_s, cancellable);
    QObject::connect(progress, &JobProgress::finished, progress, [future, done] {
        if (future.isCanceled() || future.resultCount() == 0)
            return done(nullptr);
        const Outcome outcome = future.result();
        done(&outcome);
    });
}

} // namespace

namespace {

// The end of either bookmark import: one alert on failure, then `end`.
void watchBookmarkImport(QWidget* window, QFuture<BookmarkService::ImportOutcome> future, AppState* state,
                         std::function<void(bool)> end)
{
    watchBookmarks<BookmarkService::ImportOutcome>(
        window, std::move(future), u"Importing Bookmarks…"_s, true,
        [state, end = std::move(end)](const BookmarkService::ImportOutcome* outcome) {
            if (outcome && !*outcome)
                state->showError(AppError::importError(outcome->error().description()));
            end(outcome && *outcome);
        });
}

BookmarkImportOptions importOptions(bool keepDuplicates)
{
    BookmarkImportOptions options;
    options.keepDuplicates = keepDuplicates;
    return options;
}

} // namespace

void DataActions::importBookmarkFile(const QString& path, bool keepDuplicates)
{
    if (m_busy)
        return;
    begin();
    watchBookmarkImport(m_window, BookmarkService::importFile(path, *m_context, importOptions(keepDuplicates)), m_state,
                        [this](bool succeeded) { end(succeeded); });
}

void DataActions::importBookmarkProfile(const BrowserProfile& profile, bool keepDuplicates)
{
    if (m_busy)
        return;
    begin();
    watchBookmarkImport(m_window, BookmarkService::importProfile(profile, *m_context, importOptions(keepDuplicates)),
                        m_state, [this](bool succeeded) { end(succeeded); });
}

void DataActions::exportBookmarks()
{
    const QString proposed = QFileInfo(BookmarkService::exportFilePath(QDateTime::currentDateTime())).fileName();
    const QString path =
        Dialogs::current().saveFile(m_window, u"Export Bookmarks"_s, proposed, {u"Bookmark files (*.html)"_s});
    if (!path.isEmpty())
        exportBookmarksTo(path);
}

void DataActions::exportBookmarksTo(const QString& path)
{
    if (m_busy)
        return;
    begin();
    watchBookmarks<BookmarkService::ExportOutcome>(
        m_window, BookmarkService::exportLibrary(*m_context, path), u"Exporting Bookmarks…"_s, true,
        [this](const BookmarkService::ExportOutcome* outcome) {
            if (outcome && !*outcome)
                m_state->showError(AppError::exportError(outcome->error().description()));
            end(outcome && *outcome);
        });
}

void DataActions::deleteAllData()
{
    if (!Dialogs::current().confirm(m_window, u"Delete All Data?"_s,
                                    u"This will permanently delete all items, folders, and tags. This cannot be "
                                    u"undone."_s,
                                    u"Delete Everything"_s))
        return;
    deleteEverything();
}

void DataActions::deleteEverything()
{
    if (m_busy)
        return;
    begin();
    // One step: the records leave the context at once (views reset once) and
    // one transaction deletes every row; keychain, preferences and search
    // history are not touched.
    m_context->removeAll();
    QPointer<DataActions> self(this);
    m_context->saveInBackground([self](const Status& saved) {
        if (!self)
            return;
        if (!saved)
            self->m_state->showError(AppError::storageError(saved.error()));
        self->end(bool(saved));
    });
}
