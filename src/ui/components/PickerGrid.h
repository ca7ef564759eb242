#pragma once

#include <QWidget>

// The grid under the icon and colour pickers: as many columns of at least
// 44 px as fit, each cell centred in its column, 12 px between rows. The
// subclass paints the cells and owns the selected value; this class does the
// geometry, mouse clicks and keyboard (arrows, Home/End move, Space/Return pick).
class PickerGrid : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMinimumColumnWidth = 44;
    static constexpr int kColumnSpacing = 8;
    static constexpr int kRowSpacing = 12;
    // Room above the first row and below the last for shadows and the focus ring.
    static constexpr int kVerticalMargin = 4;

    int cellCount() const { return m_count; }
    // Columns that fit a width: at least one.
    static int columnsForWidth(int width);
    int columnCount() const { return columnsForWidth(width()); }
    // The cell's frame in widget coordinates, for the current width.
    QRect cellRect(int index) const;
    // The cell under a point, or -1.
    int indexAt(const QPoint& pos) const;
    // The cell the keyboard is on.
    int currentIndex() const { return m_current; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    PickerGrid(int count, QSize cellSize, QWidget* parent);

    virtual int selectedIndex() const = 0;
    // The user picked a cell.
    virtual void pick(int index) = 0;
    virtual void paintCell(QPainter& painter, int index, const QRectF& cell, bool selected) = 0;

    // Subclasses call this when the selection changes.
    void selectionChanged();

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void setCurrent(int index);

    int m_count;
    QSize m_cellSize;
    int m_current = 0;
    int m_pressed = -1;
    // The focus ring shows while the keyboard is in use, as on most desktops.
    bool m_keyboardFocus = false;
};
