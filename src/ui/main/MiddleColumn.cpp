#include "MiddleColumn.h"

#include "ItemActions.h"
#include "ItemAdder.h"
#include "ItemDelegates.h"
#include "ItemListModel.h"
#include "ItemSelection.h"
#include "PictureCache.h"
#include "SidebarModel.h"

#include "app/AppState.h"
#include "app/ItemListQuery.h"
#include "model/Item.h"
#include "platform/Symbols.h"
#include "services/metadata/MetadataService.h"
#include "store/ModelContext.h"
#include "ui/Style.h"

#include <QActionGroup>
#include <QButtonGroup>
#include <QDragEnterEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

MiddleColumn::MiddleColumn(ModelContext* context, AppState* state, ItemListQuery* query, ItemAdder* adder,
                           QWidget* parent)
    : QWidget(parent), m_context(context), m_state(state), m_query(query), m_adder(adder)
{
    setObjectName(u"middleColumn"_s);
    setAcceptDrops(true);
    m_pictures = new PictureCache(context, 64 * 1024 * 1024, this);
    m_model = new ItemListModel(context, query, this);
    m_selection = new ItemSelection(context, state, m_model, this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_title = new QLabel(this);
    m_title->setObjectName(u"navigationTitle"_s);
    m_title->setFont(Style::font(Style::Text::title3, QFont::Bold));
    m_title->setContentsMargins(12, 10, 12, 0);
    layout->addWidget(m_title);
    layout->addWidget(buildHeader());
    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    layout->addWidget(divider);

    m_stack = new QStackedWidget(this);
    m_stack->setObjectName(u"middleStack"_s);
    m_stack->addWidget(buildPlaceholder());

    m_list = new QListView(m_stack);
    m_list->setObjectName(u"itemList"_s);
    m_list->setItemDelegate(new ItemRowDelegate(m_pictures, m_list));
    configureView(m_list);
    m_stack->addWidget(m_list);

    m_grid = new QListView(m_stack);
    m_grid->setObjectName(u"itemGrid"_s);
    m_cards = new ItemCardDelegate(m_pictures, m_grid);
    m_grid->setItemDelegate(m_cards);
    m_grid->setViewMode(QListView::IconMode);
    m_grid->setMovement(QListView::Static);
    // The grid lays out on the column's width as if the scroll bar were
    // always there, so a scroll bar coming and going never changes the
    // number of columns (which would make it come and go again).
    m_grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_grid->setResizeMode(QListView::Adjust);
    m_grid->setWrapping(true);
    m_grid->setSpacing(0);
    m_grid->setLayoutMode(QListView::Batched);
    // A small first batch: the cards of the first screen are laid out and
    // painted before the rest of a 100,000-card list.
    m_grid->setBatchSize(300);
    configureView(m_grid);
    m_stack->addWidget(m_grid);
    layout->addWidget(m_stack, 1);

    connect(m_pictures, &PictureCache::ready, this, [this](const QUuid& id) {
        if (const Item* item = m_context->item(id)) {
            const int row = m_model->rowOf(item);
            if (row >= 0)
                Q_EMIT m_model->dataChanged(m_model->index(row), m_model->index(row));
        }
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, &MiddleColumn::updateContent);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &MiddleColumn::updateContent);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &MiddleColumn::updateContent);
    connect(query, &ItemListQuery::selectionChanged, this, &MiddleColumn::updateHeader);
    connect(state, &AppState::viewModeChanged, this, &MiddleColumn::updateContent);
    connect(state, &AppState::contentTypeFilterChanged, this, &MiddleColumn::updateHeader);
    connect(state, &AppState::sortOrderChanged, this, &MiddleColumn::updateHeader);
    connect(state, &AppState::searchQueryChanged, this, &MiddleColumn::updateContent);
    // A new query, filter, order or sidebar choice starts at the top, where
    // the best matches are.
    connect(query, &ItemListQuery::selectionChanged, this, &MiddleColumn::scrollToTop);
    connect(state, &AppState::searchQueryChanged, this, &MiddleColumn::scrollToTop);
    connect(state, &AppState::contentTypeFilterChanged, this, &MiddleColumn::scrollToTop);
    connect(state, &AppState::sortOrderChanged, this, &MiddleColumn::scrollToTop);
    connect(state, &AppState::filterTagsChanged, this, &MiddleColumn::scrollToTop);
    connect(state, &AppState::showFavoritesOnlyChanged, this, &MiddleColumn::scrollToTop);
    m_grid->viewport()->installEventFilter(this);
    updateContent();
    updateHeader();
}

