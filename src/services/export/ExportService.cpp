#include "ExportService.h"

#include "EncryptedBackup.h"
#include "ExportDocumentWriter.h"

#include "model/AppConstants.h"
#include "model/Item.h"
#include "model/RecordContextAccess.h"
#include "services/security/SecurityService.h"
#include "store/BlobReader.h"
#include "store/LibraryStore.h"
#include "store/ModelContext.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QtConcurrent>

#include <openssl/crypto.h>

#include <cerrno>
#include <cstring>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Pictures from the store through the worker's own connection.
ExportService::PictureReader readerFor(const std::shared_ptr<BlobReader>& blobs)
{
    if (!blobs)
        return {};
    return [blobs](const QUuid& id, BlobKind kind) { return blobs->read(id, kind); };
}

// Saving first puts every picture held in memory into the file, so the
// worker's reader, begun right after, sees exactly the records of the snapshot.
Result<std::shared_ptr<BlobReader>> openPictures(ModelContext& context)
{
    using R = Result<std::shared_ptr<BlobReader>>;
    if (Status saved = context.save(); !saved)
        return R::failure(saved.error());
    auto reader = BlobReader::open(context.storePath());
    if (!reader)
        return R::failure(reader.error());
    return R(std::shared_ptr<BlobReader>(std::move(reader).value()));
}

// The library as its file holds it, read on the worker through a connection
// of its own, so the window's thread copies nothing. Used where the context
// saves in the background: its changes are saved first.
Result<LibrarySnapshot> snapshotFromStore(const QString& storePath)
{
    using R = Result<LibrarySnapshot>;
    auto store = LibraryStore::open(storePath);
    if (!store)
        return R::failure(store.error());
    auto loaded = store.value()->load();
    if (!loaded)
        return R::failure(loaded.error());
    LoadedLibrary& lib = loaded.value();
    auto pointers = [](auto& owned) {
        QList<typename std::decay_t<decltype(owned)>::value_type::pointer> list;
        list.reserve(qsizetype(owned.size()));
        for (auto& record : owned)
            list.append(record.get());
        return list;
    };
    LibrarySnapshot snapshot = LibrarySnapshot::take(pointers(lib.items), pointers(lib.folders), pointers(lib.tags));
    // Every record goes at once: no record needs to leave the others' lists.
    for (auto& item : lib.items)
        RecordContextAccess::forgetLinks(*item);
    for (auto& folder : lib.folders)
        RecordContextAccess::forgetLinks(*folder);
    for (auto& tag : lib.tags)
        RecordContextAccess::forgetLinks(*tag);
    return R(std::move(snapshot));
}

// Runs `write` on the worker with a snapshot of the library: taken on this
// thread from the records, or, where the context saves in the background,
// after its changes are saved, on the worker from the file.
QFuture<ExportService::WriteResult> withSnapshot(
    ModelContext& context, QThreadPool& worker, bool withPictures,
    std::function<ExportService::WriteResult(const LibrarySnapshot&, const std::shared_ptr<BlobReader>&)> write)
{
    using WriteResult = ExportService::WriteResult;
    if (!context.savesInBackground()) {
        std::shared_ptr<BlobReader> blobs;
        if (withPictures) {
            auto opened = openPictures(context);
            if (!opened)
                return QtFuture::makeReadyFuture(WriteResult::failure(opened.error()));
            blobs = std::move(opened).value();
        }
        auto snapshot = std::make_shared<const LibrarySnapshot>(
            LibrarySnapshot::take(context.items(), context.folders(), context.tags()));
        return QtConcurrent::run(&worker, [snapshot, blobs, write] { return write(*snapshot, blobs); });
    }
    auto promise = std::make_shared<QPromise<WriteResult>>();
    promise->start();
    const QString storePath = context.storePath();
    context.saveInBackground([promise, storePath, &worker, withPictures, write](const Status& saved) {
        auto finish = [promise](const WriteResult& result) {
            promise->addResult(result);
            promise->finish();
        };
        if (!saved)
            return finish(WriteResult::failure(saved.error()));
        (void)QtConcurrent::run(&worker, [storePath, withPictures, write, finish] {
            // The pictures' reader starts its read first; whatever the
            // snapshot holds was committed by then or later.
            std::shared_ptr<BlobReader> blobs;
            if (withPictures) {
                auto reader = BlobReader::open(storePath);
                if (!reader)
                    return finish(WriteResult::failure(reader.error()));
                blobs = std::shared_ptr<BlobReader>(std::move(reader).value());
            }
            auto snapshot = snapshotFromStore(storePath);
            if (!snapshot)
                return finish(WriteResult::failure(snapshot.error()));
            finish(write(snapshot.value(), blobs));
        });
    });
    return promise->future();
}

