#include "FlowLayout.h"

#include <QWidget>

#include <algorithm>

FlowLayout::Arrangement FlowLayout::arrange(const QList<QSize>& sizes, int spacing, int width)
{
    Arrangement result;
    result.positions.reserve(sizes.size());
    // 64-bit sums: an unbounded width is INT_MAX and x + w must not overflow.
    qint64 x = 0;
    qint64 y = 0;
    qint64 rowHeight = 0;
    qint64 widest = 0;
    for (const QSize& s : sizes) {
        if (x > 0 && x + s.width() > width) {
            y += rowHeight + spacing;
            x = 0;
            rowHeight = 0;
        }
        result.positions.append(QPoint(int(x), int(y)));
        x += s.width() + spacing;
        rowHeight = std::max<qint64>(rowHeight, s.height());
        widest = std::max(widest, x);
    }
    // The width counts the trailing spacing of the widest row; an empty
    // arrangement is (0, 0).
    result.size = QSize(int(std::min<qint64>(widest, kUnbounded)), int(std::min<qint64>(y + rowHeight, kUnbounded)));
    return result;
}

FlowLayout::FlowLayout(QWidget* parent, int spacing) : QLayout(parent), m_spacing(std::max(0, spacing))
{
    // Children sit at the layout's own edges unless the user asks for margins.
    setContentsMargins(0, 0, 0, 0);
}

FlowLayout::~FlowLayout()
{
    while (QLayoutItem* item = takeAt(0))
        delete item;
}

void FlowLayout::setSpacing(int spacing)
{
    spacing = std::max(0, spacing);
    if (spacing == m_spacing)
        return;
    m_spacing = spacing;
    invalidate();
}

void FlowLayout::addItem(QLayoutItem* item)
{
    m_items.append(item);
    invalidate();
}

QLayoutItem* FlowLayout::itemAt(int index) const
{
    return index >= 0 && index < m_items.size() ? m_items.at(index) : nullptr;
}

QLayoutItem* FlowLayout::takeAt(int index)
{
    if (index < 0 || index >= m_items.size())
        return nullptr;
    QLayoutItem* item = m_items.takeAt(index);
    invalidate();
    return item;
}

QList<QSize> FlowLayout::visibleSizes(QList<QLayoutItem*>* items) const
{
    QList<QSize> sizes;
    sizes.reserve(m_items.size());
    for (QLayoutItem* item : m_items) {
        // Hidden widgets take no place, as in Qt's own layouts.
        if (item->isEmpty())
            continue;
        sizes.append(item->sizeHint());
        if (items)
            items->append(item);
    }
    return sizes;
}

FlowLayout::Arrangement FlowLayout::arrangeFor(int width) const
{
    const QMargins m = contentsMargins();
    const int inner = width == kUnbounded ? kUnbounded : std::max(0, width - m.left() - m.right());
    return arrange(visibleSizes(), m_spacing, inner);
}

int FlowLayout::heightForWidth(int width) const
{
    const QMargins m = contentsMargins();
    return arrangeFor(width).size.height() + m.top() + m.bottom();
}

QSize FlowLayout::sizeHint() const
{
    const QMargins m = contentsMargins();
    return arrangeFor(kUnbounded).size.grownBy(m);
}

QSize FlowLayout::minimumSize() const
{
    // As narrow as the widest item (items are not shrunk), one row high; the
    // real height comes from heightForWidth.
    QSize widest(0, 0);
    for (const QSize& s : visibleSizes())
        widest = widest.expandedTo(s);
    return widest.grownBy(contentsMargins());
}

void FlowLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    const QRect inner = rect.marginsRemoved(contentsMargins());
    QList<QLayoutItem*> items;
    const QList<QSize> sizes = visibleSizes(&items);
    const Arrangement arrangement = arrange(sizes, m_spacing, inner.width());
    for (qsizetype i = 0; i < items.size(); ++i)
        items.at(i)->setGeometry(QRect(inner.topLeft() + arrangement.positions.at(i), sizes.at(i)));
}
