#include "Symbols.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

using namespace Qt::StringLiterals;

namespace {

const QHash<QString, char32_t>& table()
{
    static const QHash<QString, char32_t> s_table{
        // item types and smart folders
        {u"link"_s, 0xe157},
        {u"play.rectangle"_s, 0xf06a},
        {u"bubble.left.and.bubble.right"_s, 0xe0bf},
        {u"photo"_s, 0xe410},
        {u"camera.viewfinder"_s, 0xe3c2},
        {u"doc"_s, 0xe873},
        {u"tray"_s, 0xe156},
        {u"star"_s, 0xe83a},
        {u"star.fill"_s, 0xe838},
        {u"star.slash"_s, 0xf023},
        {u"clock"_s, 0xe8b5},
        {u"eye"_s, 0xe8f4},
        {u"eye.slash"_s, 0xe8f5},
        {u"archivebox"_s, 0xe149},
        {u"square.grid.2x2"_s, 0xe9b0},
        {u"square.grid.2x2.fill"_s, 0xe9b0},
        // folder icons
        {u"folder"_s, 0xe2c7},
        {u"folder.fill"_s, 0xe2c7},
        {u"heart"_s, 0xe87d},
        {u"bookmark"_s, 0xe867},
        {u"bookmark.fill"_s, 0xe866},
        {u"doc.text"_s, 0xef42},
        {u"book"_s, 0xe865},
        {u"books.vertical"_s, 0xe02f},
        {u"magazine"_s, 0xe666},
        {u"newspaper"_s, 0xeb81},
        {u"video"_s, 0xe02c},
        {u"music.note"_s, 0xe405},
        {u"brain"_s, 0xea4a},
        {u"brain.head.profile"_s, 0xf8ea},
        {u"lightbulb"_s, 0xe0f0},
        {u"graduationcap"_s, 0xe80c},
        {u"briefcase"_s, 0xe8f9},
        {u"house"_s, 0xe88a},
        {u"cart"_s, 0xe8cc},
        {u"bag"_s, 0xf1cc},
        {u"gift"_s, 0xe8f6},
        {u"trophy"_s, 0xea23},
        {u"flag"_s, 0xe153},
        {u"bell"_s, 0xe7f4},
        {u"calendar"_s, 0xe935},
        {u"map"_s, 0xe55b},
        {u"location"_s, 0xe0c8},
        {u"person"_s, 0xe7fd},
        {u"person.2"_s, 0xe7fb},
        {u"bubble.left"_s, 0xe0ca},
        {u"quote.bubble"_s, 0xe244},
        {u"ellipsis.bubble"_s, 0xe0b7},
        // interface
        {u"list.bullet"_s, 0xe241},
        {u"checkmark"_s, 0xe5ca},
        {u"checkmark.circle.fill"_s, 0xe86c},
        {u"plus"_s, 0xe145},
        {u"plus.circle.fill"_s, 0xe147},
        {u"trash"_s, 0xe872},
        {u"pencil"_s, 0xe3c9},
        {u"xmark"_s, 0xe5cd},
        {u"xmark.circle.fill"_s, 0xe5c9},
        {u"magnifyingglass"_s, 0xe8b6},
        {u"safari"_s, 0xe87a},
        {u"globe"_s, 0xe80b},
        {u"doc.on.doc"_s, 0xe14d},
        {u"square.and.arrow.up"_s, 0xe6b8},
        {u"square.and.arrow.down"_s, 0xe2c4},
        {u"tray.and.arrow.up"_s, 0xe2c6},
        {u"folder.badge.plus"_s, 0xe2cc},
        {u"tag"_s, 0xf05b},
        {u"tag.fill"_s, 0xe54e},
        {u"lock.shield.fill"_s, 0xe32a},
        {u"exclamationmark.triangle.fill"_s, 0xe002},
        {u"arrow.up.arrow.down"_s, 0xe8d5},
        {u"line.3.horizontal.decrease"_s, 0xe152},
        {u"line.3.horizontal.decrease.circle"_s, 0xe152},
        {u"sidebar.right"_s, 0xf114},
        {u"sidebar.left"_s, 0xf114},
        {u"icloud.slash"_s, 0xe2c1},
        {u"chart.bar.xaxis"_s, 0xe26b},
        {u"dollarsign.circle"_s, 0xe263},
        {u"arrow.down.circle.dashed"_s, 0xf001},
        {u"circle"_s, 0xe836},
        {u"circle.fill"_s, 0xe3fa},
        {u"arrow.clockwise"_s, 0xe5d5},
        {u"square.stack"_s, 0xe53b},
        {u"gear"_s, 0xe8b8},
        {u"chevron.left"_s, 0xe5cb},
        {u"clock.arrow.circlepath"_s, 0xe8b3},
        {u"ellipsis"_s, 0xe5d3},
        {u"info.circle"_s, 0xe88e},
        {u"doc.on.clipboard"_s, 0xe14f},
        {u"arrow.up.right.square"_s, 0xe89e},
        {u"lock"_s, 0xe897},
        {u"touchid"_s, 0xe90d},
        {u"chevron.right"_s, 0xe5cc},
        {u"chevron.down"_s, 0xe5cf},
    };
    return s_table;
}

constexpr char32_t kUnknownGlyph = 0xe8fd; // a question mark in a circle

QString s_family;
bool s_loaded = false;

void ensureFont()
{
    if (s_loaded)
        return;
    s_loaded = true;
    const int id = QFontDatabase::addApplicationFont(
        u"/usr/share/fonts/truetype/material-design-icons-iconfont/MaterialIcons-Regular.ttf"_s);
    if (id >= 0) {
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (!families.isEmpty())
            s_family = families.first();
    }
}

class SymbolIconEngine final : public QIconEngine {
public:
    SymbolIconEngine(QString name, QColor tint) : m_name(std::move(name)), m_tint(std::move(tint)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        QColor color = m_tint.isValid() ? m_tint : QGuiApplication::palette().color(QPalette::WindowText);
        if (mode == QIcon::Disabled)
            color.setAlphaF(color.alphaF() * 0.4f);
        painter->save();
        painter->setRenderHint(QPainter::TextAntialiasing);
        painter->setPen(color);
        painter->setFont(Symbols::font(qMax(1, qMin(rect.width(), rect.height()))));
        painter->drawText(rect, Qt::AlignCenter, Symbols::glyphText(m_name));
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        paint(&p, QRect(QPoint(0, 0), size), mode, state);
        return pm;
    }

    QIconEngine* clone() const override { return new SymbolIconEngine(m_name, m_tint); }

private:
    QString m_name;
    QColor m_tint;
};

} // namespace

char32_t Symbols::codepoint(const QString& name)
{
    return table().value(name, kUnknownGlyph);
}

bool Symbols::isKnown(const QString& name)
{
    return table().contains(name);
}

bool Symbols::fontAvailable()
{
    ensureFont();
    return !s_family.isEmpty();
}

QFont Symbols::font(int pixelSize)
{
    ensureFont();
    QFont f(s_family.isEmpty() ? u"Material Icons"_s : s_family);
    f.setPixelSize(pixelSize);
    f.setStyleStrategy(QFont::NoFontMerging);
    return f;
}

QString Symbols::glyphText(const QString& name)
{
    const char32_t cp = codepoint(name);
    return QString::fromUcs4(&cp, 1);
}

QIcon Symbols::icon(const QString& name, const QColor& tint)
{
    return QIcon(new SymbolIconEngine(name, tint));
}
