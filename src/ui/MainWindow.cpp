#include "MainWindow.h"

#include "main/AddURLSheet.h"
#include "main/DetailPane.h"
#include "main/ItemActions.h"
#include "main/ItemAdder.h"
#include "main/ItemListModel.h"
#include "main/ItemSelection.h"
#include "main/MiddleColumn.h"
#include "main/SelectionPane.h"
#include "main/SidebarModel.h"
#include "main/SidebarView.h"
#include "settings/DataActions.h"
#include "settings/ItemEditorSheet.h"
#include "sheets/FolderActions.h"
#include "sheets/FolderEditorSheet.h"
#include "sheets/TagEditorSheet.h"
#include "sheets/TagManagementView.h"

#include "app/AppNotifications.h"
#include "app/AppState.h"
#include "app/ItemListQuery.h"
#include "app/Vocabulary.h"
#include "model/Item.h"
#include "platform/Settings.h"
#include "platform/Symbols.h"
#include "services/intake/PendingItemsService.h"
#include "services/metadata/MetadataService.h"
#include "store/ModelContext.h"
#include "ui/Style.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QListView>
#include <QResizeEvent>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace {
QWidget* selectPlaceholder(QWidget* parent)
{
    auto* page = new QWidget(parent);
    page->setObjectName(u"selectItemPlaceholder"_s);
    auto* layout = new QVBoxLayout(page);
    layout->addStretch();
    auto* symbol = new QLabel(page);
    symbol->setAlignment(Qt::AlignCenter);
    symbol->setPixmap(Symbols::icon(u"sidebar.right"_s, Style::secondaryText(page->palette()))
                          .pixmap(QSize(48, 48), page->devicePixelRatioF()));
    auto* title = new QLabel(u"Select an Item"_s, page);
    title->setAlignment(Qt::AlignCenter);
    title->setFont(Style::font(Style::Text::title2, QFont::Bold));
    auto* text = new QLabel(u"Choose an item from the list to view details"_s, page);
    text->setAlignment(Qt::AlignCenter);
    text->setWordWrap(true);
    QPalette dim = text->palette();
    dim.setColor(QPalette::WindowText, Style::secondaryText(page->palette()));
    text->setPalette(dim);
    layout->addWidget(symbol);
    layout->addWidget(title);
    layout->addWidget(text);
    layout->addStretch();
    return page;
}
} // namespace

