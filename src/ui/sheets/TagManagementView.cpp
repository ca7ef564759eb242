#include "TagManagementView.h"

#include "SheetParts.h"
#include "TagEditorSheet.h"
#include "TagListModel.h"
#include "TagRowDelegate.h"

#include "model/Tag.h"
#include "platform/Symbols.h"
#include "store/ModelContext.h"
#include "ui/Style.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QLabel* plainLabel(const QString& text, Style::Text style, const QString& objectName, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setTextFormat(Qt::PlainText);
    label->setFont(Style::font(style));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

TagManagementView::TagManagementView(ModelContext* context, QWidget* parent)
    : QWidget(parent), m_context(context), m_model(new TagListModel(context, this))
{
    setObjectName(u"tagManagementView"_s);
    m_model->setReorderable(true);

    auto* layout = new QVBoxLayout(this);
    auto* header = new QHBoxLayout;
    auto* title = new QLabel(u"Tags"_s, this);
    title->setObjectName(u"tagManagementTitle"_s);
    title->setFont(Style::font(Style::Text::headline));
    header->addWidget(title, 1);
    QToolButton* add = SheetParts::newTagButton(this);
    header->addWidget(add);
    layout->addLayout(header);

    m_pages = new QStackedWidget(this);
    auto* empty = new QWidget(m_pages);
    empty->setObjectName(u"emptyState"_s);
    auto* emptyLayout = new QVBoxLayout(empty);
    emptyLayout->addStretch();
    auto* icon = new QLabel(empty);
    const QColor secondary = Style::secondaryText(palette());
    icon->setPixmap(Symbols::icon(u"tag"_s, secondary).pixmap(48, 48));
    icon->setAlignment(Qt::AlignCenter);
    emptyLayout->addWidget(icon);
    emptyLayout->addWidget(plainLabel(u"No Tags"_s, Style::Text::title3, u"emptyTitle"_s, empty));
    QLabel* description =
        plainLabel(u"Create tags to organize your items"_s, Style::Text::subheadline, u"emptyDescription"_s, empty);
    QPalette descriptionPalette = description->palette();
    descriptionPalette.setColor(QPalette::WindowText, secondary);
    description->setPalette(descriptionPalette);
    emptyLayout->addWidget(description);
    emptyLayout->addStretch();
    m_pages->addWidget(empty);

    m_list = SheetParts::tagList(m_model, TagRowDelegate::Trailing::itemCount, m_pages);
    m_list->setAcceptDrops(true);
    m_list->setDropIndicatorShown(true);
    m_list->setDragDropMode(QAbstractItemView::InternalMove);
    m_list->setDefaultDropAction(Qt::MoveAction);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->installEventFilter(this);
    m_pages->addWidget(m_list);
    layout->addWidget(m_pages, 1);

    connect(add, &QToolButton::clicked, this, [this] { editTag(nullptr); });
    // A click opens the editor; Return goes through the event filter.
    // Activation is not used: under single-click desktops it comes with the click.
    connect(m_list, &QListView::clicked, this, [this](const QModelIndex& index) {
        if (Tag* tag = m_model->tagAt(index.row()))
            editTag(tag);
    });
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        Tag* tag = m_model->tagAt(m_list->indexAt(pos).row());
        if (!tag)
            return;
        QMenu menu(this);
        fillContextMenu(menu, tag);
        menu.exec(m_list->viewport()->mapToGlobal(pos));
    });
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &TagManagementView::updateEmptyState);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &TagManagementView::updateEmptyState);
    connect(m_model, &QAbstractItemModel::modelReset, this, &TagManagementView::updateEmptyState);
    updateEmptyState();
    setFocusProxy(m_list);
}

TagEditorSheet* TagManagementView::editTag(Tag* tag)
{
    return TagEditorSheet::present(m_context, tag, this);
}

void TagManagementView::deleteTag(Tag* tag)
{
    // No question: a tag holds no items, and they keep everything else.
    if (tag && !tag->isDeleted())
        m_context->remove(tag);
}

void TagManagementView::fillContextMenu(QMenu& menu, Tag* tag)
{
    const QUuid id = tag->id();
    QAction* edit = menu.addAction(u"Edit…"_s);
    edit->setObjectName(u"editTagAction"_s);
    // The tag may go while the menu is open.
    connect(edit, &QAction::triggered, this, [this, id] {
        if (Tag* found = m_context->tag(id))
            editTag(found);
    });
    QAction* remove = menu.addAction(Symbols::icon(u"trash"_s), u"Delete"_s);
    remove->setObjectName(u"deleteTagAction"_s);
    connect(remove, &QAction::triggered, this, [this, id] { deleteTag(m_context->tag(id)); });
}

bool TagManagementView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        Tag* current = m_model->tagAt(m_list->currentIndex().row());
        if (current && modifiers == Qt::NoModifier) {
            switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter: editTag(current); return true;
            case Qt::Key_Delete: deleteTag(current); return true;
            default: break;
            }
        }
        if (current && modifiers == Qt::AltModifier && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
            moveCurrent(key->key() == Qt::Key_Up ? -1 : 1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TagManagementView::moveCurrent(int by)
{
    const int row = m_list->currentIndex().row();
    const int target = row + by;
    if (target < 0 || target >= m_model->rowCount())
        return;
    // moveRow's destination is the row the block goes before.
    if (m_model->moveRow({}, row, {}, by < 0 ? target : target + 1))
        m_list->setCurrentIndex(m_model->index(target));
}

void TagManagementView::updateEmptyState()
{
    m_pages->setCurrentIndex(m_model->rowCount() == 0 ? 0 : 1);
}

TagManagementDialog::TagManagementDialog(ModelContext* context, QWidget* parent)
    : QDialog(parent), m_view(new TagManagementView(context, this))
{
    setObjectName(u"tagManagementDialog"_s);
    setWindowTitle(u"Manage Tags"_s);
    setWindowModality(Qt::WindowModal);
    setMinimumSize(360, 420);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view, 1);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* done = buttons->addButton(u"Done"_s, QDialogButtonBox::AcceptRole);
    done->setObjectName(u"doneButton"_s);
    done->setAccessibleName(u"Done"_s);
    done->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    m_view->setFocus();
}

TagManagementDialog* TagManagementDialog::present(ModelContext* context, QWidget* parent)
{
    return SheetParts::present<TagManagementDialog>(parent, context);
}
