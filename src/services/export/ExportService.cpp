#include "ExportService.h"

#include "EncryptedBackup.h"
#include "ExportDocumentWriter.h"

#include "model/AppConstants.h"
#include "model/Item.h"
#include "services/security/SecurityService.h"
#include "store/BlobReader.h"
#include "store/ModelContext.h"

#include <QBuffer>
#include <QDir>
#include <QLocale>
#include <QSaveFile>
#include <QStringEncoder>
#include <QtConcurrent>

#include <openssl/crypto.h>

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
                                    QIODevice& device, const Progress& progress)
{
    ExportDocumentWriter writer(&device);
    writer.begin(AppConstants::appVersion(), ExportData::formatDate(snapshot.exportDate));
    for (const auto& folder : snapshot.folders)
        writer.add(LibrarySnapshot::record(folder));
    const qsizetype total = snapshot.items.size();
    for (qsizetype i = 0; i < total && !writer.hasFailed(); ++i) {
        const LibrarySnapshot::ItemValues& values = snapshot.items[i];
        ExportedItem item = LibrarySnapshot::record(values);
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
                                     bool includeImages)
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
    (void)writeDocument(snapshot, includeImages, pictures, buffer);
    return bytes;
}

Result<SymmetricKey, ImportError> ExportService::deriveBackupKey(const QString& passphrase, QByteArrayView salt)
{
    using R = Result<SymmetricKey, ImportError>;
    QStringEncoder toUtf8(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    QByteArray utf8 = toUtf8(passphrase);
    if (toUtf8.hasError()) {
        SecurityService::wipe(utf8);
        return R::failure(ImportError::invalidPassphrase());
    }
    std::optional<QByteArray> bytes = SecurityService::hkdfSha256(utf8, salt, kBackupKeyInfo, SymmetricKey::kSize);
    SecurityService::wipe(utf8);
    if (!bytes)
        return R::failure(ImportError::invalidPassphrase());
    std::optional<SymmetricKey> key = SymmetricKey::fromBytes(*bytes);
    SecurityService::wipe(*bytes);
    if (!key)
        return R::failure(ImportError::invalidPassphrase());
    return R(*key);
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
    if (!file.commit())
        return Status::failure(u"Cannot write “%1”: %2"_s.arg(QDir::toNativeSeparators(path), file.errorString()));
    return {};
}

QFuture<ExportService::WriteResult> ExportService::exportLibrary(ModelContext& context, bool includeImages,
                                                                 QString path, Progress progress)
{
    std::shared_ptr<BlobReader> blobs;
    if (includeImages) {
        auto opened = openPictures(context);
        if (!opened)
            return QtFuture::makeReadyFuture(WriteResult::failure(opened.error()));
        blobs = std::move(opened).value();
    }
    auto snapshot = std::make_shared<const LibrarySnapshot>(
        LibrarySnapshot::take(context.items(), context.folders(), context.tags()));
    if (path.isEmpty())
        path = exportFilePath(snapshot->exportDate);
    return QtConcurrent::run(&m_worker, [snapshot, blobs, path, includeImages, progress]() -> WriteResult {
        const PictureReader pictures = readerFor(blobs);
        const Status written = writeFileAtomically(
            path, [&](QIODevice& file) { return writeDocument(*snapshot, includeImages, pictures, file, progress); });
        if (!written)
            return WriteResult::failure(written.error());
        return counts(*snapshot, path);
    });
}

QFuture<ExportService::WriteResult> ExportService::backupLibrary(ModelContext& context, QString passphrase,
                                                                 QString path, Progress progress)
{
    // A backup always carries the pictures.
    auto opened = openPictures(context);
    if (!opened)
        return QtFuture::makeReadyFuture(WriteResult::failure(opened.error()));
    std::shared_ptr<BlobReader> blobs = std::move(opened).value();
    auto snapshot = std::make_shared<const LibrarySnapshot>(
        LibrarySnapshot::take(context.items(), context.folders(), context.tags()));
    if (path.isEmpty())
        path = backupFilePath(snapshot->exportDate);
    return QtConcurrent::run(&m_worker, [snapshot, blobs, path, passphrase, progress]() mutable -> WriteResult {
        const CryptoThreadState cryptoState;
        const PictureReader pictures = readerFor(blobs);
        const Status written = writeFileAtomically(path, [&](QIODevice& file) {
            return EncryptedBackup::write(file, passphrase, [&](QIODevice& sealed) {
                return writeDocument(*snapshot, true, pictures, sealed, progress);
            });
        });
        SecurityService::wipe(passphrase);
        if (!written)
            return WriteResult::failure(written.error());
        return counts(*snapshot, path);
    });
}
