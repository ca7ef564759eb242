#include "ExportDocumentReader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <climits>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

struct DecodeFailure {
    QString message;
};

// Where a value sits, for messages: "the document", "items[3]".
struct Where {
    const char* list = nullptr;
    qsizetype index = 0;

    QString text() const
    {
        return list ? u"%1[%2]"_s.arg(QLatin1StringView(list)).arg(index) : u"the document"_s;
    }
};

QString kindOf(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Null: return u"null"_s;
    case QJsonValue::Bool: return u"a boolean"_s;
    case QJsonValue::Double: return u"a number"_s;
    case QJsonValue::String: return u"text"_s;
    case QJsonValue::Array: return u"a list"_s;
    case QJsonValue::Object: return u"an object"_s;
    case QJsonValue::Undefined: break;
    }
    return u"nothing"_s;
}

[[noreturn]] void missing(QLatin1StringView key, const Where& where)
{
    throw DecodeFailure{u"The export document is incomplete: “%1” is missing in %2."_s.arg(key, where.text())};
}

[[noreturn]] void wrongType(QLatin1StringView key, const Where& where, const char* expected, const QJsonValue& found)
{
    throw DecodeFailure{u"The export document is invalid: “%1” in %2 should be %3, not %4."_s.arg(
        key, where.text(), QLatin1StringView(expected), kindOf(found))};
}

QString requiredString(const QJsonObject& o, QLatin1StringView key, const Where& where)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined())
        missing(key, where);
    if (!v.isString())
        wrongType(key, where, "text", v);
    return v.toString();
}

// A key the format allows to be left out; null counts as left out.
std::optional<QString> optionalString(const QJsonObject& o, QLatin1StringView key, const Where& where)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    if (!v.isString())
        wrongType(key, where, "text", v);
    return v.toString();
}

std::optional<bool> optionalBool(const QJsonObject& o, QLatin1StringView key, const Where& where)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    if (!v.isBool())
        wrongType(key, where, "true or false", v);
    return v.toBool();
}

std::optional<int> optionalInt(const QJsonObject& o, QLatin1StringView key, const Where& where)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    const double d = v.toDouble();
    if (!v.isDouble() || !std::isfinite(d) || d != std::trunc(d))
        wrongType(key, where, "a whole number", v);
    // Sort orders only rank records; beyond the stored range they keep their side.
    if (d <= double(INT_MIN))
        return INT_MIN;
    if (d >= double(INT_MAX))
        return INT_MAX;
    return int(d);
}

std::optional<QStringList> optionalStringList(const QJsonObject& o, QLatin1StringView key, const Where& where)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    if (!v.isArray())
        wrongType(key, where, "a list of texts", v);
    const QJsonArray array = v.toArray();
    QStringList list;
    list.reserve(array.size());
    for (const QJsonValue element : array) {
        if (!element.isString())
            wrongType(key, where, "a list of texts", element);
        list.append(element.toString());
    }
    return list;
}

std::optional<ExportedMetadata> optionalMetadata(const QJsonObject& o, const Where& where)
{
    const auto key = "metadata"_L1;
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    if (!v.isObject())
        wrongType(key, where, "an object of texts", v);
    const QJsonObject object = v.toObject();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (!it.value().isString())
            wrongType(key, where, "an object of texts", it.value());
    }
    auto text = [&](QLatin1StringView name) -> std::optional<QString> {
        const QJsonValue value = object.value(name);
        return value.isString() ? std::optional<QString>(value.toString()) : std::nullopt;
    };
    return ExportedMetadata{text("author"_L1), text("description"_L1), text("platform"_L1), text("siteName"_L1)};
}

// Present and valid Base64: the bytes. Present but not Base64: ignored.
std::optional<QByteArray> optionalPicture(const QJsonObject& o, QLatin1StringView key, const Where& where)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    if (!v.isString())
        wrongType(key, where, "text", v);
    return ExportDocumentReader::decodeBase64(v.toString());
}

QJsonArray requiredList(const QJsonObject& o, QLatin1StringView key)
{
    const QJsonValue v = o.value(key);
    if (v.isUndefined())
        missing(key, Where{});
    if (!v.isArray())
        wrongType(key, Where{}, "a list", v);
    return v.toArray();
}

QJsonObject element(const QJsonArray& list, qsizetype i, const char* name)
{
    const QJsonValue v = list.at(i);
    if (!v.isObject()) {
        throw DecodeFailure{u"The export document is invalid: %1 should be an object, not %2."_s.arg(
            Where{name, i}.text(), kindOf(v))};
    }
    return v.toObject();
}

ExportedTag readTag(const QJsonObject& o, const Where& w)
{
    ExportedTag tag;
    tag.id = requiredString(o, "id"_L1, w);
    tag.name = requiredString(o, "name"_L1, w);
    tag.colorHex = requiredString(o, "colorHex"_L1, w);
    tag.sortOrder = optionalInt(o, "sortOrder"_L1, w);
    tag.createdAt = requiredString(o, "createdAt"_L1, w);
    tag.modifiedAt = requiredString(o, "modifiedAt"_L1, w);
    return tag;
}

