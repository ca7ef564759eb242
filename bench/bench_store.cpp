// Store benchmarks on a 100,000-item library: inserting with one save, and
// opening the store and loading every record.

#include "LibraryGenerator.h"

#include "store/ModelContext.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

using namespace Qt::StringLiterals;

namespace {

double residentMegabytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

void BM_InsertAndSave(benchmark::State& state)
{
    const int items = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        auto ctx = ModelContext::open(dir.filePath(u"default.store"_s));
        LibraryGenerator::Options options;
        options.items = items;
        state.ResumeTiming();
        // Generation (record construction and insertion) plus one save.
        LibraryGenerator::populate(*ctx.value(), options);
        if (!ctx.value()->save().ok())
            state.SkipWithError("save failed");
        state.PauseTiming();
        ctx.value().reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * items);
}
BENCHMARK(BM_InsertAndSave)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

// The save alone: one transaction writing every record of a new library.
void BM_SaveNewLibrary(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        auto ctx = ModelContext::open(dir.filePath(u"default.store"_s));
        LibraryGenerator::Options options;
        options.items = int(state.range(0));
        LibraryGenerator::populate(*ctx.value(), options);
        state.ResumeTiming();
        if (!ctx.value()->save().ok())
            state.SkipWithError("save failed");
        state.PauseTiming();
        ctx.value().reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SaveNewLibrary)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_OpenAndLoad(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"default.store"_s);
    LibraryGenerator::Options options;
    options.items = int(state.range(0));
    LibraryGenerator::create(path, options).reset();
    const double before = residentMegabytes();
    double loadedDelta = 0;
    for (auto _ : state) {
        auto ctx = ModelContext::open(path);
        if (!ctx)
            state.SkipWithError("open failed");
        benchmark::DoNotOptimize(ctx.value()->items().size());
        state.PauseTiming();
        loadedDelta = residentMegabytes() - before;
        ctx.value().reset();
        state.ResumeTiming();
    }
    state.counters["records_MB"] = loadedDelta;
    state.SetItemsProcessed(state.iterations() * options.items);
}
BENCHMARK(BM_OpenAndLoad)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
