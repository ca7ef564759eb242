#include "PickerGrid.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <utility>

namespace {
// Columns wide enough for the picker's usual six per row.
constexpr int kPreferredColumns = 6;
} // namespace

PickerGrid::PickerGrid(int count, QSize cellSize, QWidget* parent)
    : QWidget(parent), m_count(std::max(0, count)), m_cellSize(cellSize)
{
    setFocusPolicy(Qt::StrongFocus);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

int PickerGrid::columnsForWidth(int width)
{
    return std::max(1, (width + kColumnSpacing) / (kMinimumColumnWidth + kColumnSpacing));
}

QRect PickerGrid::cellRect(int index) const
{
    if (index < 0 || index >= m_count)
        return {};
    const int columns = columnCount();
    // Columns share the width; each cell is centred in its column.
    const qreal columnWidth = qreal(width() - (columns - 1) * kColumnSpacing) / columns;
    const int row = index / columns;
    const int column = index % columns;
    const qreal columnX = column * (columnWidth + kColumnSpacing);
    const int x = qRound(columnX + (columnWidth - m_cellSize.width()) / 2);
    const int y = kVerticalMargin + row * (m_cellSize.height() + kRowSpacing);
    return QRect(QPoint(x, y), m_cellSize);
}

int PickerGrid::indexAt(const QPoint& pos) const
{
    for (int i = 0; i < m_count; ++i) {
        if (cellRect(i).contains(pos))
            return i;
    }
    return -1;
}

int PickerGrid::heightForWidth(int width) const
{
    if (m_count == 0)
        return 0;
    const int columns = columnsForWidth(width);
    const int rows = (m_count + columns - 1) / columns;
    return 2 * kVerticalMargin + rows * m_cellSize.height() + (rows - 1) * kRowSpacing;
}

QSize PickerGrid::sizeHint() const
{
    const int columns = std::clamp(m_count, 1, kPreferredColumns);
    const int w = columns * kMinimumColumnWidth + (columns - 1) * kColumnSpacing;
    return QSize(w, heightForWidth(w));
}

QSize PickerGrid::minimumSizeHint() const
{
    // One column wide, one row high; layouts ask heightForWidth for the rest.
    return QSize(kMinimumColumnWidth, heightForWidth(kMinimumColumnWidth * m_count));
}

void PickerGrid::selectionChanged()
{
    const int selected = selectedIndex();
    if (selected >= 0)
        m_current = selected;
    update();
}

void PickerGrid::setCurrent(int index)
{
    index = std::clamp(index, 0, std::max(0, m_count - 1));
    if (index == m_current)
        return;
    m_current = index;
    update();
}

void PickerGrid::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int selected = selectedIndex();
    for (int i = 0; i < m_count; ++i) {
        const QRect cell = cellRect(i);
        // Leave room for shadows and the focus ring around a cell.
        if (!event->rect().intersects(cell.adjusted(-4, -4, 4, 4)))
            continue;
        painter.save();
        paintCell(painter, i, QRectF(cell), i == selected);
        painter.restore();
    }
    if (hasFocus() && m_keyboardFocus && m_count > 0) {
        QPen pen(palette().color(QPalette::Highlight), 2);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QRectF(cellRect(m_current)).adjusted(-2, -2, 2, 2));
    }
}

void PickerGrid::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_keyboardFocus = false;
    m_pressed = indexAt(event->position().toPoint());
    update();
}

void PickerGrid::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    // A click picks the cell it started and ended on, like a button.
    const int index = indexAt(event->position().toPoint());
    const int pressed = std::exchange(m_pressed, -1);
    if (index >= 0 && index == pressed) {
        setCurrent(index);
        pick(index);
    }
}

void PickerGrid::keyPressEvent(QKeyEvent* event)
{
    if (m_count == 0 || event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        QWidget::keyPressEvent(event);
        return;
    }
    const int columns = columnCount();
    int next = m_current;
    switch (event->key()) {
    case Qt::Key_Left: next = m_current - 1; break;
    case Qt::Key_Right: next = m_current + 1; break;
    // Up and down stay in the column, so they stop at the first or last row.
    case Qt::Key_Up: next = m_current - columns >= 0 ? m_current - columns : m_current; break;
    case Qt::Key_Down: next = m_current + columns < m_count ? m_current + columns : m_current; break;
    case Qt::Key_Home: next = 0; break;
    case Qt::Key_End: next = m_count - 1; break;
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        m_keyboardFocus = true;
        pick(m_current);
        update();
        return;
    default: QWidget::keyPressEvent(event); return;
    }
    m_keyboardFocus = true;
    setCurrent(next);
    update();
}

void PickerGrid::focusInEvent(QFocusEvent* event)
{
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason) {
        m_keyboardFocus = true;
        // Arrive on the chosen cell, as in a group of radio buttons.
        if (selectedIndex() >= 0)
            m_current = selectedIndex();
    }
    QWidget::focusInEvent(event);
    update();
}

void PickerGrid::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}
