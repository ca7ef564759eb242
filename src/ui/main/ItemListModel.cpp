#include "ItemListModel.h"

#include "app/ItemListQuery.h"
#include "model/Item.h"
#include "store/ModelContext.h"

ItemListModel::ItemListModel(ModelContext* context, ItemListQuery* query, QObject* parent)
    : QAbstractListModel(parent), m_context(context), m_query(query)
{
    connect(query, &ItemListQuery::itemsChanged, this, &ItemListModel::refresh);
    // A deleted item leaves the rows at once, before its record goes away.
    connect(context, &ModelContext::itemAboutToBeRemoved, this, [this](Item* item) {
        const int row = rowOf(item);
        if (row < 0)
            return;
        beginRemoveRows({}, row, row);
        m_items.removeAt(row);
        rebuildIndex();
        endRemoveRows();
    });
    connect(context, &ModelContext::itemUpdated, this, [this](Item* item, quint32) {
        const int row = rowOf(item);
        if (row >= 0)
            Q_EMIT dataChanged(index(row), index(row));
    });
    m_items = query->items();
    rebuildIndex();
}

void ItemListModel::rebuildIndex()
{
    m_rowOf.clear();
    m_indexed = false;
}

void ItemListModel::refresh()
{
    const QList<Item*>& fresh = m_query->items();
    if (fresh == m_items) {
        if (!m_items.isEmpty())
            Q_EMIT dataChanged(index(0), index(int(m_items.size()) - 1));
        return;
    }
    beginResetModel();
    m_items = fresh;
    rebuildIndex();
    endResetModel();
}

int ItemListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

Item* ItemListModel::itemAt(int row) const
{
    return row >= 0 && row < m_items.size() ? m_items[row] : nullptr;
}

int ItemListModel::rowOf(const Item* item) const
{
    if (!m_indexed) {
        m_rowOf.reserve(m_items.size());
        for (int i = 0; i < m_items.size(); ++i)
            m_rowOf.insert(m_items[i], i);
        m_indexed = true;
    }
    return m_rowOf.value(item, -1);
}

QVariant ItemListModel::data(const QModelIndex& index, int role) const
{
    const Item* item = itemAt(index.row());
    if (!item || index.parent().isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: return item->title();
    case ItemRole: return QVariant::fromValue(const_cast<Item*>(item));
    default: return {};
    }
}

Qt::ItemFlags ItemListModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}
