#include "SelectionPane.h"

#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "platform/Symbols.h"
#include "store/ModelContext.h"
#include "ui/Style.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QToolButton* menuButton(const QString& name, const QString& symbol, const QString& text, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setIcon(Symbols::icon(symbol));
    button->setText(text);
    button->setAccessibleName(text);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    button->setMenu(new QMenu(button));
    return button;
}

QPushButton* commandButton(const QString& name, const QString& symbol, QWidget* parent)
{
    auto* button = new QPushButton(Symbols::icon(symbol), QString(), parent);
    button->setObjectName(name);
    return button;
}

template <typename Predicate>
bool allOf(const QList<Item*>& items, Predicate predicate)
{
    return !items.isEmpty() && std::all_of(items.begin(), items.end(), predicate);
}

bool isFavorite(const Item* item)
{
    return item->isFavorite();
}

bool isArchived(const Item* item)
{
    return item->isArchived();
}

} // namespace

SelectionPane::SelectionPane(ModelContext* context, QWidget* parent) : QWidget(parent), m_context(context)
{
    setObjectName(u"selectionPane"_s);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(10);
    layout->addStretch();
    auto* symbol = new QLabel(this);
    symbol->setAlignment(Qt::AlignCenter);
    symbol->setPixmap(
        Symbols::icon(u"square.stack"_s, Style::secondaryText(palette())).pixmap(QSize(48, 48), devicePixelRatioF()));
    layout->addWidget(symbol);
    m_title = new QLabel(this);
    m_title->setObjectName(u"selectionTitle"_s);
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setFont(Style::font(Style::Text::title2, QFont::Bold));
    layout->addWidget(m_title);
    m_summary = new QLabel(this);
    m_summary->setObjectName(u"selectionSummary"_s);
    m_summary->setAlignment(Qt::AlignCenter);
    m_summary->setWordWrap(true);
    layout->addWidget(m_summary);
    layout->addSpacing(12);

    m_folderButton = menuButton(u"moveToFolderButton"_s, u"folder"_s, u"Move to Folder"_s, this);
    connect(m_folderButton->menu(), &QMenu::aboutToShow, this, &SelectionPane::fillFolderMenu);
    m_addTagButton = menuButton(u"addTagToAllButton"_s, u"tag"_s, u"Add Tag"_s, this);
    connect(m_addTagButton->menu(), &QMenu::aboutToShow, this, [this] { fillTagMenu(true); });
    m_removeTagButton = menuButton(u"removeTagFromAllButton"_s, u"tag"_s, u"Remove Tag"_s, this);
    connect(m_removeTagButton->menu(), &QMenu::aboutToShow, this, [this] { fillTagMenu(false); });
    m_favoriteButton = commandButton(u"favoriteAllButton"_s, u"star"_s, this);
    connect(m_favoriteButton, &QPushButton::clicked, this, &SelectionPane::toggleFavorite);
    m_archiveButton = commandButton(u"archiveAllButton"_s, u"archivebox"_s, this);
    connect(m_archiveButton, &QPushButton::clicked, this, &SelectionPane::toggleArchived);
    m_deleteButton = commandButton(u"deleteAllButton"_s, u"trash"_s, this);
    connect(m_deleteButton, &QPushButton::clicked, this, &SelectionPane::deleteRequested);
    for (QWidget* w : std::initializer_list<QWidget*>{m_folderButton, m_addTagButton, m_removeTagButton,
                                                      m_favoriteButton, m_archiveButton, m_deleteButton}) {
        w->setMinimumWidth(240);
        w->setMaximumWidth(360);
        layout->addWidget(w, 0, Qt::AlignHCenter);
    }
    layout->addStretch();

    // What the summary and the buttons say follows
    // the library; a command on 100,000 items refreshes once.
    connect(context, &ModelContext::itemUpdated, this, [this](Item* item) {
        if (m_idSet.contains(item->id()))
            scheduleRefresh();
    });
    connect(context, &ModelContext::itemRemoved, this, &SelectionPane::scheduleRefresh);
    refresh();
}

void SelectionPane::scheduleRefresh()
{
    if (m_refreshPending || m_ids.isEmpty())
        return;
    m_refreshPending = true;
    QTimer::singleShot(0, this, [this] {
        m_refreshPending = false;
        refresh();
    });
}

void SelectionPane::setItems(const QList<Item*>& items)
{
    m_ids.clear();
    m_idSet.clear();
    for (const Item* item : items) {
        m_ids.append(item->id());
        m_idSet.insert(item->id());
    }
    refresh();
}

