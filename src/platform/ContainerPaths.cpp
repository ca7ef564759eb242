#include "ContainerPaths.h"

#include <QDir>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

Result<QString> ContainerPaths::containerDirectory()
{
    if (qEnvironmentVariableIsSet(kEnvironmentOverride)) {
        const QString overridden = qEnvironmentVariable(kEnvironmentOverride);
        if (overridden.isEmpty())
            return Result<QString>::failure(u"FOLIONEST_CONTAINER is set but empty; name a folder or unset it"_s);
        return QDir::cleanPath(QDir(overridden).absolutePath());
    }
    // GenericDataLocation is $XDG_DATA_HOME (~/.local/share), and follows
    // QStandardPaths' test mode.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir::cleanPath(base + u"/vellumkeep/"_s + QLatin1StringView(kGroupIdentifier));
}

QString ContainerPaths::storePath(const QString& containerDirectory)
{
    return QDir(containerDirectory).filePath(u"default.store"_s);
}

QString ContainerPaths::pendingItemsDirectory(const QString& containerDirectory)
{
    return QDir(containerDirectory).filePath(u"PendingItems"_s);
}
