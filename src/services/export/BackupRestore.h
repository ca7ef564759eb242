#pragma once

#include "EncryptedBackup.h"
#include "ImportError.h"

#include "model/Result.h"

#include <QString>

class QIODevice;

// Restores an encrypted backup file into a library file as a stream: the
// backup is read, decrypted and decoded piece by piece, each item's pictures
// go to the library as soon as the item has been read, and everything is
// written inside one transaction that is committed only once the whole
// backup has proved authentic. Memory stays near a few records whatever the
// size of the backup, and a wrong passphrase, a damaged file, a failure or a
// killed process leave the library exactly as it was. The records equal
// those ImportService::importBackup makes (RecordBuilder, Mode::restore).
//
// Works on its own connection to the file: a context open on the same
// library learns of the records as of any other process's.
class BackupRestore {
public:
    using Progress = EncryptedBackup::Progress;
    static Result<ImportResult, ImportError> restore(QIODevice& backup, const QString& passphrase,
                                                     const QString& storePath, const Progress& progress = {});
};
