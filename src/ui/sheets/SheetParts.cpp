#include "SheetParts.h"

#include "model/SystemColors.h"
#include "ui/Style.h"
#include "ui/components/ColorPickerGrid.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace SheetParts {

QLabel* sectionTitle(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(Style::font(Style::Text::subheadline, QFont::DemiBold));
    return label;
}

QVBoxLayout* editorLayout(QDialog* sheet, const QString& title)
{
    sheet->setWindowTitle(title);
    sheet->setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(8);
    auto* heading = new QLabel(title, sheet);
    heading->setFont(Style::font(Style::Text::headline));
    layout->addWidget(heading);
    layout->addSpacing(8);
    return layout;
}

QLineEdit* addNameSection(QVBoxLayout* layout, const QString& section, QWidget* parent)
{
    layout->addWidget(sectionTitle(section, parent));
    auto* field = new QLineEdit(parent);
    field->setObjectName(u"nameField"_s);
    field->setPlaceholderText(u"Name"_s);
    field->setAccessibleName(section);
    layout->addWidget(field);
    layout->addSpacing(8);
    return field;
}

ColorPickerGrid* addColorSection(QVBoxLayout* layout, QWidget* parent)
{
    layout->addWidget(sectionTitle(u"Color"_s, parent));
    auto* grid = new ColorPickerGrid(parent);
    grid->setAccessibleName(u"Color"_s);
    grid->setSelectedColor(SystemColors::blue());
    layout->addWidget(grid);
    return grid;
}

EditorButtons editorButtons(QDialog* sheet, const QString& confirmText, QLineEdit* nameField)
{
    auto* box = new QDialogButtonBox(sheet);
    QPushButton* cancel = box->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(u"cancelButton"_s);
    cancel->setAccessibleName(u"Cancel"_s);
    QPushButton* confirm = box->addButton(confirmText, QDialogButtonBox::AcceptRole);
    confirm->setObjectName(u"confirmButton"_s);
    confirm->setAccessibleName(confirmText);
    confirm->setDefault(true);
    QObject::connect(box, &QDialogButtonBox::rejected, sheet, &QDialog::reject);
    auto update = [confirm, nameField] { confirm->setEnabled(!nameField->text().isEmpty()); };
    QObject::connect(nameField, &QLineEdit::textChanged, confirm, update);
    update();
    return {box, confirm};
}

} // namespace SheetParts
