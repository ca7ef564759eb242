#include "SecureFieldWithToggle.h"

#include "platform/Symbols.h"
#include "ui/Style.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QToolButton>

using namespace Qt::StringLiterals;

SecureFieldWithToggle::SecureFieldWithToggle(const QString& title, QWidget* parent)
    : QWidget(parent), m_field(new QLineEdit(this)), m_toggle(new QToolButton(this))
{
    m_field->setObjectName(u"secureField"_s);
    m_field->setPlaceholderText(title);
    m_field->setEchoMode(QLineEdit::Password);
    setFocusProxy(m_field);

    m_toggle->setObjectName(u"secureToggle"_s);
    m_toggle->setAutoRaise(true);
    m_toggle->setCursor(Qt::ArrowCursor);
    m_toggle->setIconSize(QSize(16, 16));
    // A plain button: the glyph alone.
    m_toggle->setStyleSheet(u"QToolButton { border: none; padding: 2px; background: transparent; }"_s);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(m_field, 1);
    layout->addWidget(m_toggle);

    connect(m_field, &QLineEdit::textChanged, this, &SecureFieldWithToggle::textChanged);
    connect(m_toggle, &QToolButton::clicked, this, [this] { setSecure(!m_secure); });
    updateToggle();
}

QString SecureFieldWithToggle::title() const
{
    return m_field->placeholderText();
}

QString SecureFieldWithToggle::text() const
{
    return m_field->text();
}

void SecureFieldWithToggle::setText(const QString& text)
{
    m_field->setText(text);
}

void SecureFieldWithToggle::setSecure(bool secure)
{
    if (secure == m_secure)
        return;
    m_secure = secure;
    // One field in both states, so the text and the cursor stay put.
    m_field->setEchoMode(secure ? QLineEdit::Password : QLineEdit::Normal);
    updateToggle();
    Q_EMIT secureChanged(m_secure);
}

void SecureFieldWithToggle::updateToggle()
{
    m_toggle->setIcon(Symbols::icon(m_secure ? u"eye"_s : u"eye.slash"_s, Style::secondaryText(palette())));
    m_toggle->setAccessibleName(m_secure ? u"Show"_s : u"Hide"_s);
}

void SecureFieldWithToggle::changeEvent(QEvent* event)
{
    // The glyph's tint follows the palette (light and dark themes).
    if (event->type() == QEvent::PaletteChange)
        updateToggle();
    QWidget::changeEvent(event);
}
