// Export, encrypted backup, import and restore of the whole library.
//
// The work runs where the application runs it: documents are encoded and
// decoded on the export service's worker, records are created here on the
// main thread. Long runs show their progress on standard error.

#include "Cli.h"
#include "CliPassphrase.h"
#include "CliProgress.h"

#include "services/export/BackupRestore.h"
#include "services/export/ExportService.h"
#include "services/export/ImportService.h"
#include "services/security/SecurityService.h"
#include "store/ModelContext.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace Cli {
namespace {

// Far more than any library's export with its pictures; a bound, so that a
// device without an end (or a wrong file) cannot take all memory.
constexpr qint64 kMaxDocumentBytes = 4LL * 1024 * 1024 * 1024;

constexpr int kMinimumPassphraseLength = 8;

QString plural(qsizetype n, const char* one, const char* many)
{
    return u"%1 %2"_s.arg(n).arg(QLatin1StringView(n == 1 ? one : many));
}

QString countsText(qsizetype items, qsizetype folders, qsizetype tags)
{
    return plural(items, "item", "items") + u", "_s + plural(folders, "folder", "folders") + u", "_s
           + plural(tags, "tag", "tags");
}

int finishWrite(Session& s, const ExportService::WriteResult& written, const char* what)
{
    if (!written)
        throw Failed{Failure, written.error()};
    const ExportService::Written& w = written.value();
    s.out() << QDir::toNativeSeparators(w.path) << '\n'
            << what << ' ' << countsText(w.items, w.folders, w.tags) << ".\n";
    return Success;
}

// An output path given on the command line, checked before anything runs.
QString outputPath(const std::optional<QString>& option)
{
    if (!option)
        return {};
    if (option->isEmpty())
        throw Failed{UsageError, u"-o needs a file name"_s};
    const QFileInfo info(*option);
    if (info.isDir())
        throw Failed{UsageError, u"“%1” is a folder; -o takes a file name"_s.arg(*option)};
    return info.absoluteFilePath();
}

// Export documents and backups are JSON objects: a file that does not start
// with one is refused at its first bytes, whatever its size (or /dev/zero),
// with the message the whole file would have had.
QString startFault(QByteArrayView start, bool backup)
{
    const QByteArrayView rest = start.trimmed();
    if (!rest.isEmpty() && rest.front() == '{')
        return {};
    if (backup)
        return ImportError::invalidFormat().description();
    const auto decoded = ImportService::decode(start.toByteArray());
    return decoded ? ImportError::invalidFormat().description() : decoded.error().description();
}

QByteArray readDocumentFile(const QString& path, bool backup)
{
    ReadLimits limits;
    limits.limit = kMaxDocumentBytes;
    limits.status = Failure;
    limits.tooLarge = u"is larger than 4 GiB"_s;
    limits.checkStart = [backup](QByteArrayView start) { return startFault(start, backup); };
    return readFile(path, limits);
}

// A backup is read from its file piece by piece, never whole, and so has no
// size bound; what cannot seek (standard input, a pipe, a device) is read
// whole first, within the bound of documents.
std::unique_ptr<QIODevice> openBackupFile(const QString& path)
{
    if (path != u"-") {
        auto file = std::make_unique<QFile>(path);
        if (!file->open(QIODevice::ReadOnly))
            throw Failed{Failure, u"cannot read %1: %2"_s.arg(path, file->errorString())};
        if (!file->isSequential()) {
            if (const QString fault = startFault(file->peek(64), true); !fault.isEmpty())
                throw Failed{Failure, fault};
            return file;
        }
    }
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(readDocumentFile(path, true));
    buffer->open(QIODevice::ReadOnly);
    return buffer;
}

// The options of the commands that take a passphrase. Anything else is
// refused without being repeated: it may be a passphrase typed on the
// command line by mistake.
struct SecretArgs {
    std::optional<QString> output;
    bool passphraseFromStdin = false;
    QStringList files;
};

SecretArgs parseSecretArgs(const QStringList& argv, const QString& command, bool takesOutput, int files)
{
    SecretArgs parsed;
    const QString usage = takesOutput ? u"%1 takes [-o FILE] [--passphrase-stdin]"_s.arg(command)
                                      : u"%1 takes FILE [--passphrase-stdin]"_s.arg(command);
    const auto refuse = [&] {
        return Failed{UsageError, usage + u"; passphrases are never read from the command line"_s};
    };
    for (qsizetype i = 0; i < argv.size(); ++i) {
        const QString& arg = argv[i];
        if (arg == u"--passphrase-stdin") {
            parsed.passphraseFromStdin = true;
        } else if (takesOutput && (arg == u"-o" || arg == u"--output")) {
            if (i + 1 >= argv.size())
                throw Failed{UsageError, u"option %1 needs a value"_s.arg(arg)};
            parsed.output = argv[++i];
        } else if (takesOutput && arg.startsWith(u"--output=")) {
            parsed.output = arg.mid(9);
        } else if (!arg.startsWith(u'-') && parsed.files.size() < files) {
            parsed.files.append(arg);
        } else {
            throw refuse();
        }
    }
    if (parsed.files.size() < files)
        throw Failed{UsageError, u"missing FILE"_s};
    return parsed;
}

int exportCommand(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {u"-o"_s, u"--output"_s}, {u"--images"_s});
    args.expectPositional(0, 0);
    const QString path = outputPath(args.value(u"-o"_s) ? args.value(u"-o"_s) : args.value(u"--output"_s));
    ModelContext& context = s.context();
    ProgressReport progress(u"Exporting"_s);
    const auto written = waitForResult(
        ExportService::shared().exportLibrary(context, args.has(u"--images"_s), path,
                                              [&](qsizetype done, qsizetype total) { progress.update(done, total); }));
    progress.end();
    return finishWrite(s, written, "Exported");
}

