#pragma once

#include <limits>

#include <QAbstractListModel>
#include <QHash>
#include <QList>

class Item;
class ItemListQuery;
class ModelContext;

// The displayed list of the main window as a model for its list and grid.
// Rows hold the items themselves; delegates read them directly.
class ItemListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role { ItemRole = Qt::UserRole + 1 };

    ItemListModel(ModelContext* context, ItemListQuery* query, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Items drag out with their ids (for the sidebar) and their links (for
    // other programs); a tag dropped onto an item is given to it.
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    Item* itemAt(int row) const;
    int rowOf(const Item* item) const;
    const QList<Item*>& items() const { return m_items; }

    // Takes the query's list: the same list repaints, another one resets.
    void refresh();

private:
    void rebuildIndex();

    ModelContext* m_context;
    ItemListQuery* m_query;
    QList<Item*> m_items;
    // Built on the first lookup after a change, not on every keystroke.
    void announceChangedRows();
    int m_changedFirst = std::numeric_limits<int>::max();
    int m_changedLast = -1;
    bool m_changeScheduled = false;
    mutable QHash<const Item*, int> m_rowOf;
    static constexpr int kScansBeforeIndexing = 8;
    mutable int m_unindexedLookups = 0;
    mutable bool m_indexed = false;
};
