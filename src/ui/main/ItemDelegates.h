#pragma once

#include "PictureCache.h"

#include <QStyledItemDelegate>

class Item;

// Paints a list row: 48-point picture, title with a star for favourites, the
// source domain and the relative creation date.
class ItemRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    static constexpr int kPicture = 48;
    static constexpr int kRowHeight = kPicture + 8 + 4;

    ItemRowDelegate(PictureCache* pictures, QObject* parent = nullptr);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    PictureCache* m_pictures;
};

// Paints a grid card: a 100-point picture area (thumbnail, else image, else
// a tinted placeholder), the title with its star and the source domain, on a
// rounded card that lifts and takes an accent outline when selected.
class ItemCardDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    static constexpr int kPictureHeight = 100;
    static constexpr int kGap = 16;
    static constexpr int kMinWidth = 180;
    static constexpr int kMaxWidth = 220;

    ItemCardDelegate(PictureCache* pictures, QObject* parent = nullptr);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    void setCardWidth(int width) { m_cardWidth = width; }
    int cardWidth() const { return m_cardWidth; }
    static int cardHeight();
    // Columns of 180-220 points with 16-point gaps for a viewport width.
    static std::pair<int, int> columnsAndWidth(int viewportWidth);

private:
    PictureCache* m_pictures;
    int m_cardWidth = kMinWidth;
};

namespace ItemPainting {
// The type's tinted placeholder: the tint at opacity 0.1 behind its symbol.
void paintPlaceholder(QPainter* painter, const QRectF& rect, const Item& item, qreal radius, int symbolSize);
} // namespace ItemPainting
