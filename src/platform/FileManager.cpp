#include "FileManager.h"

#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

bool askFileManager(const QUrl& fileUrl, const QDBusConnection& bus)
{
    if (!bus.isConnected())
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(u"org.freedesktop.FileManager1"_s, u"/org/freedesktop/FileManager1"_s,
                                       u"org.freedesktop.FileManager1"_s, u"ShowItems"_s);
    // URIs in their encoded form; no startup id, which lets the file manager
    // raise its window by its own rules.
    call << QStringList{fileUrl.toString(QUrl::FullyEncoded)} << QString();
    // An absent, unstartable service answers at once with an error; only a
    // file manager that hangs makes us wait the whole timeout.
    const QDBusMessage reply = bus.call(call, QDBus::Block, FileManager::kRevealTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

} // namespace

FileManager::RevealOutcome FileManager::reveal(const QUrl& fileUrl)
{
    return reveal(fileUrl, QDBusConnection::sessionBus());
}

FileManager::RevealOutcome FileManager::reveal(const QUrl& fileUrl, const QDBusConnection& bus)
{
    if (!fileUrl.isValid() || !fileUrl.isLocalFile() || fileUrl.toLocalFile().isEmpty())
        return RevealOutcome::failed;
    if (askFileManager(fileUrl, bus))
        return RevealOutcome::shownInFileManager;
    const QString folder = QFileInfo(fileUrl.toLocalFile()).absolutePath();
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder)) ? RevealOutcome::openedFolder : RevealOutcome::failed;
}