QWidget* MiddleColumn::buildHeader()
{
    auto* bar = new QWidget(this);
    bar->setObjectName(u"headerBar"_s);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(12, 8, 12, 8);
    row->setSpacing(6);
    m_count = new QLabel(bar);
    m_count->setObjectName(u"itemCount"_s);
    m_count->setFont(Style::font(Style::Text::caption));
    m_count->setStyleSheet(u"color: palette(mid);"_s);
    row->addWidget(m_count);
    row->addStretch();

    auto menuButton = [bar](const QString& name, const QString& symbol, const QString& tip) {
        auto* button = new QToolButton(bar);
        button->setObjectName(name);
        button->setIcon(Symbols::icon(symbol));
        button->setToolTip(tip);
        button->setAutoRaise(true);
        button->setPopupMode(QToolButton::InstantPopup);
        button->setMenu(new QMenu(button));
        return button;
    };

    QToolButton* add = menuButton(u"addMenu"_s, u"plus.circle.fill"_s, u"Add Item"_s);
    add->setAccessibleName(u"Add Item"_s);
    add->setIcon(Symbols::icon(u"plus.circle.fill"_s, Style::accent(palette())));
    QMenu* addMenu = add->menu();
    addMenu->addAction(u"Paste from Clipboard"_s, m_adder, &ItemAdder::pasteClipboardItem);
    addMenu->addAction(u"Add URL..."_s, this, &MiddleColumn::addURLRequested);
    addMenu->addAction(u"Add Image from File..."_s, m_adder, &ItemAdder::chooseImage);
    addMenu->addAction(u"Add Document from File..."_s, m_adder, &ItemAdder::chooseDocument);
    addMenu->addSeparator();
    addMenu->addAction(u"New Folder"_s, this, [this] { m_state->setShowNewFolderSheet(true); });
    row->addWidget(add);

    m_typeMenu = menuButton(u"typeFilterMenu"_s, u"line.3.horizontal.decrease"_s, u"Filter by Type"_s);
    m_typeMenu->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_typeMenu->setAccessibleName(u"Filter by Type"_s);
    QMenu* types = m_typeMenu->menu();
    // Both menus show the current choice with a check mark.
    m_typeActions = new QActionGroup(this);
    QAction* allTypes = types->addAction(u"All Types"_s, this, [this] { m_state->setContentTypeFilter(std::nullopt); });
    allTypes->setCheckable(true);
    allTypes->setData(QString());
    m_typeActions->addAction(allTypes);
    types->addSeparator();
    for (ItemType type : ItemTypes::allCases()) {
        QAction* action = types->addAction(Symbols::icon(ItemTypes::iconName(type)), ItemTypes::displayName(type), this,
                                           [this, type] { m_state->setContentTypeFilter(type); });
        action->setCheckable(true);
        action->setData(ItemTypes::rawValue(type));
        m_typeActions->addAction(action);
    }
    row->addWidget(m_typeMenu);

    m_sortMenu = menuButton(u"sortMenu"_s, u"arrow.up.arrow.down"_s, u"Sort"_s);
    m_sortMenu->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_sortMenu->setAccessibleName(u"Sort"_s);
    m_sortActions = new QActionGroup(this);
    for (SortOrder order : SortOrders::allCases()) {
        QAction* action = m_sortMenu->menu()->addAction(SortOrders::displayName(order), this,
                                                        [this, order] { m_state->setSortOrder(order); });
        action->setCheckable(true);
        action->setData(SortOrders::rawValue(order));
        m_sortActions->addAction(action);
    }
    row->addWidget(m_sortMenu);

    // Grid or list, as a two-segment control.
    auto* group = new QButtonGroup(bar);
    group->setExclusive(true);
    m_gridButton = new QToolButton(bar);
    m_gridButton->setObjectName(u"gridModeButton"_s);
    m_gridButton->setIcon(Symbols::icon(u"square.grid.2x2"_s));
    m_gridButton->setToolTip(u"Grid"_s);
    m_gridButton->setAccessibleName(u"View as Grid"_s);
    m_listButton = new QToolButton(bar);
    m_listButton->setObjectName(u"listModeButton"_s);
    m_listButton->setIcon(Symbols::icon(u"list.bullet"_s));
    m_listButton->setToolTip(u"List"_s);
    m_listButton->setAccessibleName(u"View as List"_s);
    for (QToolButton* b : {m_gridButton, m_listButton}) {
        b->setCheckable(true);
        b->setAutoRaise(true);
        group->addButton(b);
        row->addWidget(b);
    }
    connect(m_gridButton, &QToolButton::clicked, this, [this] { m_state->setViewMode(ViewMode::grid); });
    connect(m_listButton, &QToolButton::clicked, this, [this] { m_state->setViewMode(ViewMode::list); });
    return bar;
}

