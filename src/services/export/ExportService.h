#pragma once

#include "ImportError.h"
#include "LibrarySnapshot.h"

#include "model/Record.h"
#include "model/Result.h"
#include "services/security/SymmetricKey.h"

#include <QByteArray>
#include <QFuture>
#include <QList>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <optional>

class Folder;
class Item;
class ModelContext;
class QIODevice;
class Tag;

// Exports of the library: the JSON export document and the encrypted
// backup. The document is encoded on the service's own worker thread (one
// job at a time) over a snapshot of plain values taken on the main thread,
// and streamed to its file: pictures are read one at a time through a
// read-only connection of the worker's own, so memory does not grow with
// the library. Files are written atomically (a failed export leaves none).
class ExportService {
public:
    static constexpr QByteArrayView kBackupKeyInfo = "Vellumkeep_Backup";

    // The one instance of the process, created on first use.
    static ExportService& shared();
    ExportService();
    ~ExportService();
    ExportService(const ExportService&) = delete;
    ExportService& operator=(const ExportService&) = delete;

    // The serial worker of exports and import decoding.
    QThreadPool& worker() { return m_worker; }

    // Called on the worker with the number of items written so far.
    using Progress = std::function<void(qsizetype done, qsizetype total)>;
    // Bytes of an item's picture; none when it has none.
    using PictureReader = std::function<Result<std::optional<QByteArray>>(const QUuid& itemId, BlobKind kind)>;

    // The export document of these records, in memory, on the calling
    // thread (pictures are read through the records).
    static QByteArray exportJSON(const QList<Item*>& items, const QList<Folder*>& folders, const QList<Tag*>& tags,
                                 bool includeImages);
    // Streams the document of a snapshot to a device. Any thread.
    [[nodiscard]] static Status writeDocument(const LibrarySnapshot& snapshot, bool includeImages,
                                              const PictureReader& pictures, QIODevice& device,
                                              const Progress& progress = {});

    // HKDF-SHA256 over the passphrase's UTF-8 bytes with the salt and the
    // info "Vellumkeep_Backup", 32 bytes. invalidPassphrase when the
    // passphrase has no UTF-8 form.
    static Result<SymmetricKey, ImportError> deriveBackupKey(const QString& passphrase, QByteArrayView salt);

    // The user's short date and time with "/" and ":" made "-" and plain
    // spaces "_": "3-14-25_9-26_AM".
    static QString timeStamp(const QDateTime& moment);
    // "vellumkeep_export_<stamp>.json" and "vellumkeep_backup_<stamp>.vkbackup"
    // in the system's temporary folder.
    static QString exportFilePath(const QDateTime& moment);
    static QString backupFilePath(const QDateTime& moment);

    // Runs `body` on a temporary file next to `path` and puts it in place of
    // any file of that name only when everything succeeded; otherwise
    // nothing is left behind.
    [[nodiscard]] static Status writeFileAtomically(const QString& path, const std::function<Status(QIODevice&)>& body);

    struct Written {
        QString path;
        qsizetype items = 0;
        qsizetype folders = 0;
        qsizetype tags = 0;
    };
    using WriteResult = Result<Written>;
    // Writes every record of the context as an export document; an empty
    // path names the file after now in the temporary folder. Called on the
    // main thread; the future finishes on the worker.
    QFuture<WriteResult> exportLibrary(ModelContext& context, bool includeImages, QString path = {},
                                       Progress progress = {});
    // The same as an encrypted backup (pictures always included).
    QFuture<WriteResult> backupLibrary(ModelContext& context, QString passphrase, QString path = {},
                                       Progress progress = {});

private:
    QThreadPool m_worker;
};
