#pragma once

#include <QFutureWatcher>
#include <QImage>
#include <QUuid>
#include <QWidget>

class AppState;
class FlowLayout;
class Item;
class ModelContext;
class QAction;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QToolBar;
class QToolButton;

// The selected item in full: picture, title and link, type and date, note,
// tags and folder, with the toolbar of one-item actions. Every edit goes to
// the record at once.
class DetailPane final : public QWidget {
    Q_OBJECT

public:
    DetailPane(ModelContext* context, AppState* state, QWidget* parent = nullptr);

    // Shows an item (none: empty). Showing one records it as viewed now.
    void setItem(Item* item);
    Item* item() const;

    bool isEditingNote() const { return m_editingNote; }
    QToolBar* toolBar() const { return m_toolbar; }
    // The sheets; tests drive them through these.
    void openTitleNoteSheet();
    void openFullImage();
    void showTagMenu();

Q_SIGNALS:
    void tagPickerRequested(Item* item);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildContent();
    void refresh();
    void refreshPicture();
    void renderPicture();
    // The screen in device pixels: the largest size a picture is decoded at.
    QSize screenPixels() const;
    void refreshNote();
    void refreshTags();
    void refreshFolders();
    void refreshToolbar();
    void beginNoteEdit(const QString& text);
    void saveNote();

    ModelContext* m_context;
    AppState* m_state;
    QUuid m_itemId;
    QToolBar* m_toolbar = nullptr;
    QAction* m_editAction = nullptr;
    QAction* m_tagAction = nullptr;
    QAction* m_openAction = nullptr;
    QAction* m_copyAction = nullptr;
    QAction* m_fullSizeAction = nullptr;
    QAction* m_favoriteAction = nullptr;
    QAction* m_archiveAction = nullptr;

    QLabel* m_picture = nullptr;
    QImage m_pictureImage;
    bool m_pictureIsFull = false;
    QScrollArea* m_scroll = nullptr;
    QFutureWatcher<std::pair<QImage, bool>>* m_decoder = nullptr;
    QPushButton* m_title = nullptr;
    QLabel* m_star = nullptr;
    QPushButton* m_link = nullptr;
    QLabel* m_typeLabel = nullptr;
    QLabel* m_added = nullptr;
    QStackedWidget* m_noteStack = nullptr;
    QPushButton* m_noteText = nullptr;
    QPlainTextEdit* m_noteEditor = nullptr;
    bool m_editingNote = false;
    QWidget* m_tagArea = nullptr;
    FlowLayout* m_tagFlow = nullptr;
    QLabel* m_noTags = nullptr;
    QComboBox* m_folderPicker = nullptr;
    bool m_updatingFolders = false;
};
