#include "ColorPickerGrid.h"

#include "model/AppConstants.h"
#include "ui/Style.h"

#include <QPainter>
#include <QRadialGradient>

using namespace Qt::StringLiterals;

namespace {
constexpr QSize kCellSize(32, 32);
constexpr qreal kShadowOpacity = 0.5;
constexpr qreal kShadowRadius = 2;
constexpr QPointF kShadowOffset(0, 1);
constexpr qreal kRingWidth = 2;
constexpr qreal kRingInset = 4;

bool sameRgb(const QColor& a, const QColor& b)
{
    return a.isValid() == b.isValid() && (!a.isValid() || a.rgb() == b.rgb());
}
} // namespace

ColorPickerGrid::ColorPickerGrid(QWidget* parent) : ColorPickerGrid(AppConstants::colorPalette(), parent) {}

ColorPickerGrid::ColorPickerGrid(const QList<QColor>& colors, QWidget* parent)
    : PickerGrid(int(colors.size()), kCellSize, parent), m_colors(colors)
{
    setObjectName(u"colorPicker"_s);
}

void ColorPickerGrid::setSelectedColor(const QColor& color)
{
    if (sameRgb(color, m_selected))
        return;
    m_selected = color;
    selectionChanged();
    Q_EMIT selectedColorChanged(m_selected);
}

int ColorPickerGrid::selectedIndex() const
{
    if (!m_selected.isValid())
        return -1;
    for (int i = 0; i < m_colors.size(); ++i) {
        if (sameRgb(m_colors.at(i), m_selected))
            return i;
    }
    return -1;
}

void ColorPickerGrid::pick(int index)
{
    setSelectedColor(m_colors.at(index));
}

void ColorPickerGrid::paintCell(QPainter& painter, int index, const QRectF& cell, bool selected)
{
    const QColor color = m_colors.at(index);
    painter.setPen(Qt::NoPen);

    // The shadow: the disc moved down by the offset, its edge blurred over
    // the shadow radius on either side.
    const QPointF centre = cell.center() + kShadowOffset;
    const qreal radius = cell.width() / 2;
    QRadialGradient shadow(centre, radius + kShadowRadius);
    const qreal inner = (radius - kShadowRadius) / (radius + kShadowRadius);
    shadow.setColorAt(0, Style::withOpacity(color, kShadowOpacity));
    shadow.setColorAt(inner, Style::withOpacity(color, kShadowOpacity));
    shadow.setColorAt(1, Style::withOpacity(color, 0));
    painter.setBrush(shadow);
    painter.drawEllipse(centre, radius + kShadowRadius, radius + kShadowRadius);

    painter.setBrush(color);
    painter.drawEllipse(cell);

    if (selected) {
        // The ring's line runs inset from the disc's edge.
        painter.setPen(QPen(Qt::white, kRingWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(cell.adjusted(kRingInset, kRingInset, -kRingInset, -kRingInset));
    }
}
