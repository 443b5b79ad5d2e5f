// Map rendering on an 800 x 480 screen with the demo generator's tiles (zooms 15 and 16
// around home, written once into a temporary directory by quorel-make-demo):
//
//   BM_FillMosaic          a full mosaic fill (8 x 5 cells) through the PNG tile loader,
//                          its tile cache emptied first: every tile decoded, with the
//                          argument's worker threads besides the caller (wall time)
//   BM_RefillFromCache     the same fill again, as after zooming in and back out: the
//                          tiles come from the cache; goal: at most 10% of BM_FillMosaic
//   BM_ZoomInAndOut        zoom 15 -> 16 -> 15 with an empty cache: the ratio counter is the
//                          time of the second refill over the first (both in first_ms and
//                          second_ms, per iteration)
//   BM_DecodeFillTiles     decodePngFile alone over exactly the files that fill decodes;
//                          goal: BM_FillMosaic <= 1.1 x this
//   BM_FillAgainstDecode   both interleaved in one loop; the ratio counter is fill / decode,
//                          the fill with the machine's decode threads; goal on 2 cores: 0.6
//   BM_ScrollOneColumn     the centre moves one tile east or west: one column reloaded
//   BM_WarmFrame           a Normal frame with a warm mosaic, nothing to draw but the
//                          controls; goal: under 1 ms
//   BM_WarmNightFrame      BM_WarmFrame in night colours; goal: within 10% of BM_WarmFrame
//   BM_SwitchNight         a frame that switches between day and night; goal: about one
//                          BM_RefillFromCache
//   BM_WarmFrameWithTrack  the same with a 100,000-point recorded track in view at a
//                          walk, a ride and a drive; goal: at most 3 ms each
//   BM_WarmFrameWithLongTrack  1,000,000 points in view at a walk; goal: at most 10 ms
//   BM_WarmFrameTrackElsewhere 1,000,000 points wholly outside the view; goal: within
//                          10% of BM_WarmFrame
//   BM_WarmFrameTurned     BM_WarmFrame on the same screen turned by the argument's
//                          degrees (0, 90, 180, 270), its view laid out afresh for the
//                          turned shape (the figures alone; the goal is judged below)
//   BM_TurnedAgainstPlain  a plain warm frame and a turned one (90, 180, 270) in turn in
//                          one loop; goal: the ratio counter (turned / plain) at most 1.1
//   BM_NightAgainstPlain   the same for a night frame; goal: ratio at most 1.1
//   BM_FirstFrameWithTrack the first frame after a track of 100,000 points was loaded,
//                          when every point is placed on the Mercator plane once
//
// The generator is found through the QUOREL_MAKE_DEMO environment variable, else the
// one built with the program.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "app/surfaces.h"
#include "map/frame.h"
#include "map/present.h"
#include "map/projection.h"
#include "map/tile_mosaic.h"
#include "platform/paths.h"
#include "platform/raster/raster.h"
#include "png/png_decoder.h"

namespace {

using namespace quorel;
namespace fs = std::filesystem;

constexpr int kWidth = 800;
constexpr int kHeight = 480;
constexpr int kZoom = 16;
constexpr int kTrackPoints = 100000;

// Every file the mosaic decoded successfully, in order.
struct RecordingLoader final : TileLoader {
    MapTileLoader map;
    std::vector<std::string> decoded;
    bool load(MapView& view, int zoom, std::int64_t col, std::int64_t row) override {
        const bool ok = map.load(view, zoom, col, row);
        const std::string dir = platform::nativePath(view.mapDir, view.storageRootPath);
        if (ok) decoded.push_back(treeTilePath(dir, zoom, col, row, ".png").string());
        return ok;
    }
};

std::string demoTool() {
    if (const char* env = std::getenv("QUOREL_MAKE_DEMO")) return env;
#ifdef QUOREL_MAKE_DEMO
    return QUOREL_MAKE_DEMO;
#else
    return {};
#endif
}

struct Screen {
    fs::path dir;
    platform::Bitmap window = platform::createBitmap(kWidth, kHeight);
    MapView view;
    GpsReceiver gps;
    DisplayIdle idle;
    MapTileLoader tiles;
    std::vector<std::string> fillFiles;
    std::string error;

