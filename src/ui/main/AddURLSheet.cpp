#include "AddURLSheet.h"

#include "app/ItemCreation.h"
#include "ui/Style.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

AddURLSheet::AddURLSheet(QWidget* parent) : QDialog(parent)
{
    setObjectName(u"addURLSheet"_s);
    setWindowTitle(u"Add URL"_s);
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(20);
    auto* heading = new QLabel(u"Add URL"_s, this);
    heading->setFont(Style::font(Style::Text::headline));
    layout->addWidget(heading);
    m_field = new QLineEdit(this);
    m_field->setObjectName(u"urlField"_s);
    m_field->setPlaceholderText(u"https://example.com"_s);
    m_field->setMinimumWidth(300);
    layout->addWidget(m_field);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* cancel = new QPushButton(u"Cancel"_s, this);
    cancel->setObjectName(u"cancelButton"_s);
    m_add = new QPushButton(u"Add"_s, this);
    m_add->setObjectName(u"addButton"_s);
    m_add->setDefault(true);
    m_add->setEnabled(false);
    buttons->addWidget(cancel);
    buttons->addWidget(m_add);
    layout->addLayout(buttons);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_add, &QPushButton::clicked, this, [this] {
        if (ItemCreation::isUsableURL(m_field->text()))
            accept();
    });
    connect(m_field, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_add->setEnabled(ItemCreation::isUsableURL(text)); });
}

QUrl AddURLSheet::url() const
{
    return QUrl(m_field->text(), QUrl::StrictMode);
}
