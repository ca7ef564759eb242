#pragma once

#include "Record.h"

#include <QColor>
#include <QDateTime>
#include <QList>
#include <QString>

class Item;

// A coloured label. Two tags are equal when their ids are.
class Tag final : public Record {
public:
    Tag(const QString& name, const QColor& color);
    ~Tag();

    const QString& name() const { return m_name; }
    void setName(const QString& name);
    const QString& colorHex() const { return m_colorHex; }
    void setColorHex(const QString& hex);
    QColor color() const;
    int sortOrder() const { return m_sortOrder; }
    void setSortOrder(int order);
    const QDateTime& createdAt() const { return m_createdAt; }
    void setCreatedAt(const QDateTime& date);
    const QDateTime& modifiedAt() const { return m_modifiedAt; }
    void setModifiedAt(const QDateTime& date);

    const QList<Item*>& items() const { return m_items; }
    // Items carrying the tag that are not archived, counted at each call.
    int itemCount() const;

    bool operator==(const Tag& other) const { return m_id == other.m_id; }
    // sortOrder first, then name, locale-aware and case-insensitive.
    bool operator<(const Tag& other) const;
    bool operator>(const Tag& other) const { return other < *this; }
    // The order in which every list of tags shows them (the `<` above).
    static bool displayOrder(const Tag* a, const Tag* b) { return *a < *b; }
    bool operator<=(const Tag& other) const { return !(other < *this); }
    bool operator>=(const Tag& other) const { return !(*this < other); }

    static QString hexForColor(const QColor& color);

private:
    explicit Tag(const QUuid& id);
    void changed(quint32 fields);

    QString m_name;
    QString m_colorHex;
    int m_sortOrder = 0;
    QDateTime m_createdAt;
    QDateTime m_modifiedAt;
    QList<Item*> m_items;

    friend class RecordContextAccess;
    friend class Item;
};

inline size_t qHash(const Tag& tag, size_t seed = 0) noexcept
{
    return qHash(tag.id(), seed);
}

namespace Collation {
// Locale-aware, case-insensitive comparison of names: <0, 0, >0.
int compareCaseInsensitive(const QString& a, const QString& b);
} // namespace Collation
