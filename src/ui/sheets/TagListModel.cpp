#include "TagListModel.h"

#include "TagDrag.h"

#include "model/Item.h"
#include "model/Tag.h"
#include "model/TagDragItem.h"
#include "store/ModelContext.h"

#include <QMimeData>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

TagListModel::TagListModel(ModelContext* context, QObject* parent)
    : QAbstractListModel(parent), m_context(context), m_tags(context->fetchTags(Tag::displayOrder))
{
    connect(context, &ModelContext::tagInserted, this, &TagListModel::insertTag);
    connect(context, &ModelContext::tagAboutToBeRemoved, this, &TagListModel::removeTag);
    connect(context, &ModelContext::tagUpdated, this, &TagListModel::tagUpdated);
    connect(context, &ModelContext::itemUpdated, this, &TagListModel::itemUpdated);
    // An item coming or going changes the counts of the tags it carries.
    auto countsChanged = [this] { m_countsDirty = true; };
    connect(context, &ModelContext::itemInserted, this, countsChanged);
    connect(context, &ModelContext::itemRemoved, this, countsChanged);
    connect(context, &ModelContext::itemAboutToBeRemoved, this, [this](Item* item) {
        if (item == m_item)
            setItem(nullptr);
    });
    connect(context, &ModelContext::changed, this, &TagListModel::flush);
}

void TagListModel::setItem(Item* item)
{
    if (m_item == item)
        return;
    m_item = item;
    if (!m_tags.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_tags.size()) - 1), {Qt::CheckStateRole});
}

Tag* TagListModel::tagAt(int row) const
{
    return row >= 0 && row < m_tags.size() ? m_tags[row] : nullptr;
}

QModelIndex TagListModel::indexOf(const Tag* tag) const
{
    const qsizetype row = m_tags.indexOf(tag);
    return row < 0 ? QModelIndex() : index(int(row));
}

QString TagListModel::itemCountText(int count)
{
    return u"%1 items"_s.arg(count);
}

int TagListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_tags.size());
}

QVariant TagListModel::data(const QModelIndex& index, int role) const
{
    const Tag* tag = index.isValid() && index.model() == this ? tagAt(index.row()) : nullptr;
    if (!tag)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: return tag->name();
    case Qt::AccessibleTextRole: return m_item ? tag->name() : tag->name() + u", "_s + itemCountText(tag->itemCount());
    case Qt::CheckStateRole:
        if (!m_item)
            return {};
        return m_item->hasTag(tag->id()) ? Qt::Checked : Qt::Unchecked;
    case IdRole: return tag->id();
    case ColorRole: return tag->color();
    case ItemCountRole: return tag->itemCount();
    case ItemCountTextRole: return itemCountText(tag->itemCount());
    default: return {};
    }
}

Qt::ItemFlags TagListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return m_reorderable ? Qt::ItemIsDropEnabled : Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
    // Checkable for assistive technology; the view toggles through the sheet.
    if (m_item)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QStringList TagListModel::mimeTypes() const
{
    return {TagDragItem::mimeType()};
}

QMimeData* TagListModel::mimeData(const QModelIndexList& indexes) const
{
    for (const QModelIndex& index : indexes) {
        if (const Tag* tag = index.isValid() ? tagAt(index.row()) : nullptr)
            return TagDrag::mimeData(*tag);
    }
    return nullptr;
}

Qt::DropActions TagListModel::supportedDragActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

Qt::DropActions TagListModel::supportedDropActions() const
{
    return m_reorderable ? Qt::MoveAction : Qt::IgnoreAction;
}

bool TagListModel::moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
                            const QModelIndex& destinationParent, int destinationChild)
{
    const int rows = int(m_tags.size());
    if (!m_reorderable || sourceParent.isValid() || destinationParent.isValid() || count < 1 || sourceRow < 0
        || sourceRow + count > rows || destinationChild < 0 || destinationChild > rows)
        return false;
    // A block dropped onto itself stays where it is.
    if (destinationChild >= sourceRow && destinationChild <= sourceRow + count)
        return false;
    beginMoveRows({}, sourceRow, sourceRow + count - 1, {}, destinationChild);
    const QList<Tag*> moved = m_tags.mid(sourceRow, count);
    m_tags.remove(sourceRow, count);
    const int target = destinationChild > sourceRow ? destinationChild - count : destinationChild;
    for (int i = 0; i < count; ++i)
        m_tags.insert(target + i, moved[i]);
    endMoveRows();
    // Every tag takes its position as its sort order, so the order is the
    // same on every view and after a restart, whatever the names say.
    m_writingOrder = true;
    for (qsizetype i = 0; i < m_tags.size(); ++i)
        m_tags[i]->setSortOrder(int(i));
    m_writingOrder = false;
    return true;
}

void TagListModel::insertTag(Tag* tag)
{
    const auto it = std::upper_bound(m_tags.cbegin(), m_tags.cend(), tag, Tag::displayOrder);
    const int row = int(it - m_tags.cbegin());
    beginInsertRows({}, row, row);
    m_tags.insert(row, tag);
    endInsertRows();
}

void TagListModel::removeTag(Tag* tag)
{
    const qsizetype row = m_tags.indexOf(tag);
    if (row < 0)
        return;
    beginRemoveRows({}, int(row), int(row));
    m_tags.removeAt(row);
    endRemoveRows();
}

void TagListModel::tagUpdated(Tag* tag, quint32 fields)
{
    const QModelIndex at = indexOf(tag);
    if (!at.isValid())
        return;
    if (fields & (TagField::Name | TagField::ColorHex))
        Q_EMIT dataChanged(at, at);
    // Moved on the next turn, once a batch of changes (another process's
    // reordering, say) has arrived whole.
    if ((fields & (TagField::Name | TagField::SortOrder)) && !m_writingOrder)
        m_orderDirty = true;
}

void TagListModel::itemUpdated(Item* item, quint32 fields)
{
    if (item == m_item && (fields & ItemField::Tags) && !m_tags.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_tags.size()) - 1), {Qt::CheckStateRole});
    if (fields & (ItemField::Tags | ItemField::Archived))
        m_countsDirty = true;
}

void TagListModel::flush()
{
    if (std::exchange(m_orderDirty, false))
        sortRows();
    if (std::exchange(m_countsDirty, false) && !m_tags.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_tags.size()) - 1),
                           {ItemCountRole, ItemCountTextRole, Qt::AccessibleTextRole});
}

void TagListModel::sortRows()
{
    QList<Tag*> sorted = m_tags;
    std::stable_sort(sorted.begin(), sorted.end(), Tag::displayOrder);
    for (int row = 0; row < sorted.size(); ++row) {
        if (m_tags[row] == sorted[row])
            continue;
        const int from = int(m_tags.indexOf(sorted[row], row + 1));
        beginMoveRows({}, from, from, {}, row);
        m_tags.move(from, row);
        endMoveRows();
    }
}
