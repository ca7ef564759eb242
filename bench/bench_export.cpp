// Export and import of a 100,000-item library without pictures: the whole
// path a user starts, from the records in memory to the file and back.
//
//   export: snapshot on the main thread, encoding on the export worker,
//           streamed into the file (atomic rename included)
//   import: decoding the document, creating and linking the records, one save
//   decode: the decoding step of the import alone

#include "LibraryGenerator.h"

#include "services/export/ExportService.h"
#include "services/export/ImportService.h"
#include "store/ModelContext.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

struct Library {
    QTemporaryDir dir;
    std::unique_ptr<ModelContext> context;
    QByteArray document;
};

Library& library(int items)
{
    static Library s_library;
    if (!s_library.context) {
        LibraryGenerator::Options options;
        options.items = items;
        s_library.context = LibraryGenerator::create(s_library.dir.filePath(u"default.store"_s), options);
        s_library.document = ExportService::exportJSON(s_library.context->items(), s_library.context->folders(),
                                                       s_library.context->tags(), false);
    }
    return s_library;
}

void BM_ExportToFile(benchmark::State& state)
{
    Library& lib = library(int(state.range(0)));
    const QString path = lib.dir.filePath(u"export.json"_s);
    for (auto _ : state) {
        QFuture<ExportService::WriteResult> future = ExportService::shared().exportLibrary(*lib.context, false, path);
        future.waitForFinished();
        if (!future.result())
            state.SkipWithError("export failed");
    }
    state.counters["document_MB"] = double(QFile(path).size()) / 1e6;
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ExportToFile)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Import(benchmark::State& state)
{
    Library& lib = library(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        auto opened = ModelContext::open(dir.filePath(u"default.store"_s));
        std::unique_ptr<ModelContext> context = std::move(opened).value();
        state.ResumeTiming();
        const auto imported = ImportService::importJSON(lib.document, *context);
        if (!imported)
            state.SkipWithError("import failed");
        state.PauseTiming();
        context.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Import)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_DecodeOnly(benchmark::State& state)
{
    Library& lib = library(int(state.range(0)));
    for (auto _ : state) {
        const auto decoded = ImportService::decode(lib.document);
        if (!decoded)
            state.SkipWithError("decoding failed");
        benchmark::DoNotOptimize(decoded.value().items.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DecodeOnly)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
