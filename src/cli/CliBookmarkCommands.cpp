// Browser bookmarks in and out: bookmark files, browser profiles.
//
// As in the application, files and profiles are read on the export
// service's worker and the records are made here on the main thread, all or
// nothing; progress goes to standard error.

#include "Cli.h"
#include "CliProgress.h"

#include "services/bookmarks/BookmarkService.h"
#include "store/ModelContext.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace Cli {
namespace {

QString counted(qsizetype n, const char* one, const char* many)
{
    return u"%1 %2"_s.arg(n).arg(QLatin1StringView(n == 1 ? one : many));
}

// Waits for the future, drawing its progress.
template <typename T>
T waitWithProgress(const QFuture<T>& future, ProgressReport& progress)
{
    QEventLoop loop;
    QFutureWatcher<T> watcher;
    QObject::connect(&watcher, &QFutureWatcher<T>::progressValueChanged, &loop, [&](int value) {
        progress.update(value - watcher.progressMinimum(), watcher.progressMaximum() - watcher.progressMinimum());
    });
    QObject::connect(&watcher, &QFutureWatcher<T>::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished())
        loop.exec();
    progress.end();
    return future.result();
}

QString familyName(BrowserProfile::Family family)
{
    return family == BrowserProfile::Family::firefox ? u"Firefox"_s : u"Chromium"_s;
}

QString describe(const BrowserProfile& profile)
{
    return u"%1 “%2” (%3)"_s.arg(profile.browser, profile.name, QDir::toNativeSeparators(profile.path));
}

// The profile named on the command line (a folder, or a profile's name), or
// the one profile of the family found on this machine, or its default one.
BrowserProfile chooseProfile(BrowserProfile::Family family, const std::optional<QString>& given)
{
    const QString browsers = familyName(family);
    if (given) {
        const QFileInfo info(*given);
        if (info.exists()) {
            BrowserProfile profile;
            profile.family = family;
            profile.browser = browsers;
            profile.path = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
            profile.name = QFileInfo(profile.path).fileName();
            if (!QFileInfo::exists(profile.bookmarksPath()))
                throw Failed{Failure, u"no %1 bookmarks in %2 (%3 is missing)"_s.arg(
                                          browsers, QDir::toNativeSeparators(profile.path),
                                          QFileInfo(profile.bookmarksPath()).fileName())};
            return profile;
        }
    }
    QList<BrowserProfile> found;
    for (const BrowserProfile& profile : BrowserProfiles::discover()) {
        if (profile.family == family && (!given || profile.name == *given))
            found.append(profile);
    }
    if (found.isEmpty()) {
        if (given)
            throw Failed{UsageError, u"no %1 profile or folder “%2”"_s.arg(browsers, *given)};
        throw Failed{Failure, u"no %1 profile with bookmarks found"_s.arg(browsers)};
    }
    if (found.size() == 1)
        return found.first();
    QList<BrowserProfile> defaults;
    for (const BrowserProfile& profile : std::as_const(found)) {
        if (profile.isDefault)
            defaults.append(profile);
    }
    if (defaults.size() == 1 && !given)
        return defaults.first();
    QStringList names;
    for (const BrowserProfile& profile : std::as_const(found))
        names.append(describe(profile));
    throw Failed{UsageError, u"several %1 profiles; name one by its folder: %2"_s.arg(browsers, names.join(u"; "_s))};
}

int importBookmarksCommand(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {}, {u"--firefox"_s, u"--chromium"_s, u"--keep-duplicates"_s});
    const bool firefox = args.has(u"--firefox"_s);
    const bool chromium = args.has(u"--chromium"_s);
    if (firefox && chromium)
        throw Failed{UsageError, u"--firefox and --chromium cannot be combined"_s};
    args.expectPositional(firefox || chromium ? 0 : 1, 1);
    BookmarkImportOptions options;
    options.keepDuplicates = args.has(u"--keep-duplicates"_s);