QWidget* MiddleColumn::buildPlaceholder()
{
    auto* page = new QWidget(this);
    page->setObjectName(u"emptyPlaceholder"_s);
    auto* layout = new QVBoxLayout(page);
    layout->addStretch();
    m_placeholderSymbol = new QLabel(page);
    m_placeholderSymbol->setAlignment(Qt::AlignCenter);
    m_placeholderTitle = new QLabel(page);
    m_placeholderTitle->setObjectName(u"placeholderTitle"_s);
    m_placeholderTitle->setAlignment(Qt::AlignCenter);
    m_placeholderTitle->setFont(Style::font(Style::Text::title2, QFont::Bold));
    m_placeholderText = new QLabel(page);
    m_placeholderText->setObjectName(u"placeholderDescription"_s);
    m_placeholderText->setAlignment(Qt::AlignCenter);
    m_placeholderText->setWordWrap(true);
    QPalette dim = m_placeholderText->palette();
    dim.setColor(QPalette::WindowText, Style::secondaryText(palette()));
    m_placeholderText->setPalette(dim);
    layout->addWidget(m_placeholderSymbol);
    layout->addWidget(m_placeholderTitle);
    layout->addWidget(m_placeholderText);
    layout->addStretch();
    return page;
}

void MiddleColumn::configureView(QListView* view)
{
    view->setModel(m_model);
    // Both views show one selection.
    QItemSelectionModel* own = view->selectionModel();
    view->setSelectionModel(m_selection->selectionModel());
    delete own;
    view->setUniformItemSizes(true);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Items drag out (to a folder or tag of the sidebar, or to other
    // programs as links); tags drop onto an item.
    view->setDragEnabled(true);
    view->setAcceptDrops(true);
    view->setDropIndicatorShown(true);
    view->setDragDropMode(QAbstractItemView::DragDrop);
    view->setDefaultDropAction(Qt::CopyAction);
    view->setFrameShape(QFrame::NoFrame);
    view->setMouseTracking(true);
    view->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    view->installEventFilter(this);
    // A double-click opens the item; a single click only selects, whatever
    // the desktop's single-click setting says about "activation".
    connect(view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (Item* item = m_model->itemAt(index.row()))
            ItemActions::open(*item, this);
    });
    connect(view, &QWidget::customContextMenuRequested, this,
            [this, view](const QPoint& position) { showContextMenu(view, position); });
}

void MiddleColumn::scrollToCurrent()
{
    const QModelIndex current = m_selection->selectionModel()->currentIndex();
    for (QListView* view : {m_list, m_grid}) {
        if (current.isValid() && view->isVisible())
            view->scrollTo(current);
        view->viewport()->update();
    }
}

void MiddleColumn::scrollToTop()
{
    m_list->scrollToTop();
    m_grid->scrollToTop();
}

void MiddleColumn::focusItems()
{
    QListView* view = m_state->viewMode() == ViewMode::grid ? m_grid : m_list;
    if (m_stack->currentWidget() != view)
        return;
    QItemSelectionModel* selection = m_selection->selectionModel();
    if (!selection->currentIndex().isValid() && m_model->rowCount() > 0)
        m_selection->select(m_model->itemAt(0));
    view->setFocus(Qt::OtherFocusReason);
    scrollToCurrent();
}

void MiddleColumn::openCurrent()
{
    if (Item* item = m_selection->current())
        ItemActions::open(*item, this);
}

