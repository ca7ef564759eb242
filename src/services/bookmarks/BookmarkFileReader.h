#pragma once

#include "BookmarkError.h"
#include "BookmarkTree.h"

#include "model/Result.h"

#include <QByteArrayView>
#include <QString>

#include <functional>
#include <optional>

// Reads the bookmark file every browser exports and imports
// ("NETSCAPE-Bookmark-file-1"): nested <DL> lists of <DT><H3> folders and
// <DT><A HREF> links, each link optionally followed by a <DD> description.
//
// It reads the file as browsers do, not as XML: tag and attribute names in
// any case, <p> and missing end tags tolerated (a <DT>, <DL>, </DL>, <H3>,
// <A> or <DD> ends whatever text was open), entities decoded, any line
// ending, UTF-8 or the charset the file's META names (windows-1252 and its
// aliases directly, others through Qt's converters).
//
// One pass over the bytes, in linear time whatever the input: every byte is
// looked at a bounded number of times (memchr to the next '<', attribute
// values skipped to their closing quote), nothing is re-scanned and nothing
// recurses. Hostile files stay harmless: folders deeper than kMaxDepth are
// not made (their links go into the deepest folder kept), texts longer than
// their limits are cut, and folders that end up without links are never
// made, so memory grows with the links found, not with the file.
class BookmarkFileReader {
public:
    static constexpr int kMaxDepth = 64;
    static constexpr qsizetype kMaxTitleLength = 4096;
    static constexpr qsizetype kMaxNoteLength = 65536;

    // Called now and then with the bytes read so far; returning false stops
    // the reading, which then fails as canceled.
    using Progress = std::function<bool(qsizetype done, qsizetype total)>;

    // Links go on in batches of this many while the file is read, when asked.
    static constexpr qsizetype kBatchSize = 4096;

    // notBookmarkFile when the bytes are not a bookmark file (an ordinary web
    // page, another format). Any thread. With `batches`, the links are handed
    // to it as they are read (see BookmarkTreeBuilder::handOnLinks) and the
    // tree returned holds the folders only; a file that turns out not to be
    // a bookmark file may have handed on some.
    static Result<BookmarkTree, BookmarkError> read(QByteArrayView bytes, const Progress& progress = {},
                                                    BookmarkTreeBuilder::LinkBatches batches = {});

    // Character references: &amp; &lt; &gt; &quot; &apos; &nbsp; and other
    // common names, &#NNN; and &#xHHH; (the ';' may be missing after a
    // number and after amp, lt, gt and quot). Unknown names stay as written.
    static QString decodeEntities(QStringView text);
    // ADD_DATE / LAST_MODIFIED: seconds since 1970 (values too large for
    // seconds are taken as milliseconds or microseconds, as some tools write
    // them), in milliseconds; none for anything else, and for 0.
    static std::optional<qint64> parseDate(QByteArrayView text);
};
