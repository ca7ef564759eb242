// Search latency over the 100,000-item library, as the main window runs it:
// the item list query's smart-folder, folder and search stages, and the
// smart-folder counts.

#include "LibraryGenerator.h"

#include "app/AppState.h"
#include "app/ItemListQuery.h"
#include "model/SmartFolder.h"
#include "model/Tag.h"
#include "platform/Settings.h"
#include "services/search/SearchService.h"
#include "store/ModelContext.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;

namespace {

struct Library {
    QTemporaryDir dir;
    std::unique_ptr<ModelContext> context;
    AppState state;
    std::unique_ptr<ItemListQuery> query;

    Library()
    {
        Settings::useFile(dir.filePath(u"settings.ini"_s));
        context = LibraryGenerator::create(dir.filePath(u"default.store"_s));
        query = std::make_unique<ItemListQuery>(context.get(), &state);
        query->items(); // the window's first computation
    }
};

Library& library()
{
    static Library s_library;
    return s_library;
}

// One keystroke: the query text changes and the list is recomputed.
void runQuery(benchmark::State& state, const QString& text, std::optional<ItemType> type = std::nullopt,
              bool withTag = false)
{
    Library& lib = library();
    lib.state.setContentTypeFilter(type);
    QSet<Tag*> tags;
    if (withTag)
        tags.insert(lib.context->tags().first());
    lib.state.setFilterTags(tags);
    size_t shown = 0;
    for (auto _ : state) {
        // Alternate with an empty query so every iteration really recomputes.
        state.PauseTiming();
        lib.state.setSearchQuery(QString());
        lib.query->items();
        state.ResumeTiming();
        lib.state.setSearchQuery(text);
        shown = size_t(lib.query->items().size());
    }
    state.counters["shown"] = double(shown);
    lib.state.setContentTypeFilter(std::nullopt);
    lib.state.setFilterTags({});
}

void BM_SearchCommonWord(benchmark::State& state)
{
    runQuery(state, LibraryGenerator::word(0));
}
void BM_SearchTwoWords(benchmark::State& state)
{
    runQuery(state, LibraryGenerator::word(3) + u' ' + LibraryGenerator::word(1));
}
void BM_SearchRareWord(benchmark::State& state)
{
    runQuery(state, LibraryGenerator::word(2000));
}
void BM_SearchOneCharWithTypeAndTag(benchmark::State& state)
{
    runQuery(state, u"k"_s, ItemType::webLink, true);
}

void BM_SmartFolderCounts(benchmark::State& state)
{
    Library& lib = library();
    const QList<Item*>& items = lib.context->items();
    for (auto _ : state)
        benchmark::DoNotOptimize(SmartFolders::counts(items, SmartFolders::recentCutoff()));
}

} // namespace

BENCHMARK(BM_SearchCommonWord)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SearchTwoWords)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SearchRareWord)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SearchOneCharWithTypeAndTag)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SmartFolderCounts)->Unit(benchmark::kMillisecond)->MinTime(1.0);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
