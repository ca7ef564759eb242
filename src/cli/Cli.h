#pragma once

#include "model/Result.h"

#include <QFuture>
#include <QHash>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <QUuid>

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>

class Folder;
class Item;
class ModelContext;
class Record;
class Tag;

namespace Cli {

// Exit statuses of the tool.
enum Exit : int { Success = 0, UsageError = 1, UnknownId = 2, StoreUnavailable = 3, NotAnImage = 4, Failure = 5 };

// Thrown by helpers to end a command with a message on stderr.
struct Failed {
    int status;
    QString message;
};

// The parsed arguments of one command.
class Args {
public:
    // Options that take a value and plain flags; anything else starting with
    // "--" (or "-o") is a usage error.
    static Args parse(const QStringList& args, const QStringList& valueOptions, const QStringList& flags);

    const QStringList& positional() const { return m_positional; }
    QString positional(qsizetype i, const char* name) const;
    void expectPositional(qsizetype min, qsizetype max) const;
    bool has(const QString& option) const { return m_values.contains(option) || m_flags.contains(option); }
    std::optional<QString> value(const QString& option) const;
    QStringList values(const QString& option) const;

private:
    QStringList m_positional;
    QMultiHash<QString, QString> m_values;
    QSet<QString> m_flags;
};

// What every command gets: the library (opened on first use) and the output.
class Session {
public:
    explicit Session(QString containerOverride);
    ~Session();
    ModelContext& context();
    // Lets the library go now, for a command whose remaining work no longer
    // needs its records: they are freed while that work goes on. context()
    // would open it again.
    void closeContext();
    // The library's container folder, without opening the library.
    QString containerDirectory() const;
    // Saves and reports a failure as a Failed. The records in `kept` must
    // still exist afterwards: another process may have deleted one while the
    // command ran, and then the command did not do what it was asked.
    void save(std::initializer_list<const Record*> kept = {});
    QTextStream& out() { return m_out; }
    QTextStream& err() { return m_err; }

private:
    QString m_container;
    std::unique_ptr<ModelContext> m_context;
    QTextStream m_out;
    QTextStream m_err;
};

using Command = std::function<int(Session&, const QStringList& args)>;
struct CommandInfo {
    QString name;
    QString synopsis;
    Command run;
};
// Every command of the tool, in help order.
QList<CommandInfo>& registry();
void registerCommand(const QString& name, const QString& synopsis, Command run);

// Shared helpers.
QUuid parseId(const QString& text, const char* what);
Item& itemById(Session& session, const QString& text);
Folder& folderById(Session& session, const QString& text);
Tag& tagById(Session& session, const QString& text);
bool parseOnOff(const QString& text, const char* option);
QString isoDate(const QDateTime& date);
// Text from the library (titles, notes, a fetched page's <title>) as plain
// output prints it: control characters, which could move the cursor, rewrite
// the screen or set the terminal's clipboard, and the marks that reorder
// text direction are shown as escapes (\x1B, \u202E). JSON output is exact.
QString plainText(const QString& text);
QJsonObject itemJson(const Item& item);
QJsonObject folderJson(const Folder& folder);
QJsonObject tagJson(const Tag& tag);
QString jsonLine(const QJsonObject& object);
// Reads a whole file ("-": standard input) without trusting its size: when
// `checkStart` finds fault with the first bytes (a non-empty message), the
// read ends there; past `limit` bytes it ends too (the path and `tooLarge`),
// and a regular file that is larger is refused before a byte is read. Both
// failures end the command with `status`.
struct ReadLimits {
    qint64 limit = 0;
    int status = Failure;
    QString tooLarge;
    std::function<QString(QByteArrayView start)> checkStart;
};
QByteArray readFile(const QString& path, const ReadLimits& limits);
// Pictures: at most 64 MiB, else "not an image" (4).
QByteArray readPictureFile(const QString& path);
inline constexpr qint64 kMaxPictureFileBytes = 64 * 1024 * 1024;

// Runs the event loop until the future is done.
void waitFor(const QFuture<void>& future);
// The same, then its result; a future that ends without one (its service
// went away) ends the command.
template <typename T>
T waitForResult(const QFuture<T>& future)
{
    waitFor(QFuture<void>(future));
    if (future.resultCount() == 0)
        throw Failed{Failure, QStringLiteral("the operation ended without a result")};
    return future.result();
}

// Registration functions of the command groups.
void registerLibraryCommands();
void registerSecurityCommands();
void registerEngineCommands();
void registerMetadataCommands();
void registerExportCommands();
void registerShareCommand();
void registerBookmarkCommands();

int run(int argc, char* argv[]);

} // namespace Cli
