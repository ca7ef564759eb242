#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

constexpr char kObjectPath[] = "/com/vellumkeep/Folionest";
constexpr char kInterface[] = "com.vellumkeep.Folionest";
constexpr int kActivateTimeoutMs = 5000;

} // namespace

SingleInstance::SingleInstance(const QString& containerDirectory, QObject* parent)
    : QObject(parent), m_service(serviceName(containerDirectory))
{}

SingleInstance::~SingleInstance()
{
    if (!m_registered)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(QString::fromLatin1(kObjectPath));
    bus.unregisterService(m_service);
}

QString SingleInstance::serviceName(const QString& containerDirectory)
{
    // The same library reached through a link or a relative path is one library.
    const QFileInfo info(containerDirectory);
    QString path = info.canonicalFilePath();
    if (path.isEmpty())
        path = QDir::cleanPath(info.absoluteFilePath());
    const QByteArray hash = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
    // Bus name elements may not start with a digit.
    return u"com.vellumkeep.Folionest.L"_s + QString::fromLatin1(hash);
}

SingleInstance::Claim SingleInstance::claim()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return Claim::noBus;
    // The object is there before the name, so a process that sees the name
    // can always call it.
    if (!m_registered
        && !bus.registerObject(QString::fromLatin1(kObjectPath), this, QDBusConnection::ExportScriptableSlots))
        return Claim::noBus;
    const auto reply = bus.interface()->registerService(m_service, QDBusConnectionInterface::DontQueueService,
                                                        QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_registered = true;
        return Claim::owner;
    }
    bus.unregisterObject(QString::fromLatin1(kObjectPath));
    return reply.isValid() ? Claim::alreadyRunning : Claim::noBus;
}

bool SingleInstance::activateOwner(const QStringList& arguments, QString* error) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(m_service, QString::fromLatin1(kObjectPath),
                                                       QString::fromLatin1(kInterface), u"Activate"_s);
    call << arguments;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, kActivateTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        if (error)
            *error = reply.errorMessage();
        return false;
    }
    return true;
}

void SingleInstance::Activate(const QStringList& arguments)
{
    Q_EMIT activationRequested(arguments);
}
