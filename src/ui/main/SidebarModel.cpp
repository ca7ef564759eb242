#include "SidebarModel.h"

#include "app/AppState.h"
#include "app/ItemListQuery.h"
#include "model/ColorHex.h"
#include "model/Folder.h"
#include "model/Item.h"
#include "model/Tag.h"
#include "model/TagDragItem.h"
#include "platform/Settings.h"
#include "store/ModelContext.h"
#include "ui/sheets/TagDrag.h"

#include <QMimeData>
#include <QSet>
#include <QTimer>

using namespace Qt::StringLiterals;

struct SidebarModel::Node {
    Kind kind = Header;
    QString key;
    QUuid id;
    std::optional<SmartFolder> smart;
    QString label;
    Node* parent = nullptr;
    int row = 0;
    std::vector<std::unique_ptr<Node>> children;

    void renumber()
    {
        for (size_t i = 0; i < children.size(); ++i)
            children[i]->row = int(i);
    }
};

struct SidebarModel::Wanted {
    Kind kind;
    QString key;
    QUuid id;
    std::optional<SmartFolder> smart;
    QString label;
};

namespace {

QString folderKey(const QUuid& id)
{
    return u"f:"_s + id.toString(QUuid::WithoutBraces);
}

QString tagKey(const QUuid& id)
{
    return u"t:"_s + id.toString(QUuid::WithoutBraces);
}

} // namespace

QString SidebarModel::itemsMimeType()
{
    return u"application/x-folionest-item-ids"_s;
}

SidebarModel::SidebarModel(ModelContext* context, AppState* state, ItemListQuery* query, QObject* parent)
    : QAbstractItemModel(parent), m_context(context), m_state(state), m_query(query), m_root(std::make_unique<Node>())
{
    // Anything the rows show: counts, folders, tags, the filter and selection.
    connect(query, &ItemListQuery::countsChanged, this, &SidebarModel::scheduleSync);
    connect(query, &ItemListQuery::selectionChanged, this, &SidebarModel::scheduleSync);
    connect(state, &AppState::filterTagsChanged, this, &SidebarModel::scheduleSync);
    connect(context, &ModelContext::folderInserted, this, &SidebarModel::scheduleSync);
    connect(context, &ModelContext::folderUpdated, this, &SidebarModel::scheduleSync);
    connect(context, &ModelContext::tagInserted, this, &SidebarModel::scheduleSync);
    connect(context, &ModelContext::tagUpdated, this, &SidebarModel::scheduleSync);
    connect(context, &ModelContext::itemInserted, this, &SidebarModel::scheduleSync);
    connect(context, &ModelContext::itemRemoved, this, &SidebarModel::scheduleSync);
    connect(context, &ModelContext::itemUpdated, this, [this](Item*, quint32 fields) {
        if (fields & (ItemField::Folder | ItemField::Tags | ItemField::Archived))
            scheduleSync();
    });
    // Records going away leave their rows at once, before anything paints
    // a row that points at them.
    connect(context, &ModelContext::folderRemoved, this, &SidebarModel::sync);
    connect(context, &ModelContext::tagRemoved, this, &SidebarModel::sync);
    connect(context, &ModelContext::allRemoved, this, &SidebarModel::sync);
    // "Show Item Counts" applies at once.
    m_showCounts = Settings::boolValue(SettingsKey::showItemCounts, true);
    connect(&SettingsNotifier::instance(), &SettingsNotifier::valueChanged, this, [this](SettingsKey key) {
        if (key != SettingsKey::showItemCounts)
            return;
        m_showCounts = Settings::boolValue(SettingsKey::showItemCounts, true);
        scheduleSync();
    });
    sync();
}

SidebarModel::~SidebarModel() = default;

void SidebarModel::scheduleSync()
{
    if (m_syncScheduled)
        return;
    m_syncScheduled = true;
    QTimer::singleShot(0, this, [this] {
        if (m_syncScheduled)
            sync();
    });
}

