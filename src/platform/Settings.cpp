#include "Settings.h"

using namespace Qt::StringLiterals;

namespace {
QString& overridePath()
{
    static QString s_path;
    return s_path;
}
} // namespace

QString SettingsKeys::rawValue(SettingsKey key)
{
    switch (key) {
    case SettingsKey::hasCompletedOnboarding: return u"hasCompletedOnboarding"_s;
    case SettingsKey::preferredViewMode: return u"preferredViewMode"_s;
    case SettingsKey::preferredSortOrder: return u"preferredSortOrder"_s;
    case SettingsKey::iCloudSyncEnabled: return u"iCloudSyncEnabled"_s;
    case SettingsKey::lastSyncDate: return u"lastSyncDate"_s;
    case SettingsKey::encryptionEnabled: return u"encryptionEnabled"_s;
    case SettingsKey::biometricUnlockEnabled: return u"biometricUnlockEnabled"_s;
    case SettingsKey::autoLockTimeout: return u"autoLockTimeout"_s;
    case SettingsKey::theme: return u"theme"_s;
    case SettingsKey::accentColor: return u"accentColor"_s;
    case SettingsKey::showItemCounts: return u"showItemCounts"_s;
    case SettingsKey::confirmBeforeDelete: return u"confirmBeforeDelete"_s;
    case SettingsKey::recentSearches: return u"recentSearches"_s;
    }
    return {};
}

std::unique_ptr<QSettings> Settings::open()
{
    if (!overridePath().isEmpty())
        return std::make_unique<QSettings>(overridePath(), QSettings::IniFormat);
    return std::make_unique<QSettings>(u"vellumkeep"_s, u"Folionest"_s);
}

void Settings::useFile(const QString& iniPath)
{
    overridePath() = iniPath;
}

QVariant Settings::value(SettingsKey key, const QVariant& defaultValue)
{
    return open()->value(SettingsKeys::rawValue(key), defaultValue);
}

void Settings::setValue(SettingsKey key, const QVariant& value)
{
    open()->setValue(SettingsKeys::rawValue(key), value);
    Q_EMIT SettingsNotifier::instance().valueChanged(key);
}

void Settings::remove(SettingsKey key)
{
    open()->remove(SettingsKeys::rawValue(key));
    Q_EMIT SettingsNotifier::instance().valueChanged(key);
}

SettingsNotifier& SettingsNotifier::instance()
{
    static SettingsNotifier s_instance;
    return s_instance;
}

bool Settings::boolValue(SettingsKey key, bool defaultValue)
{
    return value(key, defaultValue).toBool();
}

void Settings::sync()
{
    open()->sync();
}
