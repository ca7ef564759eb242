#include "BlobReader.h"

#include <QFile>
#include <QtEndian>

#include <sqlite3.h>

#include <cstring>

using namespace Qt::StringLiterals;

BlobReader::~BlobReader()
{
    sqlite3_finalize(m_select);
    if (m_db) {
        sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
    }
}

QString BlobReader::lastError() const
{
    return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : u"out of memory"_s;
}

Result<std::unique_ptr<BlobReader>> BlobReader::open(const QString& storePath)
{
    using R = Result<std::unique_ptr<BlobReader>>;
    std::unique_ptr<BlobReader> reader(new BlobReader);
    const QByteArray path = QFile::encodeName(storePath);
    // SQLITE_OPEN_FULLMUTEX: the connection is handed from the main thread to a worker.
    if (sqlite3_open_v2(path.constData(), &reader->m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX, nullptr)
        != SQLITE_OK)
        return R::failure(u"The library cannot be read (%1)."_s.arg(reader->lastError()));
    sqlite3_busy_timeout(reader->m_db, 5000);
    // The first read inside BEGIN fixes the snapshot the reader sees.
    if (sqlite3_exec(reader->m_db, "BEGIN; SELECT 1 FROM ItemBlob LIMIT 1", nullptr, nullptr, nullptr) != SQLITE_OK
        || sqlite3_prepare_v3(reader->m_db, "SELECT data FROM ItemBlob WHERE itemId = ? AND kind = ?", -1,
                              SQLITE_PREPARE_PERSISTENT, &reader->m_select, nullptr)
               != SQLITE_OK)
        return R::failure(u"The library cannot be read (%1)."_s.arg(reader->lastError()));
    return R(std::move(reader));
}

Result<std::optional<QByteArray>> BlobReader::read(const QUuid& itemId, BlobKind kind)
{
    using R = Result<std::optional<QByteArray>>;
    unsigned char id[16];
    qToBigEndian(itemId.data1, id);
    qToBigEndian(itemId.data2, id + 4);
    qToBigEndian(itemId.data3, id + 6);
    std::memcpy(id + 8, itemId.data4, 8);
    sqlite3_bind_blob(m_select, 1, id, 16, SQLITE_STATIC);
    sqlite3_bind_int(m_select, 2, int(kind));
    const int rc = sqlite3_step(m_select);
    R result = std::optional<QByteArray>();
    if (rc == SQLITE_ROW) {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(m_select, 0));
        result = std::optional<QByteArray>(QByteArray(bytes, sqlite3_column_bytes(m_select, 0)));
    } else if (rc != SQLITE_DONE) {
        result = R::failure(u"The library cannot be read (%1)."_s.arg(lastError()));
    }
    sqlite3_reset(m_select);
    sqlite3_clear_bindings(m_select);
    return result;
}
