#pragma once

#include "BookmarkTree.h"

#include "model/Result.h"

#include <QString>

#include <functional>

class QIODevice;

// Writes a bookmark tree as the bookmark file browsers import
// ("NETSCAPE-Bookmark-file-1", UTF-8): each folder as <DT><H3> with its
// <DL>, its subfolders first and then its links, in the tree's order; a
// link as <DT><A HREF ADD_DATE LAST_MODIFIED TAGS> with its note in a <DD>.
// Dates are written in seconds. Firefox and Chromium read the folder tree,
// the dates and the notes back; Firefox also the tags.
namespace BookmarkFileWriter {

// Called with the links written so far; returning false stops the writing,
// which then fails.
using Progress = std::function<bool(qsizetype done, qsizetype total)>;

[[nodiscard]] Status write(const BookmarkTree& tree, QIODevice& device, const Progress& progress = {});

} // namespace BookmarkFileWriter
