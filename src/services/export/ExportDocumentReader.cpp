#include "ExportDocumentReader.h"

#include "JsonReader.h"
#include "JsonText.h"

#include <climits>
#include <cmath>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

using Kind = JsonReader::Kind;

struct DecodeFailure {
    QString message;
};

// Where a value sits, for messages: "the document", "items[3]".
struct Where {
    const char* list = nullptr;
    qsizetype index = 0;

    QString text() const { return list ? u"%1[%2]"_s.arg(QLatin1StringView(list)).arg(index) : u"the document"_s; }
};

QString kindText(Kind kind)
{
    switch (kind) {
    case Kind::null: return u"null"_s;
    case Kind::boolean: return u"a boolean"_s;
    case Kind::number: return u"a number"_s;
    case Kind::string: return u"text"_s;
    case Kind::array: return u"a list"_s;
    case Kind::object: return u"an object"_s;
    }
    return {};
}

[[noreturn]] void missing(const char* key, const Where& where)
{
    throw DecodeFailure{
        u"The export document is incomplete: “%1” is missing in %2."_s.arg(QLatin1StringView(key), where.text())};
}

[[noreturn]] void wrongType(const char* key, const Where& where, const char* expected, Kind found)
{
    throw DecodeFailure{u"The export document is invalid: “%1” in %2 should be %3, not %4."_s.arg(
        QLatin1StringView(key), where.text(), QLatin1StringView(expected), kindText(found))};
}

// One object of the document, read member by member. Keys the format does
// not know are skipped; a key given twice counts with its last value.
class Members {
public:
    Members(JsonReader& reader, Where where) : m_reader(reader), m_where(where) {}

    bool next()
    {
        m_key = {};
        return m_reader.nextKey(m_key);
    }
    bool is(const char* name) const { return m_key == QByteArrayView(name); }

