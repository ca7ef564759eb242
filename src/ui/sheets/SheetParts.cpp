#include "SheetParts.h"

#include "TagListModel.h"

#include "model/SystemColors.h"
#include "platform/Symbols.h"
#include "ui/Style.h"
#include "ui/components/ColorPickerGrid.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// A window does not grow to a child's height-for-width, so a picker grid in
// a sheet could be cut off: this keeps the grid's minimum height at what its
// width needs, and the sheet's minimum size follows.
class WholeGrid final : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize) {
            auto* grid = static_cast<QWidget*>(watched);
            grid->setMinimumHeight(grid->heightForWidth(grid->width()));
        }
        return false;
    }
};

} // namespace

namespace SheetParts {

void showWholeGrid(QWidget* grid)
{
    grid->installEventFilter(new WholeGrid(grid));
    grid->setMinimumHeight(grid->heightForWidth(grid->sizeHint().width()));
}

QLabel* sectionTitle(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(Style::font(Style::Text::subheadline, QFont::DemiBold));
    return label;
}

QToolButton* newTagButton(QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(u"newTagButton"_s);
    button->setIcon(Symbols::icon(u"plus"_s));
    button->setAutoRaise(true);
    button->setToolTip(u"New Tag"_s);
    button->setAccessibleName(u"New Tag"_s);
    return button;
}

QListView* tagList(TagListModel* model, TagRowDelegate::Trailing trailing, QWidget* parent)
{
    auto* list = new QListView(parent);
    list->setObjectName(u"tagList"_s);
    list->setAccessibleName(u"Tags"_s);
    list->setModel(model);
    list->setItemDelegate(new TagRowDelegate(TagChipSize::medium, trailing, list));
    list->setUniformItemSizes(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setDragEnabled(true);
    return list;
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
    showWholeGrid(grid);
    layout->addWidget(grid);
    return grid;
}

QPushButton* addEditorButtons(QVBoxLayout* layout, QDialog* sheet, const QString& confirmText, QLineEdit* nameField)
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
    layout->addWidget(box);
    return confirm;
}

} // namespace SheetParts
