#include "SidebarView.h"

#include "app/AppState.h"
#include "app/ItemListQuery.h"
#include "model/ColorHex.h"
#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "platform/Symbols.h"
#include "store/ModelContext.h"
#include "ui/Style.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <QVBoxLayout>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

// Rows of the sidebar: symbol or colour dot, label, and on the right the
// check mark and the count; the selected smart folder or folder on the accent
// colour at 20 %.
class SidebarDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const int kind = index.data(SidebarModel::KindRole).toInt();
        const int height = QFontMetrics(option.font).height() + (kind == SidebarModel::Header ? 14 : 10);
        return QSize(200, height);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QPalette& palette = option.palette;
        const int kind = index.data(SidebarModel::KindRole).toInt();
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        QRect r = option.rect.adjusted(2, 1, -6, -1);
        if (kind == SidebarModel::Header) {
            painter->setFont(Style::font(Style::Text::caption, QFont::DemiBold));
            painter->setPen(Style::secondaryText(palette));
            painter->drawText(r.adjusted(4, 4, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, index.data().toString());
            painter->restore();
            return;
        }
        if (index.data(SidebarModel::SelectedRole).toBool()) {
            painter->setPen(Qt::NoPen);
            painter->setBrush(Style::withOpacity(Style::accent(palette), 0.2));
            painter->drawRoundedRect(r, 5, 5);
        } else if (option.state & QStyle::State_MouseOver) {
            painter->setPen(Qt::NoPen);
            painter->setBrush(Style::withOpacity(palette.color(QPalette::WindowText), 0.06));
            painter->drawRoundedRect(r, 5, 5);
        }
        // The keyboard position, while the sidebar has the focus.
        if (option.state & QStyle::State_HasFocus) {
            painter->setPen(QPen(Style::accent(palette), 1.5));
            painter->setBrush(Qt::NoBrush);
            painter->drawRoundedRect(QRectF(r).adjusted(0.75, 0.75, -0.75, -0.75), 5, 5);
        }
        const QColor tint = index.data(SidebarModel::TintRole).value<QColor>();
        const int iconSize = 16;
        QRect icon(r.left() + 6, r.center().y() - iconSize / 2, iconSize, iconSize);
        if (kind == SidebarModel::TagRow) {
            painter->setPen(Qt::NoPen);
            painter->setBrush(tint);
            painter->drawEllipse(QRectF(icon.center().x() - 4, icon.center().y() - 4, 8, 8));
        } else {
            const QColor iconTint =
                kind == SidebarModel::NewFolderRow ? Style::secondaryText(palette) : Style::tintOrText(tint, palette);
            Symbols::icon(index.data(SidebarModel::IconRole).toString(), iconTint).paint(painter, icon);
        }

        int right = r.right() - 6;
        const QString count = index.data(SidebarModel::CountRole).toString();
        const QFont caption = Style::font(Style::Text::caption);
        if (!count.isEmpty()) {
            painter->setFont(caption);
            painter->setPen(Style::secondaryText(palette));
            const int w = QFontMetrics(caption).horizontalAdvance(count);
            painter->drawText(QRect(right - w, r.top(), w, r.height()), Qt::AlignRight | Qt::AlignVCenter, count);
            right -= w + 6;
        }
        if (index.data(SidebarModel::CheckedRole).toBool()) {
            const int size = QFontMetrics(caption).height();
            Symbols::icon(u"checkmark"_s, palette.color(QPalette::WindowText))
                .paint(painter, QRect(right - size, r.center().y() - size / 2, size, size));
            right -= size + 4;
        }
        painter->setFont(option.font);
        painter->setPen(kind == SidebarModel::NewFolderRow ? Style::secondaryText(palette)
                                                           : palette.color(QPalette::WindowText));
        const QRect text(icon.right() + 8, r.top(), right - icon.right() - 8, r.height());
        painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                          QFontMetrics(option.font).elidedText(index.data().toString(), Qt::ElideRight, text.width()));
        painter->restore();
    }
};

} // namespace

