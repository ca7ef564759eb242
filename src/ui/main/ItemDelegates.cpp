#include "ItemDelegates.h"

#include "ItemListModel.h"

#include "model/Clock.h"
#include "model/Item.h"
#include "platform/Symbols.h"
#include "ui/Style.h"

#include <QPainter>
#include <QPainterPath>

using namespace Qt::StringLiterals;

namespace {

Item* itemOf(const QModelIndex& index)
{
    return index.data(ItemListModel::ItemRole).value<Item*>();
}

QSize devicePixels(const QSizeF& size, const QPaintDevice* device)
{
    const qreal ratio = device ? device->devicePixelRatioF() : 1.0;
    return (size * ratio).toSize();
}

void drawPicture(QPainter* painter, const QRectF& rect, const QImage& image, qreal radius)
{
    QPainterPath clip;
    clip.addRoundedRect(rect, radius, radius);
    painter->save();
    painter->setClipPath(clip);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(rect, image);
    painter->restore();
}

// Title, elided, followed by a yellow star for favourites.
void drawTitle(QPainter* painter, const QRect& rect, const Item& item, const QFont& font, const QColor& color)
{
    const QFontMetrics metrics(font);
    const int star = item.isFavorite() ? metrics.height() : 0;
    const QString title =
        metrics.elidedText(Style::displayText(item.title()), Qt::ElideRight, rect.width() - star - (star ? 4 : 0));
    painter->setFont(font);
    painter->setPen(color);
    // Not clipped to the line: "_" and descenders reach below it.
    painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, title);
    if (star) {
        const int x = rect.left() + metrics.horizontalAdvance(title) + 4;
        const int size = std::max(8, int(metrics.height() * 0.75));
        const QRect starRect(x, rect.center().y() - size / 2, size, size);
        Symbols::icon(u"star.fill"_s, QColor(0xFF, 0xCC, 0x00)).paint(painter, starRect);
    }
}

} // namespace

void ItemPainting::paintPlaceholder(QPainter* painter, const QRectF& rect, const Item& item, qreal radius,
                                    int symbolSize)
{
    const ItemType type = item.type();
    const QColor tint = ItemTypes::tintColor(type);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(Style::withOpacity(tint, 0.1));
    painter->drawRoundedRect(rect, radius, radius);
    const QRectF symbol(rect.center().x() - symbolSize / 2.0, rect.center().y() - symbolSize / 2.0, symbolSize,
                        symbolSize);
    Symbols::icon(ItemTypes::iconName(type), tint).paint(painter, symbol.toRect());
    painter->restore();
}

ItemRowDelegate::ItemRowDelegate(PictureCache* pictures, QObject* parent)
    : QStyledItemDelegate(parent), m_pictures(pictures)
{}

QSize ItemRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return QSize(option.rect.width() > 0 ? option.rect.width() : 300, kRowHeight);
}

void ItemRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const Item* item = itemOf(index);
    if (!item)
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QPalette& palette = option.palette;
    const bool selected = option.state & QStyle::State_Selected;
    const QRect r = option.rect.adjusted(6, 1, -6, -1);
    if (selected) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(Style::withOpacity(Style::accent(palette), 0.22));
        painter->drawRoundedRect(r, 6, 6);
    } else if (option.state & QStyle::State_MouseOver) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(Style::quaternary(palette));
        painter->drawRoundedRect(r, 6, 6);
    }

    const QRectF picture(r.left() + 6, r.top() + (r.height() - kPicture) / 2.0, kPicture, kPicture);
    const QImage image =
        m_pictures->picture(item, PictureCache::Source::thumbnail, devicePixels(picture.size(), painter->device()));
    if (!image.isNull())
        drawPicture(painter, picture, image, 6);
    else
        ItemPainting::paintPlaceholder(painter, picture, *item, 6, 22);

    const int textLeft = int(picture.right()) + 12;
    const QRect textArea(textLeft, r.top() + 6, r.right() - textLeft - 6, r.height() - 12);
    const QFont body = Style::font(Style::Text::body);
    const QFont caption = Style::font(Style::Text::caption);
    const QFont caption2 = Style::font(Style::Text::caption2);
    const int titleHeight = QFontMetrics(body).height();
    drawTitle(painter, QRect(textArea.left(), textArea.top(), textArea.width(), titleHeight), *item, body,
              palette.color(QPalette::Text));

    int x = textArea.left();
    const int lineTop = textArea.top() + titleHeight + 2;
    const int lineHeight = QFontMetrics(caption).height();
    if (item->sourceDomain()) {
        painter->setFont(caption);
        painter->setPen(Style::secondaryText(palette));
        const QString domain = QFontMetrics(caption).elidedText(Style::displayText(*item->sourceDomain()),
                                                                Qt::ElideMiddle, textArea.width() * 2 / 3);
        painter->drawText(QRect(x, lineTop, textArea.width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter, domain);
        x += QFontMetrics(caption).horizontalAdvance(domain) + 8;
    }
    painter->setFont(caption2);
    painter->setPen(Style::tertiaryText(palette));
    painter->drawText(QRect(x, lineTop, std::max(0, textArea.right() - x), lineHeight),
                      Qt::AlignLeft | Qt::AlignVCenter, Style::relativeDate(item->createdAt(), Clock::now()));
    painter->restore();
}

