#pragma once

#include <QWidget>

class AppState;
class Item;
class ItemAdder;
class ItemCardDelegate;
class ItemListModel;
class ItemListQuery;
class ItemSelection;
class ModelContext;
class PictureCache;
class QActionGroup;
class QLabel;
class QListView;
class QStackedWidget;
class QToolButton;

// The middle column: the title, the header bar (count, add, type filter,
// sort, grid/list), and the list or grid of the displayed items, or a
// placeholder when there are none. Accepts drops of links, files, text and
// pictures.
class MiddleColumn final : public QWidget {
    Q_OBJECT

public:
    MiddleColumn(ModelContext* context, AppState* state, ItemListQuery* query, ItemAdder* adder,
                 QWidget* parent = nullptr);

    ItemListModel* model() const { return m_model; }
    QListView* listView() const { return m_list; }
    QListView* gridView() const { return m_grid; }
    PictureCache* pictures() const { return m_pictures; }
    ItemSelection* selection() const { return m_selection; }
    // Brings the current item into view.
    void scrollToCurrent();
    // Puts the keyboard in the list or grid shown, on the current item
    // (the first one when none is).
    void focusItems();
    // Opens the current item's link or file (Return, double-click).
    void openCurrent();

Q_SIGNALS:
    void addURLRequested();
    // Delete or Backspace in the list: the main window deletes the selection.
    void deleteRequested();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildHeader();
    QWidget* buildPlaceholder();
    void configureView(QListView* view);
    void updateContent();
    void updateHeader();
    void layOutGrid();
    void scrollToTop();
    void showContextMenu(QListView* view, const QPoint& position);

    ModelContext* m_context;
    AppState* m_state;
    ItemListQuery* m_query;
    ItemAdder* m_adder;
    PictureCache* m_pictures;
    ItemListModel* m_model;
    ItemCardDelegate* m_cards = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_count = nullptr;
    QToolButton* m_typeMenu = nullptr;
    QToolButton* m_sortMenu = nullptr;
    QToolButton* m_gridButton = nullptr;
    QToolButton* m_listButton = nullptr;
    QStackedWidget* m_stack = nullptr;
    QLabel* m_placeholderSymbol = nullptr;
    QLabel* m_placeholderTitle = nullptr;
    QLabel* m_placeholderText = nullptr;
    QListView* m_list = nullptr;
    QListView* m_grid = nullptr;
    ItemSelection* m_selection = nullptr;
    QActionGroup* m_typeActions = nullptr;
    QActionGroup* m_sortActions = nullptr;
};
