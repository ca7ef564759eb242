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
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

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
        const int kind = index.data(SidebarView::KindRole).toInt();
        const int height = QFontMetrics(option.font).height() + (kind == SidebarView::Header ? 14 : 10);
        return QSize(200, height);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QPalette& palette = option.palette;
        const int kind = index.data(SidebarView::KindRole).toInt();
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        QRect r = option.rect.adjusted(2, 1, -6, -1);
        if (kind == SidebarView::Header) {
            painter->setFont(Style::font(Style::Text::caption, QFont::DemiBold));
            painter->setPen(Style::secondaryText(palette));
            painter->drawText(r.adjusted(4, 4, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, index.data().toString());
            painter->restore();
            return;
        }
        if (index.data(SidebarView::SelectedRole).toBool()) {
            painter->setPen(Qt::NoPen);
            painter->setBrush(Style::withOpacity(Style::accent(palette), 0.2));
            painter->drawRoundedRect(r, 5, 5);
        } else if (option.state & QStyle::State_MouseOver) {
            painter->setPen(Qt::NoPen);
            painter->setBrush(Style::withOpacity(palette.color(QPalette::WindowText), 0.06));
            painter->drawRoundedRect(r, 5, 5);
        }
        const QColor tint = index.data(SidebarView::TintRole).value<QColor>();
        const int iconSize = 16;
        QRect icon(r.left() + 6, r.center().y() - iconSize / 2, iconSize, iconSize);
        if (kind == SidebarView::TagRow) {
            painter->setPen(Qt::NoPen);
            painter->setBrush(tint);
            painter->drawEllipse(QRectF(icon.center().x() - 4, icon.center().y() - 4, 8, 8));
        } else {
            const QColor iconTint =
                kind == SidebarView::NewFolderRow ? Style::secondaryText(palette) : Style::tintOrText(tint, palette);
            Symbols::icon(index.data(SidebarView::IconRole).toString(), iconTint).paint(painter, icon);
        }

        int right = r.right() - 6;
        const QString count = index.data(SidebarView::CountRole).toString();
        const QFont caption = Style::font(Style::Text::caption);
        if (!count.isEmpty()) {
            painter->setFont(caption);
            painter->setPen(Style::secondaryText(palette));
            const int w = QFontMetrics(caption).horizontalAdvance(count);
            painter->drawText(QRect(right - w, r.top(), w, r.height()), Qt::AlignRight | Qt::AlignVCenter, count);
            right -= w + 6;
        }
        if (index.data(SidebarView::CheckedRole).toBool()) {
            const int size = QFontMetrics(caption).height();
            Symbols::icon(u"checkmark"_s, palette.color(QPalette::WindowText))
                .paint(painter, QRect(right - size, r.center().y() - size / 2, size, size));
            right -= size + 4;
        }
        painter->setFont(option.font);
        painter->setPen(kind == SidebarView::NewFolderRow ? Style::secondaryText(palette)
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
    newFolder->setAutoRaise(true);
    connect(newFolder, &QToolButton::clicked, this, [this] { m_state->setShowNewFolderSheet(true); });
    top->addWidget(newFolder);
    layout->addLayout(top);

    m_search = new QLineEdit(this);
    m_search->setObjectName(u"searchField"_s);
    m_search->setPlaceholderText(u"Search..."_s);
    m_search->setClearButtonEnabled(true);
    m_search->addAction(Symbols::icon(u"magnifyingglass"_s), QLineEdit::LeadingPosition);
    connect(m_search, &QLineEdit::textChanged, m_state, &AppState::setSearchQuery);
    connect(m_state, &AppState::searchQueryChanged, this, [this] {
        if (m_search->text() != m_state->searchQuery())
            m_search->setText(m_state->searchQuery());
    });
    layout->addWidget(m_search);

    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(u"sidebarTree"_s);
    m_tree->setHeaderHidden(true);
    m_tree->setIndentation(12);
    m_tree->setRootIsDecorated(false);
    m_tree->setFrameShape(QFrame::NoFrame);
    m_tree->setSelectionMode(QAbstractItemView::NoSelection);
    m_tree->setFocusPolicy(Qt::StrongFocus);
    m_tree->setMouseTracking(true);
    m_tree->viewport()->setAutoFillBackground(false);
    m_tree->setItemDelegate(new SidebarDelegate(m_tree));
    connect(m_tree, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* row) { activate(row); });
    connect(m_tree, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* row) { activate(row); });
    connect(m_tree, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* row) {
        if (row->data(0, KindRole).toInt() == FolderRow)
            m_expanded.insert(row->data(0, ValueRole).toUuid());
    });
    connect(m_tree, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* row) {
        if (row->data(0, KindRole).toInt() == FolderRow)
            m_expanded.remove(row->data(0, ValueRole).toUuid());
    });
    layout->addWidget(m_tree, 1);

    // Anything the rows show: counts, folders, tags, the filter and selection.
    connect(query, &ItemListQuery::countsChanged, this, &SidebarView::scheduleRebuild);
    connect(query, &ItemListQuery::selectionChanged, this, &SidebarView::scheduleRebuild);
    connect(state, &AppState::filterTagsChanged, this, &SidebarView::scheduleRebuild);
    connect(context, &ModelContext::folderInserted, this, &SidebarView::scheduleRebuild);
    connect(context, &ModelContext::folderRemoved, this, &SidebarView::scheduleRebuild);
    connect(context, &ModelContext::folderUpdated, this, &SidebarView::scheduleRebuild);
    connect(context, &ModelContext::tagInserted, this, &SidebarView::scheduleRebuild);
    connect(context, &ModelContext::tagRemoved, this, &SidebarView::scheduleRebuild);
    connect(context, &ModelContext::tagUpdated, this, &SidebarView::scheduleRebuild);
    connect(context, &ModelContext::itemInserted, this, &SidebarView::scheduleRebuild);
    connect(context, &ModelContext::itemRemoved, this, &SidebarView::scheduleRebuild);
    connect(context, &ModelContext::itemUpdated, this, [this](Item*, quint32 fields) {
        if (fields & (ItemField::Folder | ItemField::Tags | ItemField::Archived))
            scheduleRebuild();
    });
    rebuild();
}

