#include "Cli.h"

#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "model/TagDragItem.h"
#include "platform/ContainerPaths.h"
#include "store/ModelContext.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFutureWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>

#include <cstdio>
#include <new>

using namespace Qt::StringLiterals;

namespace Cli {

Args Args::parse(const QStringList& args, const QStringList& valueOptions, const QStringList& flags)
{
    Args parsed;
    bool onlyPositional = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (onlyPositional || arg == u"-" || !arg.startsWith(u'-')) {
            parsed.m_positional.append(arg);
            continue;
        }
        if (arg == u"--") {
            onlyPositional = true;
            continue;
        }
        QString name = arg;
        std::optional<QString> inlineValue;
        if (const qsizetype eq = arg.indexOf(u'='); arg.startsWith(u"--") && eq > 0) {
            name = arg.left(eq);
            inlineValue = arg.mid(eq + 1);
        }
        if (valueOptions.contains(name)) {
            if (inlineValue) {
                parsed.m_values.insert(name, *inlineValue);
            } else {
                if (i + 1 >= args.size())
                    throw Failed{UsageError, u"option %1 needs a value"_s.arg(name)};
                parsed.m_values.insert(name, args[++i]);
            }
        } else if (flags.contains(name) && !inlineValue) {
            parsed.m_flags.insert(name);
        } else {
            throw Failed{UsageError, u"unknown option %1"_s.arg(name)};
        }
    }
    return parsed;
}

QString Args::positional(qsizetype i, const char* name) const
{
    if (i >= m_positional.size())
        throw Failed{UsageError, u"missing %1"_s.arg(QLatin1StringView(name))};
    return m_positional[i];
}

void Args::expectPositional(qsizetype min, qsizetype max) const
{
    if (m_positional.size() < min)
        throw Failed{UsageError, u"missing argument"_s};
    if (m_positional.size() > max)
        throw Failed{UsageError, u"unexpected argument “%1”"_s.arg(m_positional[max])};
}

std::optional<QString> Args::value(const QString& option) const
{
    const auto values = m_values.values(option);
    if (values.isEmpty())
        return std::nullopt;
    return values.first(); // QMultiHash keeps the latest first: the last one given wins
}

QStringList Args::values(const QString& option) const
{
    QStringList list = m_values.values(option);
    std::reverse(list.begin(), list.end());
    return list;
}

Session::Session(QString containerOverride) : m_container(std::move(containerOverride)), m_out(stdout), m_err(stderr) {}

Session::~Session()
{
    m_out.flush();
    m_err.flush();
}

QString Session::containerDirectory() const
{
    if (!m_container.isEmpty())
        return m_container;
    auto found = ContainerPaths::containerDirectory();
    if (!found)
        throw Failed{StoreUnavailable, u"Failed to initialize model container: "_s + found.error()};
    return std::move(found).value();
}

ModelContext& Session::context()
{
    if (!m_context) {
        auto opened = ModelContext::open(ContainerPaths::storePath(containerDirectory()));
        if (!opened)
            throw Failed{StoreUnavailable, u"Failed to initialize model container: "_s + opened.error()};
        m_context = std::move(opened).value();
        // The tool saves explicitly before a command succeeds; a command
        // that fails leaves the library as it was.
        m_context->setAutosaveDelay(60 * 60 * 1000);
        m_context->setSaveOnDestruction(false);
    }
    return *m_context;
}

void Session::closeContext()
{
    m_context.reset();
}

void Session::save(std::initializer_list<const Record*> kept)
{
    if (!m_context)
        return;
    if (Status s = m_context->save(); !s)
        throw Failed{Failure, s.error()};
    for (const Record* record : kept) {
        if (record && record->isDeleted())
            throw Failed{UnknownId, u"%1 was deleted by another program while this command ran"_s.arg(
                                        UuidText::toString(record->id()))};
    }
}

QList<CommandInfo>& registry()
{
    static QList<CommandInfo> s_commands;
    return s_commands;
}

void registerCommand(const QString& name, const QString& synopsis, Command run)
{
    registry().append({name, synopsis, std::move(run)});
}

QUuid parseId(const QString& text, const char* what)
{
    QString t = text.trimmed();
    if (t.startsWith(u'{') && t.endsWith(u'}'))
        t = t.mid(1, t.size() - 2);
    const auto id = UuidText::fromString(t);
    if (!id)
        throw Failed{UsageError, u"“%1” is not a valid %2 id (expected a UUID)"_s.arg(text, QLatin1StringView(what))};
    return *id;
}

Item& itemById(Session& session, const QString& text)
{
    const QUuid id = parseId(text, "item");
    Item* item = session.context().item(id);
    if (!item)
        throw Failed{UnknownId, u"no item with id %1"_s.arg(UuidText::toString(id))};
    return *item;
}

Folder& folderById(Session& session, const QString& text)
{
    const QUuid id = parseId(text, "folder");
    Folder* folder = session.context().folder(id);
    if (!folder)
        throw Failed{UnknownId, u"no folder with id %1"_s.arg(UuidText::toString(id))};
    return *folder;
}

