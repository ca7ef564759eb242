#include "PassphrasePrompt.h"

#include "FormParts.h"

#include "services/security/SecurityService.h"
#include "ui/components/SecureFieldWithToggle.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

PassphrasePrompt::PassphrasePrompt(const QString& title, const QString& header, const QString& footer,
                                   const QString& confirmText, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(title);
    setAccessibleName(title);
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(400);
    auto* layout = new QVBoxLayout(this);
    const FormParts::Section section = FormParts::section(layout, header, footer);
    m_field = new SecureFieldWithToggle(u"Passphrase"_s, section.box);
    m_field->setObjectName(u"passphraseField"_s);
    m_field->lineEdit()->setAccessibleName(u"Passphrase"_s);
    section.rows->addRow(m_field);
    m_problem = FormParts::label({}, this);
    m_problem->setObjectName(u"problemLabel"_s);
    m_problem->setWordWrap(true);
    m_problem->hide();
    layout->addWidget(m_problem);
    layout->addStretch(1);

    QDialogButtonBox* buttons = FormParts::buttons(this, confirmText, u"confirmButton"_s);
    m_confirm = buttons->findChild<QPushButton*>(u"confirmButton"_s);
    layout->addWidget(buttons);
    m_confirm->setEnabled(false);
    connect(m_field, &SecureFieldWithToggle::textChanged, this,
            [this](const QString& text) { m_confirm->setEnabled(!text.isEmpty() && !m_busy); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (m_field->text().isEmpty() || m_busy)
            return;
        QString passphrase = m_field->text();
        Q_EMIT passphraseEntered(passphrase);
        SecurityService::wipe(passphrase);
        if (!m_keepOpen) {
            m_field->setText({});
            accept();
        }
    });
    m_field->lineEdit()->setFocus();
}

void PassphrasePrompt::showProblem(const QString& text)
{
    m_problem->setText(text);
    m_problem->setVisible(!text.isEmpty());
}

void PassphrasePrompt::setBusy(bool busy)
{
    m_busy = busy;
    m_field->setEnabled(!busy);
    m_confirm->setEnabled(!busy && !m_field->text().isEmpty());
}
