// libFuzzer target for the bookmark file reader and writer.
//
// Every input is read. A tree that comes out must keep the reader's
// promises: parents before children, no deeper than kMaxDepth, no folder
// without a link below it, texts within their limits. Written as a bookmark
// file and read again, it must give the same links (address, title, note,
// tags, dates to the second) in folders of the same names: the writer's
// output is what the reader reads, whatever the input was. The reader's
// linear time is held by libFuzzer's time limit on large inputs.
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target bookmarks_fuzz
//   build/fuzz/fuzz/bookmarks_fuzz -dict=fuzz/bookmarks.dict fuzz/corpus/bookmarks tests/data/bookmarks

#include "services/bookmarks/BookmarkFileReader.h"
#include "services/bookmarks/BookmarkFileWriter.h"

#include <QBuffer>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

[[noreturn]] void fail(const char* what, const QByteArray& detail = {})
{
    std::fprintf(stderr, "%s\n%s\n", what, detail.constData());
    std::abort();
}

// The links in a form that does not depend on the order of folders: each
// with its folder path, stably ordered by that path.
std::vector<std::pair<QStringList, QString>> canonical(const BookmarkTree& tree)
{
    std::vector<std::pair<QStringList, QString>> links;
    for (const BookmarkTree::Link& link : tree.links) {
        const auto seconds = [](const std::optional<qint64>& ms) { return ms ? QString::number(*ms / 1000) : u"-"_s; };
        links.emplace_back(tree.path(link.folder),
                           QStringList{link.url, link.title, link.note.value_or(u"(none)"_s), link.tags.join(u'\x1f'),
                                       seconds(link.addDate), seconds(link.lastModified)}
                               .join(u'\x1e'));
    }
    std::stable_sort(links.begin(), links.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return links;
}

void checkShape(const BookmarkTree& tree)
{
    const qsizetype folders = tree.folders.size();
    std::vector<bool> holdsLinks(size_t(folders), false);
    for (const BookmarkTree::Link& link : tree.links) {
        if (link.folder < -1 || link.folder >= folders)
            fail("link in a folder that does not exist");
        for (qsizetype f = link.folder; f >= 0; f = tree.folders[f].parent)
            holdsLinks[size_t(f)] = true;
        if (link.title.size() > BookmarkFileReader::kMaxTitleLength)
            fail("title over its limit");
        if (link.note && (link.note->isEmpty() || link.note->size() > BookmarkFileReader::kMaxNoteLength))
            fail("note empty or over its limit");
    }
    for (qsizetype f = 0; f < folders; ++f) {
        if (tree.folders[f].parent >= f || tree.folders[f].parent < -1)
            fail("folder before its parent");
        if (!holdsLinks[size_t(f)])
            fail("folder without links");
        if (tree.path(f).size() > BookmarkFileReader::kMaxDepth)
            fail("folder deeper than the limit");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto first = BookmarkFileReader::read(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!first)
        return 0;
    checkShape(first.value());

    QByteArray written;
    QBuffer buffer(&written);
    buffer.open(QIODevice::WriteOnly);
    if (!BookmarkFileWriter::write(first.value(), buffer).ok())
        fail("writing to memory failed");
    const auto second = BookmarkFileReader::read(written);
    if (!second)
        fail("the writer's file does not read back", written);
    checkShape(second.value());
    const auto expected = canonical(first.value());
    const auto actual = canonical(second.value());
    if (expected != actual) {
        QByteArray detail = "written:\n" + written + "\nlinks read first / read back:\n";
        for (size_t i = 0; i < std::max(expected.size(), actual.size()); ++i) {
            for (const auto* side : {&expected, &actual}) {
                if (i < side->size())
                    detail += ((*side)[i].first.join(u'/') + u" :: "_s + (*side)[i].second).toUtf8() + '\n';
            }
        }
        fail("the written tree reads back differently", detail);
    }
    return 0;
}
