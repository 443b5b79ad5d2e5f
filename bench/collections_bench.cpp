// Appending to a path must stay linear: the time per point is flat from ten thousand
// to a million points (a long track log or a big GPX file at start-up).
#include <benchmark/benchmark.h>

#include "gpx/collections.h"

namespace {

void BM_AppendPoints(benchmark::State& state) {
    const auto n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        quorel::GpxPath path;
        for (int i = 0; i < n; ++i) path.addPoint(quorel::GeoPoint{35.0 + i * 1e-6, 139.0, 12.5, 0, 0});
        benchmark::DoNotOptimize(path.points.items().data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_AppendPoints)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond);

void BM_CopyPathIntoList(benchmark::State& state) {
    quorel::GpxPath path;
    for (int i = 0; i < state.range(0); ++i) path.addPoint(quorel::GeoPoint{35.0, 139.0, 0.0, 0, 0});
    for (auto _ : state) {
        quorel::GpxPathList list;
        list.append(path);
        benchmark::DoNotOptimize(list.at(0).points.items().data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CopyPathIntoList)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
