#include "TagRowDelegate.h"

#include "TagListModel.h"

#include "model/SystemColors.h"
#include "platform/Symbols.h"
#include "ui/Style.h"

#include <QApplication>
#include <QPainter>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
constexpr int kHorizontalMargin = 8;
constexpr int kVerticalMargin = 6;
constexpr int kCheckMarkSize = 16;
constexpr qreal kSelectedOpacity = 0.18;
constexpr qreal kHoverOpacity = 0.07;
} // namespace

TagRowDelegate::TagRowDelegate(TagChipSize chipSize, Trailing trailing, QObject* parent)
    : QStyledItemDelegate(parent), m_chipSize(chipSize), m_trailing(trailing)
{}

void TagRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    // The current row gets a light wash of the selection colour rather than
    // the full highlight, which would swallow the chip's colours and the blue
    // check mark; the focus frame is the desktop's own.
    if (option.state & (QStyle::State_Selected | QStyle::State_MouseOver)) {
        const qreal opacity = (option.state & QStyle::State_Selected) ? kSelectedOpacity : kHoverOpacity;
        painter->fillRect(option.rect, Style::withOpacity(option.palette.color(QPalette::Highlight), opacity));
    }
    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.backgroundColor = option.palette.color(QPalette::Base);
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }

    const QRect content = option.rect.adjusted(kHorizontalMargin, 0, -kHorizontalMargin, 0);
    const QString name = index.data(Qt::DisplayRole).toString();
    const QSize chip = TagChipView::sizeFor(name, m_chipSize);
    QRect trailing = content;
    if (m_trailing == Trailing::checkMark) {
        trailing.setLeft(content.right() - kCheckMarkSize + 1);
        if (index.data(Qt::CheckStateRole).toInt() == Qt::Checked) {
            const QRect box(trailing.left(), content.center().y() - kCheckMarkSize / 2, kCheckMarkSize, kCheckMarkSize);
            Symbols::icon(u"checkmark"_s, SystemColors::blue()).paint(painter, box);
        }
    } else {
        const QString count = index.data(TagListModel::ItemCountTextRole).toString();
        painter->save();
        painter->setFont(Style::font(Style::Text::caption));
        painter->setPen(Style::secondaryText(option.palette));
        const int width = painter->fontMetrics().horizontalAdvance(count);
        trailing.setLeft(content.right() - width + 1);
        painter->drawText(trailing, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, count);
        painter->restore();
    }
    // A name too long for the row is cut at the trailing part rather than drawn under it.
    const int room = std::max(0, trailing.left() - kHorizontalMargin - content.left());
    const QRect chipRect(content.left(), content.center().y() - chip.height() / 2 + 1, std::min(chip.width(), room),
                         chip.height());
    painter->save();
    painter->setClipRect(chipRect);
    TagChipView::paint(*painter, chipRect, name, index.data(TagListModel::ColorRole).value<QColor>(), m_chipSize);
    painter->restore();
}

QSize TagRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const
{
    const QSize chip = TagChipView::sizeFor(index.data(Qt::DisplayRole).toString(), m_chipSize);
    int trailing = kCheckMarkSize;
    if (m_trailing == Trailing::itemCount) {
        const QFontMetrics metrics(Style::font(Style::Text::caption));
        trailing = metrics.horizontalAdvance(index.data(TagListModel::ItemCountTextRole).toString());
    }
    return QSize(kHorizontalMargin * 3 + chip.width() + trailing,
                 std::max(chip.height(), kCheckMarkSize) + 2 * kVerticalMargin);
}
