#pragma once

#include "model/Record.h"
#include "model/Result.h"

#include <QByteArray>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

// Reads picture bytes from the store file over a read-only connection of its
// own, so a worker thread can read them while the main thread keeps using
// the context's connection. Everything it reads comes from one read
// transaction begun by open(): the file as it was at that moment, whatever
// is saved later. Open it on the main thread right after a save; use it on
// one thread at a time.
class BlobReader {
public:
    static Result<std::unique_ptr<BlobReader>> open(const QString& storePath);
    ~BlobReader();
    BlobReader(const BlobReader&) = delete;
    BlobReader& operator=(const BlobReader&) = delete;

    // The picture's bytes; none when the item has none.
    Result<std::optional<QByteArray>> read(const QUuid& itemId, BlobKind kind);

private:
    BlobReader() = default;
    QString lastError() const;

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_select = nullptr;
};
