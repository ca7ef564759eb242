#pragma once

#include <QLayout>
#include <QList>
#include <QPoint>
#include <QSize>

#include <limits>

// Places its items left to right at their size hints and wraps into rows, as
// a row of tag chips does. Items are never shrunk: one wider than the
// available width sits alone on its row at x = 0. The layout answers
// heightForWidth, so it wraps inside a pane the user resizes.
class FlowLayout final : public QLayout {
    Q_OBJECT

public:
    // No limit on the width (the layout's ideal size).
    static constexpr int kUnbounded = std::numeric_limits<int>::max();

    struct Arrangement {
        QList<QPoint> positions;
        // The widest row including its trailing spacing, and the height of all rows.
        QSize size;
    };
    // The arrangement alone: item sizes, the spacing between neighbours and
    // between rows, and the available width.
    static Arrangement arrange(const QList<QSize>& sizes, int spacing, int width);

    explicit FlowLayout(QWidget* parent = nullptr, int spacing = 6);
    ~FlowLayout() override;

    int spacing() const override { return m_spacing; }
    void setSpacing(int spacing) override;

    void addItem(QLayoutItem* item) override;
    int count() const override { return int(m_items.size()); }
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;

    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

private:
    // Size hints of the visible items, with the items they belong to.
    QList<QSize> visibleSizes(QList<QLayoutItem*>* items = nullptr) const;
    // The arrangement for a width of the whole layout, margins included.
    Arrangement arrangeFor(int width) const;

    QList<QLayoutItem*> m_items;
    int m_spacing;
};
