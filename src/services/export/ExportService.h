#pragma once

#include "ImportError.h"
#include "LibrarySnapshot.h"

#include "model/Record.h"
#include "model/Result.h"
#include "services/security/SecurityService.h"
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
                                 bool includeImages, bool complete = false);
    // Streams the document of a snapshot to a device. Any thread.
    // `complete` (backups) adds the fields only a restore reads.
    [[nodiscard]] static Status writeDocument(const LibrarySnapshot& snapshot, bool includeImages,
                                              const PictureReader& pictures, QIODevice& device,
                                              const Progress& progress = {}, bool complete = false);

    // The backup key from the passphrase and the salt: by default as "1.0"
    // backups make it, HKDF-SHA256 with the info "Vellumkeep_Backup";
    // EncryptedBackup passes scrypt for "2.0". invalidPassphrase when the
    // passphrase has no UTF-8 form.
    static Result<SymmetricKey, ImportError> deriveBackupKey(
        const QString& passphrase, QByteArrayView salt,
        const SecurityService::KeyDerivation& derivation = SecurityService::KeyDerivation::hkdf(kBackupKeyInfo));

    // The user's short date and time with "/" and ":" made "-" and plain
    // spaces "_": "3-14-25_9-26_AM".
    static QString timeStamp(const QDateTime& moment);
    // "vellumkeep_export_<stamp>.json" and "vellumkeep_backup_<stamp>.vkbackup"
    // in the system's temporary folder: the first name a file written
    // without a path is given (see writeNewFile).
    static QString exportFilePath(const QDateTime& moment);
    static QString backupFilePath(const QDateTime& moment);

    // Runs `body` on a temporary file next to `path` and puts it in place of
    // any file of that name only when everything succeeded; otherwise
    // nothing is left behind.
    // The file is private to the user (mode 0600).
    [[nodiscard]] static Status writeFileAtomically(const QString& path, const std::function<Status(QIODevice&)>& body);
    // Writes a new file under `path`, or, when a file or link of that name
    // already exists, under the same name with "_2", "_3", … before its
    // extension: never through, and never in place of, anything already
    // there (the temporary folder is shared with every other user). The
    // file is created exclusively with mode 0600, and appears complete or
    // not at all. Returns the path it was given.
    static Result<QString> writeNewFile(const QString& path, const std::function<Status(QIODevice&)>& body);

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
