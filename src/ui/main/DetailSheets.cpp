#include "DetailSheets.h"

#include "platform/Symbols.h"
#include "ui/Style.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

TitleNoteSheet::TitleNoteSheet(const QString& title, const QString& note, QWidget* parent) : QDialog(parent)
{
    setObjectName(u"titleNoteSheet"_s);
    setWindowTitle(u"Edit Title & Note"_s);
    setModal(true);
    setMinimumSize(400, 280);
    auto* layout = new QVBoxLayout(this);

    auto* titleBox = new QGroupBox(u"Title"_s, this);
    auto* titleLayout = new QVBoxLayout(titleBox);
    m_title = new QLineEdit(title, titleBox);
    m_title->setObjectName(u"titleField"_s);
    m_title->setPlaceholderText(u"Title"_s);
    titleLayout->addWidget(m_title);
    layout->addWidget(titleBox);

    auto* noteBox = new QGroupBox(u"Note"_s, this);
    auto* noteLayout = new QVBoxLayout(noteBox);
    m_note = new QPlainTextEdit(note, noteBox);
    m_note->setObjectName(u"noteEditor"_s);
    m_note->setMinimumHeight(100);
    noteLayout->addWidget(m_note);
    layout->addWidget(noteBox, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* cancel = new QPushButton(u"Cancel"_s, this);
    cancel->setObjectName(u"cancelButton"_s);
    m_save = new QPushButton(u"Save"_s, this);
    m_save->setObjectName(u"saveButton"_s);
    m_save->setDefault(true);
    buttons->addWidget(cancel);
    buttons->addWidget(m_save);
    layout->addLayout(buttons);

    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_save, &QPushButton::clicked, this, [this] {
        if (!m_title->text().isEmpty())
            accept();
    });
    auto update = [this] { m_save->setEnabled(!m_title->text().isEmpty()); };
    connect(m_title, &QLineEdit::textChanged, this, update);
    update();
    m_title->setFocus();
}

QString TitleNoteSheet::editedTitle() const
{
    return m_title->text();
}

QString TitleNoteSheet::editedNote() const
{
    return m_note->toPlainText();
}

void TitleNoteSheet::keyPressEvent(QKeyEvent* event)
{
    // Return saves from anywhere but the note, where it starts a new line;
    // Ctrl+Return saves from the note as well.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && (!m_note->hasFocus() || event->modifiers() & Qt::ControlModifier)) {
        if (m_save->isEnabled())
            accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

FullImageSheet::FullImageSheet(const QImage& image, QWidget* parent) : QDialog(parent), m_image(image)
{
    setObjectName(u"fullImageSheet"_s);
    setWindowTitle(u"Picture"_s);
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* close = new QToolButton(this);
    close->setObjectName(u"closeButton"_s);
    close->setIcon(Symbols::icon(u"xmark.circle.fill"_s, Style::secondaryText(palette())));
    close->setIconSize(QSize(26, 26));
    close->setAutoRaise(true);
    close->setToolTip(u"Close"_s);
    connect(close, &QToolButton::clicked, this, &QDialog::accept);
    auto* top = new QHBoxLayout;
    top->addStretch();
    top->addWidget(close);
    layout->addLayout(top);
    m_view = new QLabel(this);
    m_view->setAlignment(Qt::AlignCenter);
    m_view->setMinimumSize(200, 150);
    layout->addWidget(m_view, 1);
    QSize start = image.size();
    if (const QScreen* s = screen())
        start = start.boundedTo(s->availableSize() * 0.8);
    resize(start.expandedTo(QSize(320, 240)) + QSize(24, 60));
}

void FullImageSheet::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    fit();
}

void FullImageSheet::fit()
{
    if (m_image.isNull())
        return;
    const qreal ratio = devicePixelRatioF();
    QImage scaled = m_image.scaled((m_view->size() * ratio).boundedTo(m_image.size()), Qt::KeepAspectRatio,
                                   Qt::SmoothTransformation);
    scaled.setDevicePixelRatio(ratio);
    m_view->setPixmap(QPixmap::fromImage(scaled));
}
