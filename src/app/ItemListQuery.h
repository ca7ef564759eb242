#pragma once

#include "Vocabulary.h"

#include "model/ItemType.h"
#include "model/SmartFolder.h"
#include "services/search/LibraryIndex.h"
#include "services/search/SearchService.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUuid>

#include <optional>

class AppState;
class Folder;
class Item;
class ModelContext;

// The list the main window shows, the smart-folder counts and the title of
// the middle column, computed from the library, the sidebar selection and
// the filters in AppState. Recomputes at most once per event-loop turn after
// any of them changes. Main thread only.
class ItemListQuery final : public QObject {
    Q_OBJECT

public:
    struct Selection {
        std::optional<SmartFolder> smartFolder = SmartFolder::allItems;
        const Folder* folder = nullptr;
    };
    struct Filters {
        QString query;
        QSet<QUuid> tagIDs;
        std::optional<ItemType> type;
        bool favoritesOnly = false;
        SortOrder sortOrder = SortOrder::dateAddedDescending;
    };

    ItemListQuery(ModelContext* context, AppState* state, QObject* parent = nullptr);

    // Sidebar choices: a smart folder clears the folder, a root folder clears
    // the smart folder, a child folder keeps it.
    void selectSmartFolder(SmartFolder folder);
    void selectRootFolder(Folder* folder);
    void selectChildFolder(Folder* folder);
    const Selection& selection() const { return m_selection; }

    // The displayed list and each item's score (0 without a text stage).
    const QList<Item*>& items();
    const QList<int>& scores();
    // Per smart folder, in SmartFolders::allCases() order.
    const QList<int>& smartFolderCounts();
    int count(SmartFolder folder);
    QString navigationTitle() const;

    // Brings everything up to date now instead of at the next turn.
    void refresh();

    static QString navigationTitle(const Selection& selection);
    static LibraryIndex::Query indexQuery(const Selection& selection, const Filters& filters, const QDateTime& cutoff);

Q_SIGNALS:
    void itemsChanged();
    void countsChanged();
    void selectionChanged();

private:
    void markListDirty();
    void markCountsDirty();
    void schedule();
    void update(bool notify);
    Filters currentFilters() const;

    ModelContext* m_context;
    AppState* m_state;
    Selection m_selection;

    LibraryIndex m_index;
    QList<Item*> m_items;
    QList<int> m_scores;
    QList<int> m_counts;
    bool m_listDirty = true;
    bool m_countsDirty = true;
    bool m_scheduled = false;
};
