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

#include <QPointer>
#include <QtConcurrent>

#include <openssl/crypto.h>

using namespace Qt::StringLiterals;

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

ImportService::ImportOutcome ImportService::apply(const ExportData& data, ModelContext& context, Mode mode)
{
    // Every record is built and linked before the first insert; nothing here
    // can fail, and nothing touches a record the library already has.
    RecordBuilder records(mode);
    for (const ExportedTag& t : data.tags)
        records.add(t);
    for (const ExportedFolder& f : data.folders)
        records.add(f);
    for (const ExportedItem& i : data.items)
        (void)records.add(i);
    records.finish();
    auto& tags = records.tags();
    auto& folders = records.folders();
    auto& items = records.items();

    QList<Tag*> insertedTags;
    QList<Folder*> insertedFolders;
    QList<Item*> insertedItems;
    insertedTags.reserve(qsizetype(tags.size()));
    insertedFolders.reserve(qsizetype(folders.size()));
    insertedItems.reserve(qsizetype(items.size()));
    for (auto& tag : tags)
        insertedTags.append(context.insert(std::move(tag)));
    for (auto& folder : folders)
        insertedFolders.append(context.insert(std::move(folder)));
    for (auto& item : items)
        insertedItems.append(context.insert(std::move(item)));

    if (Status saved = context.save(); !saved) {
        // Never saved, so removing them writes nothing: the context is left
        // with what it had, including the user's own unsaved changes.
        for (Item* item : std::as_const(insertedItems))
            context.remove(item);
        for (Folder* folder : std::as_const(insertedFolders))
            context.remove(folder); // a folder already removed with its parent is skipped
        for (Tag* tag : std::as_const(insertedTags))
            context.remove(tag);
        return ImportOutcome::failure(ImportError::saveFailed(saved.error()));
    }
    ImportResult result;
    result.success = true;
    result.items = data.items.size();
    result.folders = data.folders.size();
    result.tags = data.tags.size();
    return result;
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
