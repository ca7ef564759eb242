#pragma once

#include <QColor>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

class Item;

// The built-in virtual folders of the sidebar, each a rule over items.
enum class SmartFolder { inbox, favorites, recentlyAdded, recentlyViewed, archived, allItems };

namespace SmartFolders {

const QList<SmartFolder>& allCases();
QString rawValue(SmartFolder folder);
std::optional<SmartFolder> fromRawValue(QStringView raw);
QString displayName(SmartFolder folder);
QString iconName(SmartFolder folder);
// An invalid colour stands for the primary text colour of the palette.
QColor tintColor(SmartFolder folder);

// Seven calendar days before now, in the local calendar.
QDateTime recentCutoff(const QDateTime& now);
QDateTime recentCutoff();

// Whether the item belongs to the folder, given the recent cut-off.
bool contains(SmartFolder folder, const Item& item, const QDateTime& cutoff);

// How many of the items each smart folder holds, in allCases() order.
QList<int> counts(const QList<Item*>& items, const QDateTime& cutoff);

} // namespace SmartFolders