    Screen() {
        dir = fs::temp_directory_path() / ("quorel_frame_bench_" + std::to_string(getpid()));
        const std::string tool = demoTool();
        if (tool.empty()) {
            error = "no demo generator: set QUOREL_MAKE_DEMO";
            return;
        }
        const std::string command =
            "'" + tool + "' '" + dir.string() + "' --zooms 15-16 --radius-km 3 --jobs 2 > /dev/null";
        if (std::system(command.c_str()) != 0) {
            error = "the demo generator failed: " + command;
            return;
        }
        view.screenWidth = kWidth;
        view.screenHeight = kHeight;
        view.uiScale = kWidth / 480.0;
        view.zoomLevel = kZoom;
        view.storageRootPath = (dir / "sdmmc").string() + "/";
        createSurfaces(view, window);
        gps.batteryPercent = 80;
        gps.satellites = 7;

        RecordingLoader recorder;
        fillMosaic(view, recorder);
        fillFiles = recorder.decoded;
        requestRedraw(view, sources());
    }
    ~Screen() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    FrameSources sources() { return FrameSources{gps, idle, tiles}; }

    // A recording at one point a second that wanders about the view at the given speed,
    // turning gently and keeping inside it.
    GpxPath wanderingTrack(double metresPerSecond, int points = kTrackPoints, int shiftX = 0) const {
        const GeoCoord a = worldToGeo(view, view.viewOriginX, view.viewOriginY);
        const GeoCoord b = worldToGeo(view, view.viewOriginX, view.viewOriginY + 1000);
        const double metresPerPixel = (a.lat - b.lat) / 1000.0 * 111319.49;
        const double step = metresPerSecond / metresPerPixel;
        std::mt19937 random(7);
        std::normal_distribution<double> turn(0.0, 0.15);
        GpxPath path;
        double x = kWidth / 2.0, y = kHeight / 2.0, heading = 0.3;
        for (int i = 0; i < points; ++i) {
            heading += turn(random);
            x += step * std::cos(heading);
            y += step * std::sin(heading);
            if (x < 10 || x > kWidth - 10) {  // bounce off the sides
                heading = 3.14159265359 - heading;
                x = std::fmin(std::fmax(x, 10.0), kWidth - 10.0);
            }
            if (y < 10 || y > kHeight - 10) {
                heading = -heading;
                y = std::fmin(std::fmax(y, 10.0), kHeight - 10.0);
            }
            const GeoCoord g = worldToGeo(view, view.viewOriginX + shiftX + static_cast<std::int64_t>(x),
                                          view.viewOriginY + static_cast<std::int64_t>(y));
            GeoPoint p;
            p.lat = g.lat;
            p.lon = g.lon;
            path.addPoint(p);
        }
        return path;
    }
};

Screen& screen() {
    static Screen instance;
    return instance;
}

bool ready(benchmark::State& state) {
    if (!screen().error.empty()) {
        state.SkipWithError(screen().error.c_str());
        return false;
    }
    return true;
}

void emptyCache(TileCache& cache) {
    cache.setBudget(0);
    cache.setBudget(kDefaultTileCacheBytes);
}

void BM_FillMosaic(benchmark::State& state) {
    if (!ready(state)) return;
    Screen& s = screen();
    s.tiles.setDecodeThreads(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        emptyCache(s.tiles.cache);
        state.ResumeTiming();
        fillMosaic(s.view, s.tiles);
        benchmark::DoNotOptimize(s.view.mosaicBitmap.bits.data());
    }
    state.counters["tiles"] = static_cast<double>(s.fillFiles.size());
    s.tiles.setDecodeThreads(decodeThreadsForMachine());
}

void BM_DecodeFillTiles(benchmark::State& state) {
    if (!ready(state)) return;
    Screen& s = screen();
    for (auto _ : state) {
        for (const std::string& file : s.fillFiles) {
            PngDecodeResult result = decodePngFile(file);
            benchmark::DoNotOptimize(result.bitmap);
        }
    }
    state.counters["tiles"] = static_cast<double>(s.fillFiles.size());
}

// The two above interleaved, so that other load on the machine hits both alike: fill
// time over decode time in the ratio counter.
void BM_FillAgainstDecode(benchmark::State& state) {
    if (!ready(state)) return;
    Screen& s = screen();
    using Clock = std::chrono::steady_clock;
    Clock::duration fill{}, decode{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        for (const std::string& file : s.fillFiles) {
            PngDecodeResult result = decodePngFile(file);
            benchmark::DoNotOptimize(result.bitmap);
        }
        emptyCache(s.tiles.cache);
        const auto t1 = Clock::now();
        fillMosaic(s.view, s.tiles);
        benchmark::DoNotOptimize(s.view.mosaicBitmap.bits.data());
        fill += Clock::now() - t1;
        decode += t1 - t0;
    }
    state.counters["ratio"] =
        std::chrono::duration<double>(fill).count() / std::chrono::duration<double>(decode).count();
}

void BM_RefillFromCache(benchmark::State& state) {
    if (!ready(state)) return;
    Screen& s = screen();
    fillMosaic(s.view, s.tiles);
    for (auto _ : state) {
        fillMosaic(s.view, s.tiles);
        benchmark::DoNotOptimize(s.view.mosaicBitmap.bits.data());
    }
}

void BM_ZoomInAndOut(benchmark::State& state) {
    if (!ready(state)) return;
    Screen& s = screen();
    using Clock = std::chrono::steady_clock;
    Clock::duration first{}, second{};
    for (auto _ : state) {
        emptyCache(s.tiles.cache);
        s.view.zoomLevel = kZoom - 1;
        const auto t0 = Clock::now();
        fillMosaic(s.view, s.tiles);
        const auto t1 = Clock::now();
        s.view.zoomLevel = kZoom;
        fillMosaic(s.view, s.tiles);
        s.view.zoomLevel = kZoom - 1;
        const auto t2 = Clock::now();
        fillMosaic(s.view, s.tiles);
        first += t1 - t0;
        second += Clock::now() - t2;
    }
    s.view.zoomLevel = kZoom;
    fillMosaic(s.view, s.tiles);
    state.counters["ratio"] =
        std::chrono::duration<double>(second).count() / std::chrono::duration<double>(first).count();
    state.counters["first_ms"] =
        std::chrono::duration<double>(first).count() * 1e3 / static_cast<double>(state.iterations());
    state.counters["second_ms"] =
        std::chrono::duration<double>(second).count() * 1e3 / static_cast<double>(state.iterations());
}

void BM_ScrollOneColumn(benchmark::State& state) {
    if (!ready(state)) return;
    Screen& s = screen();
    const WorldPosition home = projectToWorld(s.view, s.view.centerLat, s.view.centerLon);
    const GeoCoord east = worldToGeo(s.view, home.wx + 256, home.wy);
    const GeoCoord west = worldToGeo(s.view, home.wx, home.wy);
    bool atHome = true;
    for (auto _ : state) {
        const GeoCoord& to = atHome ? east : west;
        s.view.centerLat = to.lat;
        s.view.centerLon = to.lon;
        scrollMosaic(s.view, s.tiles);
        atHome = !atHome;
    }
    s.view.centerLat = west.lat;
    s.view.centerLon = west.lon;
    scrollMosaic(s.view, s.tiles);
}

void BM_WarmFrame(benchmark::State& state) {
    if (!ready(state)) return;
    Screen& s = screen();
    s.gps.track = GpxPath{};
    requestRedraw(s.view, s.sources());
    for (auto _ : state) requestRedraw(s.view, s.sources());
}

void BM_WarmNightFrame(benchmark::State& state) {
    if (!ready(state)) return;
    Screen& s = screen();
    s.gps.track = GpxPath{};
    s.view.night = true;
    requestRedraw(s.view, s.sources());
    for (auto _ : state) requestRedraw(s.view, s.sources());
    s.view.night = false;
    requestRedraw(s.view, s.sources());
}

void BM_SwitchNight(benchmark::State& state) {
    if (!ready(state)) return;
    Screen& s = screen();
    s.gps.track = GpxPath{};
    for (auto _ : state) {
        s.view.night = !s.view.night;
        requestRedraw(s.view, s.sources());
    }
    s.view.night = false;
    requestRedraw(s.view, s.sources());
}

// Warm frames with the track as the recorded one, which goes again at the end; the
// caller has checked that the screen is ready.
void warmFramesWith(benchmark::State& state, GpxPath track) {
    Screen& s = screen();
    s.gps.track = std::move(track);
    requestRedraw(s.view, s.sources());
    for (auto _ : state) requestRedraw(s.view, s.sources());
    state.counters["points"] = s.gps.track.pointCount();
    s.gps.track = GpxPath{};
}

// The argument is the speed of the recording in decimetres per second: a walk, a ride,
// a drive in town. The cost grows with the track's length in pixels.
void BM_WarmFrameWithTrack(benchmark::State& state) {
    if (!ready(state)) return;
    warmFramesWith(state, screen().wanderingTrack(static_cast<double>(state.range(0)) / 10.0));
}

void BM_WarmFrameWithLongTrack(benchmark::State& state) {
    if (!ready(state)) return;
    warmFramesWith(state, screen().wanderingTrack(1.4, 1'000'000));
}

// The same wandering a screen and a half east of the view.
void BM_WarmFrameTrackElsewhere(benchmark::State& state) {
    if (!ready(state)) return;
    warmFramesWith(state, screen().wanderingTrack(1.4, 1'000'000, kWidth * 3 / 2));
}

// A view of its own on the screen's tiles, drawn into a window of its own: the screen
// turned `rotation` degrees (its view laid out afresh for the turned shape), or in night
// colours. Neither is movable: the view points at the window.
struct OtherView {
    platform::Bitmap window;
    MapView view;

