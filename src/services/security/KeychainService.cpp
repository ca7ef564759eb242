#include "KeychainService.h"

#include <openssl/crypto.h>

using namespace Qt::StringLiterals;

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

SecurityStatus KeychainService::add(const QByteArray& data, const QString& key, KeychainProtection protection)
{
    // A failing delete is not fatal: the add reports what matters.
    (void)deleteItem(key);
    const int status = m_backend->add(service(), key, data, protection);
    if (status != KeychainStatus::success)
        return SecurityStatus::failure(SecurityError::keychainError(statusMessage(status)));
    return {};
}

SecurityStatus KeychainService::saveItem(const QByteArray& data, const QString& key)
{
    return add(data, key, KeychainProtection::afterFirstUnlock);
}

SecurityStatus KeychainService::saveBiometricItem(const QByteArray& data, const QString& key)
{
    return add(data, key, KeychainProtection::userPresence);
}

Result<QByteArray, SecurityError> KeychainService::loadItem(const QString& key)
{
    KeychainLoadResult loaded = m_backend->load(service(), key);
    if (loaded.status != KeychainStatus::success)
        return Result<QByteArray, SecurityError>::failure(
            SecurityError::keychainError(u"Load failed: "_s + QString::number(loaded.status)));
    return std::move(loaded.data);
}

SecurityStatus KeychainService::deleteItem(const QString& key)
{
    const int status = m_backend->remove(service(), key);
    if (status != KeychainStatus::success && status != KeychainStatus::itemNotFound)
        return SecurityStatus::failure(SecurityError::keychainError(u"Delete failed: "_s + QString::number(status)));
    return {};
}

Result<bool, SecurityError> KeychainService::containsItem(const QString& key)
{
    KeychainLoadResult loaded = m_backend->load(service(), key);
    if (!loaded.data.isEmpty())
        OPENSSL_cleanse(loaded.data.data(), static_cast<std::size_t>(loaded.data.size()));
    if (loaded.status == KeychainStatus::success)
        return true;
    if (loaded.status == KeychainStatus::itemNotFound)
        return false;
    return Result<bool, SecurityError>::failure(
        SecurityError::keychainError(u"Load failed: "_s + QString::number(loaded.status)));
}

bool KeychainService::supportsUserPresence() const
{
    return m_backend->supportsUserPresence();
}
