#pragma once

#include <QDialog>

class Item;
class ModelContext;
class QLineEdit;
class QListView;
class QMimeData;
class QModelIndex;
class QPushButton;
class QToolButton;
class TagListModel;

// Switches the library's tags on and off for one item, creates a tag that the
// item gets at once, and takes tags dragged onto its drop zone. Every change
// is made to the item at once and saved; "Done" only closes. The sheet closes
// by itself when its item is deleted.
class TagPickerSheet final : public QDialog {
    Q_OBJECT

public:
    TagPickerSheet(ModelContext* context, Item* item, QWidget* parent = nullptr);

    // Opens a sheet window-modal over the parent's window; it deletes itself
    // when closed.
    static TagPickerSheet* present(ModelContext* context, Item* item, QWidget* parent);

    Item* item() const { return m_item; }
    TagListModel* model() const { return m_model; }

    // Gives the item the tags a payload names; false (and nothing changes)
    // when it names none of this library's tags. The drop zone calls this.
    bool dropTags(const QMimeData* mime);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void toggle(const QModelIndex& index);
    void addNewTag();
    void setNewTagRowShown(bool shown);

    ModelContext* m_context;
    Item* m_item;
    TagListModel* m_model;
    QToolButton* m_newTagButton;
    QWidget* m_newTagRow;
    QLineEdit* m_newTagName;
    QPushButton* m_add;
    QPushButton* m_done;
    QListView* m_list;
};