// OpenSSL keeps per-thread state (random generators, error queue) until the
// thread ends; the worker thread lives on, so a job that used OpenSSL lets go
// of it when it ends. The next job builds it again.
struct CryptoThreadState {
    CryptoThreadState() = default;
    CryptoThreadState(const CryptoThreadState&) = delete;
    CryptoThreadState& operator=(const CryptoThreadState&) = delete;
    ~CryptoThreadState() { OPENSSL_thread_stop(); }
};

ExportService::Written counts(const LibrarySnapshot& snapshot, const QString& path)
{
    return {path, snapshot.items.size(), snapshot.folders.size(), snapshot.tags.size()};
}

// A path the user chose is replaced atomically; without one the file gets a
// new name of its own in the temporary folder.
ExportService::WriteResult writeTo(const QString& chosen, const QString& defaultPath, const LibrarySnapshot& snapshot,
                                   const std::function<Status(QIODevice&)>& body)
{
    using WriteResult = ExportService::WriteResult;
    if (chosen.isEmpty()) {
        auto written = ExportService::writeNewFile(defaultPath, body);
        if (!written)
            return WriteResult::failure(written.error());
        return counts(snapshot, written.value());
    }
    if (Status written = ExportService::writeFileAtomically(chosen, body); !written)
        return WriteResult::failure(written.error());
    return counts(snapshot, chosen);
}

} // namespace

ExportService& ExportService::shared()
{
    static ExportService s_shared;
    return s_shared;
}

ExportService::ExportService()
{
    // One job at a time, in the order they were started.
    m_worker.setMaxThreadCount(1);
}

ExportService::~ExportService()
{
    m_worker.waitForDone();
}

Status ExportService::writeDocument(const LibrarySnapshot& snapshot, bool includeImages, const PictureReader& pictures,
                                    QIODevice& device, const Progress& progress, bool complete)
{
    ExportDocumentWriter writer(&device);
    writer.begin(AppConstants::appVersion(), ExportData::formatDate(snapshot.exportDate));
    for (const auto& folder : snapshot.folders)
        writer.add(LibrarySnapshot::record(folder));
    const qsizetype total = snapshot.items.size();
    for (qsizetype i = 0; i < total && !writer.hasFailed(); ++i) {
        const LibrarySnapshot::ItemValues& values = snapshot.items[i];
        ExportedItem item = LibrarySnapshot::record(values, complete);
        if (includeImages && pictures) {
            if (values.hasImage) {
                auto bytes = pictures(values.id, BlobKind::image);
                if (!bytes)
                    return Status::failure(bytes.error());
                item.imageData = std::move(bytes).value();
            }
            if (values.hasThumbnail) {
                auto bytes = pictures(values.id, BlobKind::thumbnail);
                if (!bytes)
                    return Status::failure(bytes.error());
                item.thumbnailData = std::move(bytes).value();
            }
        }
        writer.add(item);
        if (progress)
            progress(i + 1, total);
    }
    for (const auto& tag : snapshot.tags)
        writer.add(LibrarySnapshot::record(tag));
    return writer.finish(ExportData::kVersion.toString());
}

QByteArray ExportService::exportJSON(const QList<Item*>& items, const QList<Folder*>& folders, const QList<Tag*>& tags,
                                     bool includeImages, bool complete)
{
    const LibrarySnapshot snapshot = LibrarySnapshot::take(items, folders, tags);
    QHash<QUuid, const Item*> byId;
    if (includeImages) {
        for (const Item* item : items)
            byId.insert(item->id(), item);
    }
    const PictureReader pictures = [&](const QUuid& id, BlobKind kind) -> Result<std::optional<QByteArray>> {
        const Item* item = byId.value(id);
        if (!item)
            return std::optional<QByteArray>();
        return kind == BlobKind::image ? item->imageData() : item->thumbnailData();
    };
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    // Writing to memory does not fail.
    (void)writeDocument(snapshot, includeImages, pictures, buffer, {}, complete);
    return bytes;
}

Result<SymmetricKey, ImportError> ExportService::deriveBackupKey(const QString& passphrase, QByteArrayView salt,
                                                                 const SecurityService::KeyDerivation& derivation)
{
    using R = Result<SymmetricKey, ImportError>;
    auto key = SecurityService::keyFromPassphrase(passphrase, salt, derivation);
    if (!key)
        return R::failure(ImportError::invalidPassphrase());
    return R(key.value());
}

