#include "ItemListOracle.h"

#include "model/Folder.h"
#include "model/Item.h"
#include "model/SmartFolder.h"

#include <QCollator>
#include <QHash>

#include <algorithm>
#include <vector>

namespace ItemListOracle {

namespace {

QCollator titleCollator()
{
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    return collator;
}

// Sorts by title with collation keys, so each title is analysed once.
template <typename KeyOf>
void sortByTitle(QList<Item*>& items, bool ascending, const KeyOf& keyOf)
{
    std::vector<std::pair<const QCollatorSortKey*, Item*>> keyed;
    keyed.reserve(size_t(items.size()));
    for (Item* item : std::as_const(items))
        keyed.emplace_back(&keyOf(item), item);
    std::stable_sort(keyed.begin(), keyed.end(), [ascending](const auto& a, const auto& b) {
        const int c = a.first->compare(*b.first);
        return ascending ? c < 0 : c > 0;
    });
    for (qsizetype i = 0; i < items.size(); ++i)
        items[i] = keyed[size_t(i)].second;
}

void sortByDate(QList<Item*>& items, SortOrder order)
{
    switch (order) {
    case SortOrder::dateAddedAscending:
        std::stable_sort(items.begin(), items.end(), [](const Item* a, const Item* b) {
            return a->createdAt().toMSecsSinceEpoch() < b->createdAt().toMSecsSinceEpoch();
        });
        break;
    case SortOrder::dateModifiedDescending:
        std::stable_sort(items.begin(), items.end(), [](const Item* a, const Item* b) {
            return a->modifiedAt().toMSecsSinceEpoch() > b->modifiedAt().toMSecsSinceEpoch();
        });
        break;
    default:
        std::stable_sort(items.begin(), items.end(), [](const Item* a, const Item* b) {
            return a->createdAt().toMSecsSinceEpoch() > b->createdAt().toMSecsSinceEpoch();
        });
        break;
    }
}

} // namespace

QList<Item*> sorted(const QList<Item*>& items, SortOrder order)
{
    QList<Item*> result = items;
    sortByDate(result, SortOrder::dateAddedDescending);
    if (order == SortOrder::titleAscending || order == SortOrder::titleDescending) {
        const QCollator collator = titleCollator();
        std::vector<QCollatorSortKey> keys;
        keys.reserve(size_t(result.size()));
        QHash<const Item*, size_t> index;
        for (const Item* item : std::as_const(result)) {
            index.insert(item, keys.size());
            keys.push_back(collator.sortKey(item->title()));
        }
        sortByTitle(result, order == SortOrder::titleAscending,
                    [&](const Item* item) -> const QCollatorSortKey& { return keys[index.value(item)]; });
    } else if (order != SortOrder::dateAddedDescending) {
        sortByDate(result, order);
    }
    return result;
}

QList<SearchService::Scored> compute(const QList<Item*>& items, const ItemListQuery::Selection& selection,
                                     const ItemListQuery::Filters& filters, SearchService& search,
                                     const QDateTime& cutoff)
{
    QList<Item*> staged;
    staged.reserve(items.size());
    const QUuid folderId = selection.folder ? selection.folder->id() : QUuid();
    for (Item* item : items) {
        if (selection.smartFolder && !SmartFolders::contains(*selection.smartFolder, *item, cutoff))
            continue;
        if (selection.folder && (!item->folder() || item->folder()->id() != folderId))
            continue;
        staged.append(item);
    }
    const bool includeArchived = selection.smartFolder == SmartFolder::archived;
    return search.searchScored(staged, filters.query, filters.tagIDs, filters.type, filters.favoritesOnly, nullptr,
                               includeArchived);
}

} // namespace ItemListOracle
