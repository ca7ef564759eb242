#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// The kinds of reference a library item can be.
enum class ItemType { webLink, video, socialPost, image, screenshot, document };

namespace ItemTypes {

const QList<ItemType>& allCases();

QString rawValue(ItemType type);
std::optional<ItemType> fromRawValue(QStringView raw);
QString displayName(ItemType type);
// Symbol name, looked up in the symbol font by the views.
QString iconName(ItemType type);
QColor tintColor(ItemType type);

// Infers the kind of a URL from its host and path suffix.
ItemType detect(const QUrl& url);
// The same from the lower-cased host and the lower-cased, decoded path, for
// callers that have them without parsing a QUrl.
ItemType detect(QStringView lowerHost, QStringView lowerPath);

// The 68 path suffixes that mark a document, in the order they are tested.
const QList<QString>& documentSuffixes();

} // namespace ItemTypes
