// The main window's menu bar: the application's own commands in their
// groups (File's new-item entries, the sidebar toggle, the "Library" menu),
// with the entries a Linux user expects around them. Every entry works
// whatever widget of the window has the focus.

#include "MainWindow.h"

#include "main/DetailPane.h"
#include "main/ItemActions.h"
#include "main/ItemAdder.h"
#include "main/ItemSelection.h"
#include "main/MiddleColumn.h"
#include "main/SidebarView.h"
#include "settings/DataActions.h"

#include "app/AppState.h"
#include "model/Item.h"
#include "platform/Symbols.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextEdit>

using namespace Qt::StringLiterals;

namespace {

QAction* addEntry(QMenu* menu, const QString& name, const QString& text, const QKeySequence& key = {})
{
    QAction* action = menu->addAction(text);
    action->setObjectName(name);
    if (!key.isEmpty())
        action->setShortcut(key);
    // Menus of a window: active whenever the window is.
    action->setShortcutContext(Qt::WindowShortcut);
    return action;
}

// The text widget an Edit entry acts on, when one has the focus.
template <typename F>
bool onTextWidget(QWidget* focus, F&& f)
{
    if (auto* line = qobject_cast<QLineEdit*>(focus)) {
        f(line);
        return true;
    }
    if (auto* plain = qobject_cast<QPlainTextEdit*>(focus)) {
        f(plain);
        return true;
    }
    if (auto* rich = qobject_cast<QTextEdit*>(focus)) {
        f(rich);
        return true;
    }
    return false;
}

} // namespace

QAction* MainWindow::action(const QString& name) const
{
    return menuBar()->findChild<QAction*>(name);
}

