#pragma once

#include "model/SmartFolder.h"

#include <QSet>
#include <QUuid>
#include <QWidget>

class AppState;
class Folder;
class ItemListQuery;
class ModelContext;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

// The sidebar: the search field, the six smart folders with their counts,
// the folder tree and the tags that filter the list.
class SidebarView final : public QWidget {
    Q_OBJECT

public:
    enum Kind { Header, SmartFolderRow, FolderRow, NewFolderRow, TagRow };
    enum Role { KindRole = Qt::UserRole + 1, ValueRole, CountRole, SelectedRole, CheckedRole, TintRole, IconRole };

    SidebarView(ModelContext* context, AppState* state, ItemListQuery* query, QWidget* parent = nullptr);

    QLineEdit* searchField() const { return m_search; }
    QTreeWidget* tree() const { return m_tree; }
    // The row showing a smart folder, folder or tag (for tests and keyboard).
    QTreeWidgetItem* rowFor(Kind kind, const QString& value) const;
    void focusSearch();

Q_SIGNALS:
    // The main window clears its item selection on these.
    void smartFolderChosen(SmartFolder folder);
    void rootFolderChosen(Folder* folder);
    void childFolderChosen(Folder* folder);

private:
    void scheduleRebuild();
    void rebuild();
    void addFolderRow(QTreeWidgetItem* parent, Folder* folder);
    void activate(QTreeWidgetItem* row);

    ModelContext* m_context;
    AppState* m_state;
    ItemListQuery* m_query;
    QLineEdit* m_search = nullptr;
    QTreeWidget* m_tree = nullptr;
    QSet<QUuid> m_expanded;
    bool m_rebuildScheduled = false;
};
