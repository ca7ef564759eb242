#pragma once

#include <QString>

class QBoxLayout;
class QDialogButtonBox;
class QFormLayout;
class QGroupBox;
class QLabel;
class QPushButton;
class QWidget;

// The pieces the settings window and its sheets are built from: titled
// groups of rows with a footer, label-value rows and buttons with a symbol.
// Every text is shown as given: labels are plain text and "&" in a button or
// a group title is a character, not a mnemonic.
namespace FormParts {

// "&" doubled, for widgets that would take it as a mnemonic.
QString literal(const QString& text);

// A group titled `header` (none when empty) added to `layout`, with rows in a
// form layout and `footer` (when given) in a smaller, secondary text below it.
struct Section {
    QGroupBox* box;
    QFormLayout* rows;
    QLabel* footer;
};
Section section(QBoxLayout* layout, const QString& header, const QString& footer = {});

// A plain-text label (no rich text, ever).
QLabel* label(const QString& text, QWidget* parent);
// A row "label: value"; returns the value label, named `objectName`.
QLabel* valueRow(const Section& section, const QString& labelText, const QString& objectName);
// A flat button showing a symbol and a text, named `objectName`.
QPushButton* entry(QWidget* parent, const QString& symbol, const QString& text, const QString& objectName);
// Secondary text of the caption size (footers, requirement lines).
void makeSecondary(QLabel* label);

// The sheet's "Cancel" and confirming button (default, and Return), named
// "cancelButton" and `confirmName`; Escape cancels.
QDialogButtonBox* buttons(QWidget* parent, const QString& confirmText, const QString& confirmName);

} // namespace FormParts
