#pragma once

#include <QDialog>
#include <QUuid>

class ColorPickerGrid;
class ModelContext;
class QLineEdit;
class QPushButton;
class Tag;

// Creates a tag or changes one's name and colour. The sheet closes by itself
// when the tag it edits is deleted.
class TagEditorSheet final : public QDialog {
    Q_OBJECT

public:
    // A null tag creates a new one.
    TagEditorSheet(ModelContext* context, Tag* tag, QWidget* parent = nullptr);

    // Opens a sheet window-modal over the parent's window; it deletes itself
    // when closed.
    static TagEditorSheet* present(ModelContext* context, Tag* tag, QWidget* parent);

    bool isEditing() const { return m_editing; }
    // The edited tag, or the new one once created; null once deleted.
    Tag* tag() const;

Q_SIGNALS:
    // After Create or Save changed the library.
    void tagSaved(Tag* tag);

private:
    void saveTag();

    ModelContext* m_context;
    QUuid m_tagId;
    bool m_editing;
    QLineEdit* m_name;
    ColorPickerGrid* m_colors;
};
