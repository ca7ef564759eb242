#include "ItemSelection.h"

#include "ItemListModel.h"

#include "app/AppState.h"
#include "model/Item.h"
#include "store/ModelContext.h"

#include <QItemSelectionModel>
#include <algorithm>

ItemSelection::ItemSelection(ModelContext* context, AppState* state, ItemListModel* model, QObject* parent)
    : QObject(parent), m_context(context), m_state(state), m_model(model),
      m_selectionModel(new QItemSelectionModel(model, this))
{
    connect(m_selectionModel, &QItemSelectionModel::selectionChanged, this, [this] {
        if (!m_restoring)
            takeFromModel();
    });
    connect(m_selectionModel, &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& index) {
        if (m_restoring)
            return;
        const Item* item = m_model->itemAt(index.row());
        const QUuid id = item ? item->id() : QUuid();
        if (id == m_current || (!item && index.isValid()))
            return;
        m_current = id;
        m_state->setSelectedItem(m_context->item(id));
        announce();
    });
    // Rows going and coming do not change what the user selected.
    const auto hold = [this] { m_restoring = true; };
    const auto putBack = [this] {
        m_restoring = false;
        restore();
    };
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, hold);
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this, hold);
    connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, hold);
    connect(model, &QAbstractItemModel::modelReset, this, putBack);
    connect(model, &QAbstractItemModel::rowsRemoved, this, putBack);
    connect(model, &QAbstractItemModel::rowsInserted, this, putBack);
    // A deleted item leaves the selection.
    connect(context, &ModelContext::allAboutToBeRemoved, this, [this] {
        if (m_ids.isEmpty() && m_current.isNull())
            return;
        m_ids.clear();
        m_current = {};
        m_state->setSelectedItem(nullptr);
        announce();
    });
    connect(context, &ModelContext::itemAboutToBeRemoved, this, [this](Item* item) {
        if (!m_ids.remove(item->id()) && item->id() != m_current)
            return;
        if (item->id() == m_current) {
            m_current = {};
            m_state->setSelectedItem(nullptr);
        }
        announce();
    });
}

Item* ItemSelection::current() const
{
    return m_current.isNull() ? nullptr : m_context->item(m_current);
}

QList<Item*> ItemSelection::selectedItems() const
{
    QList<Item*> items;
    if (m_ids.isEmpty())
        return items;
    const QModelIndexList rows = m_selectionModel->selectedRows();
    items.reserve(rows.size());
    for (const QModelIndex& index : rows) {
        if (Item* item = m_model->itemAt(index.row()))
            items.append(item);
    }
    std::sort(items.begin(), items.end(),
              [this](const Item* a, const Item* b) { return m_model->rowOf(a) < m_model->rowOf(b); });
    return items;
}

bool ItemSelection::contains(const Item* item) const
{
    return item && m_ids.contains(item->id()) && m_model->rowOf(item) >= 0;
}

void ItemSelection::select(Item* item)
{
    m_ids.clear();
    m_current = item ? item->id() : QUuid();
    if (item)
        m_ids.insert(item->id());
    m_state->setSelectedItem(item);
    restore();
    announce();
}

void ItemSelection::selectAll()
{
    const int rows = m_model->rowCount();
    if (rows == 0)
        return;
    m_restoring = true;
    m_selectionModel->select(QItemSelection(m_model->index(0), m_model->index(rows - 1)),
                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_restoring = false;
    takeFromModel();
}

void ItemSelection::clear()
{
    select(nullptr);
}

void ItemSelection::takeFromModel()
{
    // The user changed the selection in a view: what the views show is what
    // is selected; items the list does not show drop out.
    m_ids.clear();
    const QModelIndexList rows = m_selectionModel->selectedRows();
    m_ids.reserve(rows.size());
    for (const QModelIndex& index : rows) {
        if (const Item* item = m_model->itemAt(index.row()))
            m_ids.insert(item->id());
    }
    announce();
}

void ItemSelection::restore()
{
    m_restoring = true;
    QItemSelection selection;
    if (!m_ids.isEmpty()) {
        // Contiguous runs become one range, so selecting all of a long list
        // stays one range.
        int start = -1;
        const int rows = m_model->rowCount();
        for (int row = 0; row <= rows; ++row) {
            const Item* item = row < rows ? m_model->itemAt(row) : nullptr;
            const bool selected = item && m_ids.contains(item->id());
            if (selected && start < 0)
                start = row;
            if (!selected && start >= 0) {
                selection.select(m_model->index(start), m_model->index(row - 1));
                start = -1;
            }
        }
    }
    m_selectionModel->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const Item* current = this->current();
    const int row = current ? m_model->rowOf(current) : -1;
    if (row >= 0)
        m_selectionModel->setCurrentIndex(m_model->index(row), QItemSelectionModel::NoUpdate);
    else if (m_selectionModel->currentIndex().isValid())
        m_selectionModel->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
    m_restoring = false;
}

void ItemSelection::announce()
{
    Q_EMIT changed();
}