Tag& tagById(Session& session, const QString& text)
{
    const QUuid id = parseId(text, "tag");
    Tag* tag = session.context().tag(id);
    if (!tag)
        throw Failed{UnknownId, u"no tag with id %1"_s.arg(UuidText::toString(id))};
    return *tag;
}

bool parseOnOff(const QString& text, const char* option)
{
    if (text == u"on" || text == u"true" || text == u"yes")
        return true;
    if (text == u"off" || text == u"false" || text == u"no")
        return false;
    throw Failed{UsageError, u"%1 takes on or off, not “%2”"_s.arg(QLatin1StringView(option), text)};
}

QString isoDate(const QDateTime& date)
{
    return date.toUTC().toString(Qt::ISODateWithMs);
}

QByteArray readFile(const QString& path, const ReadLimits& limits)
{
    QFile file(path);
    const bool opened = path == u"-" ? file.open(stdin, QIODevice::ReadOnly) : file.open(QIODevice::ReadOnly);
    if (!opened)
        throw Failed{Failure, u"cannot read %1: %2"_s.arg(path, file.errorString())};
    const QString shown = path == u"-" ? u"standard input"_s : path;
    if (!file.isSequential() && file.size() > limits.limit)
        throw Failed{limits.status, u"%1 %2"_s.arg(shown, limits.tooLarge)};
    QByteArray bytes;
    if (!file.isSequential())
        bytes.reserve(file.size());
    constexpr qint64 kChunk = 1024 * 1024;
    bool startChecked = !limits.checkStart;
    for (;;) {
        const qsizetype before = bytes.size();
        bytes.resize(before + kChunk);
        const qint64 got = file.read(bytes.data() + before, kChunk);
        if (got < 0)
            throw Failed{Failure, u"cannot read %1: %2"_s.arg(shown, file.errorString())};
        bytes.resize(before + got);
        if (!startChecked && (bytes.size() >= 64 || got == 0)) {
            const QString fault = limits.checkStart(QByteArrayView(bytes).first(std::min<qsizetype>(bytes.size(), 64)));
            if (!fault.isEmpty())
                throw Failed{limits.status, fault};
            startChecked = true;
        }
        if (bytes.size() > limits.limit)
            throw Failed{limits.status, u"%1 %2"_s.arg(shown, limits.tooLarge)};
        if (got == 0)
            break;
    }
    bytes.squeeze();
    return bytes;
}

QByteArray readPictureFile(const QString& path)
{
    return readFile(path, {kMaxPictureFileBytes, NotAnImage, u"is larger than 64 MiB, too large for a picture"_s, {}});
}

QString plainText(const QString& text)
{
    auto unsafe = [](char16_t c) {
        return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)
               || c == 0x200E || c == 0x200F || c == 0x061C;
    };
    if (std::none_of(text.cbegin(), text.cend(), [&](QChar c) { return unsafe(c.unicode()); }))
        return text;
    QString out;
    out.reserve(text.size() + 16);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!unsafe(u))
            out.append(c);
        else if (u < 0x100)
            out.append(u"\\x"_s + QString::number(u, 16).toUpper().rightJustified(2, u'0'));
        else
            out.append(u"\\u"_s + QString::number(u, 16).toUpper().rightJustified(4, u'0'));
    }
    return out;
}

namespace {
QJsonValue optionalString(const std::optional<QString>& s)
{
    return s ? QJsonValue(*s) : QJsonValue(QJsonValue::Null);
}
} // namespace

QJsonObject itemJson(const Item& item)
{
    QJsonObject o;
    o.insert(u"id"_s, UuidText::toString(item.id()));
    o.insert(u"typeRawValue"_s, item.typeRawValue());
    o.insert(u"urlString"_s, optionalString(item.urlString()));
    o.insert(u"title"_s, item.title());
    o.insert(u"note"_s, optionalString(item.note()));
    o.insert(u"hasThumbnail"_s, item.hasThumbnail());
    o.insert(u"hasImage"_s, item.hasImage());
    if (const auto& json = item.metadataJSON()) {
        const QJsonDocument doc = QJsonDocument::fromJson(*json);
        if (doc.isObject())
            o.insert(u"metadataJSON"_s, doc.object());
        else if (*json == "null")
            o.insert(u"metadataJSON"_s, QJsonValue(QJsonValue::Null));
        else
            o.insert(u"metadataJSON"_s, QString::fromUtf8(*json));
    } else {
        o.insert(u"metadataJSON"_s, QJsonValue(QJsonValue::Null));
    }
    o.insert(u"sourceDomain"_s, optionalString(item.sourceDomain()));
    o.insert(u"sourceApp"_s, optionalString(item.sourceApp()));
    o.insert(u"folderId"_s,
             item.folder() ? QJsonValue(UuidText::toString(item.folder()->id())) : QJsonValue(QJsonValue::Null));
    QJsonArray tagIds;
    for (const Tag* tag : item.tags())
        tagIds.append(UuidText::toString(tag->id()));
    o.insert(u"tagIds"_s, tagIds);
    o.insert(u"isArchived"_s, item.isArchived());
    o.insert(u"isFavorite"_s, item.isFavorite());
    o.insert(u"isRead"_s, item.isRead());
    o.insert(u"createdAt"_s, isoDate(item.createdAt()));
    o.insert(u"modifiedAt"_s, isoDate(item.modifiedAt()));
    o.insert(u"accessedAt"_s,
             item.accessedAt() ? QJsonValue(isoDate(*item.accessedAt())) : QJsonValue(QJsonValue::Null));
    return o;
}

