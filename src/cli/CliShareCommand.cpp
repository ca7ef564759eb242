// share: what the desktop's share menus do elsewhere. Each argument becomes a
// pending entry in the library's queue folder, and the running application
// is woken to take them in.

#include "Cli.h"

#include "model/ItemType.h"
#include "platform/ContainerPaths.h"
#include "platform/NewItemsSignal.h"
#include "platform/SingleInstance.h"
#include "services/intake/PendingShare.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>

using namespace Qt::StringLiterals;

namespace Cli {
namespace {

bool applicationIsRunning(const QString& container)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    return bus.interface()->isServiceRegistered(SingleInstance::serviceName(container)).value();
}

int share(Session& s, const QStringList& argv)
{
    const Args args = Args::parse(argv, {u"--title"_s, u"--note"_s, u"--type"_s}, {});
    args.expectPositional(1, std::numeric_limits<qsizetype>::max());
    PendingShare::Options options{args.value(u"--title"_s), args.value(u"--note"_s), args.value(u"--type"_s)};
    if (options.type && !ItemTypes::fromRawValue(*options.type)) {
        QStringList names;
        for (ItemType type : ItemTypes::allCases())
            names << ItemTypes::rawValue(type);
        throw Failed{UsageError, u"--type must be one of %1"_s.arg(names.join(u", "_s))};
    }
    // Every argument is checked before anything is written.
    QList<PendingShare::Source> sources;
    for (const QString& argument : args.positional()) {
        Result<PendingShare::Source> source = PendingShare::sourceFor(argument, QDir::currentPath());
        if (!source)
            throw Failed{UsageError, source.error()};
        sources << std::move(source).value();
    }
    const QString container = QDir(s.containerDirectory()).absolutePath();
    QStringList written;
    for (const PendingShare::Source& source : sources) {
        Result<QString> entry = PendingShare::write(container, source, options);
        if (!entry) {
            // All or nothing: the entries written so far go again.
            for (const QString& name : std::as_const(written))
                PendingShare::remove(container, name);
            throw Failed{Failure, entry.error()};
        }
        written << std::move(entry).value();
    }
    QString error;
    const bool woken = NewItemsSignal::send(&error);
    const qsizetype count = written.size();
    s.out() << (count == 1 ? u"Shared 1 item."_s : u"Shared %1 items."_s.arg(count)) << '\n';
    if (woken && applicationIsRunning(container))
        s.out() << "Folionest takes " << (count == 1 ? "it" : "them") << " in now.\n";
    else
        s.out() << (count == 1 ? "It waits" : "They wait") << " in "
                << plainText(ContainerPaths::pendingItemsDirectory(container))
                << " until Folionest starts on this library.\n";
    return Success;
}

} // namespace

void registerShareCommand()
{
    registerCommand(u"share"_s, u"share URL|FILE... [--title T] [--note N] [--type TYPE]   (hand to the application)"_s,
                    share);
}

} // namespace Cli
