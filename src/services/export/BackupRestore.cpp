#include "BackupRestore.h"

#include "ExportDocumentReader.h"
#include "JsonText.h"
#include "RecordBuilder.h"

#include "store/StoreAppender.h"

#include <optional>
#include <utility>

Result<ImportResult, ImportError> BackupRestore::restore(QIODevice& backup, const QString& passphrase,
                                                         const QString& storePath, const Progress& progress)
{
    using R = Result<ImportResult, ImportError>;
    using Read = Result<void, ImportError>;
    // What the library could not take ends the document's reading.
    struct StoreFailure {
        QString message;
    };

    RecordBuilder records(ImportService::Mode::restore);
    std::unique_ptr<StoreAppender> appender;
    std::optional<ExportData> rest;
    const auto readDocument = [&](JsonReader::Source document) -> Read {
        // The write lock is taken only once the key has been made.
        auto begun = StoreAppender::begin(storePath);
        if (!begun)
            return Read::failure(ImportError::saveFailed(begun.error()));
        appender = std::move(begun).value();
        // Large pictures go to the library as soon as their text has been
        // read, decoded a slice at a time, under the id of the item that
        // comes next.
        QUuid nextId = QUuid::createUuid();
        const auto takePicture = [&](BlobKind kind, std::optional<QByteArrayView> base64) {
            if (!base64) {
                if (Status removed = appender->removePicture(nextId, kind); !removed)
                    throw StoreFailure{removed.error()};
                return false;
            }
            JsonText::Base64Slices slices(*base64);
            if (slices.size() < 0)
                return false;
            auto written = appender->writePicture(nextId, kind, slices.size(),
                                                  [&](QByteArrayView& piece) { return slices.next(piece); });
            if (!written)
                throw StoreFailure{written.error()};
            return written.value();
        };
        try {
            auto data = ExportDocumentReader::read(
                std::move(document),
                [&](ExportedItem&& exported, qsizetype) {
                    Item& item = records.add(exported, std::exchange(nextId, QUuid::createUuid()));
                    if (Status written = appender->writePictures(item); !written)
                        throw StoreFailure{written.error()};
                },
                takePicture);
            if (!data)
                return Read::failure(data.error());
            rest = std::move(data).value();
        } catch (const StoreFailure& failure) {
            return Read::failure(ImportError::saveFailed(failure.message));
        }
        return {};
    };
    if (Read opened = EncryptedBackup::open(backup, passphrase, readDocument, progress); !opened)
        return R::failure(opened.error());

    for (const ExportedTag& tag : std::as_const(rest->tags))
        records.add(tag);
    for (const ExportedFolder& folder : std::as_const(rest->folders))
        records.add(folder);
    records.finish();
    if (Status written = appender->writeRecords(records.folders(), records.tags(), records.items()); !written)
        return R::failure(ImportError::saveFailed(written.error()));
    if (Status committed = appender->commit(); !committed)
        return R::failure(ImportError::saveFailed(committed.error()));
    ImportResult result;
    result.success = true;
    result.items = qsizetype(records.items().size());
    result.folders = qsizetype(records.folders().size());
    result.tags = qsizetype(records.tags().size());
    return result;
}