int backupCommand(Session& s, const QStringList& argv)
{
    const SecretArgs args = parseSecretArgs(argv, u"backup"_s, true, 0);
    const QString path = outputPath(args.output);
    ModelContext& context = s.context();
    QString passphrase =
        readPassphrase(args.passphraseFromStdin ? PassphraseSource::standardInput : PassphraseSource::terminal, true);
    if (passphraseLength(passphrase) < kMinimumPassphraseLength) {
        SecurityService::wipe(passphrase);
        throw Failed{UsageError, u"the passphrase needs at least %1 characters"_s.arg(kMinimumPassphraseLength)};
    }
    ProgressReport progress(u"Backing up"_s);
    const auto future = ExportService::shared().backupLibrary(
        context, passphrase, path, [&](qsizetype done, qsizetype total) { progress.update(done, total); });
    SecurityService::wipe(passphrase);
    const auto written = waitForResult(future);
    progress.end();
    return finishWrite(s, written, "Backed up");
}

int reportImported(Session& s, const ImportService::ImportOutcome& imported)
{
    if (!imported)
        throw Failed{Failure, imported.error().description()};
    const ImportResult& r = imported.value();
    s.out() << "Imported " << countsText(r.items, r.folders, r.tags) << ".\n";
    return Success;
}

int finishImport(Session& s, ProgressReport& progress, const QFuture<ImportService::ImportOutcome>& future)
{
    const ImportService::ImportOutcome imported = waitForResult(future);
    progress.end();
    return reportImported(s, imported);
}

int importCommand(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {}, {});
    args.expectPositional(1, 1);
    const QString path = args.positional(0, "FILE");
    ModelContext& context = s.context();
    ProgressReport progress(u"Importing"_s);
    progress.phase(u"reading %1"_s.arg(path));
    QByteArray bytes = readDocumentFile(path, false);
    progress.phase(u"decoding"_s);
    return finishImport(s, progress, ImportService::importJSONAsync(std::move(bytes), context));
}

// Streams: the backup is decrypted and its records written as they are
// read, in one transaction of their own, so memory stays near a few records
// however large the backup.
int restoreCommand(Session& s, const QStringList& argv)
{
    const SecretArgs args = parseSecretArgs(argv, u"restore"_s, false, 1);
    const QString path = args.files.first();
    // Opens (or makes) the library and checks it, as every command does.
    const QString storePath = s.context().storePath();
    const std::unique_ptr<QIODevice> backup = openBackupFile(path);
    QString passphrase =
        readPassphrase(args.passphraseFromStdin ? PassphraseSource::standardInput : PassphraseSource::terminal, false);
    // The bar starts with the data, once the key has been made.
    std::optional<ProgressReport> progress;
    const auto restored = BackupRestore::restore(*backup, passphrase, storePath, [&](qint64 done, qint64 total) {
        if (!progress)
            progress.emplace(u"Restoring"_s, QString());
        progress->update(qsizetype(done), qsizetype(total));
    });
    SecurityService::wipe(passphrase);
    progress.reset();
    return reportImported(s, restored);
}

} // namespace

void registerExportCommands()
{
    registerCommand(u"export"_s, u"export [--images] [-o FILE]"_s, exportCommand);
    registerCommand(u"backup"_s, u"backup [-o FILE] [--passphrase-stdin]"_s, backupCommand);
    registerCommand(u"import"_s, u"import FILE"_s, importCommand);
    registerCommand(
        u"restore"_s,
        u"restore FILE [--passphrase-stdin]\n"
        "      export writes the export document (pictures with --images), backup an encrypted backup with\n"
        "      the pictures; without -o, vellumkeep_export_<time>.json or vellumkeep_backup_<time>.vkbackup\n"
        "      in the temporary folder. import and restore add every record of the file to the library."_s,
        restoreCommand);
}

} // namespace Cli
