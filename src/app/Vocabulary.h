#pragma once

#include <QList>
#include <QString>

#include <optional>

// The list orders the user can choose.
enum class SortOrder {
    dateAddedDescending,
    dateAddedAscending,
    titleAscending,
    titleDescending,
    dateModifiedDescending
};
// List or grid presentation of the middle column.
enum class ViewMode { grid, list };

namespace SortOrders {
const QList<SortOrder>& allCases();
QString rawValue(SortOrder order);
std::optional<SortOrder> fromRawValue(QStringView raw);
QString displayName(SortOrder order);
} // namespace SortOrders

namespace ViewModes {
const QList<ViewMode>& allCases();
QString rawValue(ViewMode mode);
std::optional<ViewMode> fromRawValue(QStringView raw);
QString displayName(ViewMode mode);
} // namespace ViewModes
