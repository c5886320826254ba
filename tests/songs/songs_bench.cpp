// How long composing and encoding the whole playlist takes (with the seeds
// passed over for near twins), and one song of each format.

#include "composer.h"

#include <benchmark/benchmark.h>

namespace {

void ComposeAll(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<composer::Composition> songs;
        std::string err;
        if (!composer::ComposePlaylist(&songs, &err)) state.SkipWithError(err.c_str());
        std::size_t bytes = 0;
        for (const auto& c : songs)
            bytes += modwriter::Encode(c.song, c.format, &err)->size();
        benchmark::DoNotOptimize(bytes);
        state.counters["bytes"] = static_cast<double>(bytes);
    }
}
BENCHMARK(ComposeAll)->Unit(benchmark::kMillisecond);

void ComposeOne(benchmark::State& state) {
    const SongEntry& row = SongTable.entries[state.range(0)];
    for (auto _ : state) {
        composer::Composition c;
        std::string err;
        composer::Compose(row, &c, &err);
        benchmark::DoNotOptimize(c.song.patterns.data());
    }
    state.SetLabel(row.path + 8);
}
BENCHMARK(ComposeOne)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