void SidebarModel::sync()
{
    m_syncScheduled = false;
    // Top-down, so a folder that moved to another parent is carried over
    // with its expanded subtree whenever its new place is reached first.
    std::vector<Node*> pending{m_root.get()};
    while (!pending.empty()) {
        Node* node = pending.back();
        pending.pop_back();
        reconcile(node, wantedChildren(node));
        repaint(node);
        for (const auto& child : node->children) {
            if (child->kind == Header || child->kind == FolderRow)
                pending.push_back(child.get());
        }
    }
}

std::vector<SidebarModel::Wanted> SidebarModel::wantedChildren(const Node* parent) const
{
    std::vector<Wanted> wanted;
    if (parent == m_root.get()) {
        wanted.push_back({Header, u"h:library"_s, {}, {}, u"Library"_s});
        wanted.push_back({Header, u"h:folders"_s, {}, {}, u"Folders"_s});
        if (!m_context->tags().isEmpty())
            wanted.push_back({Header, u"h:tags"_s, {}, {}, u"Tags"_s});
    } else if (parent->key == u"h:library") {
        for (SmartFolder folder : SmartFolders::allCases())
            wanted.push_back({SmartFolderRow, u"s:"_s + SmartFolders::rawValue(folder), {}, folder, {}});
    } else if (parent->key == u"h:folders") {
        for (const Folder* folder : m_context->fetchFolders(Folder::displayOrder)) {
            if (!folder->parent())
                wanted.push_back({FolderRow, folderKey(folder->id()), folder->id(), {}, {}});
        }
        wanted.push_back({NewFolderRow, u"new-folder"_s, {}, {}, u"New Folder"_s});
    } else if (parent->key == u"h:tags") {
        for (const Tag* tag : m_context->fetchTags(Tag::displayOrder))
            wanted.push_back({TagRow, tagKey(tag->id()), tag->id(), {}, {}});
    } else if (parent->kind == FolderRow) {
        if (const Folder* folder = m_context->folder(parent->id)) {
            for (const Folder* child : folder->sortedChildren())
                wanted.push_back({FolderRow, folderKey(child->id()), child->id(), {}, {}});
        }
    }
    return wanted;
}

void SidebarModel::reconcile(Node* parent, const std::vector<Wanted>& wanted)
{
    const QModelIndex parentIndex = indexOf(parent);
    QSet<QString> keys;
    keys.reserve(qsizetype(wanted.size()));
    for (const Wanted& w : wanted)
        keys.insert(w.key);

    const auto removeRow = [this](Node* from, int row) {
        auto forget = [this](auto& self, Node* node) -> void {
            m_byKey.remove(node->key);
            for (const auto& child : node->children)
                self(self, child.get());
        };
        beginRemoveRows(indexOf(from), row, row);
        forget(forget, from->children[size_t(row)].get());
        from->children.erase(from->children.begin() + row);
        from->renumber();
        endRemoveRows();
    };
    for (int i = int(parent->children.size()) - 1; i >= 0; --i) {
        if (!keys.contains(parent->children[size_t(i)]->key))
            removeRow(parent, i);
    }

    for (size_t i = 0; i < wanted.size(); ++i) {
        const Wanted& w = wanted[i];
        if (i < parent->children.size() && parent->children[i]->key == w.key)
            continue;
        Node* existing = m_byKey.value(w.key);
        if (existing && existing->parent == parent) {
            // Reordered among its siblings: it only moves up, past rows that
            // are placed after it.
            const int from = existing->row;
            beginMoveRows(parentIndex, from, from, parentIndex, int(i));
            std::unique_ptr<Node> moved = std::move(parent->children[size_t(from)]);
            parent->children.erase(parent->children.begin() + from);
            parent->children.insert(parent->children.begin() + std::ptrdiff_t(i), std::move(moved));
            parent->renumber();
            endMoveRows();
            continue;
        }
        // A folder given another parent is made anew at its new place.
        if (existing)
            removeRow(existing->parent, existing->row);
        beginInsertRows(parentIndex, int(i), int(i));
        auto node = std::make_unique<Node>();
        node->kind = w.kind;
        node->key = w.key;
        node->id = w.id;
        node->smart = w.smart;
        node->label = w.label;
        node->parent = parent;
        m_byKey.insert(node->key, node.get());
        parent->children.insert(parent->children.begin() + std::ptrdiff_t(i), std::move(node));
        parent->renumber();
        endInsertRows();
    }
}