MainWindow::MainWindow(ModelContext* context, AppState* state, QWidget* parent, MetadataService* metadata)
    : QMainWindow(parent), m_context(context), m_state(state)
{
    setObjectName(u"main"_s);
    setWindowTitle(u"Folionest"_s);
    resize(1200, 800);

    m_query = new ItemListQuery(context, state, this);
    m_adder = new ItemAdder(
        context, this, [this](Item* item) { selectItem(item); }, metadata, this);

    auto* splitter = m_splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(u"columns"_s);
    splitter->setChildrenCollapsible(false);
    m_sidebar = new SidebarView(context, state, m_query, splitter);
    m_sidebar->setMinimumWidth(200);
    m_sidebar->setMaximumWidth(300);
    m_middle = new MiddleColumn(context, state, m_query, m_adder, splitter);
    m_middle->setMinimumWidth(300);
    m_middle->setMaximumWidth(600);
    m_detailStack = new QStackedWidget(splitter);
    m_detailStack->setObjectName(u"detailColumn"_s);
    m_detailStack->addWidget(selectPlaceholder(m_detailStack));
    m_detail = new DetailPane(context, state, m_detailStack, m_adder->metadataService());
    m_detailStack->addWidget(m_detail);
    m_selectionPane = new SelectionPane(context, m_detailStack);
    m_detailStack->addWidget(m_selectionPane);
    connect(m_selectionPane, &SelectionPane::deleteRequested, this, &MainWindow::deleteSelection);
    splitter->addWidget(m_sidebar);
    splitter->addWidget(m_middle);
    splitter->addWidget(m_detailStack);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 0);
    splitter->setStretchFactor(2, 1);
    // Wide enough for two columns of cards at the start.
    splitter->setSizes({240, 440, 520});
    setCentralWidget(splitter);

    // The sidebar's choices clear the item selection.
    connect(m_sidebar, &SidebarView::smartFolderChosen, this, [this](SmartFolder folder) {
        m_query->selectSmartFolder(folder);
        selectItem(nullptr);
    });
    connect(m_sidebar, &SidebarView::rootFolderChosen, this, [this](Folder* folder) {
        m_query->selectRootFolder(folder);
        selectItem(nullptr);
    });
    connect(m_sidebar, &SidebarView::childFolderChosen, this,
            [this](Folder* folder) { m_query->selectChildFolder(folder); });
    connect(m_sidebar, &SidebarView::moveIntoResults, m_middle, &MiddleColumn::focusItems);
    m_selection = m_middle->selection();
    connect(m_selection, &ItemSelection::changed, this, &MainWindow::updateDetail);
    connect(m_middle, &MiddleColumn::addURLRequested, this, &MainWindow::showAddURLSheet);
    connect(m_middle, &MiddleColumn::deleteRequested, this, &MainWindow::deleteSelection);
    connect(m_middle->model(), &QAbstractItemModel::modelReset, this, &MainWindow::updateDetail);
    connect(m_middle->model(), &QAbstractItemModel::rowsRemoved, this, &MainWindow::updateDetail);
    connect(m_middle->model(), &QAbstractItemModel::rowsInserted, this, &MainWindow::updateDetail);
    // Items dropped on a folder or a tag of the sidebar are filed or tagged.
    connect(m_sidebar->model(), &SidebarModel::itemsDropped, this,
            [this](const QList<QUuid>& ids, Folder* folder, Tag* tag) {
                for (const QUuid& id : ids) {
                    Item* item = m_context->item(id);
                    if (!item)
                        continue;
                    if (folder && item->folder() != folder)
                        item->moveToFolder(folder);
                    if (tag)
                        item->addTag(tag);
                }
            });

    connect(&AppNotifications::instance(), &AppNotifications::createItemFromURL, this, [this](const QUrl& url) {
        if (url.isValid() && !url.isEmpty())
            m_adder->addItemFromURL(url);
    });
    connect(&AppNotifications::instance(), &AppNotifications::createItemFromImageData, this,
            [this](const QByteArray& bytes) {
                if (!bytes.isEmpty())
                    m_adder->addItemFromImageData(bytes);
            });

    // The organising sheets, from the sidebar, the menus and the add menu.
    connect(state, &AppState::showNewFolderSheetChanged, this, [this] {
        if (!m_state->showNewFolderSheet())
            return;
        auto* sheet = FolderEditorSheet::present(m_context, nullptr, this);
        connect(sheet, &QDialog::finished, m_state, [state = m_state] { state->setShowNewFolderSheet(false); });
    });
    connect(m_sidebar, &SidebarView::newFolderRequested, this, [this] { m_state->setShowNewFolderSheet(true); });
    connect(m_sidebar, &SidebarView::editFolderRequested, this,
            [this](Folder* folder) { FolderEditorSheet::present(m_context, folder, this); });
    connect(m_sidebar, &SidebarView::deleteFolderRequested, this,
            [this](Folder* folder) { FolderActions::deleteFolder(*m_context, *folder, this); });
    connect(m_sidebar, &SidebarView::newTagRequested, this,
            [this] { TagEditorSheet::present(m_context, nullptr, this); });
    connect(m_sidebar, &SidebarView::editTagRequested, this,
            [this](Tag* tag) { TagEditorSheet::present(m_context, tag, this); });
    connect(m_sidebar, &SidebarView::manageTagsRequested, this,
            [this] { TagManagementDialog::present(m_context, this); });

    // "Link Copied" and the like, for a moment at the foot of the window.
    m_toast = new QLabel(this);
    m_toast->setObjectName(u"toast"_s);
    m_toast->setAlignment(Qt::AlignCenter);
    m_toast->setStyleSheet(
        u"QLabel { background: palette(tooltip-base); color: palette(tooltip-text); border-radius: 8px; padding: 8px 16px; }"_s);
    m_toast->hide();
    connect(&AppNotifications::instance(), &AppNotifications::confirmation, this, &MainWindow::showToast);
    // What other programs shared is taken in when they announce it and
    // whenever this window becomes active.
    MetadataService* fetcher = metadata ? metadata : &MetadataService::shared();
    auto takeInShared = [this, fetcher] { PendingItemsService::shared().processPendingItems(*m_context, fetcher); };
    connect(&AppNotifications::instance(), &AppNotifications::processPendingItems, this, takeInShared);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this, takeInShared](QWindow* focus) {
        if (focus && focus == windowHandle())
            takeInShared();
    });

    // The item editor and the library-wide jobs of the File menu.
    m_dataActions = new DataActions(context, state, this);
    connect(state, &AppState::editingItemChanged, this, &MainWindow::presentItemEditor);
    // "Default View" takes effect each time the window opens.
    if (const auto mode = ViewModes::fromRawValue(Settings::value(SettingsKey::preferredViewMode).toString()))
        state->setViewMode(*mode);

    buildMenus();
    updateDetail();
}

