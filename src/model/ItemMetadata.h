#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// Structured page metadata an item carries as a JSON blob.
struct ItemMetadata {
    std::optional<QString> author = std::nullopt;
    std::optional<QDateTime> publishDate = std::nullopt;
    std::optional<QString> description = std::nullopt;
    std::optional<double> duration = std::nullopt;
    std::optional<QString> platform = std::nullopt;
    std::optional<QString> ogImageURL = std::nullopt;
    std::optional<QString> siteName = std::nullopt;
    std::optional<QString> articleType = std::nullopt;
    std::optional<QStringList> keywords = std::nullopt;
    std::optional<QString> videoId = std::nullopt;
    std::optional<QMap<QString, QString>> customFields = std::nullopt;

    bool operator==(const ItemMetadata&) const = default;

    // One JSON object; absent fields are left out; dates are seconds since
    // 2001-01-01 00:00:00 UTC.
    QByteArray toJson() const;
    // None when the bytes are not one such object (a field of the wrong type
    // included); a missing key or null reads as none.
    static std::optional<ItemMetadata> fromJson(const QByteArray& json);
};

namespace ReferenceDate {
// Seconds between 1970-01-01 and 2001-01-01, both UTC.
inline constexpr qint64 kUnixOffsetSeconds = 978307200;
double secondsSinceReference(const QDateTime& date);
QDateTime fromSecondsSinceReference(double seconds);
} // namespace ReferenceDate