void MainWindow::buildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(u"menuBar"_s);

    QMenu* file = bar->addMenu(u"&File"_s);
    file->setObjectName(u"fileMenu"_s);
    connect(
        addEntry(file, u"newItemFromClipboardAction"_s, u"New Item from Clipboard"_s, QKeySequence(u"Ctrl+Shift+V"_s)),
        &QAction::triggered, m_state, &AppState::pasteFromClipboard);
    file->addSeparator();
    connect(addEntry(file, u"newFolderAction"_s, u"New Folder"_s, QKeySequence(u"Ctrl+Shift+N"_s)), &QAction::triggered,
            this, [this] { m_state->setShowNewFolderSheet(true); });
    file->addSeparator();
    connect(addEntry(file, u"addURLAction"_s, u"Add URL..."_s, QKeySequence::New), &QAction::triggered, this,
            &MainWindow::showAddURLSheet);
    connect(addEntry(file, u"addImageAction"_s, u"Add Image from File..."_s), &QAction::triggered, m_adder,
            &ItemAdder::chooseImage);
    connect(addEntry(file, u"addDocumentAction"_s, u"Add Document from File..."_s), &QAction::triggered, m_adder,
            &ItemAdder::chooseDocument);
    file->addSeparator();
    connect(addEntry(file, u"importBookmarksAction"_s, u"Import Bookmarks…"_s), &QAction::triggered, m_dataActions,
            &DataActions::importBookmarks);
    connect(addEntry(file, u"exportBookmarksAction"_s, u"Export Bookmarks…"_s), &QAction::triggered, m_dataActions,
            &DataActions::exportBookmarks);
    file->addSeparator();
    QAction* close = addEntry(file, u"closeWindowAction"_s, u"Close Window"_s);
    // Ctrl+W everywhere, and the desktop's own key for it where it differs.
    QList<QKeySequence> closeKeys{QKeySequence(u"Ctrl+W"_s)};
    for (const QKeySequence& key : QKeySequence::keyBindings(QKeySequence::Close))
        if (!closeKeys.contains(key))
            closeKeys.append(key);
    close->setShortcuts(closeKeys);
    connect(close, &QAction::triggered, this, &QWidget::close);
    connect(addEntry(file, u"quitAction"_s, u"Quit Folionest"_s, QKeySequence(u"Ctrl+Q"_s)), &QAction::triggered, qApp,
            &QApplication::quit);

    // Edit: on a text field the usual editing; on the list the items.
    QMenu* edit = bar->addMenu(u"&Edit"_s);
    edit->setObjectName(u"editMenu"_s);
    connect(addEntry(edit, u"copyAction"_s, u"Copy"_s, QKeySequence::Copy), &QAction::triggered, this, [this] {
        if (onTextWidget(QApplication::focusWidget(), [](auto* w) { w->copy(); }))
            return;
        if (Item* item = m_selection->current())
            ItemActions::copyLink(*item);
    });
    connect(addEntry(edit, u"pasteAction"_s, u"Paste"_s, QKeySequence::Paste), &QAction::triggered, this, [this] {
        if (onTextWidget(QApplication::focusWidget(), [](auto* w) { w->paste(); }))
            return;
        m_state->pasteFromClipboard();
    });
    connect(addEntry(edit, u"selectAllAction"_s, u"Select All"_s, QKeySequence::SelectAll), &QAction::triggered, this,
            [this] {
                if (onTextWidget(QApplication::focusWidget(), [](auto* w) { w->selectAll(); }))
                    return;
                m_selection->selectAll();
            });
    edit->addSeparator();
    connect(addEntry(edit, u"renameAction"_s, u"Edit Title and Note..."_s, QKeySequence(Qt::Key_F2)),
            &QAction::triggered, this, [this] {
                if (m_selection->count() == 1)
                    m_detail->openTitleNoteSheet();
            });
    connect(addEntry(edit, u"deleteSelectionAction"_s, u"Delete"_s), &QAction::triggered, this,
            &MainWindow::deleteSelection);
    connect(addEntry(edit, u"editItemAction"_s, u"Edit Item..."_s, QKeySequence(u"Ctrl+E"_s)), &QAction::triggered,
            this, [this] {
                if (Item* item = m_selection->current())
                    m_state->setEditingItem(item);
            });
    edit->addSeparator();
    connect(addEntry(edit, u"settingsAction"_s, u"Settings..."_s, QKeySequence(u"Ctrl+,"_s)), &QAction::triggered, this,
            &MainWindow::settingsRequested);

    QMenu* view = bar->addMenu(u"&View"_s);
    view->setObjectName(u"viewMenu"_s);
    QAction* grid = addEntry(view, u"gridViewAction"_s, u"as Grid"_s);
    QAction* list = addEntry(view, u"listViewAction"_s, u"as List"_s);
    grid->setCheckable(true);
    list->setCheckable(true);
    auto syncViewMode = [this, grid, list] {
        grid->setChecked(m_state->viewMode() == ViewMode::grid);
        list->setChecked(m_state->viewMode() == ViewMode::list);
    };
    connect(grid, &QAction::triggered, this, [this] { m_state->setViewMode(ViewMode::grid); });
    connect(list, &QAction::triggered, this, [this] { m_state->setViewMode(ViewMode::list); });
    connect(m_state, &AppState::viewModeChanged, this, syncViewMode);
    syncViewMode();
    view->addSeparator();
    // The desktop takes Ctrl+Meta+S; F9 is the usual sidebar key on Linux.
    QAction* sidebar = addEntry(view, u"toggleSidebarAction"_s, u"Toggle Sidebar"_s);
    sidebar->setShortcuts({QKeySequence(u"Ctrl+Alt+S"_s), QKeySequence(Qt::Key_F9)});
    connect(sidebar, &QAction::triggered, this, [this] { m_sidebar->setVisible(!m_sidebar->isVisible()); });

    QMenu* library = bar->addMenu(u"&Library"_s);
    library->setObjectName(u"libraryMenu"_s);
    connect(addEntry(library, u"showAllItemsAction"_s, u"Show All Items"_s, QKeySequence(u"Ctrl+1"_s)),
            &QAction::triggered, this, [this] {
                m_state->setSelectedFolder(nullptr);
                m_state->setFilterTags({});
            });
    connect(addEntry(library, u"showFavoritesAction"_s, u"Show Favorites"_s, QKeySequence(u"Ctrl+2"_s)),
            &QAction::triggered, this, [this] { m_state->setShowFavoritesOnly(true); });
    library->addSeparator();
    connect(addEntry(library, u"searchAction"_s, u"Search"_s, QKeySequence::Find), &QAction::triggered, this, [this] {
        m_state->setSearchFocused(true);
        // The field takes the keyboard, as a user expects of Search.
        if (!m_sidebar->isVisible())
            m_sidebar->show();
        m_sidebar->focusSearch();
    });

    QMenu* help = bar->addMenu(u"&Help"_s);
    help->setObjectName(u"helpMenu"_s);
    connect(addEntry(help, u"aboutAction"_s, u"About Folionest"_s), &QAction::triggered, this,
            &MainWindow::aboutRequested);
}
