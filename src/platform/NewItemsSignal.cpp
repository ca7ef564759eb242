#include "NewItemsSignal.h"

#include <QDBusConnection>
#include <QDBusMessage>

using namespace Qt::StringLiterals;

NewItemsSignal::NewItemsSignal(QObject* parent) : QObject(parent) {}

NewItemsSignal::~NewItemsSignal()
{
    if (!m_subscribed)
        return;
    QDBusConnection::sessionBus().disconnect({}, {}, QString::fromLatin1(kInterface), QString::fromLatin1(kMember),
                                             this, SLOT(onNewItems()));
}

bool NewItemsSignal::subscribe()
{
    if (m_subscribed)
        return true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    // Empty service and path: any sender, any object.
    m_subscribed =
        bus.connect({}, {}, QString::fromLatin1(kInterface), QString::fromLatin1(kMember), this, SLOT(onNewItems()));
    return m_subscribed;
}

bool NewItemsSignal::send(QString* error)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        if (error)
            *error = bus.lastError().message().isEmpty() ? u"no session bus"_s : bus.lastError().message();
        return false;
    }
    const QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kPath), QString::fromLatin1(kInterface),
                                                           QString::fromLatin1(kMember));
    if (!bus.send(signal)) {
        if (error)
            *error = bus.lastError().message();
        return false;
    }
    // The message leaves before a short-lived sender exits.
    bus.call(QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                            u"org.freedesktop.DBus.Peer"_s, u"Ping"_s));
    return true;
}

void NewItemsSignal::onNewItems()
{
    Q_EMIT received();
}
