#include "PendingItemFile.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace PendingItemFile {
namespace {

std::optional<QString> stringValue(const QJsonObject& object, QLatin1StringView key)
{
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

} // namespace

std::optional<PendingItem> parse(QByteArrayView bytes)
{
    if (bytes.size() > kMaxBytes)
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    std::optional<QString> type = stringValue(object, "type"_L1);
    std::optional<QString> title = stringValue(object, "title"_L1);
    if (!type || !title)
        return std::nullopt;
    PendingItem item;
    item.type = std::move(*type);
    item.title = std::move(*title);
    item.note = stringValue(object, "note"_L1);
    item.url = stringValue(object, "url"_L1);
    item.imageFileName = stringValue(object, "imageFileName"_L1);
    item.filePath = stringValue(object, "filePath"_L1);
    return item;
}

QByteArray encode(const PendingItem& item)
{
    QJsonObject object{{u"type"_s, item.type}, {u"title"_s, item.title}};
    auto put = [&object](const QString& key, const std::optional<QString>& value) {
        if (value)
            object.insert(key, *value);
    };
    put(u"note"_s, item.note);
    put(u"url"_s, item.url);
    put(u"imageFileName"_s, item.imageFileName);
    put(u"filePath"_s, item.filePath);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

bool isPlainFileName(const QString& name)
{
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') && !name.contains(QChar(0));
}

} // namespace PendingItemFile
