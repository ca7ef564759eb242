#include "BookmarkFileWriter.h"

#include <QIODevice>
#include <QStringEncoder>

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
    // Text with & < > " escaped, encoded straight into the buffer.
    void escaped(QStringView text)
    {
        qsizetype from = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char* entity = nullptr;
            switch (text[i].unicode()) {
            case u'&': entity = "&amp;"; break;
            case u'<': entity = "&lt;"; break;
            case u'>': entity = "&gt;"; break;
            case u'"': entity = "&quot;"; break;
            default: continue;
            }
            utf8(text.sliced(from, i - from));
            m_buffer.append(entity);
            from = i + 1;
        }
        utf8(text.sliced(from));
    }
    Output& operator<<(qint64 number)
    {
        m_buffer.append(QByteArray::number(number));
        return *this;
    }
    void indent(qsizetype depth) { m_buffer.append(4 * depth, ' '); }
    bool flush(bool force)
    {
        if (m_failed || (!force && m_buffer.size() < kFlushSize))
            return !m_failed;
        if (m_device.write(m_buffer) != m_buffer.size())
            m_failed = true;
        m_buffer.clear();
        return !m_failed;
    }
    QString error() const { return m_device.errorString(); }

private:
    void utf8(QStringView text)
    {
        const qsizetype used = m_buffer.size();
        m_buffer.resize(used + m_encoder.requiredSpace(text.size()));
        char* end = m_encoder.appendToBuffer(m_buffer.data() + used, text);
        m_buffer.truncate(end - m_buffer.constData());
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

} // namespace

Status write(const BookmarkTree& tree, QIODevice& device, const Progress& progress)
{
    // Children of every folder (-1: the top level), in tree order.
    const qsizetype folderCount = tree.folders.size();
    std::vector<std::vector<qsizetype>> subfolders(size_t(folderCount + 1));
    std::vector<std::vector<qsizetype>> links(size_t(folderCount + 1));
    const auto slot = [&](qsizetype folder) { return size_t(folder >= 0 && folder < folderCount ? folder + 1 : 0); };
    for (qsizetype f = 0; f < folderCount; ++f) {
        // A parent that does not come before its child would make a loop.
        const qsizetype parent = tree.folders[f].parent < f ? tree.folders[f].parent : -1;
        subfolders[slot(parent)].push_back(f);
    }
    for (qsizetype l = 0; l < tree.links.size(); ++l)
        links[slot(tree.links[l].folder)].push_back(l);

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
    const qsizetype total = tree.links.size();
    while (!stack.empty()) {
        Open& open = stack.back();
        const qsizetype depth = qsizetype(stack.size());
        const std::vector<qsizetype>& children = subfolders[slot(open.folder)];
        if (open.next < children.size()) {
            const qsizetype child = children[open.next++];
            const BookmarkTree::Folder& folder = tree.folders[child];
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
        for (const qsizetype l : links[slot(open.folder)]) {
            const BookmarkTree::Link& link = tree.links[l];
            out.indent(depth);
            out << "<DT><A HREF=\"";
            out.escaped(link.url);
            out << "\"";
            writeDates(out, link.addDate, link.lastModified);
            if (!link.tags.isEmpty()) {
                out << " TAGS=\"";
                for (qsizetype t = 0; t < link.tags.size(); ++t) {
                    if (t > 0)
                        out << ",";
                    out.escaped(link.tags[t]);
                }
                out << "\"";
            }
            out << ">";
            out.escaped(link.title);
            out << "</A>\n";
            if (link.note) {
                out.indent(depth);
                out << "<DD>";
                out.escaped(*link.note);
                out << "\n";
            }
            ++written;
            if (!out.flush(false))
                return Status::failure(out.error());
            if (progress && !progress(written, total))
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

} // namespace BookmarkFileWriter
