#include "MainWindow.h"

#include "main/AddURLSheet.h"
#include "main/DetailPane.h"
#include "main/ItemActions.h"
#include "main/ItemAdder.h"
#include "main/ItemListModel.h"
#include "main/ItemSelection.h"
#include "main/MiddleColumn.h"
#include "main/SidebarModel.h"
#include "main/SidebarView.h"

#include "app/AppNotifications.h"
#include "app/AppState.h"
#include "app/ItemListQuery.h"
#include "model/Item.h"
#include "platform/Symbols.h"
#include "store/ModelContext.h"
#include "ui/Style.h"

#include <QLabel>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

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

    auto* splitter = new QSplitter(Qt::Horizontal, this);
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
    m_detail = new DetailPane(context, state, m_detailStack);
    m_detailStack->addWidget(m_detail);
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

    buildMenus();
    updateDetail();
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
    // The detail shows only an item of the displayed list.
    Item* item = selected.size() == 1 ? selected.first() : nullptr;
    m_detail->setItem(item);
    m_detailStack->setCurrentIndex(item ? 1 : 0);
}

void MainWindow::deleteSelection()
{
    const QList<Item*> selected = m_selection->selectedItems();
    if (selected.isEmpty())
        return;
    if (selected.size() == 1) {
        ItemActions::deleteItem(*m_context, *selected.first(), this);
        return;
    }
    ItemActions::deleteItems(*m_context, selected, this);
}

void MainWindow::showAddURLSheet()
{
    AddURLSheet sheet(this);
    if (sheet.exec() == QDialog::Accepted)
        m_adder->addItemFromURL(sheet.url());
}
