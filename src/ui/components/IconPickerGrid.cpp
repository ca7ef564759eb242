#include "IconPickerGrid.h"

#include "model/SystemColors.h"
#include "platform/Symbols.h"
#include "ui/Style.h"

#include <QFontInfo>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace {
constexpr QSize kCellSize(36, 36);

// Material glyphs fill less of their em box than the desktop's text does, so
// a glyph drawn at 1.25 × the title-3 size looks as large as title-3 text.
constexpr qreal kGlyphScale = 1.25;
} // namespace

IconPickerGrid::IconPickerGrid(const QStringList& icons, QWidget* parent)
    : PickerGrid(int(icons.size()), kCellSize, parent), m_icons(icons)
{
    setObjectName(u"iconPicker"_s);
}

const QStringList& IconPickerGrid::folderIcons()
{
    // clang-format off
    static const QStringList s_icons{
        u"folder"_s, u"folder.fill"_s, u"star"_s, u"heart"_s, u"bookmark"_s,
        u"doc"_s, u"doc.text"_s, u"book"_s, u"books.vertical"_s, u"magazine"_s,
        u"newspaper"_s, u"link"_s, u"photo"_s, u"video"_s, u"music.note"_s,
        u"brain"_s, u"lightbulb"_s, u"graduationcap"_s, u"briefcase"_s, u"house"_s,
        u"cart"_s, u"bag"_s, u"gift"_s, u"trophy"_s, u"flag"_s,
        u"bell"_s, u"calendar"_s, u"clock"_s, u"map"_s, u"location"_s,
        u"person"_s, u"person.2"_s, u"bubble.left"_s, u"quote.bubble"_s, u"ellipsis.bubble"_s,
    };
    // clang-format on
    return s_icons;
}

void IconPickerGrid::setSelectedIcon(const QString& icon)
{
    if (icon == m_selected)
        return;
    m_selected = icon;
    selectionChanged();
    Q_EMIT selectedIconChanged(m_selected);
}

int IconPickerGrid::selectedIndex() const
{
    return int(m_icons.indexOf(m_selected));
}

void IconPickerGrid::pick(int index)
{
    setSelectedIcon(m_icons.at(index));
}

void IconPickerGrid::paintCell(QPainter& painter, int index, const QRectF& cell, bool selected)
{
    if (selected) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Style::withOpacity(SystemColors::blue(), 0.2));
        painter.drawEllipse(cell);
    }
    const int textPixels = QFontInfo(Style::font(Style::Text::title3)).pixelSize();
    painter.setFont(Symbols::font(qRound(textPixels * kGlyphScale)));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(cell, Qt::AlignCenter, Symbols::glyphText(m_icons.at(index)));
}
