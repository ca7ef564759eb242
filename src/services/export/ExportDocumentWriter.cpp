#include "ExportDocumentWriter.h"

#include "JsonText.h"

#include <QBuffer>
#include <QIODevice>

using namespace Qt::StringLiterals;

namespace {

// The buffer goes to the device once it holds this much.
constexpr qsizetype kFlushSize = 256 * 1024;
// Long texts and pictures are written in slices of this size, so the buffer
// stays small whatever a single value weighs.
constexpr qsizetype kTextSlice = 32 * 1024;
constexpr qsizetype kBytesSlice = 48 * 1024; // a multiple of three: no Base64 padding inside

void indent(QByteArray& out, int level)
{
    out.append(qsizetype(level) * 4, ' ');
}

} // namespace

ExportDocumentWriter::ExportDocumentWriter(QIODevice* device) : m_device(device)
{
    m_buffer.reserve(kFlushSize + kBytesSlice * 2);
}

void ExportDocumentWriter::flush()
{
    if (m_buffer.isEmpty() || hasFailed())
        return;
    const qint64 written = m_device->write(m_buffer);
    if (written != m_buffer.size()) {
        m_error = m_device->errorString();
        if (m_error.isEmpty() || m_error == u"Unknown error")
            m_error = u"The export could not be written."_s;
    }
    m_buffer.resize(0);
}

void ExportDocumentWriter::flushIfFull()
{
    if (m_buffer.size() >= kFlushSize)
        flush();
}

void ExportDocumentWriter::key(int level, const char* name)
{
    indent(m_buffer, level);
    m_buffer.append('"').append(name).append("\": ");
}

void ExportDocumentWriter::string(QStringView text)
{
    m_buffer.append('"');
    while (!text.isEmpty()) {
        qsizetype n = std::min(text.size(), kTextSlice);
        // Never split a surrogate pair between two slices.
        if (n < text.size() && text[n - 1].isHighSurrogate())
            ++n;
        JsonText::appendEscaped(m_buffer, text.first(n));
        text = text.sliced(n);
        flushIfFull();
    }
    m_buffer.append('"');
}

void ExportDocumentWriter::base64(const QByteArray& bytes)
{
    m_buffer.append('"');
    for (qsizetype at = 0; at < bytes.size(); at += kBytesSlice) {
        JsonText::appendBase64(m_buffer, QByteArrayView(bytes).sliced(at, std::min(kBytesSlice, bytes.size() - at)));
        flushIfFull();
    }
    m_buffer.append('"');
}

void ExportDocumentWriter::stringMember(int level, const char* name, QStringView text, bool last)
{
    key(level, name);
    string(text);
    m_buffer.append(last ? "\n" : ",\n");
}

void ExportDocumentWriter::begin(const QString& appVersion, const QString& exportDate)
{
    Q_ASSERT(m_section == Section::none);
    m_buffer.append("{\n");
    stringMember(1, "appVersion", appVersion);
    stringMember(1, "exportDate", exportDate);
}

void ExportDocumentWriter::closeList()
{
    // Also for an empty list: "[", a line break, the bracket on its own line.
    m_buffer.append('\n');
    indent(m_buffer, 1);
    m_buffer.append("],\n");
}

void ExportDocumentWriter::advanceTo(Section section)
{
    static const char* const s_names[] = {"", "folders", "items", "tags"};
    Q_ASSERT(section >= m_section && section != Section::done);
    while (m_section < section) {
        if (m_section != Section::none)
            closeList();
        m_section = Section(int(m_section) + 1);
        key(1, s_names[int(m_section)]);
        m_buffer.append('[');
        m_firstInList = true;
    }
}

void ExportDocumentWriter::enter(Section section)
{
    advanceTo(section);
    m_buffer.append(m_firstInList ? "\n" : ",\n");
    m_firstInList = false;
}

void ExportDocumentWriter::add(const ExportedFolder& f)
{
    if (hasFailed())
        return;
    enter(Section::folders);
    indent(m_buffer, 2);
    m_buffer.append("{\n");
    stringMember(3, "colorHex", f.colorHex);
    stringMember(3, "createdAt", f.createdAt);
    if (f.iconName)
        stringMember(3, "iconName", *f.iconName);
    stringMember(3, "id", f.id);
    stringMember(3, "modifiedAt", f.modifiedAt);
    // "name" may be the last key when neither parentId nor sortOrder follows.
    stringMember(3, "name", f.name, !f.parentId && !f.sortOrder);
    if (f.parentId)
        stringMember(3, "parentId", *f.parentId, !f.sortOrder);
    if (f.sortOrder) {
        key(3, "sortOrder");
        m_buffer.append(QByteArray::number(*f.sortOrder)).append('\n');
    }
    indent(m_buffer, 2);
    m_buffer.append('}');
    flushIfFull();
}

