#pragma once

#include <QDialog>
#include <QWidget>

class ModelContext;
class QListView;
class QMenu;
class QModelIndex;
class QStackedWidget;
class Tag;
class TagEditorSheet;
class TagListModel;

// Every tag with its item count: a click or Return opens the editor for the
// tag, "Delete" (context menu or the Delete key) deletes it at once, and
// dragging a row (or Alt+Up / Alt+Down) reorders the tags, writing each one's
// position as its sortOrder. "+" creates a tag. A plain widget, so that it can
// be a page of the settings window as well as the content of
// TagManagementDialog.
class TagManagementView final : public QWidget {
    Q_OBJECT

public:
    explicit TagManagementView(ModelContext* context, QWidget* parent = nullptr);

    TagListModel* model() const { return m_model; }
    QListView* list() const { return m_list; }

    // Opens the tag editor for the tag (null: a new tag) over this view's window.
    TagEditorSheet* editTag(Tag* tag);
    void deleteTag(Tag* tag);
    // The entries of a row's context menu.
    void fillContextMenu(QMenu& menu, Tag* tag);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateEmptyState();
    void moveCurrent(int by);

    ModelContext* m_context;
    TagListModel* m_model;
    QStackedWidget* m_pages;
    QListView* m_list;
};

// Tag management in a window of its own ("Manage Tags"), until the settings
// window holds it.
class TagManagementDialog final : public QDialog {
    Q_OBJECT

public:
    explicit TagManagementDialog(ModelContext* context, QWidget* parent = nullptr);

    // Opens the dialog window-modal over the parent's window; it deletes
    // itself when closed.
    static TagManagementDialog* present(ModelContext* context, QWidget* parent);

    TagManagementView* view() const { return m_view; }

private:
    TagManagementView* m_view;
};
