#pragma once

#include <QList>
#include <QString>

// A browser profile whose bookmarks can be imported.
struct BrowserProfile {
    enum class Family { firefox, chromium };
    Family family = Family::firefox;
    QString browser; // "Firefox", "Google Chrome", "Brave", …
    QString name;    // the profile's own name ("default-release", "Person 1")
    QString path;    // the profile folder
    bool isDefault = false;

    // places.sqlite or Bookmarks inside the profile folder.
    QString bookmarksPath() const;
    bool operator==(const BrowserProfile&) const = default;
};

// The browser profiles found on this machine, for the user to choose from.
// Firefox-family browsers list their profiles in profiles.ini; Chromium-
// family browsers keep one folder per profile beside their "Local State"
// (which names them). Regular, Snap and Flatpak installations are looked
// for. Only profiles that have bookmarks are listed.
namespace BrowserProfiles {

// `home` and `configHome` stand for $HOME and $XDG_CONFIG_HOME (tests pass
// their own); empty means the user's.
QList<BrowserProfile> discover(const QString& home = {}, const QString& configHome = {});

// The profiles of one Firefox-family profiles.ini folder.
QList<BrowserProfile> firefoxProfiles(const QString& directory, const QString& browser);
// The profiles of one Chromium-family user data folder.
QList<BrowserProfile> chromiumProfiles(const QString& directory, const QString& browser);

} // namespace BrowserProfiles
