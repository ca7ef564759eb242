#pragma once

#include "PickerGrid.h"

#include <QColor>
#include <QList>

// Picks one colour out of a list: filled 32 × 32 circles, each with a soft
// shadow in its own colour, the chosen one with a white ring. Colours are
// compared by their RGB value.
class ColorPickerGrid final : public PickerGrid {
    Q_OBJECT

public:
    // The application's twelve-colour palette unless told otherwise.
    explicit ColorPickerGrid(QWidget* parent = nullptr);
    explicit ColorPickerGrid(const QList<QColor>& colors, QWidget* parent = nullptr);

    const QList<QColor>& colors() const { return m_colors; }
    // Invalid while nothing is chosen.
    QColor selectedColor() const { return m_selected; }
    // Any colour; one that is not in the list rings no cell.
    void setSelectedColor(const QColor& color);

Q_SIGNALS:
    void selectedColorChanged(const QColor& color);

protected:
    int selectedIndex() const override;
    void pick(int index) override;
    void paintCell(QPainter& painter, int index, const QRectF& cell, bool selected) override;

private:
    QList<QColor> m_colors;
    QColor m_selected;
};
