#include "BookmarkFileWriter.h"

#include <QIODevice>
#include <QStringEncoder>

#include <charconv>
#include <cstring>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace BookmarkFileWriter {
namespace {

constexpr qsizetype kFlushSize = 256 * 1024;

class Output {
public:
    explicit Output(QIODevice& device) : m_device(device) { m_buffer.reserve(kFlushSize + 4096); }

    Output& operator<<(const char* text)
    {
        m_buffer.append(text);
        return *this;
    }
    // Text with & < > " escaped, encoded straight into the buffer. Most text
    // is plain ASCII: blocks of it are narrowed at once, the rest is written
    // unit by unit, and runs of other characters go through the encoder
    // whole, so a surrogate pair is never split.
    void escaped(QStringView text)
    {
        // Room for the longest spelling: "&quot;" is six bytes for one unit.
        const qsizetype used = m_buffer.size();
        m_buffer.resize(used + 6 * text.size());
        char* const start = m_buffer.data() + used;
        char* out = start;
        const char16_t* p = text.utf16();
        const char16_t* const end = p + text.size();
        constexpr int kBlock = 16;
        while (p < end) {
            if (end - p >= kBlock && isPlain(p, kBlock)) {
                for (int i = 0; i < kBlock; ++i)
                    out[i] = char(p[i]);
                out += kBlock;
                p += kBlock;
                continue;
            }
            // One block, or what is left, unit by unit.
            const char16_t* const stop = end - p > kBlock ? p + kBlock : end;
            while (p < stop) {
                const char16_t c = *p;
                if (c >= 0x80) {
                    const char16_t* run = p;
                    while (p < end && *p >= 0x80)
                        ++p;
                    out = m_encoder.appendToBuffer(out, QStringView(run, p));
                    break;
                }
                ++p;
                switch (c) {
                case u'&': out = put(out, "&amp;"); break;
                case u'<': out = put(out, "&lt;"); break;
                case u'>': out = put(out, "&gt;"); break;
                case u'"': out = put(out, "&quot;"); break;
                default: *out++ = char(c);
                }
            }
        }
        m_buffer.truncate(used + (out - start));
    }
    Output& operator<<(qint64 number)
    {
        char digits[24];
        const auto [end, error] = std::to_chars(digits, digits + sizeof digits, number);
        m_buffer.append(digits, end - digits);
        return *this;
    }
    void indent(qsizetype depth) { m_buffer.append(4 * depth, ' '); }
    bool flush(bool force)
    {
        if (m_failed || (!force && m_buffer.size() < kFlushSize))
            return !m_failed;
        if (m_device.write(m_buffer) != m_buffer.size())
            m_failed = true;
        m_buffer.resize(0); // keeps the capacity
        return !m_failed;
    }
    QString error() const { return m_device.errorString(); }

private:
    // ASCII that needs no escaping; written so that it compiles to a few
    // vector compares.
    static bool isPlain(const char16_t* p, int n)
    {
        bool special = false;
        for (int i = 0; i < n; ++i)
            special |= p[i] >= 0x80 || p[i] == u'&' || p[i] == u'<' || p[i] == u'>' || p[i] == u'"';
        return !special;
    }
    template <size_t N>
    static char* put(char* out, const char (&entity)[N])
    {
        std::memcpy(out, entity, N - 1);
        return out + N - 1;
    }

