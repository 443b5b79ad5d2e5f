// What recording one point costs the tick: writeTrackPointToLog writes the point and the
// closing lines in one write, and syncs the file (fdatasync) when 10 s of recording
// have passed since the last sync.
//   BM_RecordPoint/ms_per_point:0       no point syncs (the clock stands still)
//   BM_RecordPoint/ms_per_point:1000    a receiver at one fix a second: every tenth syncs
//   BM_RecordPoint/ms_per_point:10000   every point syncs
// The log is written in the folder named by QUOREL_BENCH_DIR (a mounted card, say), or
// in the temporary folder.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "gps/gps_receiver.h"
#include "gps/track_log.h"

namespace {

namespace fs = std::filesystem;

struct StepClock final : quorel::platform::Clock {
    std::int64_t now = 0;
    std::int64_t nowMs() override { return now; }
    void sleepMs(int ms) override { now += ms; }
};

fs::path root() {
    const char* dir = std::getenv("QUOREL_BENCH_DIR");
    return fs::path(dir != nullptr ? dir : fs::temp_directory_path().string()) /
           ("quorel_log_bench_" + std::to_string(::getpid()));
}

// state.range(0): milliseconds the clock advances per point.
void BM_RecordPoint(benchmark::State& state) {
    const std::int64_t stepMs = state.range(0);
    const fs::path dir = root();
    fs::create_directories(dir);
    StepClock clock;
    quorel::GpsReceiver gps;
    gps.storageRootPath = dir.string() + "/";
    const auto start = [&] {
        quorel::loadPreviousTrack(gps);
        quorel::openTrackLog(gps, clock);
    };
    start();
    if (!gps.trackFile.isOpen()) {
        state.SkipWithError("cannot create the track log");
        return;
    }
    std::int64_t i = 0;
    std::int64_t syncs = 0;
    for (auto _ : state) {
        clock.now += stepMs;
        const auto s = static_cast<std::int32_t>(i % 86400);
        quorel::writeTrackPointToLog(gps, 35.0 + static_cast<double>(i % 100000) * 1e-5, 139.0, 12.5, 180708,
                                     (s / 3600) * 10000 + (s / 60 % 60) * 100 + s % 60 + 1);
        if (++i % 50'000 == 0) {  // keep the file small: a new run every 50,000 points
            state.PauseTiming();
            syncs += gps.trackFile.syncCount;
            quorel::closeTrackLog(gps);
            fs::remove_all(dir / "GPX");
            start();
            state.ResumeTiming();
        }
    }
    syncs += gps.trackFile.syncCount;
    quorel::closeTrackLog(gps);
    fs::remove_all(dir);
    state.SetItemsProcessed(state.iterations());
    state.counters["syncs_per_point"] = static_cast<double>(syncs) / static_cast<double>(state.iterations());
}

BENCHMARK(BM_RecordPoint)->ArgName("ms_per_point")->Arg(0)->Arg(1000)->Arg(10'000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
