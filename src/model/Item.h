#pragma once

#include "ItemMetadata.h"
#include "ItemType.h"
#include "Record.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

class Folder;
class Tag;

// One saved reference. Setters change the field and report the change to the
// context; the operations below also move modifiedAt, as users expect of an
// edit. Plain setters do not.
class Item final : public Record {
public:
    Item(ItemType type, const QString& title, const std::optional<QUrl>& url = std::nullopt,
         const std::optional<QString>& note = std::nullopt, Folder* folder = nullptr);
    ~Item();

    const QString& typeRawValue() const { return m_typeRawValue; }
    void setTypeRawValue(const QString& raw);
    // An unknown raw value reads as a web link.
    ItemType type() const;

    const std::optional<QString>& urlString() const { return m_urlString; }
    void setUrlString(const std::optional<QString>& url);
    const QString& title() const { return m_title; }
    void setTitle(const QString& title);
    const std::optional<QString>& note() const { return m_note; }
    void setNote(const std::optional<QString>& note);

    // Bytes kept apart from the record; read from the store when asked.
    bool hasThumbnail() const { return m_thumbnail.present; }
    std::optional<QByteArray> thumbnailData() const;
    void setThumbnailData(const std::optional<QByteArray>& bytes);
    bool hasImage() const { return m_image.present; }
    std::optional<QByteArray> imageData() const;
    void setImageData(const std::optional<QByteArray>& bytes);

    const std::optional<QByteArray>& metadataJSON() const { return m_metadataJSON; }
    void setMetadataJSON(const std::optional<QByteArray>& json);
    // Decoded metadataJSON; none when absent or undecodable.
    std::optional<ItemMetadata> metadata() const;
    // None stores the bytes "null". Does not touch modifiedAt.
    void setMetadata(const std::optional<ItemMetadata>& metadata);

    const std::optional<QString>& sourceDomain() const { return m_sourceDomain; }
    void setSourceDomain(const std::optional<QString>& domain);
    const std::optional<QString>& sourceApp() const { return m_sourceApp; }
    void setSourceApp(const std::optional<QString>& app);

    Folder* folder() const { return m_folder; }
    void setFolder(Folder* folder);
    const QList<Tag*>& tags() const { return m_tags; }
    void setTags(const QList<Tag*>& tags);
    // Tags by name, locale-aware and case-insensitive.
    QList<Tag*> sortedTags() const;
    bool hasTag(const QUuid& tagId) const;

    bool isArchived() const { return m_isArchived; }
    void setArchived(bool archived);
    bool isFavorite() const { return m_isFavorite; }
    void setFavorite(bool favorite);
    bool isRead() const { return m_isRead; }
    void setRead(bool read);

    const QDateTime& createdAt() const { return m_createdAt; }
    void setCreatedAt(const QDateTime& date);
    const QDateTime& modifiedAt() const { return m_modifiedAt; }
    void setModifiedAt(const QDateTime& date);
    const std::optional<QDateTime>& accessedAt() const { return m_accessedAt; }
    void setAccessedAt(const std::optional<QDateTime>& date);

    // Operations that count as an edit: each moves modifiedAt to now.
    void toggleFavorite();
    void toggleArchived();
    void moveToFolder(Folder* folder);
    // A tag with the same id already attached: nothing changes.
    void addTag(Tag* tag);
    void removeTag(const Tag* tag);
    // Thumbnail and size-limited image made by the thumbnail service; bytes
    // that give nothing leave the item as it was.
    void setThumbnail(const QByteArray& bytes);
    void setImage(const QByteArray& bytes);

private:
    struct Blob {
        bool present = false;
        bool dirty = false;
        std::unique_ptr<QByteArray> bytes; // held only until saved
    };
    explicit Item(const QUuid& id);
    void changed(quint32 fields);
    void touch(quint32 fields);
    std::optional<QByteArray> blobData(const Blob& blob, BlobKind kind) const;
    void setBlob(Blob& blob, const std::optional<QByteArray>& bytes, quint32 field);

    QString m_typeRawValue;
    std::optional<QString> m_urlString;
    QString m_title;
    std::optional<QString> m_note;
    Blob m_thumbnail;
    Blob m_image;
    std::optional<QByteArray> m_metadataJSON;
    std::optional<QString> m_sourceDomain;
    std::optional<QString> m_sourceApp;
    Folder* m_folder = nullptr;
    QList<Tag*> m_tags;
    bool m_isArchived = false;
    bool m_isFavorite = false;
    bool m_isRead = false;
    QDateTime m_createdAt;
    QDateTime m_modifiedAt;
    std::optional<QDateTime> m_accessedAt;

    friend class RecordContextAccess;
    friend class Folder;
    friend class Tag;
};
