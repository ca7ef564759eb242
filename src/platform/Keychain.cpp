#include "Keychain.h"

#include <qt6keychain/keychain.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QPromise>
#include <QThread>

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

template <typename T>
QFuture<T> answered(T value)
{
    return QtFuture::makeReadyFuture(std::move(value));
}

// Starts the job and returns; the job's finished signal finishes the future
// with what `answer` makes of the job and its status. The job deletes itself
// once it has finished, however late that is.
template <typename T, typename JobType, typename Answer>
QFuture<T> start(JobType* job, Answer answer)
{
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    auto promise = std::make_shared<QPromise<T>>();
    promise->start();
    QFuture<T> future = promise->future();
    QObject::connect(job, &QKeychain::Job::finished, job, [promise, answer](QKeychain::Job* done) {
        const int status = statusFor(done->error());
        if (status == KeychainStatus::backendError)
            qWarning().noquote() << u"Keychain backend error: "_s + done->errorString();
        promise->addResult(answer(*static_cast<JobType*>(done), status));
        promise->finish();
    });
    job->start();
    return future;
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

QFuture<int> QtKeychainBackend::add(const QString& service, const QString& account, const QByteArray& data,
                                    KeychainProtection protection)
{
    // No secret store of this desktop asks for the user's presence before it
    // releases one item, so such an item is never written.
    if (protection == KeychainProtection::userPresence)
        return answered(KeychainStatus::notAvailable);
    if (const int status = precondition(); status != KeychainStatus::success)
        return answered(status);
    auto* job = new QKeychain::WritePasswordJob(service);
    job->setKey(account);
    job->setBinaryData(data);
    return start<int>(job, [](QKeychain::WritePasswordJob&, int status) { return status; });
}

QFuture<KeychainLoadResult> QtKeychainBackend::load(const QString& service, const QString& account)
{
    if (const int status = precondition(); status != KeychainStatus::success)
        return answered(KeychainLoadResult{status, {}});
    auto* job = new QKeychain::ReadPasswordJob(service);
    job->setKey(account);
    return start<KeychainLoadResult>(job, [](QKeychain::ReadPasswordJob& done, int status) {
        return KeychainLoadResult{status, status == KeychainStatus::success ? done.binaryData() : QByteArray()};
    });
}

QFuture<int> QtKeychainBackend::remove(const QString& service, const QString& account)
{
    if (const int status = precondition(); status != KeychainStatus::success)
        return answered(status);
    auto* job = new QKeychain::DeletePasswordJob(service);
    job->setKey(account);
    return start<int>(job, [](QKeychain::DeletePasswordJob&, int status) { return status; });
}