    QString requiredString(const char* name)
    {
        const Kind kind = m_reader.peek();
        if (kind != Kind::string)
            wrongType(name, m_where, "text", kind);
        return m_reader.readString();
    }
    // A key the format allows to leave out; null counts as left out.
    std::optional<QString> optionalString(const char* name)
    {
        const Kind kind = m_reader.peek();
        if (kind == Kind::null) {
            m_reader.readNull();
            return std::nullopt;
        }
        if (kind != Kind::string)
            wrongType(name, m_where, "text", kind);
        return m_reader.readString();
    }
    std::optional<bool> optionalBool(const char* name)
    {
        const Kind kind = m_reader.peek();
        if (kind == Kind::null) {
            m_reader.readNull();
            return std::nullopt;
        }
        if (kind != Kind::boolean)
            wrongType(name, m_where, "true or false", kind);
        return m_reader.readBool();
    }
    std::optional<int> optionalInt(const char* name)
    {
        const Kind kind = m_reader.peek();
        if (kind == Kind::null) {
            m_reader.readNull();
            return std::nullopt;
        }
        if (kind != Kind::number)
            wrongType(name, m_where, "a whole number", kind);
        const double d = m_reader.readNumber();
        if (!std::isfinite(d) || d != std::trunc(d))
            wrongType(name, m_where, "a whole number", kind);
        // Sort orders only rank records; beyond the stored range they keep their side.
        if (d <= double(INT_MIN))
            return INT_MIN;
        if (d >= double(INT_MAX))
            return INT_MAX;
        return int(d);
    }
    std::optional<QStringList> optionalStringList(const char* name)
    {
        const Kind kind = m_reader.peek();
        if (kind == Kind::null) {
            m_reader.readNull();
            return std::nullopt;
        }
        if (kind != Kind::array)
            wrongType(name, m_where, "a list of texts", kind);
        QStringList list;
        m_reader.beginArray();
        while (m_reader.nextElement()) {
            const Kind element = m_reader.peek();
            if (element != Kind::string)
                wrongType(name, m_where, "a list of texts", element);
            list.append(m_reader.readString());
        }
        return list;
    }
    std::optional<ExportedMetadata> optionalMetadata(const char* name)
    {
        const Kind kind = m_reader.peek();
        if (kind == Kind::null) {
            m_reader.readNull();
            return std::nullopt;
        }
        if (kind != Kind::object)
            wrongType(name, m_where, "an object of texts", kind);
        ExportedMetadata metadata;
        m_reader.beginObject();
        QByteArrayView key;
        while (m_reader.nextKey(key)) {
            const QByteArray field = key.toByteArray(); // the key's bytes live only until the next read
            const Kind value = m_reader.peek();
            if (value != Kind::string)
                wrongType(name, m_where, "an object of texts", value);
            QString text = m_reader.readString();
            if (field == "author")
                metadata.author = std::move(text);
            else if (field == "description")
                metadata.description = std::move(text);
            else if (field == "platform")
                metadata.platform = std::move(text);
            else if (field == "siteName")
                metadata.siteName = std::move(text);
        }
        return metadata;
    }
    // Present and valid Base64: the bytes, or taken by `sink` when it is
    // given and the text is long. Present but not Base64: ignored.
    void optionalPicture(const char* name, BlobKind blob, std::optional<QByteArray>& bytes, bool& taken,
                         const ExportDocumentReader::PictureSink* sink)
    {
        bytes.reset();
        const bool tookEarlier = std::exchange(taken, false);
        const Kind kind = m_reader.peek();
        if (kind == Kind::null) {
            m_reader.readNull();
        } else if (kind != Kind::string) {
            wrongType(name, m_where, "text", kind);
        } else {
            const QByteArrayView text = m_reader.readStringBytes();
            if (sink && text.size() >= ExportDocumentReader::kTakenPictureText)
                taken = (*sink)(blob, text);
            else
                bytes = ExportDocumentReader::decodeBase64(text);
        }
        if (tookEarlier && !taken)
            (*sink)(blob, std::nullopt);
    }
    void skip() { m_reader.skipValue(); }

private:
    JsonReader& m_reader;
    Where m_where;
    QByteArrayView m_key;
};

void beginElement(JsonReader& reader, const Where& where)
{
    const Kind kind = reader.peek();
    if (kind != Kind::object) {
        throw DecodeFailure{
            u"The export document is invalid: %1 should be an object, not %2."_s.arg(where.text(), kindText(kind))};
    }
    reader.beginObject();
}

// Which required keys an object had.
class Required {
public:
    void see(int i) { m_seen |= 1u << i; }
    void check(std::initializer_list<const char*> names, const Where& where) const
    {
        int i = 0;
        for (const char* name : names) {
            if (!(m_seen & (1u << i++)))
                missing(name, where);
        }
    }

private:
    unsigned m_seen = 0;
};

ExportedTag readTag(JsonReader& reader, const Where& w)
{
    beginElement(reader, w);
    ExportedTag tag;
    Required required;
    Members m(reader, w);
    while (m.next()) {
        if (m.is("id"))
            tag.id = m.requiredString("id"), required.see(0);
        else if (m.is("name"))
            tag.name = m.requiredString("name"), required.see(1);
        else if (m.is("colorHex"))
            tag.colorHex = m.requiredString("colorHex"), required.see(2);
        else if (m.is("createdAt"))
            tag.createdAt = m.requiredString("createdAt"), required.see(3);
        else if (m.is("modifiedAt"))
            tag.modifiedAt = m.requiredString("modifiedAt"), required.see(4);
        else if (m.is("sortOrder"))
            tag.sortOrder = m.optionalInt("sortOrder");
        else
            m.skip();
    }
    required.check({"id", "name", "colorHex", "createdAt", "modifiedAt"}, w);
    return tag;
}