QList<Item*> SelectionPane::items() const
{
    QList<Item*> found;
    for (const QUuid& id : m_ids)
        if (Item* item = m_context->item(id))
            found.append(item);
    return found;
}

void SelectionPane::refresh()
{
    const QList<Item*> all = items();
    m_title->setText(u"%1 Items Selected"_s.arg(all.size()));
    const bool allFavorite = allOf(all, isFavorite);
    const bool allArchived = allOf(all, isArchived);
    int favorites = 0;
    for (const Item* i : all)
        favorites += i->isFavorite() ? 1 : 0;
    m_summary->setText(favorites ? u"%1 of them are favorites"_s.arg(favorites) : QString());
    m_favoriteButton->setText(allFavorite ? u"Remove from Favorites"_s : u"Add to Favorites"_s);
    m_favoriteButton->setIcon(Symbols::icon(allFavorite ? u"star.slash"_s : u"star"_s));
    m_archiveButton->setText(allArchived ? u"Unarchive"_s : u"Archive"_s);
    m_archiveButton->setIcon(Symbols::icon(allArchived ? u"tray.and.arrow.up"_s : u"archivebox"_s));
    m_deleteButton->setText(u"Delete %1 Items"_s.arg(all.size()));
}

void SelectionPane::fillFolderMenu()
{
    QMenu* menu = m_folderButton->menu();
    menu->clear();
    menu->addAction(Symbols::icon(u"tray"_s), u"Inbox"_s, this, [this] { moveTo(QUuid()); });
    // Every folder, sub-folders indented under their parent.
    const QList<Folder*> folders = m_context->fetchFolders(Folder::displayOrder);
    std::function<void(const Folder*, int)> add = [&](const Folder* parent, int depth) {
        for (const Folder* folder : folders) {
            if (folder->parent() != parent)
                continue;
            const QUuid id = folder->id();
            menu->addAction(Symbols::icon(folder->iconName(), folder->color()),
                            QString(depth * 4, u' ') + Style::mnemonicSafe(folder->name()), this,
                            [this, id] { moveTo(id); });
            if (depth < 32)
                add(folder, depth + 1);
        }
    };
    add(nullptr, 0);
}

void SelectionPane::fillTagMenu(bool adding)
{
    QMenu* menu = (adding ? m_addTagButton : m_removeTagButton)->menu();
    menu->clear();
    const QList<Item*> all = items();
    for (Tag* tag : m_context->fetchTags(Tag::displayOrder)) {
        const QUuid id = tag->id();
        const bool anyCarries = std::any_of(all.begin(), all.end(), [id](Item* i) { return i->hasTag(id); });
        const bool allCarry = std::all_of(all.begin(), all.end(), [id](Item* i) { return i->hasTag(id); });
        if (adding ? allCarry : !anyCarries)
            continue;
        menu->addAction(Symbols::icon(u"circle.fill"_s, tag->color()), Style::mnemonicSafe(tag->name()), this,
                        [this, id, adding] { adding ? addTag(id) : removeTag(id); });
    }
    if (menu->isEmpty())
        menu->addAction(adding ? u"Every tag is on all of them"_s : u"None of them has a tag"_s)->setEnabled(false);
}

void SelectionPane::moveTo(const QUuid& folderId)
{
    Folder* folder = folderId.isNull() ? nullptr : m_context->folder(folderId);
    if (!folderId.isNull() && !folder)
        return;
    for (Item* item : items())
        if (item->folder() != folder)
            item->moveToFolder(folder);
}

void SelectionPane::addTag(const QUuid& tagId)
{
    if (Tag* tag = m_context->tag(tagId))
        for (Item* item : items())
            item->addTag(tag);
}

void SelectionPane::removeTag(const QUuid& tagId)
{
    if (const Tag* tag = m_context->tag(tagId))
        for (Item* item : items())
            if (item->hasTag(tagId))
                item->removeTag(tag);
}

void SelectionPane::toggleFavorite()
{
    const QList<Item*> all = items();
    const bool allFavorite = allOf(all, isFavorite);
    for (Item* item : all)
        if (item->isFavorite() == allFavorite)
            item->toggleFavorite();
}

void SelectionPane::toggleArchived()
{
    const QList<Item*> all = items();
    const bool allArchived = allOf(all, isArchived);
    for (Item* item : all)
        if (item->isArchived() == allArchived)
            item->toggleArchived();
}