void MiddleColumn::updateHeader()
{
    m_title->setText(Style::displayText(m_query->navigationTitle(), 200));
    const auto type = m_state->contentTypeFilter();
    m_typeMenu->setText(type ? ItemTypes::displayName(*type) : u"All Types"_s);
    const QString typeValue = type ? ItemTypes::rawValue(*type) : QString();
    for (QAction* action : m_typeActions->actions())
        action->setChecked(action->data().toString() == typeValue);
    // The Sort button names the order in use.
    m_sortMenu->setText(SortOrders::displayName(m_state->sortOrder()));
    m_sortMenu->setToolTip(u"Sort: "_s + SortOrders::displayName(m_state->sortOrder()));
    for (QAction* action : m_sortActions->actions())
        action->setChecked(action->data().toString() == SortOrders::rawValue(m_state->sortOrder()));
    m_gridButton->setChecked(m_state->viewMode() == ViewMode::grid);
    m_listButton->setChecked(m_state->viewMode() == ViewMode::list);
}

void MiddleColumn::updateContent()
{
    const int count = m_model->rowCount();
    m_count->setText(u"%1 items"_s.arg(count));
    updateHeader();
    if (count == 0) {
        const bool searching = !m_state->searchQuery().isEmpty();
        const QColor dim = Style::secondaryText(palette());
        m_placeholderSymbol->setPixmap(Symbols::icon(searching ? u"magnifyingglass"_s : u"tray"_s, dim)
                                           .pixmap(QSize(48, 48), devicePixelRatioF()));
        m_placeholderTitle->setText(searching ? u"No Results"_s : u"No Items"_s);
        m_placeholderText->setText(searching ? u"Try a different search term"_s
                                             : u"Paste a URL, drop a file here, or use “Open with Folionest” "
                                               u"in your file manager to add items"_s);
        m_stack->setCurrentIndex(0);
        return;
    }
    const bool grid = m_state->viewMode() == ViewMode::grid;
    m_stack->setCurrentWidget(grid ? m_grid : m_list);
    if (grid)
        layOutGrid();
}

void MiddleColumn::layOutGrid()
{
    const auto [columns, width] = ItemCardDelegate::columnsAndWidth(m_grid->viewport()->width());
    Q_UNUSED(columns);
    if (width == m_cards->cardWidth() && m_grid->gridSize().isValid())
        return;
    m_cards->setCardWidth(width);
    m_grid->setGridSize(QSize(width + ItemCardDelegate::kGap, ItemCardDelegate::cardHeight() + ItemCardDelegate::kGap));
}

bool MiddleColumn::eventFilter(QObject* watched, QEvent* event)
{
    if (m_grid && watched == m_grid->viewport() && event->type() == QEvent::Resize)
        layOutGrid();
    // Delete or Backspace deletes the selected items.
    if (event->type() == QEvent::KeyPress && (watched == m_list || watched == m_grid)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete || key->key() == Qt::Key_Backspace) {
            Q_EMIT deleteRequested();
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier) {
            openCurrent();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MiddleColumn::showContextMenu(QListView* view, const QPoint& position)
{
    Item* item = m_model->itemAt(view->indexAt(position).row());
    if (!item)
        return;
    QMenu menu(this);
    menu.setObjectName(u"itemContextMenu"_s);
    MetadataService* metadata = m_adder->metadataService();
    QPointer<ModelContext> context(m_context);
    ItemActions::fillContextMenu(menu, *m_context, *item, this, [metadata, context](Item& target) {
        if (const auto url = ItemActions::parsedUrl(target); url && context)
            metadata->applyFetchedMetadata(*context, target, *url);
    });
    menu.exec(view->viewport()->mapToGlobal(position));
}

namespace {
// Links and files from elsewhere add items; this window's own items dragged
// back onto the list (they carry their links too) add nothing.
bool addsItems(const QMimeData* mime)
{
    return !mime->hasFormat(SidebarModel::itemsMimeType()) && ItemAdder::canAccept(mime);
}
} // namespace

void MiddleColumn::dragEnterEvent(QDragEnterEvent* event)
{
    if (addsItems(event->mimeData()))
        event->acceptProposedAction();
}

void MiddleColumn::dragMoveEvent(QDragMoveEvent* event)
{
    if (addsItems(event->mimeData()))
        event->acceptProposedAction();
}

void MiddleColumn::dropEvent(QDropEvent* event)
{
    if (addsItems(event->mimeData()) && m_adder->handleDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}
