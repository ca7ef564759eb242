#pragma once

#include "SidebarModel.h"

#include "model/SmartFolder.h"

#include <QWidget>

class AppState;
class Folder;
class ItemListQuery;
class ModelContext;
class QLineEdit;
class QMenu;
class QTreeView;

// The sidebar: the search field, the six smart folders with their counts,
// the folder tree and the tags that filter the list. A click, Return or
// Space on a row chooses it; folders expand with the arrow keys.
class SidebarView final : public QWidget {
    Q_OBJECT

public:
    SidebarView(ModelContext* context, AppState* state, ItemListQuery* query, QWidget* parent = nullptr);

    QLineEdit* searchField() const { return m_search; }
    QTreeView* view() const { return m_view; }
    SidebarModel* model() const { return m_model; }
    // Chooses the row as a click would.
    void activate(const QModelIndex& index);
    void focusSearch();
    // Folder ids shown expanded, for keeping them across restarts.
    QStringList expandedFolders() const;
    void setExpandedFolders(const QStringList& ids);

Q_SIGNALS:
    // The main window clears its item selection on these.
    void smartFolderChosen(SmartFolder folder);
    void rootFolderChosen(Folder* folder);
    void childFolderChosen(Folder* folder);
    // Context-menu requests the main window answers with its sheets.
    void newFolderRequested();
    void editFolderRequested(Folder* folder);
    void deleteFolderRequested(Folder* folder);
    void newTagRequested();
    void editTagRequested(Tag* tag);
    void manageTagsRequested();
    // Down in the search field: the keyboard moves into the results.
    void moveIntoResults();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showContextMenu(const QPoint& position);

    ModelContext* m_context;
    AppState* m_state;
    ItemListQuery* m_query;
    SidebarModel* m_model;
    QLineEdit* m_search = nullptr;
    QTreeView* m_view = nullptr;
};
