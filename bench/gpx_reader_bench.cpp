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

#include "gps/gpx_writer.h"
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
        quorel::writeTrackPointText(text, 35.0 + (i % 100000) * 1e-5, 139.0 + (i % 70000) * 1e-5, 10.0 + i % 500, date,
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
    double seconds = 0;     // wall time
    double cpuSeconds = 0;  // user and system time
    double peakMb = 0;
};

// --measure PROGRAM ARGS...: runs the program in a child and prints its peak resident
// memory (kB) and processor time (s). Run in a fresh, small process: Linux charges the
// memory high-water mark of the process that execs to the program it becomes, so a
// child started straight from this large benchmark would seem as large as it is.
int measure(char** argv) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) ::dup2(null, 1);
        ::execvp(argv[0], argv);
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid) return 1;
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    std::printf("%ld %.6f\n", usage.ru_maxrss, seconds(usage.ru_utime) + seconds(usage.ru_stime));
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// Runs a program to its end through --measure: wall time, processor time, peak memory.
ChildRun runChild(const std::vector<std::string>& args) {
    std::vector<std::string> all = {selfPath(), "--measure"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (const std::string& a : all) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int out[2];
    ChildRun run;
    if (::pipe(out) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const bool spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    char line[128] = {};
    std::size_t used = 0;
    for (ssize_t n = 0; used < sizeof line - 1 && (n = ::read(out[0], line + used, sizeof line - 1 - used)) > 0;) {
        used += static_cast<std::size_t>(n);
    }
    ::close(out[0]);
    int status = 0;
    if (spawned && ::waitpid(pid, &status, 0) == pid) {
        run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        long peakKb = 0;
        run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                 std::sscanf(line, "%ld %lf", &peakKb, &run.cpuSeconds) == 2;
        run.peakMb = static_cast<double>(peakKb) / 1024.0;
    }
    return run;
}

// Processor time of this process, in seconds.
double cpuNow() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
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

// cpu_s: processor seconds per read (for gpsbabel, its own; the CPU column would show
// only this program's waiting).
void setCounters(benchmark::State& state, const fs::path& file, int points, double peakMb, double cpuSeconds) {
    const auto bytes = static_cast<std::int64_t>(fs::file_size(file));
    state.SetBytesProcessed(state.iterations() * bytes);
    state.SetComplexityN(points);
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["peak_MB"] = peakMb;
    state.counters["cpu_s"] = benchmark::Counter(cpuSeconds, benchmark::Counter::kAvgIterations);
}

void BM_ReadGpxFile(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const fs::path& file = generatedFile(n);
    const double cpuStart = cpuNow();
    for (auto _ : state) {
        quorel::GpxPathList tracks;
        quorel::GpxPathList routes;
        quorel::GpxPath waypoints;
        quorel::GpxOverlays out{tracks, routes, waypoints};
        quorel::readGpxFile(file, out);
        if (tracks.count() != 1 || tracks[0].pointCount() != n) state.SkipWithError("wrong point count");
    }
    const double cpu = cpuNow() - cpuStart;
    setCounters(state, file, n, runChild({selfPath(), "--read-once", "readGpxFile", file.string()}).peakMb, cpu);
}

void BM_LoadTrackFile(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const fs::path& file = generatedFile(n);
    const double cpuStart = cpuNow();
    for (auto _ : state) {
        quorel::GpxPath path;
        quorel::loadTrackFile(file, path);
        if (path.pointCount() != n) state.SkipWithError("wrong point count");
    }
    const double cpu = cpuNow() - cpuStart;
    setCounters(state, file, n, runChild({selfPath(), "--read-once", "loadTrackFile", file.string()}).peakMb, cpu);
}

// gpsbabel reads the file as GPX and writes nothing; timed from its start to its end.
void BM_Gpsbabel(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const fs::path& file = generatedFile(n);
    double peakMb = 0;
    double cpuSeconds = 0;
    for (auto _ : state) {
        const ChildRun run = runChild({"gpsbabel", "-t", "-i", "gpx", "-f", file.string()});
        if (!run.ok) {
            state.SkipWithError("gpsbabel failed: is the gpsbabel package installed?");
            break;
        }
        state.SetIterationTime(run.seconds);
        peakMb = std::max(peakMb, run.peakMb);
        cpuSeconds += run.cpuSeconds;
    }
    setCounters(state, file, n, peakMb, cpuSeconds);
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
    if (argc > 2 && std::strcmp(argv[1], "--measure") == 0) return measure(argv + 2);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(benchDir(), ec);
    return 0;
}
