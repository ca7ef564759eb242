#include "SmartFolder.h"

#include "Clock.h"
#include "Item.h"
#include "SystemColors.h"

using namespace Qt::StringLiterals;

const QList<SmartFolder>& SmartFolders::allCases()
{
    static const QList<SmartFolder> s_all{SmartFolder::inbox,         SmartFolder::favorites,
                                          SmartFolder::recentlyAdded, SmartFolder::recentlyViewed,
                                          SmartFolder::archived,      SmartFolder::allItems};
    return s_all;
}

QString SmartFolders::rawValue(SmartFolder folder)
{
    switch (folder) {
    case SmartFolder::inbox: return u"inbox"_s;
    case SmartFolder::favorites: return u"favorites"_s;
    case SmartFolder::recentlyAdded: return u"recentlyAdded"_s;
    case SmartFolder::recentlyViewed: return u"recentlyViewed"_s;
    case SmartFolder::archived: return u"archived"_s;
    case SmartFolder::allItems: return u"allItems"_s;
    }
    return {};
}

std::optional<SmartFolder> SmartFolders::fromRawValue(QStringView raw)
{
    for (SmartFolder folder : allCases()) {
        if (rawValue(folder) == raw)
            return folder;
    }
    return std::nullopt;
}

QString SmartFolders::displayName(SmartFolder folder)
{
    switch (folder) {
    case SmartFolder::inbox: return u"Inbox"_s;
    case SmartFolder::favorites: return u"Favorites"_s;
    case SmartFolder::recentlyAdded: return u"Recently Added"_s;
    case SmartFolder::recentlyViewed: return u"Recently Viewed"_s;
    case SmartFolder::archived: return u"Archived"_s;
    case SmartFolder::allItems: return u"All Items"_s;
    }
    return {};
}

QString SmartFolders::iconName(SmartFolder folder)
{
    switch (folder) {
    case SmartFolder::inbox: return u"tray"_s;
    case SmartFolder::favorites: return u"star"_s;
    case SmartFolder::recentlyAdded: return u"clock"_s;
    case SmartFolder::recentlyViewed: return u"eye"_s;
    case SmartFolder::archived: return u"archivebox"_s;
    case SmartFolder::allItems: return u"square.grid.2x2"_s;
    }
    return {};
}

QColor SmartFolders::tintColor(SmartFolder folder)
{
    switch (folder) {
    case SmartFolder::inbox: return SystemColors::blue();
    case SmartFolder::favorites: return SystemColors::yellow();
    case SmartFolder::recentlyAdded: return SystemColors::green();
    case SmartFolder::recentlyViewed: return SystemColors::purple();
    case SmartFolder::archived: return SystemColors::gray();
    case SmartFolder::allItems: return {};
    }
    return {};
}

QDateTime SmartFolders::recentCutoff(const QDateTime& now)
{
    // Calendar days in local time, so a DST change keeps the wall-clock hour.
    return now.toLocalTime().addDays(-7);
}

QDateTime SmartFolders::recentCutoff()
{
    return recentCutoff(Clock::now());
}

bool SmartFolders::contains(SmartFolder folder, const Item& item, const QDateTime& cutoff)
{
    switch (folder) {
    case SmartFolder::inbox: return !item.folder() && !item.isArchived();
    case SmartFolder::favorites: return item.isFavorite() && !item.isArchived();
    case SmartFolder::recentlyAdded: return item.createdAt() >= cutoff && !item.isArchived();
    case SmartFolder::recentlyViewed: return item.accessedAt() && *item.accessedAt() >= cutoff && !item.isArchived();
    case SmartFolder::archived: return item.isArchived();
    case SmartFolder::allItems: return !item.isArchived();
    }
    return false;
}

QList<int> SmartFolders::counts(const QList<Item*>& items, const QDateTime& cutoff)
{
    // One pass; each rule inlined on the fields it reads.
    int inbox = 0, favorites = 0, recentlyAdded = 0, recentlyViewed = 0, archived = 0, all = 0;
    const qint64 cut = cutoff.toMSecsSinceEpoch();
    for (const Item* item : items) {
        if (item->isArchived()) {
            ++archived;
            continue;
        }
        ++all;
        inbox += item->folder() == nullptr;
        favorites += item->isFavorite();
        recentlyAdded += item->createdAt().toMSecsSinceEpoch() >= cut;
        recentlyViewed += item->accessedAt() && item->accessedAt()->toMSecsSinceEpoch() >= cut;
    }
    return {inbox, favorites, recentlyAdded, recentlyViewed, archived, all};
}
