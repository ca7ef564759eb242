#pragma once

#include "app/ItemListQuery.h"
#include "services/search/SearchService.h"

#include <QDateTime>
#include <QList>

class Item;

// The item list by the plain rules, over the records themselves: the test
// oracle that the window's fast path (the library index) is held to.
namespace ItemListOracle {

// The items in a sort order; title orders use a locale-aware,
// case-insensitive, numeric collator, ties keep the newest first.
QList<Item*> sorted(const QList<Item*>& items, SortOrder order);
// The smart-folder, folder and search stages over items already in order.
QList<SearchService::Scored> compute(const QList<Item*>& items, const ItemListQuery::Selection& selection,
                                     const ItemListQuery::Filters& filters, SearchService& search,
                                     const QDateTime& cutoff);

} // namespace ItemListOracle
