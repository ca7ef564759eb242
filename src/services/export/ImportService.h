#pragma once

#include "ExportData.h"
#include "ImportError.h"

#include "model/Result.h"

#include <QByteArray>
#include <QFuture>
#include <QString>

class ModelContext;

// Reads export documents and encrypted backups back into the library. An
// import only adds: every tag, folder and item of the document becomes a new
// record with a new id and new dates; the document's ids only rebuild the
// links inside the document.
//
// All or nothing: the new records are created, linked, inserted and saved
// in one synchronous step on the main thread (so the automatic save cannot
// run in between). When the save fails, exactly the inserted records are
// taken out again before anything else runs; the library is then as it was,
// on disk and in memory, and changes the user had pending stay pending.
class ImportService {
public:
    using ImportOutcome = Result<ImportResult, ImportError>;

    // Decoding; safe on any thread.
    static Result<ExportData, ImportError> decode(const QByteArray& bytes);
    static Result<ExportData, ImportError> decodeBackup(const QByteArray& bytes, const QString& passphrase);

    // An import adds the records as new ones (new ids, new dates, four
    // metadata fields) as the document format describes. A restore gives
    // back what the backup saved: every date, sort order, flag and field as
    // it was; only the ids are new, so restoring twice gives two copies.
    enum class Mode { import, restore };

    // Creates the document's records in the context and saves. Main thread.
    static ImportOutcome apply(const ExportData& data, ModelContext& context, Mode mode = Mode::import);

    // Decoding and records on the calling (main) thread.
    static ImportOutcome importJSON(const QByteArray& bytes, ModelContext& context);
    static ImportOutcome importBackup(const QByteArray& bytes, const QString& passphrase, ModelContext& context);

    // Decoding on the export service's worker, records on the main thread;
    // the future finishes on the main thread.
    static QFuture<ImportOutcome> importJSONAsync(QByteArray bytes, ModelContext& context);
    static QFuture<ImportOutcome> importBackupAsync(QByteArray bytes, QString passphrase, ModelContext& context);
};