QJsonObject folderJson(const Folder& folder)
{
    QJsonObject o;
    o.insert(u"id"_s, UuidText::toString(folder.id()));
    o.insert(u"name"_s, folder.name());
    o.insert(u"iconName"_s, folder.iconName());
    o.insert(u"colorHex"_s, folder.colorHex());
    o.insert(u"sortOrder"_s, folder.sortOrder());
    o.insert(u"createdAt"_s, isoDate(folder.createdAt()));
    o.insert(u"modifiedAt"_s, isoDate(folder.modifiedAt()));
    o.insert(u"parentId"_s,
             folder.parent() ? QJsonValue(UuidText::toString(folder.parent()->id())) : QJsonValue(QJsonValue::Null));
    return o;
}

QJsonObject tagJson(const Tag& tag)
{
    QJsonObject o;
    o.insert(u"id"_s, UuidText::toString(tag.id()));
    o.insert(u"name"_s, tag.name());
    o.insert(u"colorHex"_s, tag.colorHex());
    o.insert(u"sortOrder"_s, tag.sortOrder());
    o.insert(u"createdAt"_s, isoDate(tag.createdAt()));
    o.insert(u"modifiedAt"_s, isoDate(tag.modifiedAt()));
    o.insert(u"itemCount"_s, tag.itemCount());
    return o;
}

void waitFor(const QFuture<void>& future)
{
    if (future.isFinished())
        return;
    QEventLoop loop;
    QFutureWatcher<void> watcher;
    QObject::connect(&watcher, &QFutureWatcher<void>::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished())
        loop.exec();
}

QString jsonLine(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

namespace {
void printUsage(QTextStream& stream)
{
    stream << "Usage: folionest-cli [--container DIR] COMMAND [ARGS]\n\n"
              "Works on the Folionest library in DIR, $FOLIONEST_CONTAINER, or the default container.\n\n"
              "Commands:\n";
    for (const CommandInfo& command : registry())
        stream << "  " << command.synopsis << '\n';
    stream << "\nExit status: 0 success, 1 usage error, 2 unknown id, 3 library cannot be opened,\n"
              "4 input is not an image, 5 other failure.\n";
}
} // namespace

int run(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(u"vellumkeep"_s);
    QCoreApplication::setApplicationName(u"Folionest"_s);
    registerLibraryCommands();
    registerSecurityCommands();
    registerEngineCommands();
    registerMetadataCommands();
    registerExportCommands();
    registerBookmarkCommands();
    registerShareCommand();

    QStringList args = QCoreApplication::arguments().mid(1);
    QString container;
    QTextStream err(stderr);
    while (!args.isEmpty() && args.first().startsWith(u"--container")) {
        const QString first = args.takeFirst();
        if (first.startsWith(u"--container=")) {
            container = first.mid(12);
        } else if (!args.isEmpty()) {
            container = args.takeFirst();
        } else {
            err << "folionest-cli: option --container needs a value\n";
            return UsageError;
        }
        // An empty folder name would quietly mean the personal library.
        if (container.isEmpty()) {
            err << "folionest-cli: option --container needs a folder, not an empty name\n";
            return UsageError;
        }
    }
    if (args.isEmpty() || args.first() == u"--help" || args.first() == u"-h" || args.first() == u"help") {
        QTextStream out(stdout);
        printUsage(args.isEmpty() ? err : out);
        return args.isEmpty() ? UsageError : Success;
    }
    if (args.first() == u"--version") {
        QTextStream(stdout) << "folionest-cli " << FOLIONEST_VERSION << '\n';
        return Success;
    }

    // Two-word commands ("folder add") are matched before one-word ones.
    const CommandInfo* match = nullptr;
    qsizetype consumed = 0;
    for (const CommandInfo& command : registry()) {
        const QStringList words = command.name.split(u' ');
        if (words.size() <= args.size() && args.mid(0, words.size()) == words && words.size() > consumed) {
            match = &command;
            consumed = words.size();
        }
    }
    if (!match) {
        err << "folionest-cli: unknown command “" << plainText(args.first()) << "”; see folionest-cli --help\n";
        return UsageError;
    }
    Session session(container);
    try {
        return match->run(session, args.mid(consumed));
    } catch (const Failed& failed) {
        session.out().flush();
        session.err() << "folionest-cli: " << plainText(failed.message) << '\n';
        return failed.status;
    } catch (const std::bad_alloc&) {
        // Whatever ran out of memory is gone; one line, as for any failure.
        session.out().flush();
        std::fputs("folionest-cli: not enough memory for this command\n", stderr);
        return Failure;
    }
}

} // namespace Cli
