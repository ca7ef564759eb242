#pragma once

#include "ExportData.h"

#include "model/Result.h"

#include <QByteArray>

class QIODevice;

// Writes the export document record by record, so a library with pictures
// never has to exist as one document in memory. The text is byte for byte
// what QJsonDocument::toJson(QJsonDocument::Indented) writes for the same
// document: keys of every object in ascending order, four spaces per level,
// "key": value, a final newline.
//
// The lists come in key order: every folder, then every item, then every
// tag. A write error stops the writer; finish() reports it.
class ExportDocumentWriter {
public:
    explicit ExportDocumentWriter(QIODevice* device);

    void begin(const QString& appVersion, const QString& exportDate);
    void add(const ExportedFolder& folder);
    void add(const ExportedItem& item);
    void add(const ExportedTag& tag);
    [[nodiscard]] Status finish(const QString& version);

    bool hasFailed() const { return !m_error.isEmpty(); }

    // The whole document in memory.
    static QByteArray encode(const ExportData& data);

private:
    enum class Section { none, folders, items, tags, done };
    void advanceTo(Section section);
    void enter(Section section);
    void closeList();
    void key(int level, const char* name);
    void string(QStringView text);
    void base64(const QByteArray& bytes);
    void stringMember(int level, const char* name, QStringView text, bool last = false);
    void flushIfFull();
    void flush();

    QIODevice* m_device;
    QByteArray m_buffer;
    Section m_section = Section::none;
    bool m_firstInList = true;
    QString m_error;
};
