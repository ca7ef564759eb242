#pragma once

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
    mutable QHash<const Item*, int> m_rowOf;
    mutable bool m_indexed = false;
};