void SidebarModel::repaint(Node* parent)
{
    if (parent->children.empty())
        return;
    const QModelIndex parentIndex = indexOf(parent);
    Q_EMIT dataChanged(index(0, 0, parentIndex), index(int(parent->children.size()) - 1, 0, parentIndex));
}

SidebarModel::Node* SidebarModel::nodeAt(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : m_root.get();
}

QModelIndex SidebarModel::indexOf(const Node* node) const
{
    if (!node || node == m_root.get())
        return {};
    return createIndex(node->row, 0, const_cast<Node*>(node));
}

QModelIndex SidebarModel::index(int row, int column, const QModelIndex& parent) const
{
    const Node* node = nodeAt(parent);
    if (column != 0 || row < 0 || size_t(row) >= node->children.size())
        return {};
    return createIndex(row, 0, node->children[size_t(row)].get());
}

QModelIndex SidebarModel::parent(const QModelIndex& child) const
{
    if (!child.isValid())
        return {};
    return indexOf(nodeAt(child)->parent);
}

int SidebarModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return int(nodeAt(parent)->children.size());
}

int SidebarModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant SidebarModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const Node* node = nodeAt(index);
    const Folder* folder = node->kind == FolderRow ? m_context->folder(node->id) : nullptr;
    const Tag* tag = node->kind == TagRow ? m_context->tag(node->id) : nullptr;
    if ((node->kind == FolderRow && !folder) || (node->kind == TagRow && !tag))
        return {};

    auto name = [&]() -> QString {
        switch (node->kind) {
        case SmartFolderRow: return SmartFolders::displayName(*node->smart);
        case FolderRow: return folder->name();
        case TagRow: return tag->name();
        default: return node->label;
        }
    };
    auto count = [&]() -> QString {
        if (!m_showCounts)
            return {};
        switch (node->kind) {
        case SmartFolderRow: return QString::number(m_query->count(*node->smart));
        // Every item filed directly in the folder, archived ones included.
        case FolderRow: return QString::number(folder->items().size());
        case TagRow: return QString::number(tag->itemCount());
        default: return {};
        }
    };
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: return name();
    case Qt::AccessibleTextRole: {
        QString text = name();
        if (node->kind == FolderRow)
            text += u", folder"_s;
        else if (node->kind == TagRow)
            text += u", tag"_s;
        const QString n = count();
        if (!n.isEmpty())
            text += u", %1 items"_s.arg(n);
        if (data(index, SelectedRole).toBool())
            text += u", shown"_s;
        if (data(index, CheckedRole).toBool())
            text += u", filtering the list"_s;
        return text;
    }
    case KindRole: return int(node->kind);
    case ValueRole:
        if (node->kind == SmartFolderRow)
            return SmartFolders::rawValue(*node->smart);
        if (node->kind == FolderRow || node->kind == TagRow)
            return node->id;
        return {};
    case CountRole: return count();
    case SelectedRole: {
        const auto& selection = m_query->selection();
        if (node->kind == SmartFolderRow)
            return !selection.folder && selection.smartFolder == *node->smart;
        if (node->kind == FolderRow)
            return selection.folder == folder;
        return false;
    }
    case CheckedRole: return tag && m_state->filterTags().contains(const_cast<Tag*>(tag));
    case TintRole:
        if (node->kind == SmartFolderRow)
            return SmartFolders::tintColor(*node->smart);
        if (folder)
            return ColorHex::fromHex(folder->colorHex());
        if (tag)
            return ColorHex::fromHex(tag->colorHex());
        return {};
    case IconRole:
        if (node->kind == SmartFolderRow)
            return SmartFolders::iconName(*node->smart);
        if (folder)
            return folder->iconName();
        if (node->kind == NewFolderRow)
            return u"plus"_s;
        return {};
    default: return {};
    }
}

