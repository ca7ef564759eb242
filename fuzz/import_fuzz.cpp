// libFuzzer target for the reader of export documents (the JSON import).
//
// Every input is read whole and piece by piece (as a restore reads the
// document it decrypts), and both readings must agree: the same records or
// the same failure. A document that reads is written back with the document
// writer and read again, and both readings must be equal: the reader and
// the writer agree on every document the reader accepts.
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target import_fuzz
//   build/fuzz/fuzz/import_fuzz -dict=fuzz/json.dict fuzz/corpus/import

#include "services/export/ExportDocumentReader.h"
#include "services/export/ExportDocumentWriter.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Pieces of 1 to 16 bytes, the size taken from the input's first byte.
Result<ExportData, ImportError> readInPieces(const QByteArray& bytes)
{
    const qsizetype piece = bytes.isEmpty() ? 1 : 1 + static_cast<unsigned char>(bytes[0]) % 16;
    qsizetype at = 0;
    QList<ExportedItem> items;
    auto read = ExportDocumentReader::read(
        [&](char* into, qsizetype maxSize) {
            const qsizetype n = std::min({piece, maxSize, bytes.size() - at});
            std::memcpy(into, bytes.constData() + at, size_t(n));
            at += n;
            return n;
        },
        [&](ExportedItem&& item, qsizetype) { items.append(std::move(item)); });
    if (read)
        read.value().items = std::move(items);
    return read;
}

[[noreturn]] void differ(const char* what, const QByteArray& bytes)
{
    std::fprintf(stderr, "%s:\n%s\n", what, bytes.constData());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto first = ExportDocumentReader::read(bytes);
    const auto pieces = readInPieces(bytes);
    // A second list of items is the one thing read whole but refused in
    // pieces, where it is noticed first.
    const bool itemsTwice = !pieces && pieces.error().message().contains(QStringLiteral("is given twice"));
    if (bool(first) != bool(pieces) && !itemsTwice)
        differ("read whole and in pieces, the document reads differently", bytes);
    if (!first) {
        if (!(first.error() == pieces.error()) && !itemsTwice)
            differ("read whole and in pieces, the document fails differently", bytes);
        return 0;
    }
    const ExportData& document = first.value();
    if (pieces && !(pieces.value() == document))
        differ("read whole and in pieces, the records differ", bytes);
    const QByteArray written = ExportDocumentWriter::encode(document);
    const auto second = ExportDocumentReader::read(written);
    if (!second || !(second.value() == document))
        differ("the document read back differs", written);
    return 0;
}
