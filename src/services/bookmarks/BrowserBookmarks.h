#pragma once

#include "BookmarkError.h"
#include "BookmarkTree.h"

#include "model/Result.h"

#include <QByteArray>
#include <QString>

// The bookmarks that browsers keep in their profiles, read without an
// export step. Both give the tree a browser's own bookmark file export
// would: the toolbar and the other roots become folders, the Firefox menu's
// contents (and Chromium's "Other bookmarks") sit at the top level.
namespace BrowserBookmarks {

// Chromium, Google Chrome, Brave, Edge, Vivaldi: the profile's "Bookmarks"
// JSON document. Dates are microseconds since 1601; no tags, no notes.
Result<BookmarkTree, BookmarkError> readChromium(const QByteArray& json);

// Firefox and its relatives: the profile's places.sqlite, folders,
// bookmarks with their dates, the tags (kept as folders under the tags
// root) and the descriptions older versions kept. The running browser holds
// the database locked, so it is read through a private copy of the file and
// its write-ahead log, made in `scratchDir` (a temporary folder when empty)
// and removed afterwards; the profile itself is only ever read.
Result<BookmarkTree, BookmarkError> readFirefox(const QString& placesPath, const QString& scratchDir = {});

} // namespace BrowserBookmarks
