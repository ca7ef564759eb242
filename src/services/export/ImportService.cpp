#include "ImportService.h"

#include "EncryptedBackup.h"
#include "ExportDocumentReader.h"
#include "ExportService.h"
#include "RecordBuilder.h"

#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "services/security/SecurityService.h"
#include "store/ModelContext.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QtConcurrent>

#include <openssl/crypto.h>

using namespace Qt::StringLiterals;

namespace {

// What insertAndSave puts into the library per event-loop turn: at most so
// many records, and no more once so many milliseconds have passed.
constexpr size_t kInsertSlice = 2000;
constexpr qint64 kInsertSliceMs = 12;

} // namespace

Result<ExportData, ImportError> ImportService::decode(const QByteArray& bytes)
{
    return ExportDocumentReader::read(bytes);
}

Result<ExportData, ImportError> ImportService::decodeBackup(const QByteArray& bytes, const QString& passphrase)
{
    auto document = EncryptedBackup::open(bytes, passphrase);
    if (!document)
        return Result<ExportData, ImportError>::failure(document.error());
    auto data = ExportDocumentReader::read(document.value());
    SecurityService::wipe(document.value());
    return data;
}

std::shared_ptr<ImportService::Records> ImportService::build(const ExportData& data, Mode mode)
{
    // Every record is built and linked before the first insert; nothing here
    // can fail, and nothing touches a record the library already has.
    RecordBuilder builder(mode);
    for (const ExportedTag& t : data.tags)
        builder.add(t);
    for (const ExportedFolder& f : data.folders)
        builder.add(f);
    for (const ExportedItem& i : data.items)
        (void)builder.add(i);
    builder.finish();
    auto& tags = builder.tags();
    auto& folders = builder.folders();
    auto& items = builder.items();

    auto records = std::make_shared<Records>();
    records->tags = std::move(tags);
    records->folders = std::move(folders);
    records->items = std::move(items);
    records->counts.success = true;
    records->counts.items = data.items.size();
    records->counts.folders = data.folders.size();
    records->counts.tags = data.tags.size();
    return records;
}

ImportService::Inserted ImportService::insert(Records& records, ModelContext& context)
{
    Inserted inserted;
    inserted.tags.reserve(qsizetype(records.tags.size()));
    inserted.folders.reserve(qsizetype(records.folders.size()));
    inserted.items.reserve(qsizetype(records.items.size()));
    for (auto& tag : records.tags)
        inserted.tags.append(context.insert(std::move(tag)));
    for (auto& folder : records.folders)
        inserted.folders.append(context.insert(std::move(folder)));
    for (auto& item : records.items)
        inserted.items.append(context.insert(std::move(item)));
    records.tags.clear();
    records.folders.clear();
    records.items.clear();
    return inserted;
}

void ImportService::takeOut(const Inserted& inserted, ModelContext& context)
{
    // Never saved, so removing them writes nothing: the context is left
    // with what it had, including the user's own unsaved changes.
    for (Item* item : std::as_const(inserted.items))
        context.remove(item);
    for (Folder* folder : std::as_const(inserted.folders))
        context.remove(folder); // a folder already removed with its parent is skipped
    for (Tag* tag : std::as_const(inserted.tags))
        context.remove(tag);
}

ImportService::ImportOutcome ImportService::apply(const ExportData& data, ModelContext& context, Mode mode)
{
    const auto records = build(data, mode);
    const Inserted inserted = insert(*records, context);
    if (Status saved = context.save(); !saved) {
        takeOut(inserted, context);
        return ImportOutcome::failure(ImportError::saveFailed(saved.error()));
    }
    return records->counts;
}