    QStringEncoder m_encoder{QStringEncoder::Utf8, QStringEncoder::Flag::Stateless};
    QIODevice& m_device;
    QByteArray m_buffer;
    bool m_failed = false;
};

void writeDates(Output& out, const std::optional<qint64>& added, const std::optional<qint64>& modified)
{
    if (added)
        out << " ADD_DATE=\"" << qint64(*added / 1000) << "\"";
    if (modified)
        out << " LAST_MODIFIED=\"" << qint64(*modified / 1000) << "\"";
}

// One link; `tags` calls its argument with each tag name.
template <typename Tags>
void writeLink(Output& out, qsizetype depth, QStringView url, QStringView title, const QString* note,
               const std::optional<qint64>& added, const std::optional<qint64>& modified, qsizetype tagCount,
               const Tags& tags)
{
    out.indent(depth);
    out << "<DT><A HREF=\"";
    out.escaped(url);
    out << "\"";
    writeDates(out, added, modified);
    if (tagCount > 0) {
        out << " TAGS=\"";
        bool first = true;
        tags([&](QStringView name) {
            if (!std::exchange(first, false))
                out << ",";
            out.escaped(name);
        });
        out << "\"";
    }
    out << ">";
    out.escaped(title);
    out << "</A>\n";
    if (note) {
        out.indent(depth);
        out << "<DD>";
        out.escaped(*note);
        out << "\n";
    }
}

// How many links ahead the texts are asked for: the links of a folder lie
// all over memory, and waiting for each one's texts is most of the work.
constexpr size_t kPrefetchDistance = 8;

// The file around the links: `folderOf(l)` gives a link's folder,
// `writeLink(out, l, depth)` writes it and `prefetch(l)` asks for its texts.
template <typename FolderOf, typename WriteLink, typename Prefetch>
Status writeFile(const QList<BookmarkTree::Folder>& folders, qsizetype linkCount, const FolderOf& folderOf,
                 const WriteLink& writeLink, const Prefetch& prefetch, QIODevice& device, const Progress& progress)
{
    // Children of every folder (-1: the top level), in order.
    const qsizetype folderCount = folders.size();
    std::vector<std::vector<qsizetype>> subfolders(size_t(folderCount + 1));
    std::vector<std::vector<qsizetype>> links(size_t(folderCount + 1));
    const auto slot = [&](qsizetype folder) { return size_t(folder >= 0 && folder < folderCount ? folder + 1 : 0); };
    for (qsizetype f = 0; f < folderCount; ++f) {
        // A parent that does not come before its child would make a loop.
        const qsizetype parent = folders[f].parent < f ? folders[f].parent : -1;
        subfolders[slot(parent)].push_back(f);
    }
    for (qsizetype l = 0; l < linkCount; ++l)
        links[slot(folderOf(l))].push_back(l);

    Output out(device);
    out << "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
           "<!-- This is an automatically generated file.\n"
           "     It will be read and overwritten.\n"
           "     DO NOT EDIT! -->\n"
           "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
           "<TITLE>Bookmarks</TITLE>\n"
           "<H1>Bookmarks</H1>\n"
           "<DL><p>\n";

    // Depth first without recursion: each entry is a folder and how many of
    // its subfolders have been written.
    struct Open {
        qsizetype folder;
        size_t next = 0;
    };
    std::vector<Open> stack{{-1}};
    qsizetype written = 0;
    while (!stack.empty()) {
        Open& open = stack.back();
        const qsizetype depth = qsizetype(stack.size());
        const std::vector<qsizetype>& children = subfolders[slot(open.folder)];
        if (open.next < children.size()) {
            const qsizetype child = children[open.next++];
            const BookmarkTree::Folder& folder = folders[child];
            out.indent(depth);
            out << "<DT><H3";
            writeDates(out, folder.addDate, folder.lastModified);
            out << ">";
            out.escaped(folder.name);
            out << "</H3>\n";
            out.indent(depth);
            out << "<DL><p>\n";
            stack.push_back({child});
            continue;
        }
        const std::vector<qsizetype>& inFolder = links[slot(open.folder)];
        for (size_t i = 0; i < inFolder.size(); ++i) {
            if (i + kPrefetchDistance < inFolder.size())
                prefetch(inFolder[i + kPrefetchDistance]);
            writeLink(out, inFolder[i], depth);
            ++written;
            if (!out.flush(false))
                return Status::failure(out.error());
            if (progress && !progress(written, linkCount))
                return Status::failure(u"Canceled"_s);
        }
        stack.pop_back();
        out.indent(depth - 1);
        out << (stack.empty() ? "</DL>\n" : "</DL><p>\n");
    }
    if (!out.flush(true))
        return Status::failure(out.error());
    return {};
}

} // namespace

Status write(const BookmarkTree& tree, QIODevice& device, const Progress& progress)
{
    return writeFile(
        tree.folders, tree.links.size(), [&](qsizetype l) { return tree.links[l].folder; },
        [&](Output& out, qsizetype l, qsizetype depth) {
            const BookmarkTree::Link& link = tree.links[l];
            writeLink(out, depth, link.url, link.title, link.note ? &*link.note : nullptr, link.addDate,
                      link.lastModified, link.tags.size(), [&](const auto& name) {
                          for (const QString& tag : link.tags)
                              name(tag);
                      });
        },
        [](qsizetype) {}, device, progress);
}

Status write(const BookmarkList& list, QIODevice& device, const Progress& progress)
{
    return writeFile(
        list.folders, qsizetype(list.links.size()), [&](qsizetype l) { return list.links[size_t(l)].folder; },
        [&](Output& out, qsizetype l, qsizetype depth) {
            const BookmarkList::Link& link = list.links[size_t(l)];
            writeLink(out, depth, link.url, link.title, link.note.isEmpty() ? nullptr : &link.note, link.addDate,
                      link.lastModified, link.tagCount, [&](const auto& name) {
                          for (qsizetype t = link.firstTag; t < link.firstTag + link.tagCount; ++t)
                              name(list.tagNames[list.tags[size_t(t)]]);
                      });
        },
        [&](qsizetype l) {
            const BookmarkList::Link& link = list.links[size_t(l)];
            __builtin_prefetch(link.url.constData());
            __builtin_prefetch(link.title.constData());
            __builtin_prefetch(link.note.constData());
        },
        device, progress);
}

} // namespace BookmarkFileWriter
