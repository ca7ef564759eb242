#pragma once

#include "BookmarkTree.h"

#include "model/Result.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QIODevice;

// A library's bookmarks as an export takes them on the main thread, at the
// cost of little more than a reference count per text: the texts are shared
// with the records, and each link's tags are a run of `tags`, indices into
// `tagNames`. Folders come before their subfolders.
struct BookmarkList {
    struct Link {
        QString url;
        QString title;
        QString note;       // empty: none
        qint64 addDate = 0; // milliseconds since 1970 (UTC)
        qint64 lastModified = 0;
        qsizetype folder = -1; // -1: top level
        qsizetype firstTag = 0;
        qsizetype tagCount = 0;
    };
    QList<BookmarkTree::Folder> folders;
    QStringList tagNames;
    std::vector<qsizetype> tags;
    std::vector<Link> links;
};

// Writes bookmarks as the bookmark file browsers import
// ("NETSCAPE-Bookmark-file-1", UTF-8): each folder as <DT><H3> with its
// <DL>, its subfolders first and then its links, in the given order; a link
// as <DT><A HREF ADD_DATE LAST_MODIFIED TAGS> with its note in a <DD>.
// Dates are written in seconds. Firefox and Chromium read the folder tree,
// the dates and the notes back; Firefox also the tags.
namespace BookmarkFileWriter {

// Called with the links written so far; returning false stops the writing,
// which then fails.
using Progress = std::function<bool(qsizetype done, qsizetype total)>;

[[nodiscard]] Status write(const BookmarkTree& tree, QIODevice& device, const Progress& progress = {});
[[nodiscard]] Status write(const BookmarkList& list, QIODevice& device, const Progress& progress = {});

} // namespace BookmarkFileWriter
