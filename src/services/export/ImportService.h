#pragma once

#include "ExportData.h"
#include "ImportError.h"

#include "model/Folder.h"
#include "model/Item.h"
#include "model/Result.h"
#include "model/Tag.h"

#include <QByteArray>
#include <QFuture>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class ModelContext;

// Reads export documents and encrypted backups back into the library. An
// import only adds: every tag, folder and item of the document becomes a new
// record with a new id and new dates; the document's ids only rebuild the
// links inside the document.
//
// All or nothing: no automatic save runs until every new record is in the
// context, and one transaction saves them. When the save fails, exactly the inserted records are taken
// out again; the library is then as it was, on disk and in memory, and
// changes the user had pending stay pending.
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

    // The same in steps, so that the work stays off the main thread: the
    // records are built and linked on any thread, inserted on the main
    // thread a slice per event-loop turn (automatic saves wait meanwhile),
    // and saved together by the context's writer thread. A failed save
    // takes exactly the inserted records out again.
    struct Records {
        std::vector<std::unique_ptr<Tag>> tags;
        std::vector<std::unique_ptr<Folder>> folders;
        std::vector<std::unique_ptr<Item>> items;
        ImportResult counts;
    };
    static std::shared_ptr<Records> build(const ExportData& data, Mode mode);
    // `done` runs on the main thread once the records are saved or taken out.
    static void insertAndSave(std::shared_ptr<Records> records, ModelContext& context,
                              std::function<void(const ImportOutcome&)> done);

    // Decoding and records on the calling (main) thread.
    static ImportOutcome importJSON(const QByteArray& bytes, ModelContext& context);
    static ImportOutcome importBackup(const QByteArray& bytes, const QString& passphrase, ModelContext& context);

    // Decoding on the export service's worker, records on the main thread;
    // the future finishes on the main thread.
    static QFuture<ImportOutcome> importJSONAsync(QByteArray bytes, ModelContext& context);
    static QFuture<ImportOutcome> importBackupAsync(QByteArray bytes, QString passphrase, ModelContext& context);

private:
    struct Inserted {
        QList<Tag*> tags;
        QList<Folder*> folders;
        QList<Item*> items;
    };
    static Inserted insert(Records& records, ModelContext& context);
    static void takeOut(const Inserted& inserted, ModelContext& context);
};
