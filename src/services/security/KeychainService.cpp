#include "KeychainService.h"

#include <openssl/crypto.h>

#include <QPointer>
#include <QPromise>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

// The backend's answer, or `late` once the time limit has passed without
// one; whichever comes first settles the call and the other is dropped. The
// backend's own work goes on (a job finishes and cleans up by itself).
template <typename T>
QFuture<T> withinTimeLimit(QFuture<T> answer, QObject* context, std::chrono::milliseconds limit, T late)
{
    if (answer.isFinished())
        return answer;
    auto promise = std::make_shared<QPromise<T>>();
    promise->start();
    QFuture<T> settled = promise->future();
    auto done = std::make_shared<bool>(false);
    auto settle = [promise, done](T value) {
        if (std::exchange(*done, true))
            return;
        promise->addResult(std::move(value));
        promise->finish();
    };
    auto* timer = new QTimer(context);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, context, [settle, late, timer] {
        qWarning("Keychain: no answer in time");
        settle(late);
        timer->deleteLater();
    });
    answer.then(context, [settle, timer = QPointer<QTimer>(timer)](T value) {
        settle(std::move(value));
        delete timer.data();
    });
    timer->start(limit);
    return settled;
}

void cleanse(QByteArray& bytes)
{
    if (!bytes.isEmpty() && bytes.isDetached())
        OPENSSL_cleanse(bytes.data(), static_cast<std::size_t>(bytes.size()));
}

SecurityError loadFailure(int status)
{
    return SecurityError::keychainError(u"Load failed: "_s + QString::number(status));
}

} // namespace

KeychainService::KeychainService(std::unique_ptr<KeychainBackend> backend)
    : m_backend(backend ? std::move(backend) : std::make_unique<QtKeychainBackend>())
{}

KeychainService::~KeychainService() = default;

QString KeychainService::service() const
{
    return u"com.vellumkeep.keychain"_s;
}

QString KeychainService::statusMessage(int status)
{
    switch (status) {
    case KeychainStatus::missingEntitlement:
        return u"Keychain access failed (missing entitlement or unsigned app). On Mac, build with your Developer ID "
               "or run from Xcode. On Simulator, use a real device."_s;
    case KeychainStatus::duplicateItem: return u"Item already exists"_s;
    case KeychainStatus::authFailed: return u"Authentication failed. Check device passcode."_s;
    case KeychainStatus::notAvailable:
        return u"Keychain is not available. On Mac, ensure the app is properly signed. On Simulator, use a real "
               "device."_s;
    default:
        return u"Keychain error ("_s + QString::number(status)
               + u"). Ensure the app is properly signed; on Simulator, use a real device."_s;
    }
}

QFuture<SecurityStatus> KeychainService::add(const QByteArray& data, const QString& key, KeychainProtection protection)
{
    // A failing delete is not fatal: the add reports what matters.
    return deleteItem(key)
        .then(&m_context,
              [this, data, key, protection](SecurityStatus) {
                  return withinTimeLimit(m_backend->add(service(), key, data, protection), &m_context, m_timeout,
                                         KeychainStatus::timedOut);
              })
        .unwrap()
        .then(&m_context, [](int status) {
            if (status != KeychainStatus::success)
                return SecurityStatus::failure(SecurityError::keychainError(statusMessage(status)));
            return SecurityStatus();
        });
}

QFuture<SecurityStatus> KeychainService::saveItem(const QByteArray& data, const QString& key)
{
    return add(data, key, KeychainProtection::afterFirstUnlock);
}

QFuture<SecurityStatus> KeychainService::saveBiometricItem(const QByteArray& data, const QString& key)
{
    return add(data, key, KeychainProtection::userPresence);
}

QFuture<KeychainLoadResult> KeychainService::load(const QString& key)
{
    return withinTimeLimit(m_backend->load(service(), key), &m_context, m_timeout,
                           KeychainLoadResult{KeychainStatus::timedOut, {}});
}

QFuture<Result<QByteArray, SecurityError>> KeychainService::loadItem(const QString& key)
{
    return load(key).then(&m_context, [](KeychainLoadResult loaded) -> Result<QByteArray, SecurityError> {
        if (loaded.status != KeychainStatus::success)
            return Result<QByteArray, SecurityError>::failure(loadFailure(loaded.status));
        return std::move(loaded.data);
    });
}

QFuture<SecurityStatus> KeychainService::deleteItem(const QString& key)
{
    return withinTimeLimit(m_backend->remove(service(), key), &m_context, m_timeout, KeychainStatus::timedOut)
        .then(&m_context, [](int status) {
            if (status != KeychainStatus::success && status != KeychainStatus::itemNotFound)
                return SecurityStatus::failure(
                    SecurityError::keychainError(u"Delete failed: "_s + QString::number(status)));
            return SecurityStatus();
        });
}

QFuture<Result<bool, SecurityError>> KeychainService::containsItem(const QString& key)
{
    return load(key).then(&m_context, [](KeychainLoadResult loaded) -> Result<bool, SecurityError> {
        cleanse(loaded.data);
        if (loaded.status == KeychainStatus::success)
            return true;
        if (loaded.status == KeychainStatus::itemNotFound)
            return false;
        return Result<bool, SecurityError>::failure(loadFailure(loaded.status));
    });
}

bool KeychainService::supportsUserPresence() const
{
    return m_backend->supportsUserPresence();
}