ItemCardDelegate::ItemCardDelegate(PictureCache* pictures, QObject* parent)
    : QStyledItemDelegate(parent), m_pictures(pictures)
{}

int ItemCardDelegate::cardHeight()
{
    return 8 + kPictureHeight + 8 + QFontMetrics(Style::font(Style::Text::caption, QFont::Medium)).height() + 2
           + QFontMetrics(Style::font(Style::Text::caption2)).height() + 8;
}

std::pair<int, int> ItemCardDelegate::columnsAndWidth(int viewportWidth)
{
    // The cards' own half gaps inset the grid from the edges; the view
    // wraps a row that fills its width exactly, so keep a little slack.
    const int usable = std::max(viewportWidth - kGap - 2, kMinWidth);
    const int columns = std::max(1, (usable + kGap) / (kMinWidth + kGap));
    const int width = std::clamp((usable - (columns - 1) * kGap) / columns, kMinWidth, kMaxWidth);
    return {columns, width};
}

QSize ItemCardDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return QSize(m_cardWidth + kGap, cardHeight() + kGap);
}

void ItemCardDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const Item* item = itemOf(index);
    if (!item)
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QPalette& palette = option.palette;
    const bool selected = option.state & QStyle::State_Selected;
    const QRectF card = QRectF(option.rect).adjusted(kGap / 2.0, kGap / 2.0, -kGap / 2.0, -kGap / 2.0);

    // Shadow: a few widening, fading outlines below the card.
    const QColor shadow = selected ? Style::withOpacity(Style::accent(palette), 0.3) : QColor(0, 0, 0, 26);
    const int radius = selected ? 4 : 2;
    painter->setBrush(Qt::NoBrush);
    for (int i = radius; i >= 1; --i) {
        QColor c = shadow;
        c.setAlphaF(shadow.alphaF() * float(radius - i + 1) / float(radius + 1));
        painter->setPen(QPen(c, 1.0));
        painter->drawRoundedRect(card.translated(0, 1).adjusted(-i, -i, i, i), 10 + i, 10 + i);
    }
    painter->setPen(Qt::NoPen);
    painter->setBrush(Style::controlBackground(palette));
    painter->drawRoundedRect(card, 10, 10);
    if (selected) {
        painter->setPen(QPen(Style::accent(palette), 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(card.adjusted(1, 1, -1, -1), 9, 9);
    }

    const QRectF picture(card.left() + 8, card.top() + 8, card.width() - 16, kPictureHeight);
    const QImage image = m_pictures->picture(item, PictureCache::Source::thumbnailOrImage,
                                             devicePixels(picture.size(), painter->device()));
    if (!image.isNull())
        drawPicture(painter, picture, image, 8);
    else
        ItemPainting::paintPlaceholder(painter, picture, *item, 8, 30);

    const QFont titleFont = Style::font(Style::Text::caption, QFont::Medium);
    const QFont domainFont = Style::font(Style::Text::caption2);
    const int titleHeight = QFontMetrics(titleFont).height();
    const QRect titleRect(int(picture.left()), int(picture.bottom()) + 8, int(picture.width()), titleHeight);
    drawTitle(painter, titleRect, *item, titleFont, palette.color(QPalette::Text));
    if (item->sourceDomain()) {
        painter->setFont(domainFont);
        painter->setPen(Style::secondaryText(palette));
        const QRect domainRect(titleRect.left(), titleRect.bottom() + 2, titleRect.width(),
                               QFontMetrics(domainFont).height());
        painter->drawText(
            domainRect, Qt::AlignLeft | Qt::AlignVCenter,
            QFontMetrics(domainFont)
                .elidedText(Style::displayText(*item->sourceDomain()), Qt::ElideMiddle, domainRect.width()));
    }
    painter->restore();
}