void SidebarView::focusSearch()
{
    m_search->setFocus(Qt::ShortcutFocusReason);
    m_search->selectAll();
}

void SidebarView::scheduleRebuild()
{
    if (m_rebuildScheduled)
        return;
    m_rebuildScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_rebuildScheduled = false;
        rebuild();
    });
}

QTreeWidgetItem* SidebarView::rowFor(Kind kind, const QString& value) const
{
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
        if ((*it)->data(0, KindRole).toInt() != kind)
            continue;
        const QVariant v = (*it)->data(0, ValueRole);
        const QUuid id(value);
        if (value.isEmpty() || (id.isNull() ? v.toString() == value : v.toUuid() == id))
            return *it;
    }
    return nullptr;
}

void SidebarView::addFolderRow(QTreeWidgetItem* parent, Folder* folder)
{
    auto* row = new QTreeWidgetItem(parent, {folder->name()});
    row->setData(0, KindRole, FolderRow);
    row->setData(0, ValueRole, folder->id());
    row->setData(0, IconRole, folder->iconName());
    row->setData(0, TintRole, ColorHex::fromHex(folder->colorHex()));
    // Every item filed directly in the folder, archived ones included.
    row->setData(0, CountRole, QString::number(folder->items().size()));
    row->setData(0, SelectedRole, m_query->selection().folder == folder);
    for (Folder* child : folder->sortedChildren())
        addFolderRow(row, child);
    if (m_expanded.contains(folder->id()))
        row->setExpanded(true);
}

void SidebarView::rebuild()
{
    const int scroll = m_tree->verticalScrollBar() ? m_tree->verticalScrollBar()->value() : 0;
    m_tree->setUpdatesEnabled(false);
    m_tree->clear();
    auto header = [this](const QString& text) {
        auto* row = new QTreeWidgetItem(m_tree, {text});
        row->setData(0, KindRole, Header);
        row->setFlags(Qt::ItemIsEnabled);
        row->setFirstColumnSpanned(true);
        return row;
    };

    QTreeWidgetItem* library = header(u"Library"_s);
    const QList<int>& counts = m_query->smartFolderCounts();
    const auto& selection = m_query->selection();
    for (qsizetype i = 0; i < SmartFolders::allCases().size(); ++i) {
        const SmartFolder folder = SmartFolders::allCases()[i];
        auto* row = new QTreeWidgetItem(library, {SmartFolders::displayName(folder)});
        row->setData(0, KindRole, SmartFolderRow);
        row->setData(0, ValueRole, SmartFolders::rawValue(folder));
        row->setData(0, IconRole, SmartFolders::iconName(folder));
        row->setData(0, TintRole, SmartFolders::tintColor(folder));
        row->setData(0, CountRole, QString::number(counts.value(i)));
        row->setData(0, SelectedRole, selection.smartFolder == folder);
    }

    QTreeWidgetItem* folders = header(u"Folders"_s);
    const QList<Folder*> all = m_context->fetchFolders(Folder::displayOrder);
    for (Folder* folder : all) {
        if (!folder->parent())
            addFolderRow(folders, folder);
    }
    auto* newFolder = new QTreeWidgetItem(folders, {u"New Folder"_s});
    newFolder->setData(0, KindRole, NewFolderRow);
    newFolder->setData(0, IconRole, u"plus"_s);

    const QList<Tag*> tags = m_context->fetchTags(Tag::displayOrder);
    if (!tags.isEmpty()) {
        QTreeWidgetItem* section = header(u"Tags"_s);
        for (Tag* tag : tags) {
            auto* row = new QTreeWidgetItem(section, {tag->name()});
            row->setData(0, KindRole, TagRow);
            row->setData(0, ValueRole, tag->id());
            row->setData(0, TintRole, ColorHex::fromHex(tag->colorHex()));
            row->setData(0, CountRole, QString::number(tag->itemCount()));
            row->setData(0, CheckedRole, m_state->filterTags().contains(tag));
        }
    }
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        m_tree->topLevelItem(i)->setExpanded(true);
    m_tree->setUpdatesEnabled(true);
    m_tree->verticalScrollBar()->setValue(scroll);
}

void SidebarView::activate(QTreeWidgetItem* row)
{
    if (!row)
        return;
    switch (row->data(0, KindRole).toInt()) {
    case SmartFolderRow:
        if (const auto folder = SmartFolders::fromRawValue(row->data(0, ValueRole).toString()))
            Q_EMIT smartFolderChosen(*folder);
        break;
    case FolderRow: {
        Folder* folder = m_context->folder(row->data(0, ValueRole).toUuid());
        if (!folder)
            break;
        const bool root = row->parent() && row->parent()->data(0, KindRole).toInt() == Header;
        if (root)
            Q_EMIT rootFolderChosen(folder);
        else
            Q_EMIT childFolderChosen(folder);
        break;
    }
    case NewFolderRow: m_state->setShowNewFolderSheet(true); break;
    case TagRow: {
        Tag* tag = m_context->tag(row->data(0, ValueRole).toUuid());
        if (!tag)
            break;
        QSet<Tag*> filter = m_state->filterTags();
        if (!filter.remove(tag))
            filter.insert(tag);
        m_state->setFilterTags(filter);
        break;
    }
    default: break;
    }
}