void ExportDocumentWriter::add(const ExportedItem& item)
{
    if (hasFailed())
        return;
    enter(Section::items);
    indent(m_buffer, 2);
    m_buffer.append("{\n");
    if (item.accessedAt)
        stringMember(3, "accessedAt", *item.accessedAt);
    stringMember(3, "createdAt", item.createdAt);
    if (item.folderId)
        stringMember(3, "folderId", *item.folderId);
    stringMember(3, "id", item.id);
    if (item.imageData) {
        key(3, "imageData");
        base64(*item.imageData);
        m_buffer.append(",\n");
    }
    if (item.isArchived) {
        key(3, "isArchived");
        m_buffer.append(*item.isArchived ? "true,\n" : "false,\n");
    }
    if (item.isFavorite) {
        key(3, "isFavorite");
        m_buffer.append(*item.isFavorite ? "true,\n" : "false,\n");
    }
    if (item.isRead) {
        key(3, "isRead");
        m_buffer.append(*item.isRead ? "true,\n" : "false,\n");
    }
    if (item.metadata) {
        const ExportedMetadata& m = *item.metadata;
        key(3, "metadata");
        m_buffer.append('{');
        // Members in key order; the last one present ends without a comma.
        const std::pair<const char*, const std::optional<QString>*> members[] = {{"author", &m.author},
                                                                                 {"description", &m.description},
                                                                                 {"platform", &m.platform},
                                                                                 {"siteName", &m.siteName}};
        bool first = true;
        for (const auto& [name, value] : members) {
            if (!*value)
                continue;
            m_buffer.append(first ? "\n" : ",\n");
            first = false;
            key(4, name);
            string(**value);
        }
        m_buffer.append('\n');
        indent(m_buffer, 3);
        m_buffer.append("},\n");
    }
    if (item.metadataJSON)
        stringMember(3, "metadataJSON", *item.metadataJSON);
    stringMember(3, "modifiedAt", item.modifiedAt);
    if (item.note)
        stringMember(3, "note", *item.note);
    if (item.sourceApp)
        stringMember(3, "sourceApp", *item.sourceApp);
    if (item.sourceDomain)
        stringMember(3, "sourceDomain", *item.sourceDomain);
    if (item.tagIds) {
        key(3, "tagIds");
        m_buffer.append('[');
        for (qsizetype i = 0; i < item.tagIds->size(); ++i) {
            m_buffer.append(i == 0 ? "\n" : ",\n");
            indent(m_buffer, 4);
            string(item.tagIds->at(i));
        }
        m_buffer.append('\n');
        indent(m_buffer, 3);
        m_buffer.append("],\n");
    }
    if (item.thumbnailData) {
        key(3, "thumbnailData");
        base64(*item.thumbnailData);
        m_buffer.append(",\n");
    }
    stringMember(3, "title", item.title);
    stringMember(3, "type", item.type, !item.url);
    if (item.url)
        stringMember(3, "url", *item.url, true);
    indent(m_buffer, 2);
    m_buffer.append('}');
    flushIfFull();
}

void ExportDocumentWriter::add(const ExportedTag& t)
{
    if (hasFailed())
        return;
    enter(Section::tags);
    indent(m_buffer, 2);
    m_buffer.append("{\n");
    stringMember(3, "colorHex", t.colorHex);
    stringMember(3, "createdAt", t.createdAt);
    stringMember(3, "id", t.id);
    stringMember(3, "modifiedAt", t.modifiedAt);
    stringMember(3, "name", t.name, !t.sortOrder);
    if (t.sortOrder) {
        key(3, "sortOrder");
        m_buffer.append(QByteArray::number(*t.sortOrder)).append('\n');
    }
    indent(m_buffer, 2);
    m_buffer.append('}');
    flushIfFull();
}

Status ExportDocumentWriter::finish(const QString& version)
{
    if (!hasFailed()) {
        // Lists that never got a record are written empty.
        advanceTo(Section::tags);
        closeList();
        m_section = Section::done;
        stringMember(1, "version", version, true);
        m_buffer.append("}\n");
        flush();
    }
    if (hasFailed())
        return Status::failure(m_error);
    return {};
}

QByteArray ExportDocumentWriter::encode(const ExportData& data)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    ExportDocumentWriter writer(&buffer);
    writer.begin(data.appVersion, data.exportDate);
    for (const ExportedFolder& f : data.folders)
        writer.add(f);
    for (const ExportedItem& i : data.items)
        writer.add(i);
    for (const ExportedTag& t : data.tags)
        writer.add(t);
    (void)writer.finish(data.version);
    return bytes;
}
