#include "ItemListQuery.h"

#include "AppState.h"

#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "store/ModelContext.h"

#include <QTimer>

#include <algorithm>

namespace {

constexpr quint32 kCountFields =
    ItemField::Folder | ItemField::Archived | ItemField::Favorite | ItemField::CreatedAt | ItemField::AccessedAt;
constexpr quint32 kListFields = ItemField::Type | ItemField::Url | ItemField::Title | ItemField::Note
                                | ItemField::SourceDomain | ItemField::Folder | ItemField::Tags | ItemField::Archived
                                | ItemField::Favorite | ItemField::CreatedAt | ItemField::AccessedAt;

quint32 sortFields(SortOrder order)
{
    switch (order) {
    case SortOrder::dateAddedDescending:
    case SortOrder::dateAddedAscending: return ItemField::CreatedAt;
    case SortOrder::titleAscending:
    case SortOrder::titleDescending: return ItemField::Title | ItemField::CreatedAt;
    case SortOrder::dateModifiedDescending: return ItemField::ModifiedAt;
    }
    return 0;
}

} // namespace

ItemListQuery::ItemListQuery(ModelContext* context, AppState* state, QObject* parent)
    : QObject(parent), m_context(context), m_state(state), m_index(context)
{
    connect(context, &ModelContext::itemInserted, this, [this] {
        markListDirty();
        markCountsDirty();
    });
    connect(context, &ModelContext::itemRemoved, this, [this] {
        markListDirty();
        markCountsDirty();
    });
    connect(context, &ModelContext::itemUpdated, this, [this](Item*, quint32 fields) {
        if (fields & (kListFields | sortFields(m_state->sortOrder())))
            markListDirty();
        if (fields & kCountFields)
            markCountsDirty();
    });
    connect(context, &ModelContext::tagUpdated, this, [this](Tag*, quint32 fields) {
        if (fields & TagField::Name)
            markListDirty();
    });
    connect(context, &ModelContext::tagRemoved, this, &ItemListQuery::markListDirty);
    connect(context, &ModelContext::folderAboutToBeRemoved, this, [this](Folder* folder) {
        if (m_selection.folder == folder) {
            m_selection.folder = nullptr;
            if (!m_selection.smartFolder)
                m_selection.smartFolder = SmartFolder::allItems;
            markListDirty();
            Q_EMIT selectionChanged();
        }
    });
    connect(context, &ModelContext::allAboutToBeRemoved, this, [this] {
        if (m_selection.folder) {
            m_selection.folder = nullptr;
            if (!m_selection.smartFolder)
                m_selection.smartFolder = SmartFolder::allItems;
            Q_EMIT selectionChanged();
        }
    });
    connect(context, &ModelContext::allRemoved, this, [this] {
        markListDirty();
        markCountsDirty();
    });
    connect(state, &AppState::searchQueryChanged, this, &ItemListQuery::markListDirty);
    connect(state, &AppState::filterTagsChanged, this, &ItemListQuery::markListDirty);
    connect(state, &AppState::contentTypeFilterChanged, this, &ItemListQuery::markListDirty);
    connect(state, &AppState::showFavoritesOnlyChanged, this, &ItemListQuery::markListDirty);
    connect(state, &AppState::sortOrderChanged, this, &ItemListQuery::markListDirty);
}

void ItemListQuery::selectSmartFolder(SmartFolder folder)
{
    if (m_selection.smartFolder == folder && !m_selection.folder)
        return;
    m_selection = {folder, nullptr};
    markListDirty();
    Q_EMIT selectionChanged();
}

void ItemListQuery::selectRootFolder(Folder* folder)
{
    if (!m_selection.smartFolder && m_selection.folder == folder)
        return;
    m_selection = {std::nullopt, folder};
    markListDirty();
    Q_EMIT selectionChanged();
}

void ItemListQuery::selectChildFolder(Folder* folder)
{
    if (m_selection.folder == folder)
        return;
    m_selection.folder = folder;
    markListDirty();
    Q_EMIT selectionChanged();
}