SidebarView::SidebarView(ModelContext* context, AppState* state, ItemListQuery* query, QWidget* parent)
    : QWidget(parent), m_context(context), m_state(state), m_query(query)
{
    setObjectName(u"sidebar"_s);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 10, 4, 8);
    layout->setSpacing(8);

    auto* top = new QHBoxLayout;
    auto* title = new QLabel(u"Folionest"_s, this);
    title->setObjectName(u"sidebarTitle"_s);
    title->setFont(Style::font(Style::Text::title3, QFont::Bold));
    top->addWidget(title);
    top->addStretch();
    auto* newFolder = new QToolButton(this);
    newFolder->setObjectName(u"sidebarNewFolder"_s);
    newFolder->setIcon(Symbols::icon(u"folder.badge.plus"_s));
    newFolder->setToolTip(u"New Folder"_s);
    newFolder->setAccessibleName(u"New Folder"_s);
    newFolder->setAutoRaise(true);
    connect(newFolder, &QToolButton::clicked, this, [this] { m_state->setShowNewFolderSheet(true); });
    top->addWidget(newFolder);
    layout->addLayout(top);

    m_search = new QLineEdit(this);
    m_search->setObjectName(u"searchField"_s);
    m_search->setPlaceholderText(u"Search..."_s);
    m_search->setAccessibleName(u"Search"_s);
    m_search->setClearButtonEnabled(true);
    m_search->addAction(Symbols::icon(u"magnifyingglass"_s), QLineEdit::LeadingPosition)->setText(u"Search"_s);
    // The field's own clear button, named for screen readers.
    if (auto* clear = m_search->findChild<QAction*>(u"_q_qlineeditclearaction"_s))
        clear->setText(u"Clear Search"_s);
    connect(m_search, &QLineEdit::textChanged, m_state, &AppState::setSearchQuery);
    connect(m_state, &AppState::searchQueryChanged, this, [this] {
        if (m_search->text() != m_state->searchQuery())
            m_search->setText(m_state->searchQuery());
    });
    m_search->installEventFilter(this);
    layout->addWidget(m_search);

    m_model = new SidebarModel(context, state, query, this);
    m_view = new QTreeView(this);
    m_view->setObjectName(u"sidebarTree"_s);
    m_view->setAccessibleName(u"Library, folders and tags"_s);
    m_view->setModel(m_model);
    m_view->setHeaderHidden(true);
    m_view->setIndentation(12);
    m_view->setRootIsDecorated(false);
    m_view->setUniformRowHeights(false);
    m_view->setFrameShape(QFrame::NoFrame);
    // The delegate draws the chosen rows; the view's own selection would
    // only repeat the keyboard position.
    m_view->setSelectionMode(QAbstractItemView::NoSelection);
    m_view->setFocusPolicy(Qt::StrongFocus);
    m_view->setMouseTracking(true);
    m_view->setExpandsOnDoubleClick(true);
    m_view->viewport()->setAutoFillBackground(false);
    m_view->setItemDelegate(new SidebarDelegate(m_view));
    m_view->setDragEnabled(true);
    m_view->setAcceptDrops(true);
    m_view->setDropIndicatorShown(true);
    m_view->setDragDropMode(QAbstractItemView::DragDrop);
    m_view->setDefaultDropAction(Qt::CopyAction);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    m_view->installEventFilter(this);
    // Clicks only: the "activated" signal also fires for a single click
    // where the desktop activates on one (KDE), which would choose twice.
    connect(m_view, &QTreeView::clicked, this, &SidebarView::activate);
    connect(m_view, &QWidget::customContextMenuRequested, this, &SidebarView::showContextMenu);
    // Sections are always open.
    auto expandSections = [this] {
        for (int row = 0; row < m_model->rowCount(); ++row)
            m_view->setExpanded(m_model->index(row, 0), true);
    };
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [expandSections](const QModelIndex& under) {
        if (!under.isValid())
            expandSections();
    });
    expandSections();
    layout->addWidget(m_view, 1);
}

void SidebarView::focusSearch()
{
    m_search->setFocus(Qt::ShortcutFocusReason);
    m_search->selectAll();
}