    std::optional<BrowserProfile> profile;
    if (firefox || chromium) {
        const auto given = args.positional().isEmpty() ? std::nullopt : std::optional(args.positional().first());
        profile = chooseProfile(firefox ? BrowserProfile::Family::firefox : BrowserProfile::Family::chromium, given);
    }
    ModelContext& context = s.context();
    ProgressReport progress(u"Importing bookmarks"_s, QString());
    const BookmarkService::ImportOutcome imported =
        waitWithProgress(profile ? BookmarkService::importProfile(*profile, context, options)
                                 : BookmarkService::importFile(QFileInfo(args.positional().first()).absoluteFilePath(),
                                                               context, options),
                         progress);
    if (!imported)
        throw Failed{Failure, imported.error().description()};
    const BookmarkImportResult& r = imported.value();
    s.out() << "Imported " << counted(r.itemsAdded, "item", "items") << ", "
            << counted(r.foldersCreated, "folder", "folders") << ", " << counted(r.tagsCreated, "tag", "tags")
            << "; skipped " << counted(r.duplicatesSkipped, "duplicate", "duplicates") << ", "
            << counted(r.unsupportedSkipped, "unsupported link", "unsupported links") << ".\n";
    return Success;
}

int exportBookmarksCommand(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {u"-o"_s, u"--output"_s}, {});
    args.expectPositional(0, 0);
    QString path = args.value(u"-o"_s).value_or(args.value(u"--output"_s).value_or(QString()));
    if (args.has(u"-o"_s) || args.has(u"--output"_s)) {
        const QFileInfo info(path);
        if (path.isEmpty() || info.isDir())
            throw Failed{UsageError, u"-o takes a file name"_s};
        path = info.absoluteFilePath();
    }
    ModelContext& context = s.context();
    ProgressReport progress(u"Exporting bookmarks"_s, u"bookmarks"_s);
    const QFuture<BookmarkService::ExportOutcome> future = BookmarkService::exportLibrary(context, path);
    // The export took what it writes: the records go while the file is written.
    s.closeContext();
    const BookmarkService::ExportOutcome exported = waitWithProgress(future, progress);
    if (!exported)
        throw Failed{Failure, exported.error().description()};
    const BookmarkExportResult& r = exported.value();
    s.out() << "Exported " << counted(r.bookmarks, "bookmark", "bookmarks") << ", "
            << counted(r.folders, "folder", "folders") << " to " << QDir::toNativeSeparators(r.path);
    if (r.withoutUrl > 0)
        s.out() << "; left out " << counted(r.withoutUrl, "item", "items") << " without a URL";
    s.out() << ".\n";
    return Success;
}

int bookmarkProfilesCommand(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {}, {u"--json"_s});
    args.expectPositional(0, 0);
    for (const BrowserProfile& profile : BrowserProfiles::discover()) {
        if (args.has(u"--json"_s)) {
            QJsonObject o;
            o.insert(u"family"_s, familyName(profile.family).toLower());
            o.insert(u"browser"_s, profile.browser);
            o.insert(u"name"_s, profile.name);
            o.insert(u"path"_s, profile.path);
            o.insert(u"isDefault"_s, profile.isDefault);
            s.out() << jsonLine(o) << '\n';
        } else {
            s.out() << describe(profile) << (profile.isDefault ? " default" : "") << '\n';
        }
    }
    return Success;
}

} // namespace

void registerBookmarkCommands()
{
    registerCommand(u"import-bookmarks"_s,
                    u"import-bookmarks FILE | --firefox [PROFILE] | --chromium [PROFILE] [--keep-duplicates]"_s,
                    importBookmarksCommand);
    registerCommand(u"export-bookmarks"_s, u"export-bookmarks [-o FILE]"_s, exportBookmarksCommand);
    registerCommand(u"bookmark-profiles"_s,
                    u"bookmark-profiles [--json]\n"
                    "      import-bookmarks reads a browser's bookmark file, or the bookmarks of a Firefox or\n"
                    "      Chromium-family profile (a folder, a name bookmark-profiles lists, or the default one);\n"
                    "      links the library has are skipped unless --keep-duplicates. export-bookmarks writes\n"
                    "      vellumkeep_bookmarks_<time>.html in the temporary folder without -o."_s,
                    bookmarkProfilesCommand);
}

} // namespace Cli