ExportedFolder readFolder(const QJsonObject& o, const Where& w)
{
    ExportedFolder folder;
    folder.id = requiredString(o, "id"_L1, w);
    folder.name = requiredString(o, "name"_L1, w);
    folder.iconName = optionalString(o, "iconName"_L1, w);
    folder.colorHex = requiredString(o, "colorHex"_L1, w);
    folder.parentId = optionalString(o, "parentId"_L1, w);
    folder.sortOrder = optionalInt(o, "sortOrder"_L1, w);
    folder.createdAt = requiredString(o, "createdAt"_L1, w);
    folder.modifiedAt = requiredString(o, "modifiedAt"_L1, w);
    return folder;
}

ExportedItem readItem(const QJsonObject& o, const Where& w)
{
    ExportedItem item;
    item.id = requiredString(o, "id"_L1, w);
    item.type = requiredString(o, "type"_L1, w);
    item.title = requiredString(o, "title"_L1, w);
    item.url = optionalString(o, "url"_L1, w);
    item.note = optionalString(o, "note"_L1, w);
    item.sourceDomain = optionalString(o, "sourceDomain"_L1, w);
    item.folderId = optionalString(o, "folderId"_L1, w);
    item.tagIds = optionalStringList(o, "tagIds"_L1, w);
    item.isArchived = optionalBool(o, "isArchived"_L1, w);
    item.isFavorite = optionalBool(o, "isFavorite"_L1, w);
    item.createdAt = requiredString(o, "createdAt"_L1, w);
    item.modifiedAt = requiredString(o, "modifiedAt"_L1, w);
    item.metadata = optionalMetadata(o, w);
    item.imageData = optionalPicture(o, "imageData"_L1, w);
    item.thumbnailData = optionalPicture(o, "thumbnailData"_L1, w);
    return item;
}

QJsonObject parseTopLevel(const QByteArray& bytes)
{
    qsizetype start = 0;
    while (start < bytes.size() && (bytes[start] == ' ' || bytes[start] == '\t' || bytes[start] == '\n'
                                    || bytes[start] == '\r'))
        ++start;
    if (start == bytes.size())
        throw DecodeFailure{u"The file is empty."_s};
    // Anything but an object is refused before the whole file is parsed.
    const char first = bytes[start];
    if (first == '[')
        throw DecodeFailure{u"The file is not an export document: it holds a list, not an object."_s};
    if (first == '"')
        throw DecodeFailure{u"The file is not an export document: it holds text, not an object."_s};
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        throw DecodeFailure{
            u"The file is not valid JSON: %1 (at byte %2)."_s.arg(error.errorString()).arg(error.offset)};
    }
    if (!document.isObject())
        throw DecodeFailure{u"The file is not an export document: it holds a list, not an object."_s};
    const QJsonObject root = document.object();
    if (!root.contains("items"_L1) && root.contains("salt"_L1) && root.contains("data"_L1))
        throw DecodeFailure{u"The file is an encrypted backup, not an export document; restore it with its passphrase."_s};
    return root;
}

} // namespace

std::optional<QByteArray> ExportDocumentReader::decodeBase64(QStringView text)
{
    const qsizetype n = text.size();
    if (n % 4 != 0)
        return std::nullopt;
    QByteArray ascii(n, Qt::Uninitialized);
    char* out = ascii.data();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        const bool letter = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')
                            || c == u'+' || c == u'/';
        // Padding only at the very end, at most two characters of it.
        const bool padding = c == u'=' && i >= n - 2 && (i == n - 1 || text[n - 1] == u'=');
        if (!letter && !padding)
            return std::nullopt;
        out[i] = char(c);
    }
    auto decoded = QByteArray::fromBase64Encoding(ascii, QByteArray::AbortOnBase64DecodingErrors);
    if (decoded.decodingStatus != QByteArray::Base64DecodingStatus::Ok)
        return std::nullopt;
    return std::move(decoded.decoded);
}

Result<ExportData, ImportError> ExportDocumentReader::read(const QByteArray& bytes)
{
    using R = Result<ExportData, ImportError>;
    try {
        const QJsonObject root = parseTopLevel(bytes);
        const Where top;
        ExportData data;
        // Read, and required, but not examined: documents of any version are accepted.
        data.version = requiredString(root, "version"_L1, top);
        data.exportDate = requiredString(root, "exportDate"_L1, top);
        data.appVersion = requiredString(root, "appVersion"_L1, top);
        const QJsonArray items = requiredList(root, "items"_L1);
        const QJsonArray folders = requiredList(root, "folders"_L1);
        const QJsonArray tags = requiredList(root, "tags"_L1);

        data.tags.reserve(tags.size());
        for (qsizetype i = 0; i < tags.size(); ++i)
            data.tags.append(readTag(element(tags, i, "tags"), Where{"tags", i}));
        data.folders.reserve(folders.size());
        for (qsizetype i = 0; i < folders.size(); ++i)
            data.folders.append(readFolder(element(folders, i, "folders"), Where{"folders", i}));
        data.items.reserve(items.size());
        for (qsizetype i = 0; i < items.size(); ++i)
            data.items.append(readItem(element(items, i, "items"), Where{"items", i}));
        return R(std::move(data));
    } catch (const DecodeFailure& failure) {
        return R::failure(ImportError::decodingFailed(failure.message));
    }
}
