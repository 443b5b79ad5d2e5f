// The two GPX readers on generated track logs of 10,000 to 1,000,000 points (the
// largest about 108 MB), side by side with gpsbabel reading the same files in the same
// run. Time per file, MB/s, and the peak memory of a process that reads the file once
// (counter peak_MB: this program started again for one read, or gpsbabel itself).
//
//   gpx_reader_bench [--benchmark_filter=...]      (tools/bench-gpx builds and runs it)
//
// Goal: at least 20 times gpsbabel's speed, time linear in the file size, peak memory
// under 100 MB for the largest file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "gps/track_log.h"
#include "gpx/gpx_reader.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

fs::path benchDir() {
    static const fs::path dir = fs::temp_directory_path() / ("quorel_gpx_bench_" + std::to_string(::getpid()));
    return dir;
}

// A track log as the program writes it: one point per second, each with its time.
const fs::path& generatedFile(int points) {
    static std::map<int, fs::path> files;
    auto it = files.find(points);
    if (it != files.end()) return it->second;
    fs::create_directories(benchDir());
    const fs::path file = benchDir() / ("track_" + std::to_string(points) + ".gpx");
    std::FILE* f = std::fopen(file.c_str(), "wb");
    std::string text;
    quorel::writeGpxHeader(text, "Current");
    for (int i = 0; i < points; ++i) {
        const int second = i % 86400;
        const std::int32_t time = (second / 3600) * 10000 + (second / 60 % 60) * 100 + second % 60;
        const std::int32_t date = 10100 + (i / 86400 % 28) * 10000;  // from 1 January 2000 on
        quorel::writeTrackPoint(text, 35.0 + (i % 100000) * 1e-5, 139.0 + (i % 70000) * 1e-5, 10.0 + i % 500, date,
                                time == 0 ? 1 : time);
        if (text.size() > (1u << 20)) {
            std::fwrite(text.data(), 1, text.size(), f);
            text.clear();
        }
    }
    quorel::writeGpxFooter(text);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return files.emplace(points, file).first->second;
}

std::string selfPath() {
    char buffer[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

struct ChildRun {
    bool ok = false;
    double seconds = 0;
    double peakMb = 0;
};

// Runs a program to its end; its wall time and peak resident memory.
ChildRun runChild(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    ChildRun run;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        if (::wait4(pid, &status, 0, &usage) == pid) {
            run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            run.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
        }
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

// One read in this process, for the peak memory of a fresh process (see main).
int readOnce(const std::string& reader, const std::string& file) {
    if (reader == "readGpxFile") {
        quorel::GpxPathList tracks;
        quorel::GpxPathList routes;
        quorel::GpxPath waypoints;
        quorel::GpxOverlays out{tracks, routes, waypoints};
        return quorel::readGpxFile(file, out) == 0 && tracks.count() == 1 ? 0 : 1;
    }
    quorel::GpxPath path;
    return quorel::loadTrackFile(file, path) == 0 && path.pointCount() > 0 ? 0 : 1;
}

void setCounters(benchmark::State& state, const fs::path& file, int points, double peakMb) {
    const auto bytes = static_cast<std::int64_t>(fs::file_size(file));
    state.SetBytesProcessed(state.iterations() * bytes);
    state.SetComplexityN(points);
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["peak_MB"] = peakMb;
}

void BM_ReadGpxFile(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const fs::path& file = generatedFile(n);
    for (auto _ : state) {
        quorel::GpxPathList tracks;
        quorel::GpxPathList routes;
        quorel::GpxPath waypoints;
        quorel::GpxOverlays out{tracks, routes, waypoints};
        quorel::readGpxFile(file, out);
        if (tracks.count() != 1 || tracks[0].pointCount() != n) state.SkipWithError("wrong point count");
    }
    setCounters(state, file, n, runChild({selfPath(), "--read-once", "readGpxFile", file.string()}).peakMb);
}

void BM_LoadTrackFile(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const fs::path& file = generatedFile(n);
    for (auto _ : state) {
        quorel::GpxPath path;
        quorel::loadTrackFile(file, path);
        if (path.pointCount() != n) state.SkipWithError("wrong point count");
    }
    setCounters(state, file, n, runChild({selfPath(), "--read-once", "loadTrackFile", file.string()}).peakMb);
}

// gpsbabel reads the file as GPX and writes nothing; timed from its start to its end.
void BM_Gpsbabel(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const fs::path& file = generatedFile(n);
    double peakMb = 0;
    for (auto _ : state) {
        const ChildRun run = runChild({"gpsbabel", "-t", "-i", "gpx", "-f", file.string()});
        if (!run.ok) {
            state.SkipWithError("gpsbabel failed: is the gpsbabel package installed?");
            break;
        }
        state.SetIterationTime(run.seconds);
        peakMb = std::max(peakMb, run.peakMb);
    }
    setCounters(state, file, n, peakMb);
}

constexpr std::int64_t kSizes[] = {10'000, 100'000, 1'000'000};

void sizes(benchmark::internal::Benchmark* b) {
    for (std::int64_t n : kSizes) b->Arg(n);
    b->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
}

BENCHMARK(BM_ReadGpxFile)->Apply(sizes);
BENCHMARK(BM_LoadTrackFile)->Apply(sizes);
BENCHMARK(BM_Gpsbabel)->Apply(sizes)->UseManualTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--read-once") == 0) return readOnce(argv[2], argv[3]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(benchDir(), ec);
    return 0;
}