QStringList SidebarView::expandedFolders() const
{
    QStringList ids;
    std::function<void(const QModelIndex&)> walk = [&](const QModelIndex& parent) {
        for (int row = 0; row < m_model->rowCount(parent); ++row) {
            const QModelIndex index = m_model->index(row, 0, parent);
            if (m_model->rowCount(index) == 0)
                continue;
            if (m_model->folderAt(index) && m_view->isExpanded(index))
                ids.append(index.data(SidebarModel::ValueRole).toUuid().toString(QUuid::WithoutBraces));
            walk(index);
        }
    };
    walk({});
    return ids;
}

void SidebarView::setExpandedFolders(const QStringList& ids)
{
    for (const QString& id : ids) {
        const QModelIndex index = m_model->indexFor(SidebarModel::FolderRow, id);
        if (index.isValid())
            m_view->setExpanded(index, true);
    }
}

bool SidebarView::eventFilter(QObject* watched, QEvent* event)
{
    // Escape clears the search; Down goes on to the results.
    if (watched == m_search && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && !m_search->text().isEmpty()) {
            m_search->clear();
            return true;
        }
        if (key->key() == Qt::Key_Down) {
            Q_EMIT moveIntoResults();
            return true;
        }
    }
    if (watched == m_view && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Space) {
            activate(m_view->currentIndex());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SidebarView::activate(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    switch (index.data(SidebarModel::KindRole).toInt()) {
    case SidebarModel::SmartFolderRow:
        if (const auto folder = m_model->smartFolderAt(index))
            Q_EMIT smartFolderChosen(*folder);
        break;
    case SidebarModel::FolderRow:
        if (Folder* folder = m_model->folderAt(index)) {
            if (m_model->isRootFolderRow(index))
                Q_EMIT rootFolderChosen(folder);
            else
                Q_EMIT childFolderChosen(folder);
        }
        break;
    case SidebarModel::NewFolderRow: m_state->setShowNewFolderSheet(true); break;
    case SidebarModel::TagRow:
        if (Tag* tag = m_model->tagAt(index)) {
            QSet<Tag*> filter = m_state->filterTags();
            if (!filter.remove(tag))
                filter.insert(tag);
            m_state->setFilterTags(filter);
        }
        break;
    default: break;
    }
}

void SidebarView::showContextMenu(const QPoint& position)
{
    const QModelIndex index = m_view->indexAt(position);
    const int kind = index.isValid() ? index.data(SidebarModel::KindRole).toInt() : -1;
    QMenu menu(this);
    menu.setObjectName(u"sidebarContextMenu"_s);
    if (Folder* folder = m_model->folderAt(index)) {
        const QUuid id = folder->id();
        menu.addAction(u"Edit Folder..."_s, this, [this, id] {
            if (Folder* f = m_context->folder(id))
                Q_EMIT editFolderRequested(f);
        });
        menu.addAction(u"Delete Folder"_s, this, [this, id] {
            if (Folder* f = m_context->folder(id))
                Q_EMIT deleteFolderRequested(f);
        });
        menu.addSeparator();
        menu.addAction(u"New Folder..."_s, this, &SidebarView::newFolderRequested);
    } else if (Tag* tag = m_model->tagAt(index)) {
        const QUuid id = tag->id();
        menu.addAction(u"Edit Tag..."_s, this, [this, id] {
            if (Tag* t = m_context->tag(id))
                Q_EMIT editTagRequested(t);
        });
        menu.addAction(u"New Tag..."_s, this, &SidebarView::newTagRequested);
        menu.addSeparator();
        menu.addAction(u"Manage Tags..."_s, this, &SidebarView::manageTagsRequested);
    } else if (kind == SidebarModel::Header && index.data().toString() == u"Tags") {
        menu.addAction(u"New Tag..."_s, this, &SidebarView::newTagRequested);
        menu.addAction(u"Manage Tags..."_s, this, &SidebarView::manageTagsRequested);
    } else if (kind == SidebarModel::Header && index.data().toString() == u"Folders") {
        menu.addAction(u"New Folder..."_s, this, &SidebarView::newFolderRequested);
    } else {
        return;
    }
    menu.exec(m_view->viewport()->mapToGlobal(position));
}
