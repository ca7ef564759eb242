#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

// Bookmarks as plain values, the way a browser hands them over: a folder
// tree and the links in it. Readers of bookmark files and browser profiles
// fill one, the bookmark file writer writes one; the library's records are
// made from it on the main thread.
//
// Folders come before their subfolders (a parent's index is smaller than its
// children's), and every folder holds at least one link somewhere below it.
struct BookmarkTree {
    // Dates are milliseconds since 1970 (UTC); none when the source gives no
    // readable date.
    struct Folder {
        QString name;
        qsizetype parent = -1; // -1: top level
        std::optional<qint64> addDate;
        std::optional<qint64> lastModified;
        bool operator==(const Folder&) const = default;
    };
    struct Link {
        QString url; // as the source has it
        QString title;
        std::optional<QString> note;
        QStringList tags;
        qsizetype folder = -1;
        std::optional<qint64> addDate;
        std::optional<qint64> lastModified;
        bool operator==(const Link&) const = default;
    };

    QList<Folder> folders;
    QList<Link> links;

    // The names of a folder and its ancestors, outermost first.
    QStringList path(qsizetype folder) const
    {
        QStringList names;
        for (qsizetype f = folder; f >= 0; f = folders[f].parent)
            names.prepend(folders[f].name);
        return names;
    }
};

// Moved in memory as a whole when their lists grow.
Q_DECLARE_TYPEINFO(BookmarkTree::Folder, Q_RELOCATABLE_TYPE);
Q_DECLARE_TYPEINFO(BookmarkTree::Link, Q_RELOCATABLE_TYPE);

// Builds a tree while a reader walks its source depth first: folders are
// opened and closed around their contents, and made only when a link lands
// in them or below them, so folders without links never appear. Levels
// deeper than the limit make no folder; their links go into the deepest
// folder kept. Nothing recurses, and memory grows with the links, not with
// the depth or the number of empty folders.
class BookmarkTreeBuilder {
public:
    explicit BookmarkTreeBuilder(int maxDepth) : m_maxDepth(maxDepth) {}

    // Hands links on in batches of about `size` while the source is still
    // being read, instead of keeping them in the tree, so that they can be
    // worked on meanwhile: every link but the last one added, which the
    // reader may still complete. take() hands on the rest, and the tree it
    // returns then holds the folders only. Indices stay those of the whole
    // sequence of links.
    using LinkBatches = std::function<void(QList<BookmarkTree::Link> links)>;
    void handOnLinks(qsizetype size, LinkBatches batches);

    // Opens a folder level; past the limit the level makes no folder.
    void open(BookmarkTree::Folder folder);
    // Opens a level that belongs to the folder around it.
    void openTransparent() { m_levels.push_back(false); }
    // Closes the innermost level; a close without an open is ignored.
    void close();
    qsizetype depth() const { return qsizetype(m_frames.size()); }

    // Adds a link to the innermost folder; returns its index.
    qsizetype add(BookmarkTree::Link link);
    // The last link added, or one still kept.
    BookmarkTree::Link& link(qsizetype index) { return m_tree.links[index - m_handedOn]; }

    BookmarkTree take();

private:
    struct Frame {
        BookmarkTree::Folder folder;
        qsizetype index = -1; // in the tree, once made
    };
    qsizetype currentFolder();

    int m_maxDepth;
    BookmarkTree m_tree;
    std::vector<Frame> m_frames;
    // One entry per open level: whether it opened a frame.
    std::vector<bool> m_levels;
    LinkBatches m_batches;
    qsizetype m_batchSize = 0;
    qsizetype m_handedOn = 0;
};
