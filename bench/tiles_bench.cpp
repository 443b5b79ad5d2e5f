// Map files against the tile tree, with the demo generator's tiles (zooms 15 and 16
// around home, written once into a temporary directory by quorel-make-demo):
//
//   BM_FillFromTreeAgainstMapFile  a full mosaic fill of an 800 x 480 screen (8 x 5 cells)
//                                  from the tree, then from the same tiles packed into an
//                                  MBTiles file with no tree beside it, interleaved in one
//                                  loop; the ratio counter is file / tree (goal: <= 1.1)
//   BM_Pack10000Tiles              quorel-tiles pack of a tree of 10,000 tiles (the demo's
//                                  tiles copied under other numbers)
//
// The generator is found through the QUOREL_MAKE_DEMO environment variable, else the
// one built with the program.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/surfaces.h"
#include "map/tile_mosaic.h"
#include "platform/raster/raster.h"
#include "tools/tile_pack.h"

namespace {

using namespace quorel;
namespace fs = std::filesystem;

struct Card {
    platform::Bitmap window = platform::createBitmap(800, 480);
    MapView view;
    MapTileLoader tiles;
    explicit Card(const fs::path& root) {
        view.screenWidth = 800;
        view.screenHeight = 480;
        view.uiScale = 800 / 480.0;
        view.zoomLevel = 16;
        view.storageRootPath = root.string() + "/";
        createSurfaces(view, window);
    }
};

struct Setup {
    fs::path dir = fs::temp_directory_path() / ("quorel_tiles_bench_" + std::to_string(getpid()));
    std::string error;
    Setup() {
        const char* env = std::getenv("QUOREL_MAKE_DEMO");
        const std::string tool = env != nullptr ? env : QUOREL_MAKE_DEMO;
        const std::string command =
            "'" + tool + "' '" + dir.string() + "' --zooms 15-16 --radius-km 3 --jobs 2 > /dev/null";
        if (std::system(command.c_str()) != 0) {
            error = "the demo generator failed: " + command;
            return;
        }
        PackResult packed;
        fs::create_directories(dir / "file/Maps");
        if (!packTree(dir / "sdmmc/Maps/std", dir / "file/Maps/std.mbtiles", packed, nullptr, error)) return;
        // 10,000 tiles for packing: the demo's tiles again and again under new numbers.
        const TreeListing listing = listTree(dir / "sdmmc/Maps/std");
        for (int i = 0; i < 10000 && !listing.tiles.empty(); ++i) {
            const fs::path to = treeTilePath(dir / "many", 16, i / 100, i % 100, ".png");
            fs::create_directories(to.parent_path());
            fs::copy_file(listing.tiles[std::size_t(i) % listing.tiles.size()].file, to);
        }
    }
    ~Setup() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

Setup& setup() {
    static Setup instance;
    return instance;
}

void BM_FillFromTreeAgainstMapFile(benchmark::State& state) {
    Setup& s = setup();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    Card tree(s.dir / "sdmmc"), file(s.dir / "file");
    using Clock = std::chrono::steady_clock;
    Clock::duration fromTree{}, fromFile{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        fillMosaic(tree.view, tree.tiles);
        const auto t1 = Clock::now();
        fillMosaic(file.view, file.tiles);
        fromFile += Clock::now() - t1;
        fromTree += t1 - t0;
        benchmark::DoNotOptimize(file.view.mosaicBitmap.bits.data());
    }
    if (tree.view.mosaicBitmap.bits != file.view.mosaicBitmap.bits) state.SkipWithError("the mosaics differ");
    state.counters["tree_ms"] =
        std::chrono::duration<double, std::milli>(fromTree).count() / double(state.iterations());
    state.counters["file_ms"] =
        std::chrono::duration<double, std::milli>(fromFile).count() / double(state.iterations());
    state.counters["ratio"] =
        std::chrono::duration<double>(fromFile).count() / std::chrono::duration<double>(fromTree).count();
}
BENCHMARK(BM_FillFromTreeAgainstMapFile)->Unit(benchmark::kMillisecond);

void BM_Pack10000Tiles(benchmark::State& state) {
    Setup& s = setup();
    if (!s.error.empty()) return state.SkipWithError(s.error.c_str());
    for (auto _ : state) {
        fs::remove(s.dir / "many.mbtiles");
        PackResult packed;
        std::string error;
        if (!packTree(s.dir / "many", s.dir / "many.mbtiles", packed, nullptr, error)) {
            return state.SkipWithError(error.c_str());
        }
        state.counters["tiles"] = double(packed.tiles);
    }
}
BENCHMARK(BM_Pack10000Tiles)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