void ItemListQuery::markListDirty()
{
    m_listDirty = true;
    schedule();
}

void ItemListQuery::markCountsDirty()
{
    m_countsDirty = true;
    schedule();
}

void ItemListQuery::schedule()
{
    if (m_scheduled)
        return;
    m_scheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_scheduled = false;
        update(true);
    });
}

ItemListQuery::Filters ItemListQuery::currentFilters() const
{
    Filters f;
    f.query = m_state->searchQuery();
    for (const Tag* tag : m_state->filterTags())
        f.tagIDs.insert(tag->id());
    f.type = m_state->contentTypeFilter();
    f.favoritesOnly = m_state->showFavoritesOnly();
    f.sortOrder = m_state->sortOrder();
    return f;
}

LibraryIndex::Query ItemListQuery::indexQuery(const Selection& selection, const Filters& filters,
                                              const QDateTime& cutoff)
{
    LibraryIndex::Query q;
    q.smartFolder = selection.smartFolder;
    q.folder = selection.folder;
    q.includeArchived = selection.smartFolder == SmartFolder::archived;
    q.text = filters.query;
    q.tagIDs = filters.tagIDs;
    q.type = filters.type;
    q.favoritesOnly = filters.favoritesOnly;
    q.cutoff = cutoff;
    switch (filters.sortOrder) {
    case SortOrder::dateAddedDescending: q.order = LibraryIndex::Order::createdDescending; break;
    case SortOrder::dateAddedAscending: q.order = LibraryIndex::Order::createdAscending; break;
    case SortOrder::titleAscending: q.order = LibraryIndex::Order::titleAscending; break;
    case SortOrder::titleDescending: q.order = LibraryIndex::Order::titleDescending; break;
    case SortOrder::dateModifiedDescending: q.order = LibraryIndex::Order::modifiedDescending; break;
    }
    return q;
}

void ItemListQuery::update(bool notify)
{
    bool itemsChanged = false;
    bool countsChanged = false;
    if (m_listDirty) {
        m_listDirty = false;
        const QList<SearchService::Scored> scored =
            m_index.run(indexQuery(m_selection, currentFilters(), SmartFolders::recentCutoff()));
        QList<Item*> items;
        QList<int> scores;
        items.reserve(scored.size());
        scores.reserve(scored.size());
        for (const auto& s : scored) {
            items.append(s.item);
            scores.append(s.score);
        }
        // Edits that leave the list as it was still tell the views, since a
        // row may show new text.
        itemsChanged = true;
        m_items = std::move(items);
        m_scores = std::move(scores);
    }
    if (m_countsDirty) {
        m_countsDirty = false;
        QList<int> counts = m_index.smartFolderCounts(SmartFolders::recentCutoff());
        countsChanged = counts != m_counts;
        m_counts = std::move(counts);
    }
    if (notify && itemsChanged)
        Q_EMIT this->itemsChanged();
    if (notify && countsChanged)
        Q_EMIT this->countsChanged();
}

void ItemListQuery::refresh()
{
    update(true);
}

const QList<Item*>& ItemListQuery::items()
{
    if (m_listDirty)
        update(false);
    return m_items;
}

const QList<int>& ItemListQuery::scores()
{
    items();
    return m_scores;
}

const QList<int>& ItemListQuery::smartFolderCounts()
{
    if (m_countsDirty)
        update(false);
    return m_counts;
}

int ItemListQuery::count(SmartFolder folder)
{
    return smartFolderCounts().value(SmartFolders::allCases().indexOf(folder));
}

QString ItemListQuery::navigationTitle() const
{
    return navigationTitle(m_selection);
}

QString ItemListQuery::navigationTitle(const Selection& selection)
{
    if (selection.folder)
        return selection.folder->name();
    return SmartFolders::displayName(selection.smartFolder.value_or(SmartFolder::allItems));
}
