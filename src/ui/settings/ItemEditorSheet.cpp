#include "ItemEditorSheet.h"

#include "FormParts.h"

#include "model/Clock.h"
#include "model/Item.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

std::optional<QUrl> ItemEditorSheet::parsedUrl(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty() || !url.isValid() || url.isRelative())
        return std::nullopt;
    return url;
}

ItemEditorSheet::ItemEditorSheet(Item* item, QWidget* parent) : QDialog(parent), m_item(item)
{
    setObjectName(u"itemEditorSheet"_s);
    setWindowTitle(u"Edit Item"_s);
    setAccessibleName(u"Edit Item"_s);
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(420);
    auto* layout = new QVBoxLayout(this);

    const FormParts::Section title = FormParts::section(layout, u"Title"_s);
    m_title = new QLineEdit(item->title(), title.box);
    m_title->setObjectName(u"titleField"_s);
    m_title->setPlaceholderText(u"Title"_s);
    m_title->setAccessibleName(u"Title"_s);
    title.rows->addRow(m_title);

    if (item->urlString() && parsedUrl(*item->urlString())) {
        const FormParts::Section url = FormParts::section(layout, u"URL"_s);
        m_url = new QLineEdit(*item->urlString(), url.box);
        m_url->setObjectName(u"urlField"_s);
        m_url->setPlaceholderText(u"URL"_s);
        m_url->setAccessibleName(u"URL"_s);
        url.rows->addRow(m_url);
    }

    const FormParts::Section note = FormParts::section(layout, u"Note"_s);
    m_note = new QPlainTextEdit(item->note().value_or(QString()), note.box);
    m_note->setObjectName(u"noteField"_s);
    m_note->setAccessibleName(u"Note"_s);
    m_note->setMinimumHeight(100);
    // Tab moves on to the buttons, as in every other field of the sheet.
    m_note->setTabChangesFocus(true);
    note.rows->addRow(m_note);

    QDialogButtonBox* buttons = FormParts::buttons(this, u"Save"_s, u"saveButton"_s);
    m_save = buttons->findChild<QPushButton*>(u"saveButton"_s);
    layout->addWidget(buttons);
    connect(m_title, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_save->setEnabled(!text.isEmpty()); });
    m_save->setEnabled(!m_title->text().isEmpty());
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, &ItemEditorSheet::save);
    m_title->setFocus();
}

void ItemEditorSheet::save()
{
    if (m_title->text().isEmpty())
        return;
    // The item may have been deleted (here or by another program) while the
    // sheet was open; the window closes the sheet then, but never write to it.
    if (!m_item->isDeleted()) {
        m_item->setTitle(m_title->text());
        const QString note = m_note->toPlainText();
        m_item->setNote(note.isEmpty() ? std::nullopt : std::optional<QString>(note));
        if (m_url) {
            if (const std::optional<QUrl> url = parsedUrl(m_url->text())) {
                m_item->setUrlString(url->toString(QUrl::FullyEncoded));
                const QString host = url->host();
                m_item->setSourceDomain(host.isEmpty() ? std::nullopt : std::optional<QString>(host));
            }
        }
        m_item->setModifiedAt(Clock::now());
    }
    accept();
}
