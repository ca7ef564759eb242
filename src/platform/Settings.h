#pragma once

#include <QObject>
#include <QSettings>
#include <QString>
#include <QVariant>

#include <memory>

// The user-defaults keys. Each reader supplies its own default.
enum class SettingsKey {
    hasCompletedOnboarding,
    preferredViewMode,
    preferredSortOrder,
    iCloudSyncEnabled,
    lastSyncDate,
    encryptionEnabled,
    biometricUnlockEnabled,
    autoLockTimeout,
    theme,
    accentColor,
    showItemCounts,
    confirmBeforeDelete,
    recentSearches
};

namespace SettingsKeys {
QString rawValue(SettingsKey key);
}

// Preferences through QSettings (organisation "vellumkeep", application
// "Folionest"). Tests point it at a file of their own.
class Settings {
public:
    static QVariant value(SettingsKey key, const QVariant& defaultValue = {});
    static void setValue(SettingsKey key, const QVariant& value);
    static void remove(SettingsKey key);
    static bool boolValue(SettingsKey key, bool defaultValue);
    static void sync();

    // Makes every later call use the given file (tests, portable use).
    static void useFile(const QString& iniPath);
    static std::unique_ptr<QSettings> open();
};

// Announces every preference written through Settings, so that the views
// showing it follow at once. Main thread.
class SettingsNotifier final : public QObject {
    Q_OBJECT

public:
    static SettingsNotifier& instance();

Q_SIGNALS:
    void valueChanged(SettingsKey key);
};
