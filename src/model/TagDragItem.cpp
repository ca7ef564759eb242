#include "TagDragItem.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

QString UuidText::toString(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> UuidText::fromString(QStringView text)
{
    if (text.size() != 36)
        return std::nullopt;
    const QUuid id = QUuid::fromString(text);
    if (id.isNull() && text != u"00000000-0000-0000-0000-000000000000")
        return std::nullopt;
    return id;
}

QString TagDragItem::mimeType()
{
    return u"com.vellumkeep.tag"_s;
}

QByteArray TagDragItem::toJson() const
{
    return QJsonDocument(QJsonObject{{u"tagId"_s, UuidText::toString(tagId)}}).toJson(QJsonDocument::Compact);
}

std::optional<TagDragItem> TagDragItem::fromJson(const QByteArray& json)
{
    const QJsonDocument doc = QJsonDocument::fromJson(json);
    if (!doc.isObject())
        return std::nullopt;
    const QJsonValue value = doc.object().value("tagId"_L1);
    if (!value.isString())
        return std::nullopt;
    const auto id = UuidText::fromString(value.toString());
    if (!id)
        return std::nullopt;
    return TagDragItem{*id};
}
