#include "ItemListModel.h"

#include "SidebarModel.h"
#include "app/ItemListQuery.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "model/TagDragItem.h"
#include "store/ModelContext.h"
#include "ui/Style.h"
#include "ui/sheets/TagDrag.h"

#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <limits>

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
    // The whole library at once: one reset rather than a removal per row.
    connect(context, &ModelContext::allAboutToBeRemoved, this, [this] {
        beginResetModel();
        m_items.clear();
        rebuildIndex();
        endResetModel();
    });
    // Edited rows repaint once per event-loop turn, as one range: a command
    // on 100,000 items is not 100,000 signals to each view.
    connect(context, &ModelContext::itemUpdated, this, [this](Item* item, quint32) {
        const int row = rowOf(item);
        if (row < 0)
            return;
        m_changedFirst = std::min(m_changedFirst, row);
        m_changedLast = std::max(m_changedLast, row);
        if (!m_changeScheduled) {
            m_changeScheduled = true;
            QTimer::singleShot(0, this, &ItemListModel::announceChangedRows);
        }
    });
    m_items = query->items();
    rebuildIndex();
}

void ItemListModel::announceChangedRows()
{
    m_changeScheduled = false;
    const int first = m_changedFirst;
    const int last = std::min(m_changedLast, int(m_items.size()) - 1);
    m_changedFirst = std::numeric_limits<int>::max();
    m_changedLast = -1;
    if (first <= last)
        Q_EMIT dataChanged(index(first), index(last));
}

void ItemListModel::rebuildIndex()
{
    m_rowOf.clear();
    m_indexed = false;
    m_unindexedLookups = 0;
}

void ItemListModel::refresh()
{
    const QList<Item*>& fresh = m_query->items();
    // (Two empty lists compare without QList::operator==, which hands a null
    // pointer to memcmp when one of them has no storage.)
    if (fresh.size() == m_items.size() && (fresh.isEmpty() || fresh == m_items)) {
        if (!m_items.isEmpty())
            Q_EMIT dataChanged(index(0), index(int(m_items.size()) - 1));
        return;
    }
    // A few rows added or removed (another process saved, an item moved)
    // change only the rows between the common head and tail, so the views
    // keep their selection and scroll position. A new list resets.
    const qsizetype before = m_items.size();
    const qsizetype after = fresh.size();
    const qsizetype shorter = std::min(before, after);
    qsizetype head = 0;
    while (head < shorter && m_items[head] == fresh[head])
        ++head;
    qsizetype tail = 0;
    while (tail < shorter - head && m_items[before - 1 - tail] == fresh[after - 1 - tail])
        ++tail;
    if (2 * (head + tail) < std::max(before, after)) {
        beginResetModel();
        m_items = fresh;
        rebuildIndex();
        endResetModel();
        return;
    }
    if (const qsizetype removed = before - head - tail; removed > 0) {
        beginRemoveRows({}, int(head), int(head + removed - 1));
        m_items.remove(head, removed);
        rebuildIndex();
        endRemoveRows();
    }
    if (const qsizetype inserted = after - head - tail; inserted > 0) {
        beginInsertRows({}, int(head), int(head + inserted - 1));
        m_items.insert(head, inserted, nullptr);
        std::copy(fresh.cbegin() + head, fresh.cbegin() + head + inserted, m_items.begin() + head);
        rebuildIndex();
        endInsertRows();
    }
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
    // After a new list the first few lookups (the selection being put back)
    // scan it; building the index for 100,000 rows would cost more than the
    // keystroke that made the list.
    if (!m_indexed && m_unindexedLookups < kScansBeforeIndexing) {
        ++m_unindexedLookups;
        const auto found = std::find(m_items.cbegin(), m_items.cend(), item);
        return found == m_items.cend() ? -1 : int(found - m_items.cbegin());
    }
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
    case Qt::ToolTipRole: return Style::displayText(item->title());
    case ItemRole: return QVariant::fromValue(const_cast<Item*>(item));
    default: return {};
    }
}

Qt::ItemFlags ItemListModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren | Qt::ItemIsDragEnabled
                                 | Qt::ItemIsDropEnabled
                           : Qt::NoItemFlags;
}

QStringList ItemListModel::mimeTypes() const
{
    return {TagDragItem::mimeType()};
}

QMimeData* ItemListModel::mimeData(const QModelIndexList& indexes) const
{
    QByteArray ids;
    QList<QUrl> urls;
    for (const QModelIndex& index : indexes) {
        const Item* item = itemAt(index.row());
        if (!item)
            continue;
        ids += UuidText::toString(item->id()).toLatin1() + '\n';
        if (item->urlString()) {
            const QUrl url(*item->urlString());
            if (url.isValid() && !url.scheme().isEmpty())
                urls.append(url);
        }
    }
    if (ids.isEmpty())
        return nullptr;
    auto* mime = new QMimeData;
    mime->setData(SidebarModel::itemsMimeType(), ids);
    if (!urls.isEmpty())
        mime->setUrls(urls);
    return mime;
}

Qt::DropActions ItemListModel::supportedDragActions() const
{
    return Qt::CopyAction | Qt::LinkAction;
}

Qt::DropActions ItemListModel::supportedDropActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

bool ItemListModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int row, int,
                                    const QModelIndex& parent) const
{
    // Onto an item, and only a tag of this library.
    return row == -1 && itemAt(parent.row()) && !TagDrag::tags(data, *m_context).isEmpty();
}

bool ItemListModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                 const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    Item* item = itemAt(parent.row());
    for (Tag* tag : TagDrag::tags(data, *m_context))
        item->addTag(tag);
    // Nothing for the source to remove.
    return false;
}