void MainWindow::showToast(const QString& text)
{
    if (!isActiveWindow() && !isVisible())
        return;
    m_toast->setText(text);
    m_toast->setAccessibleName(text);
    m_toast->adjustSize();
    m_toast->move((width() - m_toast->width()) / 2, height() - m_toast->height() - 24);
    m_toast->raise();
    m_toast->show();
    QTimer::singleShot(1600, m_toast, [toast = m_toast, text] {
        if (toast->text() == text)
            toast->hide();
    });
}

QString MainWindow::toastText() const
{
    return m_toast->isVisible() ? m_toast->text() : QString();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    saveWindowState();
    QMainWindow::closeEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    fitColumnsToWidth(event->oldSize().width());
}

void MainWindow::fitColumnsToWidth(int oldWidth)
{
    const bool wide = width() >= kWideWindow;
    const bool wasWide = oldWidth >= kWideWindow;
    if (wide == wasWide && oldWidth > 0)
        return;
    // Wide windows give the cards the room: the detail column keeps about
    // 40 % and the middle column takes the rest.
    m_middle->setMaximumWidth(wide ? QWIDGETSIZE_MAX : 600);
    if (!wide)
        return;
    QList<int> sizes = m_splitter->sizes();
    if (sizes.size() != 3)
        return;
    const int total = sizes[0] + sizes[1] + sizes[2];
    const int sidebar = m_sidebar->isVisible() ? sizes[0] : 0;
    const int detail = std::max(m_detailStack->minimumSizeHint().width(), total * 2 / 5 - sidebar / 2);
    sizes = {sidebar, std::max(300, total - sidebar - detail), detail};
    m_splitter->setSizes(sizes);
}

void MainWindow::presentItemEditor()
{
    Item* item = m_state->editingItem();
    if (m_itemEditor && (!item || item != m_itemEditor->property("item").value<void*>())) {
        // The item went away, or another one is to be edited. Forgotten
        // first, so that closing it does not clear the item now asked for.
        QPointer<QDialog> previous = m_itemEditor;
        m_itemEditor = nullptr;
        previous->reject();
    }
    if (!item || m_itemEditor)
        return;
    auto* sheet = new ItemEditorSheet(item, this);
    sheet->setProperty("item", QVariant::fromValue(static_cast<void*>(item)));
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    m_itemEditor = sheet;
    connect(sheet, &QDialog::finished, this, [this, sheet] {
        if (m_itemEditor == sheet)
            m_state->setEditingItem(nullptr);
    });
    sheet->open();
}

MainWindow::~MainWindow() = default;

Item* MainWindow::selectedItem() const
{
    return m_selection->current();
}

void MainWindow::selectItem(Item* item)
{
    // A new item may not be in the model yet; bring the list up to date.
    if (item && m_middle->model()->rowOf(item) < 0) {
        m_query->refresh();
        m_middle->model()->refresh();
    }
    m_selection->select(item);
    m_middle->scrollToCurrent();
    updateDetail();
}

void MainWindow::updateDetail()
{
    const QList<Item*> selected = m_selection->selectedItems();
    // The detail shows only an item of the displayed list; several items
    // show what can be done to all of them.
    Item* item = selected.size() == 1 ? selected.first() : nullptr;
    m_detail->setItem(item);
    if (selected.size() > 1)
        m_selectionPane->setItems(selected);
    m_detailStack->setCurrentIndex(selected.size() > 1 ? 2 : item ? 1 : 0);
}

void MainWindow::deleteSelection()
{
    const QList<Item*> selected = m_selection->selectedItems();
    if (selected.isEmpty())
        return;
    // The keyboard goes on from where the deleted items were: the next
    // item that stays, else the one before.
    ItemListModel* model = m_middle->model();
    QSet<const Item*> going(selected.begin(), selected.end());
    QUuid next;
    const int last = model->rowOf(selected.last());
    for (int row = last + 1; row < model->rowCount() && next.isNull(); ++row)
        if (Item* candidate = model->itemAt(row); candidate && !going.contains(candidate))
            next = candidate->id();
    for (int row = model->rowOf(selected.first()) - 1; row >= 0 && next.isNull(); --row)
        if (Item* candidate = model->itemAt(row); candidate && !going.contains(candidate))
            next = candidate->id();
    QWidget* focus = QApplication::focusWidget();
    const bool listHadFocus = focus && (m_middle->isAncestorOf(focus));
    const int deleted = selected.size() == 1 ? int(ItemActions::deleteItem(*m_context, *selected.first(), this))
                                             : ItemActions::deleteItems(*m_context, selected, this);
    if (deleted == 0)
        return;
    if (Item* item = m_context->item(next))
        selectItem(item);
    if (listHadFocus || m_detailStack->isAncestorOf(focus))
        m_middle->focusItems();
}

void MainWindow::showAddURLSheet()
{
    AddURLSheet sheet(this);
    if (sheet.exec() == QDialog::Accepted)
        m_adder->addItemFromURL(sheet.url());
}
