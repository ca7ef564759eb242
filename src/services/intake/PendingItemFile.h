#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// One thing another program shared with the library: a small JSON object in
// the container's PendingItems folder, beside the picture or document it
// names.
struct PendingItem {
    QString type; // an item type's raw value; a name of no type reads as a web link
    QString title;
    std::optional<QString> note;
    std::optional<QString> url;
    std::optional<QString> imageFileName; // a file directly inside PendingItems
    std::optional<QString> filePath;      // relative to PendingItems

    bool operator==(const PendingItem&) const = default;
};

namespace PendingItemFile {

// Larger files are no pending items and are never parsed.
inline constexpr qint64 kMaxBytes = 1024 * 1024;

// The item a file describes: a JSON object whose "type" and "title" are
// strings. Values of another kind count as missing. None for anything else.
std::optional<PendingItem> parse(QByteArrayView bytes);
// The file for an item, which parse reads back as the same item.
QByteArray encode(const PendingItem& item);

// Whether a name is one file directly inside a folder: not empty, no path
// separator, not "." or "..", no NUL.
bool isPlainFileName(const QString& name);

} // namespace PendingItemFile