void ImportService::insertAndSave(std::shared_ptr<Records> records, ModelContext& context,
                                  std::function<void(const ImportOutcome&)> done)
{
    // In slices, one per event-loop turn, so the window keeps drawing while
    // a hundred thousand records arrive; the automatic save waits until all
    // are in, and then one save writes them together.
    struct Job {
        std::shared_ptr<Records> records;
        Inserted inserted;
        size_t tags = 0;
        size_t folders = 0;
        size_t items = 0;
        std::function<void(const ImportOutcome&)> done;
    };
    auto job = std::make_shared<Job>();
    job->records = std::move(records);
    job->done = std::move(done);
    context.beginBatch();
    QPointer<ModelContext> target(&context);
    // Each turn's timer holds the step; a library closed meanwhile drops
    // its timers, and with them the records not yet inserted.
    auto step = std::make_shared<std::function<void()>>();
    *step = [job, target, weak = std::weak_ptr(step)] {
        if (!target)
            return;
        Records& r = *job->records;
        size_t budget = kInsertSlice;
        QElapsedTimer clock;
        clock.start();
        auto take = [&budget, &clock](auto& from, size_t& next, auto& into, ModelContext& library) {
            while (budget > 0 && next < from.size()) {
                into.append(library.insert(std::move(from[next++])));
                --budget;
                if (budget % 64 == 0 && clock.elapsed() >= kInsertSliceMs)
                    budget = 0;
            }
        };
        take(r.tags, job->tags, job->inserted.tags, *target);
        take(r.folders, job->folders, job->inserted.folders, *target);
        take(r.items, job->items, job->inserted.items, *target);
        if (job->items < r.items.size()) {
            if (auto self = weak.lock())
                QTimer::singleShot(0, target.data(), [self] { (*self)(); });
            return;
        }
        // Emptied, the record lists are still large blocks of the heap the
        // worker built them in: freeing them there keeps that heap's upkeep
        // off this thread.
        auto spent = std::make_shared<Records>();
        spent->tags = std::move(r.tags);
        spent->folders = std::move(r.folders);
        spent->items = std::move(r.items);
        ExportService::shared().worker().start([spent = std::move(spent)]() mutable { spent.reset(); });
        // The save gathers a hundred thousand records: in a turn of its own.
        QTimer::singleShot(0, target.data(), [job, target] {
            target->endBatch();
            target->saveInBackground([job, target](const Status& saved) {
                if (!saved) {
                    if (target)
                        takeOut(job->inserted, *target);
                    return job->done(ImportOutcome::failure(ImportError::saveFailed(saved.error())));
                }
                job->done(job->records->counts);
            });
        });
    };
    (*step)();
}

ImportService::ImportOutcome ImportService::importJSON(const QByteArray& bytes, ModelContext& context)
{
    auto data = decode(bytes);
    if (!data)
        return ImportOutcome::failure(data.error());
    return apply(data.value(), context);
}

ImportService::ImportOutcome ImportService::importBackup(const QByteArray& bytes, const QString& passphrase,
                                                         ModelContext& context)
{
    auto data = decodeBackup(bytes, passphrase);
    if (!data)
        return ImportOutcome::failure(data.error());
    return apply(data.value(), context, Mode::restore);
}

namespace {

QFuture<ImportService::ImportOutcome> applyOnMainThread(QFuture<Result<ExportData, ImportError>> decoded,
                                                        ModelContext& context, ImportService::Mode mode)
{
    QPointer<ModelContext> target(&context);
    return decoded.then(&context, [target, mode](Result<ExportData, ImportError> data) -> ImportService::ImportOutcome {
        if (!data)
            return ImportService::ImportOutcome::failure(data.error());
        if (!target)
            return ImportService::ImportOutcome::failure(ImportError::saveFailed(u"The library was closed."_s));
        return ImportService::apply(data.value(), *target, mode);
    });
}

} // namespace

QFuture<ImportService::ImportOutcome> ImportService::importJSONAsync(QByteArray bytes, ModelContext& context)
{
    return applyOnMainThread(
        QtConcurrent::run(&ExportService::shared().worker(), [bytes = std::move(bytes)] { return decode(bytes); }),
        context, Mode::import);
}

QFuture<ImportService::ImportOutcome> ImportService::importBackupAsync(QByteArray bytes, QString passphrase,
                                                                       ModelContext& context)
{
    return applyOnMainThread(QtConcurrent::run(&ExportService::shared().worker(),
                                               [bytes = std::move(bytes), passphrase]() mutable {
                                                   auto data = decodeBackup(bytes, passphrase);
                                                   SecurityService::wipe(passphrase);
                                                   // The worker thread lives on: let go of
                                                   // OpenSSL's per-thread state now.
                                                   OPENSSL_thread_stop();
                                                   return data;
                                               }),
                             context, Mode::restore);
}