ExportedFolder readFolder(JsonReader& reader, const Where& w)
{
    beginElement(reader, w);
    ExportedFolder folder;
    Required required;
    Members m(reader, w);
    while (m.next()) {
        if (m.is("id"))
            folder.id = m.requiredString("id"), required.see(0);
        else if (m.is("name"))
            folder.name = m.requiredString("name"), required.see(1);
        else if (m.is("colorHex"))
            folder.colorHex = m.requiredString("colorHex"), required.see(2);
        else if (m.is("createdAt"))
            folder.createdAt = m.requiredString("createdAt"), required.see(3);
        else if (m.is("modifiedAt"))
            folder.modifiedAt = m.requiredString("modifiedAt"), required.see(4);
        else if (m.is("iconName"))
            folder.iconName = m.optionalString("iconName");
        else if (m.is("parentId"))
            folder.parentId = m.optionalString("parentId");
        else if (m.is("sortOrder"))
            folder.sortOrder = m.optionalInt("sortOrder");
        else
            m.skip();
    }
    required.check({"id", "name", "colorHex", "createdAt", "modifiedAt"}, w);
    return folder;
}

ExportedItem readItem(JsonReader& reader, const Where& w, const ExportDocumentReader::PictureSink* pictures)
{
    beginElement(reader, w);
    ExportedItem item;
    Required required;
    Members m(reader, w);
    while (m.next()) {
        if (m.is("id"))
            item.id = m.requiredString("id"), required.see(0);
        else if (m.is("type"))
            item.type = m.requiredString("type"), required.see(1);
        else if (m.is("title"))
            item.title = m.requiredString("title"), required.see(2);
        else if (m.is("createdAt"))
            item.createdAt = m.requiredString("createdAt"), required.see(3);
        else if (m.is("modifiedAt"))
            item.modifiedAt = m.requiredString("modifiedAt"), required.see(4);
        else if (m.is("url"))
            item.url = m.optionalString("url");
        else if (m.is("note"))
            item.note = m.optionalString("note");
        else if (m.is("sourceDomain"))
            item.sourceDomain = m.optionalString("sourceDomain");
        else if (m.is("folderId"))
            item.folderId = m.optionalString("folderId");
        else if (m.is("tagIds"))
            item.tagIds = m.optionalStringList("tagIds");
        else if (m.is("isArchived"))
            item.isArchived = m.optionalBool("isArchived");
        else if (m.is("isFavorite"))
            item.isFavorite = m.optionalBool("isFavorite");
        else if (m.is("metadata"))
            item.metadata = m.optionalMetadata("metadata");
        else if (m.is("imageData"))
            m.optionalPicture("imageData", BlobKind::image, item.imageData, item.imageTaken, pictures);
        else if (m.is("thumbnailData"))
            m.optionalPicture("thumbnailData", BlobKind::thumbnail, item.thumbnailData, item.thumbnailTaken, pictures);
        else if (m.is("accessedAt"))
            item.accessedAt = m.optionalString("accessedAt");
        else if (m.is("isRead"))
            item.isRead = m.optionalBool("isRead");
        else if (m.is("metadataJSON"))
            item.metadataJSON = m.optionalString("metadataJSON");
        else if (m.is("sourceApp"))
            item.sourceApp = m.optionalString("sourceApp");
        else
            m.skip();
    }
    required.check({"id", "type", "title", "createdAt", "modifiedAt"}, w);
    return item;
}

template <typename ReadOne, typename Take>
void readList(JsonReader& reader, const char* name, ReadOne readOne, Take take)
{
    const Kind kind = reader.peek();
    if (kind != Kind::array)
        wrongType(name, Where{}, "a list", kind);
    reader.beginArray();
    for (qsizetype index = 0; reader.nextElement(); ++index)
        take(readOne(reader, Where{name, index}), index);
}

template <typename Record, typename ReadOne>
void readList(JsonReader& reader, const char* name, QList<Record>& list, ReadOne readOne)
{
    list.clear();
    readList(reader, name, readOne, [&list](Record&& record, qsizetype) { list.append(std::move(record)); });
}

