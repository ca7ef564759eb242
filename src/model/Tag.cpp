#include "Tag.h"

#include "Clock.h"
#include "ColorHex.h"
#include "Item.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>

int Collation::compareCaseInsensitive(const QString& a, const QString& b)
{
    // QCollator is not thread-safe; one per thread, following the locale.
    thread_local QCollator t_collator = [] {
        QCollator c{QLocale()};
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    if (t_collator.locale() != QLocale()) {
        t_collator = QCollator(QLocale());
        t_collator.setCaseSensitivity(Qt::CaseInsensitive);
    }
    return t_collator.compare(a, b);
}

Tag::Tag(const QUuid& id) : Record(id) {}

Tag::Tag(const QString& name, const QColor& color) : Record(QUuid::createUuid())
{
    m_name = name;
    m_colorHex = hexForColor(color);
    m_sortOrder = 0;
    m_createdAt = Clock::now();
    m_modifiedAt = Clock::now();
}

Tag::~Tag()
{
    m_observer = nullptr;
    for (Item* item : std::as_const(m_items))
        item->m_tags.removeAll(this);
}

QString Tag::hexForColor(const QColor& color)
{
    return ColorHex::toHex(color).value_or(QString::fromLatin1(ColorHex::kSystemBlueHex));
}

void Tag::changed(quint32 fields)
{
    if (m_observer)
        m_observer->tagChanged(this, fields);
}

void Tag::setName(const QString& name)
{
    if (assign(m_name, name))
        changed(TagField::Name);
}
void Tag::setColorHex(const QString& hex)
{
    if (assign(m_colorHex, hex))
        changed(TagField::ColorHex);
}
void Tag::setSortOrder(int order)
{
    if (assign(m_sortOrder, order))
        changed(TagField::SortOrder);
}
void Tag::setCreatedAt(const QDateTime& date)
{
    if (assign(m_createdAt, date))
        changed(TagField::CreatedAt);
}
void Tag::setModifiedAt(const QDateTime& date)
{
    if (assign(m_modifiedAt, date))
        changed(TagField::ModifiedAt);
}

QColor Tag::color() const
{
    return ColorHex::fromHex(m_colorHex);
}

int Tag::itemCount() const
{
    return int(std::count_if(m_items.cbegin(), m_items.cend(), [](const Item* i) { return !i->isArchived(); }));
}

bool Tag::operator<(const Tag& other) const
{
    if (m_sortOrder != other.m_sortOrder)
        return m_sortOrder < other.m_sortOrder;
    return Collation::compareCaseInsensitive(m_name, other.m_name) < 0;
}
