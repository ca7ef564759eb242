#pragma once

#include <QDialog>
#include <QUuid>

class ColorPickerGrid;
class Folder;
class IconPickerGrid;
class ModelContext;
class QComboBox;
class QLineEdit;
class QPushButton;

// Creates a folder or edits one: name, icon, colour and parent.
//
// The parent can be no folder ("None (Root)") or a top-level folder, never the
// edited folder or one below it, so the editor makes no folder deeper than the
// second level and no cycle. A folder that already sits deeper (made by the
// command line) shows its real parent as the current choice. The sheet
// follows the library while it is open: the parent list changes with it, and
// the sheet closes when its folder is deleted.
class FolderEditorSheet final : public QDialog {
    Q_OBJECT

public:
    // A null folder creates a new one.
    FolderEditorSheet(ModelContext* context, Folder* folder, QWidget* parent = nullptr);

    // Opens a sheet window-modal over the parent's window; it deletes itself
    // when closed.
    static FolderEditorSheet* present(ModelContext* context, Folder* folder, QWidget* parent);

    bool isEditing() const { return m_editing; }
    // The edited folder, or the new one once created; null once deleted.
    Folder* folder() const;

Q_SIGNALS:
    // After Create or Save changed the library.
    void folderSaved(Folder* folder);

private:
    void loadFolder();
    void refreshParents();
    void saveFolder();
    Folder* chosenParent() const;

    ModelContext* m_context;
    QUuid m_folderId;
    bool m_editing;
    QLineEdit* m_name;
    IconPickerGrid* m_icons;
    ColorPickerGrid* m_colors;
    QComboBox* m_parents;
    QPushButton* m_confirm;
};
