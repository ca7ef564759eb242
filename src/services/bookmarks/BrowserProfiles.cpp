#include "BrowserProfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

struct Location {
    const char16_t* path; // below $HOME, or below the config home when it starts with "@"
    const char16_t* browser;
};

constexpr Location kFirefoxLocations[] = {
    {u".mozilla/firefox", u"Firefox"},
    {u"@mozilla/firefox", u"Firefox"},
    {u"snap/firefox/common/.mozilla/firefox", u"Firefox (Snap)"},
    {u".var/app/org.mozilla.firefox/.mozilla/firefox", u"Firefox (Flatpak)"},
    {u".librewolf", u"LibreWolf"},
    {u".var/app/io.gitlab.librewolf-community/.librewolf", u"LibreWolf (Flatpak)"},
    {u".waterfox", u"Waterfox"},
    {u".floorp", u"Floorp"},
};

constexpr Location kChromiumLocations[] = {
    {u"@chromium", u"Chromium"},
    {u"snap/chromium/common/chromium", u"Chromium (Snap)"},
    {u".var/app/org.chromium.Chromium/config/chromium", u"Chromium (Flatpak)"},
    {u"@google-chrome", u"Google Chrome"},
    {u"@google-chrome-beta", u"Google Chrome Beta"},
    {u"@google-chrome-unstable", u"Google Chrome Dev"},
    {u".var/app/com.google.Chrome/config/google-chrome", u"Google Chrome (Flatpak)"},
    {u"@BraveSoftware/Brave-Browser", u"Brave"},
    {u".var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser", u"Brave (Flatpak)"},
    {u"@microsoft-edge", u"Microsoft Edge"},
    {u"@vivaldi", u"Vivaldi"},
};

// A small reader of profiles.ini: [sections] of key=value lines. (QSettings
// would read commas in a profile name as a list.)
QList<QPair<QString, QHash<QString, QString>>> readIni(const QString& path)
{
    QList<QPair<QString, QHash<QString, QString>>> sections;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return sections;
    for (const QByteArray& rawLine : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            sections.append({line.mid(1, line.size() - 2), {}});
        } else if (const qsizetype eq = line.indexOf(u'='); eq > 0 && !sections.isEmpty()) {
            sections.last().second.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
        }
    }
    return sections;
}

QString resolve(const Location& location, const QString& home, const QString& configHome)
{
    const QString path = QString::fromUtf16(location.path);
    if (path.startsWith(u'@'))
        return QDir(configHome).filePath(path.mid(1));
    return QDir(home).filePath(path);
}

} // namespace

QString BrowserProfile::bookmarksPath() const
{
    return QDir(path).filePath(family == Family::firefox ? u"places.sqlite"_s : u"Bookmarks"_s);
}

namespace BrowserProfiles {

QList<BrowserProfile> firefoxProfiles(const QString& directory, const QString& browser)
{
    const auto sections = readIni(QDir(directory).filePath(u"profiles.ini"_s));
    // The profile an installation starts with wins over the older
    // Default=1 mark.
    QString installDefault;
    for (const auto& [name, keys] : sections) {
        if (name.startsWith(u"Install") && keys.contains(u"Default"_s))
            installDefault = keys.value(u"Default"_s);
    }
    QList<BrowserProfile> profiles;
    for (const auto& [name, keys] : sections) {
        if (!name.startsWith(u"Profile") || !keys.contains(u"Path"_s))
            continue;
        const QString relative = keys.value(u"Path"_s);
        BrowserProfile profile;
        profile.family = BrowserProfile::Family::firefox;
        profile.browser = browser;
        profile.name = keys.value(u"Name"_s, relative);
        profile.path = QDir::cleanPath(
            keys.value(u"IsRelative"_s, u"1"_s) == u"0" ? relative : QDir(directory).filePath(relative));
        profile.isDefault = installDefault.isEmpty() ? keys.value(u"Default"_s) == u"1" : relative == installDefault;
        if (QFileInfo::exists(profile.bookmarksPath()))
            profiles.append(profile);
    }
    return profiles;
}

QList<BrowserProfile> chromiumProfiles(const QString& directory, const QString& browser)
{
    QFile localState(QDir(directory).filePath(u"Local State"_s));
    QJsonObject state;
    if (localState.open(QIODevice::ReadOnly))
        state = QJsonDocument::fromJson(localState.readAll()).object().value(u"profile"_s).toObject();
    const QJsonObject names = state.value(u"info_cache"_s).toObject();
    const QString lastUsed = state.value(u"last_used"_s).toString(u"Default"_s);

    QStringList folders = names.keys();
    // Profiles Local State does not name (or no Local State at all).
    for (const QString& entry : QDir(directory).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        if ((entry == u"Default" || entry.startsWith(u"Profile ")) && !folders.contains(entry))
            folders.append(entry);
    }
    QList<BrowserProfile> profiles;
    for (const QString& folder : std::as_const(folders)) {
        BrowserProfile profile;
        profile.family = BrowserProfile::Family::chromium;
        profile.browser = browser;
        profile.name = names.value(folder).toObject().value(u"name"_s).toString(folder);
        profile.path = QDir(directory).filePath(folder);
        profile.isDefault = folder == lastUsed;
        if (QFileInfo::exists(profile.bookmarksPath()))
            profiles.append(profile);
    }
    return profiles;
}

QList<BrowserProfile> discover(const QString& home, const QString& configHome)
{
    const QString homeDir = home.isEmpty() ? QDir::homePath() : home;
    QString config = configHome;
    if (config.isEmpty())
        config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir(homeDir).filePath(u".config"_s);
    QList<BrowserProfile> found;
    for (const Location& location : kFirefoxLocations)
        found += firefoxProfiles(resolve(location, homeDir, config), QString::fromUtf16(location.browser));
    for (const Location& location : kChromiumLocations)
        found += chromiumProfiles(resolve(location, homeDir, config), QString::fromUtf16(location.browser));
    return found;
}

} // namespace BrowserProfiles
