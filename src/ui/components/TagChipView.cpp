#include "TagChipView.h"

#include "model/Tag.h"
#include "platform/Symbols.h"
#include "store/ModelContext.h"
#include "ui/Style.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {
constexpr int kPartSpacing = 4;
constexpr qreal kBackgroundOpacity = 0.15;
// The remove mark stands for 8-point bold text; Material's "close" glyph
// covers a little over half of its box, so a 10 px box gives the same weight.
constexpr int kRemoveGlyphPixels = 10;
} // namespace

TagChipView::TagChipView(Tag* tag, TagChipSize size, bool showRemove, std::function<void()> onRemove, QWidget* parent)
    : QWidget(parent), m_tag(tag), m_size(size), m_onRemove(std::move(onRemove)), m_label(new QLabel(this))
{
    setObjectName(u"tagChip"_s);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // A tag's name is shown as typed, never read as markup.
    m_label->setTextFormat(Qt::PlainText);
    m_label->setObjectName(u"tagChipName"_s);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(padding(size));
    layout->setSpacing(kPartSpacing);
    layout->addWidget(m_label, 0, Qt::AlignVCenter);
    if (showRemove) {
        m_removeButton = new QToolButton(this);
        m_removeButton->setObjectName(u"removeTagButton"_s);
        m_removeButton->setCursor(Qt::PointingHandCursor);
        m_removeButton->setIconSize(QSize(kRemoveGlyphPixels, kRemoveGlyphPixels));
        m_removeButton->setFixedSize(kRemoveGlyphPixels, kRemoveGlyphPixels);
        // A plain button: the glyph alone, no frame or hover panel.
        m_removeButton->setStyleSheet(u"QToolButton { border: none; padding: 0; background: transparent; }"_s);
        layout->addWidget(m_removeButton, 0, Qt::AlignVCenter);
        connect(m_removeButton, &QToolButton::clicked, this, [this] {
            if (m_onRemove)
                m_onRemove();
        });
    }
    refresh();
}

QMargins TagChipView::padding(TagChipSize size)
{
    switch (size) {
    case TagChipSize::small: return {6, 2, 6, 2};
    case TagChipSize::medium: return {8, 4, 8, 4};
    case TagChipSize::large: return {12, 6, 12, 6};
    }
    return {};
}

QFont TagChipView::font(TagChipSize size)
{
    switch (size) {
    case TagChipSize::small: return Style::font(Style::Text::caption2, QFont::Medium);
    case TagChipSize::medium: return Style::font(Style::Text::caption, QFont::Medium);
    case TagChipSize::large: return Style::font(Style::Text::subheadline, QFont::Medium);
    }
    return Style::font(Style::Text::caption, QFont::Medium);
}

void TagChipView::refresh()
{
    if (m_tag) {
        m_name = m_tag->name();
        m_color = m_tag->color();
    }
    apply();
}

void TagChipView::observe(ModelContext* context)
{
    connect(context, &ModelContext::tagUpdated, this, [this](Tag* tag, quint32 fields) {
        if (tag == m_tag && (fields & (TagField::Name | TagField::ColorHex)))
            refresh();
    });
    connect(context, &ModelContext::allAboutToBeRemoved, this, [this] { m_tag = nullptr; });
    connect(context, &ModelContext::tagAboutToBeRemoved, this, [this](Tag* tag) {
        if (tag == m_tag)
            m_tag = nullptr;
    });
}

void TagChipView::apply()
{
    m_label->setFont(font(m_size));
    m_label->setText(m_name);
    QPalette labelPalette = m_label->palette();
    labelPalette.setColor(QPalette::WindowText, m_color);
    m_label->setPalette(labelPalette);
    if (m_removeButton) {
        m_removeButton->setIcon(Symbols::icon(u"xmark"_s, m_color));
        m_removeButton->setAccessibleName(u"Remove "_s + m_name);
    }
    setAccessibleName(m_name);
    updateGeometry();
    update();
}

bool TagChipView::event(QEvent* event)
{
    // The chip's fonts derive from the application font.
    if (event->type() == QEvent::ApplicationFontChange)
        apply();
    return QWidget::event(event);
}

void TagChipView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintCapsule(painter, rect(), m_color);
}

void TagChipView::paintCapsule(QPainter& painter, const QRectF& rect, const QColor& color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal radius = rect.height() / 2;
    QPainterPath capsule;
    capsule.addRoundedRect(rect, radius, radius);
    painter.fillPath(capsule, Style::withOpacity(color, kBackgroundOpacity));
    painter.restore();
}

QSize TagChipView::sizeFor(const QString& name, TagChipSize size)
{
    const QFontMetrics metrics(font(size));
    const QMargins margins = padding(size);
    return QSize(metrics.horizontalAdvance(name) + margins.left() + margins.right(),
                 metrics.height() + margins.top() + margins.bottom());
}

void TagChipView::paint(QPainter& painter, const QRect& rect, const QString& name, const QColor& color,
                        TagChipSize size)
{
    paintCapsule(painter, rect, color);
    painter.save();
    painter.setFont(font(size));
    painter.setPen(color);
    // Plain text: the name is drawn exactly as stored.
    painter.drawText(rect.marginsRemoved(padding(size)), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, name);
    painter.restore();
}