Qt::ItemFlags SidebarModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    switch (nodeAt(index)->kind) {
    case Header: return Qt::ItemIsEnabled;
    case FolderRow: return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled;
    case TagRow: return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    default: return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    }
}

QStringList SidebarModel::mimeTypes() const
{
    return {TagDragItem::mimeType(), itemsMimeType()};
}

QMimeData* SidebarModel::mimeData(const QModelIndexList& indexes) const
{
    for (const QModelIndex& index : indexes) {
        if (const Tag* tag = tagAt(index))
            return TagDrag::mimeData(*tag);
    }
    return nullptr;
}

Qt::DropActions SidebarModel::supportedDragActions() const
{
    return Qt::CopyAction;
}

Qt::DropActions SidebarModel::supportedDropActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

bool SidebarModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int row, int, const QModelIndex& parent) const
{
    // Onto a row, not between rows.
    if (!data || row != -1 || !data->hasFormat(itemsMimeType()))
        return false;
    return folderAt(parent) || tagAt(parent);
}

bool SidebarModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    QList<QUuid> ids;
    for (const QByteArray& line : data->data(itemsMimeType()).split('\n')) {
        if (const auto id = UuidText::fromString(QString::fromLatin1(line.trimmed())); id && m_context->item(*id))
            ids.append(*id);
    }
    if (ids.isEmpty())
        return false;
    Q_EMIT itemsDropped(ids, folderAt(parent), tagAt(parent));
    // The rows stay where they are in the list: nothing for the source to remove.
    return false;
}

QModelIndex SidebarModel::indexFor(Kind kind, const QString& value) const
{
    switch (kind) {
    case Header: return indexOf(m_byKey.value(u"h:"_s + value));
    case SmartFolderRow: return indexOf(m_byKey.value(u"s:"_s + value));
    case FolderRow: return indexOf(m_byKey.value(u"f:"_s + QUuid(value).toString(QUuid::WithoutBraces)));
    case NewFolderRow: return indexOf(m_byKey.value(u"new-folder"_s));
    case TagRow: return indexOf(m_byKey.value(u"t:"_s + QUuid(value).toString(QUuid::WithoutBraces)));
    }
    return {};
}

QModelIndex SidebarModel::indexForFolder(const Folder* folder) const
{
    return folder ? indexOf(m_byKey.value(folderKey(folder->id()))) : QModelIndex();
}

QModelIndex SidebarModel::indexForTag(const Tag* tag) const
{
    return tag ? indexOf(m_byKey.value(tagKey(tag->id()))) : QModelIndex();
}

Folder* SidebarModel::folderAt(const QModelIndex& index) const
{
    const Node* node = index.isValid() ? nodeAt(index) : nullptr;
    return node && node->kind == FolderRow ? m_context->folder(node->id) : nullptr;
}

Tag* SidebarModel::tagAt(const QModelIndex& index) const
{
    const Node* node = index.isValid() ? nodeAt(index) : nullptr;
    return node && node->kind == TagRow ? m_context->tag(node->id) : nullptr;
}

std::optional<SmartFolder> SidebarModel::smartFolderAt(const QModelIndex& index) const
{
    const Node* node = index.isValid() ? nodeAt(index) : nullptr;
    return node && node->kind == SmartFolderRow ? node->smart : std::nullopt;
}

bool SidebarModel::isRootFolderRow(const QModelIndex& index) const
{
    const Node* node = index.isValid() ? nodeAt(index) : nullptr;
    return node && node->kind == FolderRow && node->parent && node->parent->key == u"h:folders";
}
