// libFuzzer target for the reader of export documents (the JSON import).
//
// Every input is read; a document that reads is written back with the
// document writer and read again, and both readings must be equal: the
// reader and the writer agree on every document the reader accepts.
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target import_fuzz
//   build/fuzz/fuzz/import_fuzz -dict=fuzz/json.dict fuzz/corpus/import

#include "services/export/ExportDocumentReader.h"
#include "services/export/ExportDocumentWriter.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto first = ExportDocumentReader::read(bytes);
    if (!first)
        return 0;
    const ExportData& document = first.value();
    const QByteArray written = ExportDocumentWriter::encode(document);
    const auto second = ExportDocumentReader::read(written);
    if (!second || !(second.value() == document)) {
        std::fprintf(stderr, "the document read back differs:\n%s\n", written.constData());
        std::abort();
    }
    return 0;
}
