#include "FormParts.h"

#include "platform/Symbols.h"
#include "ui/Style.h"

#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace FormParts {

QString literal(const QString& text)
{
    QString escaped = text;
    return escaped.replace(u'&', u"&&"_s);
}

Section section(QBoxLayout* layout, const QString& header, const QString& footer)
{
    QWidget* parent = layout->parentWidget();
    auto* box = new QGroupBox(literal(header), parent);
    if (!header.isEmpty())
        box->setAccessibleName(header);
    auto* rows = new QFormLayout(box);
    rows->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    rows->setRowWrapPolicy(QFormLayout::DontWrapRows);
    layout->addWidget(box);
    QLabel* footerLabel = nullptr;
    if (!footer.isEmpty()) {
        footerLabel = label(footer, parent);
        footerLabel->setWordWrap(true);
        footerLabel->setContentsMargins(8, 0, 8, 0);
        makeSecondary(footerLabel);
        layout->addWidget(footerLabel);
    }
    return {box, rows, footerLabel};
}

QLabel* label(const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    return l;
}

QLabel* valueRow(const Section& section, const QString& labelText, const QString& objectName)
{
    QLabel* value = label({}, section.box);
    value->setObjectName(objectName);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->setAccessibleName(labelText);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QLabel* name = label(labelText, section.box);
    name->setBuddy(value);
    section.rows->addRow(name, value);
    return value;
}

QPushButton* entry(QWidget* parent, const QString& symbol, const QString& text, const QString& objectName)
{
    auto* button = new QPushButton(Symbols::icon(symbol), literal(text), parent);
    button->setObjectName(objectName);
    button->setAccessibleName(text);
    button->setFlat(true);
    button->setStyleSheet(u"text-align: left; padding: 4px;"_s);
    return button;
}

void makeSecondary(QLabel* label)
{
    label->setFont(Style::font(Style::Text::caption));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Style::secondaryText(palette));
    label->setPalette(palette);
}

QDialogButtonBox* buttons(QWidget* parent, const QString& confirmText, const QString& confirmName)
{
    auto* box = new QDialogButtonBox(parent);
    QPushButton* cancel = box->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(u"cancelButton"_s);
    cancel->setText(u"Cancel"_s);
    cancel->setAccessibleName(u"Cancel"_s);
    cancel->setAutoDefault(false);
    QPushButton* confirm = box->addButton(literal(confirmText), QDialogButtonBox::AcceptRole);
    confirm->setObjectName(confirmName);
    confirm->setAccessibleName(confirmText);
    confirm->setDefault(true);
    return box;
}

} // namespace FormParts
