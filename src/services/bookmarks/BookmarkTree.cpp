#include "BookmarkTree.h"

#include <algorithm>
#include <utility>

void BookmarkTreeBuilder::open(BookmarkTree::Folder folder)
{
    if (m_frames.size() >= size_t(m_maxDepth)) {
        openTransparent();
        return;
    }
    m_frames.push_back({std::move(folder), -1});
    m_levels.push_back(true);
}

void BookmarkTreeBuilder::close()
{
    if (m_levels.empty())
        return;
    if (m_levels.back())
        m_frames.pop_back();
    m_levels.pop_back();
}

qsizetype BookmarkTreeBuilder::currentFolder()
{
    // Frames are made outermost first, so every frame above a made one is
    // made too: walk up to the first made frame, then make the rest.
    size_t first = m_frames.size();
    while (first > 0 && m_frames[first - 1].index < 0)
        --first;
    for (size_t i = first; i < m_frames.size(); ++i) {
        Frame& frame = m_frames[i];
        frame.folder.parent = i > 0 ? m_frames[i - 1].index : -1;
        frame.index = m_tree.folders.size();
        m_tree.folders.append(frame.folder);
    }
    return m_frames.empty() ? -1 : m_frames.back().index;
}

qsizetype BookmarkTreeBuilder::add(BookmarkTree::Link link)
{
    link.folder = currentFolder();
    if (m_batches && m_tree.links.size() > m_batchSize) {
        BookmarkTree::Link last = m_tree.links.takeLast();
        m_handedOn += m_tree.links.size();
        m_batches(std::exchange(m_tree.links, {}));
        m_tree.links.reserve(m_batchSize + 1);
        m_tree.links.append(std::move(last));
    }
    m_tree.links.append(std::move(link));
    return m_handedOn + m_tree.links.size() - 1;
}

void BookmarkTreeBuilder::handOnLinks(qsizetype size, LinkBatches batches)
{
    m_batchSize = std::max<qsizetype>(size, 1);
    m_batches = std::move(batches);
}

BookmarkTree BookmarkTreeBuilder::take()
{
    if (m_batches && !m_tree.links.isEmpty()) {
        m_handedOn += m_tree.links.size();
        m_batches(std::exchange(m_tree.links, {}));
    }
    return std::move(m_tree);
}
