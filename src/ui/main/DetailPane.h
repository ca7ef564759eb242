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
class QTimer;
class QToolButton;
class MetadataService;

// The selected item in full: picture, title and link, type and date, note,
// tags and folder, with the toolbar of one-item actions. Every edit goes to
// the record at once. User texts are drawn as plain text, wrapped to the
// pane's width, never wider than the column.
class DetailPane final : public QWidget {
    Q_OBJECT

public:
    DetailPane(ModelContext* context, AppState* state, QWidget* parent = nullptr, MetadataService* metadata = nullptr);

    // How long an item stays shown before it counts as viewed.
    static constexpr int kViewedAfterMs = 1000;

    // Shows an item (none: empty). A note being typed for the item shown
    // before is saved first. The item counts as viewed once it has been
    // shown for a second.
    void setItem(Item* item);
    Item* item() const;

    bool isEditingNote() const { return m_editingNote; }
    QToolBar* toolBar() const { return m_toolbar; }
    // The sheets; tests drive them through these.
    void openTitleNoteSheet();
    void openFullImage();
    // "Add Tag": the tag picker sheet for the item.
    void showTagMenu();
    // Fetches a web item's page again (after a failure, or to refresh it).
    void fetchAgain();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
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
    void refreshLink();
    void refreshFetchState();
    void beginNoteEdit(const QString& text);
    void saveNote();
    void cancelNoteEdit();
    void markViewed();

    ModelContext* m_context;
    AppState* m_state;
    MetadataService* m_metadata;
    QUuid m_itemId;
    QTimer* m_viewedTimer = nullptr;
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
    QLabel* m_title = nullptr;
    QLabel* m_star = nullptr;
    QPushButton* m_link = nullptr;
    QLabel* m_typeLabel = nullptr;
    QLabel* m_added = nullptr;
    QStackedWidget* m_noteStack = nullptr;
    QLabel* m_noteText = nullptr;
    QWidget* m_fetchRow = nullptr;
    QLabel* m_fetchMessage = nullptr;
    QPushButton* m_fetchButton = nullptr;
    QUuid m_fetching;
    QPlainTextEdit* m_noteEditor = nullptr;
    bool m_editingNote = false;
    QWidget* m_tagArea = nullptr;
    FlowLayout* m_tagFlow = nullptr;
    QLabel* m_noTags = nullptr;
    QComboBox* m_folderPicker = nullptr;
    bool m_updatingFolders = false;
};
