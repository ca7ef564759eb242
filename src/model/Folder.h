#pragma once

#include "Record.h"

#include <QColor>
#include <QDateTime>
#include <QList>
#include <QString>

class Item;

// A folder of the library's tree. Deleting one deletes its descendants and
// leaves its items unfiled (the context applies those rules).
class Folder final : public Record {
public:
    Folder(const QString& name, const QString& iconName, const QColor& color, Folder* parent = nullptr);
    ~Folder();

    const QString& name() const { return m_name; }
    void setName(const QString& name);
    const QString& iconName() const { return m_iconName; }
    void setIconName(const QString& iconName);
    const QString& colorHex() const { return m_colorHex; }
    void setColorHex(const QString& hex);
    // Colour from colorHex; blue when it does not parse.
    QColor color() const;
    int sortOrder() const { return m_sortOrder; }
    void setSortOrder(int order);
    const QDateTime& createdAt() const { return m_createdAt; }
    void setCreatedAt(const QDateTime& date);
    const QDateTime& modifiedAt() const { return m_modifiedAt; }
    void setModifiedAt(const QDateTime& date);

    Folder* parent() const { return m_parent; }
    // Refuses (returns false) a parent that is this folder or one of its
    // descendants, which would cut the folder off the tree.
    [[nodiscard]] bool setParent(Folder* parent);
    const QList<Folder*>& children() const { return m_children; }
    const QList<Item*>& items() const { return m_items; }

    // Children by sortOrder, equal values keeping their order in children().
    QList<Folder*> sortedChildren() const;
    // The order in which every list of folders shows them: sortOrder, then
    // name (locale-aware, case-insensitive).
    static bool displayOrder(const Folder* a, const Folder* b);
    // Every folder below this one, depth first, pre-order.
    QList<Folder*> allDescendants() const;
    bool isAncestorOf(const Folder* folder) const;

    // The folder's text for a colour: its hex, or "#007AFF" when it has none.
    static QString hexForColor(const QColor& color);

private:
    explicit Folder(const QUuid& id);
    void changed(quint32 fields);

    QString m_name;
    QString m_iconName;
    QString m_colorHex;
    int m_sortOrder = 0;
    QDateTime m_createdAt;
    QDateTime m_modifiedAt;
    Folder* m_parent = nullptr;
    QList<Folder*> m_children;
    QList<Item*> m_items;

    friend class RecordContextAccess;
    friend class Item;
};
