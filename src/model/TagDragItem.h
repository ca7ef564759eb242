#pragma once

#include <QByteArray>
#include <QString>
#include <QUuid>

#include <optional>

// What a dragged tag carries: its id, as {"tagId":"UPPER-CASE-UUID"}.
struct TagDragItem {
    QUuid tagId;

    static QString mimeType();
    QByteArray toJson() const;
    // None unless the bytes are an object with a "tagId" that is a UUID.
    static std::optional<TagDragItem> fromJson(const QByteArray& json);

    bool operator==(const TagDragItem&) const = default;
};

namespace UuidText {
// 8-4-4-4-12, upper case, no braces.
QString toString(const QUuid& id);
// Accepts that form in either case; none for anything else.
std::optional<QUuid> fromString(QStringView text);
} // namespace UuidText