// Items go to `takeItem` when one is given, else into the result.
ExportData readDocument(JsonReader& reader, const ExportDocumentReader::ItemSink* takeItem = nullptr,
                        const ExportDocumentReader::PictureSink* takePicture = nullptr)
{
    const auto readOneItem = [takePicture](JsonReader& r, const Where& w) { return readItem(r, w, takePicture); };
    if (reader.atEnd())
        throw DecodeFailure{u"The file is empty."_s};
    // Anything but an object is refused before the rest is read.
    const Kind top = reader.peek();
    if (top != Kind::object)
        throw DecodeFailure{u"The file is not an export document: it holds %1, not an object."_s.arg(kindText(top))};

    ExportData data;
    Required required;
    bool items = false;
    bool salt = false;
    bool sealed = false;
    reader.beginObject();
    Members m(reader, Where{});
    while (m.next()) {
        // Read, and required, but not examined: documents of any version are accepted.
        if (m.is("version"))
            data.version = m.requiredString("version"), required.see(0);
        else if (m.is("exportDate"))
            data.exportDate = m.requiredString("exportDate"), required.see(1);
        else if (m.is("appVersion"))
            data.appVersion = m.requiredString("appVersion"), required.see(2);
        else if (m.is("items") && takeItem) {
            // Items already handed on cannot be taken back for a later list.
            if (items)
                throw DecodeFailure{u"The export document is invalid: “items” is given twice."_s};
            readList(reader, "items", readOneItem, *takeItem), required.see(3), items = true;
        } else if (m.is("items"))
            readList(reader, "items", data.items, readOneItem), required.see(3), items = true;
        else if (m.is("folders"))
            readList(reader, "folders", data.folders, readFolder), required.see(4);
        else if (m.is("tags"))
            readList(reader, "tags", data.tags, readTag), required.see(5);
        else {
            salt = salt || m.is("salt");
            sealed = sealed || m.is("data");
            m.skip();
        }
    }
    if (!reader.atEnd())
        throw JsonReader::Error{u"garbage at the end of the document"_s, reader.offset()};
    if (salt && sealed && !items)
        throw DecodeFailure{
            u"The file is an encrypted backup, not an export document; restore it with its passphrase."_s};
    required.check({"version", "exportDate", "appVersion", "items", "folders", "tags"}, Where{});
    return data;
}

} // namespace

std::optional<QByteArray> ExportDocumentReader::decodeBase64(QByteArrayView text)
{
    QByteArray bytes;
    if (!JsonText::appendDecodedBase64(bytes, text))
        return std::nullopt;
    return bytes;
}

namespace {

Result<ExportData, ImportError> readWith(JsonReader& reader, const ExportDocumentReader::ItemSink* takeItem,
                                         const ExportDocumentReader::PictureSink* takePicture = nullptr)
{
    using R = Result<ExportData, ImportError>;
    try {
        return R(readDocument(reader, takeItem, takePicture));
    } catch (const DecodeFailure& failure) {
        return R::failure(ImportError::decodingFailed(failure.message));
    } catch (const JsonReader::Error& error) {
        return R::failure(ImportError::decodingFailed(
            u"The file is not valid JSON: %1 (at byte %2)."_s.arg(error.message).arg(error.offset)));
    }
}

} // namespace

Result<ExportData, ImportError> ExportDocumentReader::read(const QByteArray& bytes)
{
    JsonReader reader(bytes);
    return readWith(reader, nullptr);
}

Result<ExportData, ImportError> ExportDocumentReader::read(JsonReader::Source source, const ItemSink& takeItem,
                                                           const PictureSink& takePicture)
{
    JsonReader reader(std::move(source));
    return readWith(reader, &takeItem, takePicture ? &takePicture : nullptr);
}
