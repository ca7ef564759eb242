#include "Vocabulary.h"

using namespace Qt::StringLiterals;

const QList<SortOrder>& SortOrders::allCases()
{
    static const QList<SortOrder> s_all{SortOrder::dateAddedDescending, SortOrder::dateAddedAscending,
                                        SortOrder::titleAscending, SortOrder::titleDescending,
                                        SortOrder::dateModifiedDescending};
    return s_all;
}

QString SortOrders::rawValue(SortOrder order)
{
    switch (order) {
    case SortOrder::dateAddedDescending: return u"date_added_desc"_s;
    case SortOrder::dateAddedAscending: return u"date_added_asc"_s;
    case SortOrder::titleAscending: return u"title_asc"_s;
    case SortOrder::titleDescending: return u"title_desc"_s;
    case SortOrder::dateModifiedDescending: return u"date_modified_desc"_s;
    }
    return {};
}

std::optional<SortOrder> SortOrders::fromRawValue(QStringView raw)
{
    for (SortOrder order : allCases()) {
        if (rawValue(order) == raw)
            return order;
    }
    return std::nullopt;
}

QString SortOrders::displayName(SortOrder order)
{
    switch (order) {
    case SortOrder::dateAddedDescending: return u"Newest First"_s;
    case SortOrder::dateAddedAscending: return u"Oldest First"_s;
    case SortOrder::titleAscending: return u"Title A-Z"_s;
    case SortOrder::titleDescending: return u"Title Z-A"_s;
    case SortOrder::dateModifiedDescending: return u"Recently Modified"_s;
    }
    return {};
}

const QList<ViewMode>& ViewModes::allCases()
{
    static const QList<ViewMode> s_all{ViewMode::grid, ViewMode::list};
    return s_all;
}

QString ViewModes::rawValue(ViewMode mode)
{
    return mode == ViewMode::grid ? u"grid"_s : u"list"_s;
}

std::optional<ViewMode> ViewModes::fromRawValue(QStringView raw)
{
    if (raw == u"grid")
        return ViewMode::grid;
    if (raw == u"list")
        return ViewMode::list;
    return std::nullopt;
}

QString ViewModes::displayName(ViewMode mode)
{
    return mode == ViewMode::grid ? u"Grid"_s : u"List"_s;
}
