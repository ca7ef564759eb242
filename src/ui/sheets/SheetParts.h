#pragma once

#include "TagRowDelegate.h"

#include <QDialog>
#include <QString>

class ColorPickerGrid;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QToolButton;
class QVBoxLayout;
class QWidget;
class TagListModel;

// Pieces the organising sheets share.
namespace SheetParts {

// A new sheet, window-modal over the parent's window and deleted when closed.
template <typename Sheet, typename... Args>
Sheet* present(QWidget* parent, Args... args)
{
    auto* sheet = new Sheet(args..., parent ? parent->window() : nullptr);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->open();
    return sheet;
}

// A form section's heading, in plain text.
QLabel* sectionTitle(const QString& text, QWidget* parent);

// The "+" that makes a new tag (object name "newTagButton").
QToolButton* newTagButton(QWidget* parent);
// The list of every tag (object name "tagList"), one painted row each, a
// single current row that drags as the tag payload.
QListView* tagList(TagListModel* model, TagRowDelegate::Trailing trailing, QWidget* parent);

// Keeps a picker grid's minimum height at what its current width needs, so
// the sheet never cuts off a row.
void showWholeGrid(QWidget* grid);

// The editors' form: the title as window title and heading, then sections
// added by the calls below.
QVBoxLayout* editorLayout(QDialog* sheet, const QString& title);
// A section with the name field (placeholder "Name", object name "nameField").
QLineEdit* addNameSection(QVBoxLayout* layout, const QString& section, QWidget* parent);
// A "Color" section with the palette, blue chosen.
ColorPickerGrid* addColorSection(QVBoxLayout* layout, QWidget* parent);

// Cancel and a confirm button ("Create" or "Save") at the desktop's usual
// places, at the end of the form. Confirm is the default button and is
// enabled only while the name field holds text (as typed, spaces count); it
// calls nothing by itself, so the sheet connects its save and decides
// whether to close. Cancel and Escape reject.
QPushButton* addEditorButtons(QVBoxLayout* layout, QDialog* sheet, const QString& confirmText, QLineEdit* nameField);

} // namespace SheetParts
