#pragma once

#include <QByteArray>
#include <QUuid>

#include <optional>

class Item;
class Folder;
class Tag;

enum class BlobKind { thumbnail = 0, image = 1 };

// Field masks carried by change notifications, so observers can ignore edits
// they do not show.
namespace ItemField {
enum : quint32 {
    Type = 1u << 0,
    Url = 1u << 1,
    Title = 1u << 2,
    Note = 1u << 3,
    Thumbnail = 1u << 4,
    Image = 1u << 5,
    Metadata = 1u << 6,
    SourceDomain = 1u << 7,
    SourceApp = 1u << 8,
    Folder = 1u << 9,
    Tags = 1u << 10,
    Archived = 1u << 11,
    Favorite = 1u << 12,
    Read = 1u << 13,
    CreatedAt = 1u << 14,
    ModifiedAt = 1u << 15,
    AccessedAt = 1u << 16,
};
}
namespace FolderField {
enum : quint32 {
    Name = 1u << 0,
    IconName = 1u << 1,
    ColorHex = 1u << 2,
    SortOrder = 1u << 3,
    CreatedAt = 1u << 4,
    ModifiedAt = 1u << 5,
    Parent = 1u << 6,
    Children = 1u << 7,
    Items = 1u << 8,
};
}
namespace TagField {
enum : quint32 {
    Name = 1u << 0,
    ColorHex = 1u << 1,
    SortOrder = 1u << 2,
    CreatedAt = 1u << 3,
    ModifiedAt = 1u << 4,
    Items = 1u << 5,
};
}

// What a record tells the context that holds it. Records that were never
// inserted have no observer and tell nobody.
class RecordObserver {
public:
    virtual ~RecordObserver() = default;
    virtual void itemChanged(Item* item, quint32 fields) = 0;
    virtual void folderChanged(Folder* folder, quint32 fields) = 0;
    virtual void tagChanged(Tag* tag, quint32 fields) = 0;
    // Reads image or thumbnail bytes kept apart from the record.
    virtual std::optional<QByteArray> loadItemBlob(const Item* item, BlobKind kind) const = 0;
};

class RecordContextAccess;

// Common part of the three persistent records: identity and the link to the
// context that tracks changes.
class Record {
public:
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;

    const QUuid& id() const { return m_id; }
    bool isInserted() const { return m_observer != nullptr; }
    bool isDeleted() const { return m_deleted; }

protected:
    explicit Record(const QUuid& id) : m_id(id) {}
    ~Record() = default;

    // Stores a value; true when it differed, so setters report real changes only.
    template <typename T, typename V>
    static bool assign(T& member, const V& value)
    {
        if (member == value)
            return false;
        member = value;
        return true;
    }

    QUuid m_id;
    RecordObserver* m_observer = nullptr;
    // The store's version of the row this record was last read from or
    // written to; the store refuses to write over a newer row.
    qint64 m_storeVersion = 0;
    bool m_deleted = false;

    friend class RecordContextAccess;
};
