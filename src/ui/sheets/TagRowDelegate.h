#pragma once

#include "ui/components/TagChipView.h"

#include <QStyledItemDelegate>

// Draws a row of a TagListModel: the tag as a chip on the left and, on the
// right, either a blue check mark when the row is checked (the tag picker)
// or the "N items" count in the caption font (tag management).
class TagRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    enum class Trailing { checkMark, itemCount };

    TagRowDelegate(TagChipSize chipSize, Trailing trailing, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // Rows toggle and open through the view's owner, never through an editor.
    bool editorEvent(QEvent*, QAbstractItemModel*, const QStyleOptionViewItem&, const QModelIndex&) override
    {
        return false;
    }

private:
    TagChipSize m_chipSize;
    Trailing m_trailing;
};
