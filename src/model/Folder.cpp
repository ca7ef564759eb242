#include "Folder.h"

#include "Clock.h"
#include "ColorHex.h"
#include "Item.h"
#include "Tag.h"

#include <algorithm>

Folder::Folder(const QUuid& id) : Record(id) {}

Folder::Folder(const QString& name, const QString& iconName, const QColor& color, Folder* parent)
    : Record(QUuid::createUuid())
{
    m_name = name;
    m_iconName = iconName;
    m_colorHex = hexForColor(color);
    m_sortOrder = 0;
    if (parent) {
        m_parent = parent;
        parent->m_children.append(this);
    }
    m_createdAt = Clock::now();
    m_modifiedAt = Clock::now();
}

Folder::~Folder()
{
    m_observer = nullptr;
    if (m_parent)
        m_parent->m_children.removeOne(this);
    for (Folder* child : std::as_const(m_children))
        child->m_parent = nullptr;
    for (Item* item : std::as_const(m_items))
        item->m_folder = nullptr;
}

QString Folder::hexForColor(const QColor& color)
{
    return ColorHex::toHex(color).value_or(QString::fromLatin1(ColorHex::kSystemBlueHex));
}

void Folder::changed(quint32 fields)
{
    if (m_observer)
        m_observer->folderChanged(this, fields);
}

void Folder::setName(const QString& name)
{
    if (assign(m_name, name))
        changed(FolderField::Name);
}
void Folder::setIconName(const QString& iconName)
{
    if (assign(m_iconName, iconName))
        changed(FolderField::IconName);
}
void Folder::setColorHex(const QString& hex)
{
    if (assign(m_colorHex, hex))
        changed(FolderField::ColorHex);
}
void Folder::setSortOrder(int order)
{
    if (assign(m_sortOrder, order))
        changed(FolderField::SortOrder);
}
void Folder::setCreatedAt(const QDateTime& date)
{
    if (assign(m_createdAt, date))
        changed(FolderField::CreatedAt);
}
void Folder::setModifiedAt(const QDateTime& date)
{
    if (assign(m_modifiedAt, date))
        changed(FolderField::ModifiedAt);
}

QColor Folder::color() const
{
    return ColorHex::fromHex(m_colorHex);
}

bool Folder::isAncestorOf(const Folder* folder) const
{
    for (const Folder* f = folder ? folder->m_parent : nullptr; f; f = f->m_parent) {
        if (f == this)
            return true;
    }
    return false;
}

bool Folder::setParent(Folder* parent)
{
    if (parent == m_parent)
        return true;
    if (parent == this || (parent && isAncestorOf(parent)))
        return false;
    if (m_parent) {
        m_parent->m_children.removeOne(this);
        m_parent->changed(FolderField::Children);
    }
    m_parent = parent;
    if (m_parent) {
        m_parent->m_children.append(this);
        m_parent->changed(FolderField::Children);
    }
    changed(FolderField::Parent);
    return true;
}

QList<Folder*> Folder::sortedChildren() const
{
    QList<Folder*> sorted = m_children;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Folder* a, const Folder* b) { return a->sortOrder() < b->sortOrder(); });
    return sorted;
}

bool Folder::displayOrder(const Folder* a, const Folder* b)
{
    if (a->sortOrder() != b->sortOrder())
        return a->sortOrder() < b->sortOrder();
    return Collation::compareCaseInsensitive(a->name(), b->name()) < 0;
}

QList<Folder*> Folder::allDescendants() const
{
    QList<Folder*> result;
    // Iterative pre-order walk, safe on deep trees.
    QList<const Folder*> stack{this};
    QList<qsizetype> next{0};
    while (!stack.isEmpty()) {
        const Folder* top = stack.last();
        qsizetype& i = next.last();
        if (i >= top->m_children.size()) {
            stack.removeLast();
            next.removeLast();
            continue;
        }
        Folder* child = top->m_children[i++];
        result.append(child);
        stack.append(child);
        next.append(0);
    }
    return result;
}
