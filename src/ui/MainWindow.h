#pragma once

#include <QDialog>
#include <QMainWindow>
#include <QPointer>
#include <QUuid>

class AppState;
class DataActions;
class DetailPane;
class Item;
class ItemAdder;
class ItemListQuery;
class ItemSelection;
class QAction;
class MetadataService;
class MiddleColumn;
class ModelContext;
class QLabel;
class QSplitter;
class QStackedWidget;
class SelectionPane;
class SidebarView;

// The library browser: sidebar, item list or grid, and the detail of the
// selected item. Object name "main", title "Folionest".
class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    MainWindow(ModelContext* context, AppState* state, QWidget* parent = nullptr, MetadataService* metadata = nullptr);
    ~MainWindow() override;

    ItemListQuery* query() const { return m_query; }
    SidebarView* sidebar() const { return m_sidebar; }
    MiddleColumn* middle() const { return m_middle; }
    DetailPane* detail() const { return m_detail; }
    ItemAdder* adder() const { return m_adder; }
    Item* selectedItem() const;
    // Selects an item (none: clears); the detail column follows.
    void selectItem(Item* item);
    void showAddURLSheet();
    void deleteSelection();
    // The window's menu entries by object name (for tests and the tray).
    QAction* action(const QString& name) const;
    SelectionPane* selectionPane() const { return m_selectionPane; }
    // At this width and wider the middle column may take more than its
    // usual 600 pixels, for more columns of cards.
    static constexpr int kWideWindow = 1600;

    // What the window remembers between runs (geometry, columns, sidebar,
    // view, order, type filter; the chosen sidebar row when asked).
    void saveWindowState() const;
    void restoreWindowState(bool withSidebarRow);
    // The short confirmation at the bottom of the window, while shown.
    QString toastText() const;
    // Library-wide jobs of the File menu (bookmarks in and out).
    DataActions* dataActions() const { return m_dataActions; }

Q_SIGNALS:
    void settingsRequested();
    void aboutRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateDetail();
    void showToast(const QString& text);
    void fitColumnsToWidth(int oldWidth);
    void buildMenus();
    // Shows the item editor while AppState::editingItem is set.
    void presentItemEditor();

    ModelContext* m_context;
    AppState* m_state;
    ItemListQuery* m_query;
    ItemAdder* m_adder;
    SidebarView* m_sidebar;
    MiddleColumn* m_middle;
    QSplitter* m_splitter;
    QStackedWidget* m_detailStack;
    SelectionPane* m_selectionPane;
    QLabel* m_toast = nullptr;
    DetailPane* m_detail;
    ItemSelection* m_selection;
    DataActions* m_dataActions;
    QPointer<QDialog> m_itemEditor;
};
