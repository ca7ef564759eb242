#include "Keychain.h"

#include <qt6keychain/keychain.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

KeychainBackend::~KeychainBackend() = default;

namespace {

int statusFor(QKeychain::Error error)
{
    switch (error) {
    case QKeychain::NoError: return KeychainStatus::success;
    case QKeychain::EntryNotFound: return KeychainStatus::itemNotFound;
    case QKeychain::AccessDenied:
    case QKeychain::AccessDeniedByUser: return KeychainStatus::authFailed;
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented: return KeychainStatus::notAvailable;
    case QKeychain::CouldNotDeleteEntry: return KeychainStatus::deleteFailed;
    case QKeychain::OtherError: return KeychainStatus::backendError;
    }
    return KeychainStatus::backendError;
}

bool onMainThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// Checked before every call, so that a machine without a keychain gets the
// "not available" status at once instead of a backend-specific error.
int precondition()
{
    if (!onMainThread()) {
        qWarning("Keychain: called off the main thread");
        return KeychainStatus::wrongThread;
    }
    if (!QtKeychainBackend::isServiceReachable())
        return KeychainStatus::notAvailable;
    return KeychainStatus::success;
}

// Starts the job and waits for it. Returns the job's status; on a timeout the
// job is left to finish (and delete itself) on its own.
template <typename JobType, typename OnFinished>
int runJob(std::unique_ptr<JobType> job, std::chrono::milliseconds timeout, OnFinished onFinished)
{
    job->setAutoDelete(false);
    job->setInsecureFallback(false);

    int status = KeychainStatus::timedOut;
    bool finished = false;
    QEventLoop loop;
    QObject::connect(job.get(), &QKeychain::Job::finished, &loop, [&](QKeychain::Job* done) {
        finished = true;
        status = statusFor(done->error());
        if (status == KeychainStatus::backendError)
            qWarning().noquote() << u"Keychain backend error: "_s + done->errorString();
        onFinished(*job, status);
        loop.quit();
    });
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);

    job->start();
    // Some failures are reported from within start().
    if (!finished) {
        timer.start(timeout);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (!finished) {
        QObject::disconnect(job.get(), nullptr, &loop, nullptr);
        job->setAutoDelete(true);
        (void)job.release();
        qWarning("Keychain: no answer in time");
    }
    return status;
}

} // namespace

bool QtKeychainBackend::isServiceReachable()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusConnectionInterface* daemon = bus.interface();
    if (!daemon)
        return false;
    // The Secret Service, or KWallet where QtKeychain prefers it.
    static const QStringList s_names = {u"org.freedesktop.secrets"_s, u"org.kde.kwalletd6"_s, u"org.kde.kwalletd5"_s,
                                        u"org.kde.kwalletd"_s};
    for (const QString& name : s_names) {
        const QDBusReply<bool> registered = daemon->isServiceRegistered(name);
        if (registered.isValid() && registered.value())
            return true;
    }
    const QDBusReply<QStringList> activatable = daemon->activatableServiceNames();
    if (!activatable.isValid())
        return false;
    for (const QString& name : s_names) {
        if (activatable.value().contains(name))
            return true;
    }
    return false;
}

int QtKeychainBackend::add(const QString& service, const QString& account, const QByteArray& data,
                           KeychainProtection protection)
{
    // No secret store of this desktop asks for the user's presence before it
    // releases one item, so such an item is never written.
    if (protection == KeychainProtection::userPresence)
        return KeychainStatus::notAvailable;
    if (const int status = precondition(); status != KeychainStatus::success)
        return status;
    auto job = std::make_unique<QKeychain::WritePasswordJob>(service);
    job->setKey(account);
    job->setBinaryData(data);
    return runJob(std::move(job), m_timeout, [](QKeychain::WritePasswordJob&, int) {});
}

KeychainLoadResult QtKeychainBackend::load(const QString& service, const QString& account)
{
    KeychainLoadResult result;
    if (const int status = precondition(); status != KeychainStatus::success) {
        result.status = status;
        return result;
    }
    auto job = std::make_unique<QKeychain::ReadPasswordJob>(service);
    job->setKey(account);
    result.status = runJob(std::move(job), m_timeout, [&result](QKeychain::ReadPasswordJob& done, int status) {
        if (status == KeychainStatus::success)
            result.data = done.binaryData();
    });
    return result;
}

int QtKeychainBackend::remove(const QString& service, const QString& account)
{
    if (const int status = precondition(); status != KeychainStatus::success)
        return status;
    auto job = std::make_unique<QKeychain::DeletePasswordJob>(service);
    job->setKey(account);
    return runJob(std::move(job), m_timeout, [](QKeychain::DeletePasswordJob&, int) {});
}