QString ExportService::timeStamp(const QDateTime& moment)
{
    QString stamp = QLocale().toString(moment.toLocalTime(), QLocale::ShortFormat);
    stamp.replace(u'/', u'-').replace(u':', u'-').replace(u' ', u'_');
    return stamp;
}

QString ExportService::exportFilePath(const QDateTime& moment)
{
    return QDir(QDir::tempPath()).filePath(u"vellumkeep_export_"_s + timeStamp(moment) + u".json"_s);
}

QString ExportService::backupFilePath(const QDateTime& moment)
{
    return QDir(QDir::tempPath()).filePath(u"vellumkeep_backup_"_s + timeStamp(moment) + u".vkbackup"_s);
}

Status ExportService::writeFileAtomically(const QString& path, const std::function<Status(QIODevice&)>& body)
{
    QSaveFile file(path);
    // The writers buffer on their own.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Status::failure(u"Cannot write “%1”: %2"_s.arg(QDir::toNativeSeparators(path), file.errorString()));
    if (Status written = body(file); !written) {
        file.cancelWriting();
        return Status::failure(u"Cannot write “%1”: %2"_s.arg(QDir::toNativeSeparators(path), written.error()));
    }
    // Before the rename, so the library's contents are never readable by others.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!file.commit())
        return Status::failure(u"Cannot write “%1”: %2"_s.arg(QDir::toNativeSeparators(path), file.errorString()));
    return {};
}

Result<QString> ExportService::writeNewFile(const QString& path, const std::function<Status(QIODevice&)>& body)
{
    using R = Result<QString>;
    const QFileInfo target(path);
    auto failed = [&path](const QString& why) {
        return R::failure(u"Cannot write “%1”: %2"_s.arg(QDir::toNativeSeparators(path), why));
    };
    // QTemporaryFile creates its file exclusively (O_EXCL) with mode 0600.
    QTemporaryFile temporary(target.dir().filePath(u".vellumkeep_XXXXXX"_s));
    if (!temporary.open())
        return failed(temporary.errorString());
    if (Status written = body(temporary); !written)
        return failed(written.error());
    if (!temporary.flush() || ::fsync(temporary.handle()) != 0)
        return failed(temporary.errorString());
    // A hard link never replaces what is there and never follows a link
    // planted under the name; the temporary name goes when `temporary` does.
    const QByteArray from = QFile::encodeName(temporary.fileName());
    const QString stem = target.completeBaseName();
    const QString suffix = target.suffix().isEmpty() ? QString() : u"."_s + target.suffix();
    for (int n = 1; n <= 1000; ++n) {
        const QString candidate =
            target.dir().filePath(n == 1 ? target.fileName() : stem + u"_"_s + QString::number(n) + suffix);
        if (::link(from.constData(), QFile::encodeName(candidate).constData()) == 0)
            return R(candidate);
        if (errno != EEXIST)
            return failed(QString::fromLocal8Bit(std::strerror(errno)));
    }
    return failed(u"too many files of that name"_s);
}

QFuture<ExportService::WriteResult> ExportService::exportLibrary(ModelContext& context, bool includeImages,
                                                                 QString path, Progress progress)
{
    return withSnapshot(context, m_worker, includeImages,
                        [path, includeImages, progress](const LibrarySnapshot& snapshot,
                                                        const std::shared_ptr<BlobReader>& blobs) -> WriteResult {
                            const PictureReader pictures = readerFor(blobs);
                            return writeTo(path, exportFilePath(snapshot.exportDate), snapshot, [&](QIODevice& file) {
                                return writeDocument(snapshot, includeImages, pictures, file, progress);
                            });
                        });
}

QFuture<ExportService::WriteResult> ExportService::backupLibrary(ModelContext& context, QString passphrase,
                                                                 QString path, Progress progress)
{
    // A backup always carries the pictures.
    return withSnapshot(context, m_worker, true,
                        [path, passphrase, progress](const LibrarySnapshot& snapshot,
                                                     const std::shared_ptr<BlobReader>& blobs) mutable -> WriteResult {
                            const CryptoThreadState cryptoState;
                            const PictureReader pictures = readerFor(blobs);
                            WriteResult written =
                                writeTo(path, backupFilePath(snapshot.exportDate), snapshot, [&](QIODevice& file) {
                                    return EncryptedBackup::write(file, passphrase, [&](QIODevice& sealed) {
                                        return writeDocument(snapshot, true, pictures, sealed, progress, true);
                                    });
                                });
                            SecurityService::wipe(passphrase);
                            return written;
                        });
}
