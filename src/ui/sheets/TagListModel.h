#pragma once

#include <QAbstractListModel>
#include <QList>

class Item;
class ModelContext;
class Tag;

// Every tag of the library in display order (sortOrder, then name), one row
// each, kept up to date row by row from the context's signals: a new tag is
// inserted at its place, a deleted one removed, a renamed or re-sorted one
// moved, and counts repaint once per event-loop turn after items change.
//
// With an item set, rows report whether the item carries their tag
// (Qt::CheckStateRole). Rows drag as the tag payload (TagDrag); with
// reordering on, a row dropped elsewhere in the list moves there and every
// tag's sortOrder becomes its new position.
class TagListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        IdRole = Qt::UserRole + 1, // QUuid
        ColorRole,                 // QColor
        ItemCountRole,             // int: items carrying the tag that are not archived
        ItemCountTextRole,         // "%1 items"
    };

    explicit TagListModel(ModelContext* context, QObject* parent = nullptr);

    void setItem(Item* item);
    Item* item() const { return m_item; }
    void setReorderable(bool on) { m_reorderable = on; }

    Tag* tagAt(int row) const;
    QModelIndex indexOf(const Tag* tag) const;
    // "%1 items" with no singular form, as the tag list has always said it.
    static QString itemCountText(int count);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;
    // Moves rows and writes sortOrder 0..n-1 in the new order.
    bool moveRows(const QModelIndex& sourceParent, int sourceRow, int count, const QModelIndex& destinationParent,
                  int destinationChild) override;

private:
    void insertTag(Tag* tag);
    void removeTag(Tag* tag);
    void tagUpdated(Tag* tag, quint32 fields);
    void itemUpdated(Item* item, quint32 fields);
    // Brings the rows into display order with the fewest moves.
    void sortRows();
    void flush();

    ModelContext* m_context;
    QList<Tag*> m_tags;
    Item* m_item = nullptr;
    bool m_reorderable = false;
    bool m_writingOrder = false;
    bool m_orderDirty = false;
    bool m_countsDirty = false;
};