    OtherView(const Screen& s, int rotation, bool night) {
        const bool sideways = turnsSideways(rotation);
        window = platform::createBitmap(kWidth, kHeight);
        view.rotation = rotation;
        view.night = night;
        view.screenWidth = sideways ? kHeight : kWidth;
        view.screenHeight = sideways ? kWidth : kHeight;
        view.uiScale = view.screenWidth / 480.0;
        view.zoomLevel = kZoom;
        view.storageRootPath = s.view.storageRootPath;
        createSurfaces(view, window);
    }
    OtherView(const OtherView&) = delete;
    OtherView& operator=(const OtherView&) = delete;
    ~OtherView() { destroySurfaces(view); }
};

void BM_WarmFrameTurned(benchmark::State& state) {
    if (!ready(state)) return;
    Screen& s = screen();
    OtherView turned(s, static_cast<int>(state.range(0)), false);
    s.gps.track = GpxPath{};
    requestRedraw(turned.view, s.sources());
    for (auto _ : state) requestRedraw(turned.view, s.sources());
    benchmark::DoNotOptimize(turned.window.bits.data());
}

// A plain warm frame and one of `other` in turn, each timed, so that a noisy neighbour on
// the machine weighs on both alike: the ratio counter is other / plain.
void againstPlainFrame(benchmark::State& state, OtherView& other) {
    using Clock = std::chrono::steady_clock;
    Screen& s = screen();
    s.gps.track = GpxPath{};
    requestRedraw(s.view, s.sources());
    requestRedraw(other.view, s.sources());
    Clock::duration plain{}, theirs{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        requestRedraw(s.view, s.sources());
        const auto t1 = Clock::now();
        requestRedraw(other.view, s.sources());
        theirs += Clock::now() - t1;
        plain += t1 - t0;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["plain_us"] = std::chrono::duration<double, std::micro>(plain).count() / n;
    state.counters["other_us"] = std::chrono::duration<double, std::micro>(theirs).count() / n;
    state.counters["ratio"] = std::chrono::duration<double>(theirs) / std::chrono::duration<double>(plain);
}

void BM_TurnedAgainstPlain(benchmark::State& state) {
    if (!ready(state)) return;
    OtherView turned(screen(), static_cast<int>(state.range(0)), false);
    againstPlainFrame(state, turned);
}

void BM_NightAgainstPlain(benchmark::State& state) {
    if (!ready(state)) return;
    OtherView night(screen(), 0, true);
    againstPlainFrame(state, night);
}

void BM_FirstFrameWithTrack(benchmark::State& state) {
    if (!ready(state)) return;
    Screen& s = screen();
    const GpxPath track = s.wanderingTrack(5.0);
    for (auto _ : state) {
        state.PauseTiming();
        s.gps.track = track;
        s.gps.track.points.at(0);  // as a change would: the placed points go
        state.ResumeTiming();
        requestRedraw(s.view, s.sources());
    }
    s.gps.track = GpxPath{};
}

}  // namespace

BENCHMARK(BM_FillMosaic)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeFillTiles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillAgainstDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefillFromCache)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZoomInAndOut)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollOneColumn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WarmFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WarmNightFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SwitchNight)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WarmFrameWithTrack)->Arg(14)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WarmFrameWithLongTrack)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WarmFrameTrackElsewhere)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WarmFrameTurned)->Arg(0)->Arg(90)->Arg(180)->Arg(270)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TurnedAgainstPlain)->Arg(0)->Arg(90)->Arg(180)->Arg(270)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NightAgainstPlain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FirstFrameWithTrack)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
