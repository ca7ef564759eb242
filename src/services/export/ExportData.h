#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The records of the export document, the library's one interchange format.
// Field names are the document's keys; an empty optional is a key that is
// left out. Every value is text, a number, a boolean, a list or an object in
// the document: dates are written as text and picture bytes as Base64.

struct ExportedMetadata {
    std::optional<QString> author;
    std::optional<QString> description;
    std::optional<QString> platform;
    std::optional<QString> siteName;

    bool isEmpty() const { return !author && !description && !platform && !siteName; }
    bool operator==(const ExportedMetadata&) const = default;
};

struct ExportedItem {
    QString id;
    QString type;
    QString title;
    std::optional<QString> url;
    std::optional<QString> note;
    std::optional<QString> sourceDomain;
    std::optional<QString> folderId;
    // Optional in the format; an export always writes these three.
    std::optional<QStringList> tagIds;
    std::optional<bool> isArchived;
    std::optional<bool> isFavorite;
    QString createdAt;
    QString modifiedAt;
    std::optional<ExportedMetadata> metadata;
    // Written only inside backups, so a restore gives back every field:
    // whether and when the item was viewed, the app it came from, and the
    // whole metadata record (its compact JSON as text).
    std::optional<QString> accessedAt;
    std::optional<bool> isRead;
    std::optional<QString> metadataJSON;
    std::optional<QString> sourceApp;
    // The bytes themselves; Base64 in the document. Reading leaves them out
    // when the text is not valid Base64.
    std::optional<QByteArray> imageData;
    std::optional<QByteArray> thumbnailData;
    // The picture went straight to the library as it was read (see
    // ExportDocumentReader::PictureSink); its bytes are then left out.
    bool imageTaken = false;
    bool thumbnailTaken = false;

    bool operator==(const ExportedItem&) const = default;
};

struct ExportedFolder {
    QString id;
    QString name;
    // Optional in the format; an export always writes both.
    std::optional<QString> iconName;
    QString colorHex;
    std::optional<QString> parentId;
    std::optional<int> sortOrder;
    QString createdAt;
    QString modifiedAt;

    bool operator==(const ExportedFolder&) const = default;
};

struct ExportedTag {
    QString id;
    QString name;
    QString colorHex;
    // Optional in the format; an export always writes it.
    std::optional<int> sortOrder;
    QString createdAt;
    QString modifiedAt;

    bool operator==(const ExportedTag&) const = default;
};

struct ExportData {
    static constexpr QStringView kVersion = u"1.0";

    QString version;
    QString exportDate;
    QString appVersion;
    QList<ExportedItem> items;
    QList<ExportedFolder> folders;
    QList<ExportedTag> tags;

    bool operator==(const ExportData&) const = default;

    // A UTC instant as the document writes it: 2025-03-14T09:26:53.589Z.
    static QString formatDate(qint64 msecsSinceEpoch);
    static QString formatDate(const QDateTime& date) { return formatDate(date.toMSecsSinceEpoch()); }
};
