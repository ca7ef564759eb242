#pragma once

#include "model/Result.h"

#include <QString>

// Where the library lives: the shared container folder, which holds the
// store file and the share extension's PendingItems folder.
namespace ContainerPaths {

inline constexpr char kEnvironmentOverride[] = "FOLIONEST_CONTAINER";
inline constexpr char kGroupIdentifier[] = "group.oxa.vellumkeep.shared";

// $FOLIONEST_CONTAINER when set, else $XDG_DATA_HOME/vellumkeep/<group>.
// A variable that is set but empty is an error, never the personal library:
// a script that meant a folder of its own must not write into the user's.
Result<QString> containerDirectory();
// The store file inside a container folder.
QString storePath(const QString& containerDirectory);
QString pendingItemsDirectory(const QString& containerDirectory);

} // namespace ContainerPaths
