// Frames along one walk of zooms and taps over a tile tree (a tile replaced and holes filled on
// the way), tiles
// loaded one at a time or made ready at once, with and without cache, on 0, 1 and 4 threads;
// and a job of the worker pool that throws.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "map/worker_pool.h"
#include "png/png_writer.h"
#include "tests/support/scratch.h"
#include "tests/unit/map/map_fixture.h"

namespace quorel {
namespace {

void writeTile(const std::filesystem::path& file, std::int64_t c, std::int64_t r, int shade, int second) {
    platform::Bitmap tile = platform::createBitmap(256, 256);
    platform::fillRect(tile, {0, 0, 256, 256}, platform::rgb(int(c % 256), int(r % 256), shade));
    platform::fillRect(tile, {int(c % 200), 0, int(c % 200) + 40, 256}, platform::rgb(250, 250, int(r % 256)));
    EXPECT_TRUE(writePngFile(tile, file));
    std::filesystem::last_write_time(file, std::filesystem::file_time_type(std::chrono::seconds(second)));
}

// Zoom 14 around (col, row) with holes, zoom 13 under part of it, and damaged tiles.
std::filesystem::path writeTree(std::int64_t col, std::int64_t row) {
    const auto root = test::scratchFolder("tile_threads");
    for (const int zoom : {13, 14}) {
        const std::int64_t c0 = zoom == 14 ? col : col / 2, r0 = zoom == 14 ? row : row / 2;
        for (std::int64_t c = c0 - 6; c <= c0 + 6; ++c) {
            for (std::int64_t r = r0 - 4; r <= r0 + 4; ++r) {
                if ((c * 7 + r * 3) % 5 == 0 || (zoom == 13 && c > c0)) continue;  // holes
                const std::filesystem::path file = treeTilePath(root / "Maps" / "std", zoom, c, r, ".png");
                std::filesystem::create_directories(file.parent_path());
                if ((c + r) % 11 == 0) std::ofstream(file) << "damaged";
                if ((c + r) % 11 != 0) writeTile(file, c, r, zoom * 10, 1000);
            }
        }
    }
    return root;
}

// The loader one tile at a time, as the mosaic asks: nothing is made ready beforehand.
struct OneAtATime : TileLoader {
    explicit OneAtATime(MapTileLoader& l) : loader(l) {}
    bool load(MapView& v, int zoom, std::int64_t col, std::int64_t row) override {
        return loader.load(v, zoom, col, row);
    }
    MapTileLoader& loader;
};

// The holes of zoom 14 next to the home tile.
std::vector<std::filesystem::path> holesNearHome(const std::filesystem::path& root, const WorldPosition& home) {
    std::vector<std::filesystem::path> holes;
    for (std::int64_t c = home.col - 2; c <= home.col + 2; ++c) {
        for (std::int64_t r = home.row - 1; r <= home.row + 1; ++r) {
            if ((c * 7 + r * 3) % 5 == 0) holes.push_back(treeTilePath(root / "Maps" / "std", 14, c, r, ".png"));
        }
    }
    return holes;
}

struct Walk {
    std::vector<std::vector<std::uint8_t>> frames;
    std::string messages;  // about bad tiles, in their order
};

Walk walk(const std::filesystem::path& root, std::size_t cacheBytes, int threads, bool prepared = true) {
    test::MapScreen s(480, 272);
    s.view.storageRootPath = root.string() + "/";
    MapTileLoader loader;
    loader.cache.setBudget(cacheBytes);
    loader.setDecodeThreads(threads);
    OneAtATime oneAtATime(loader);
    const FrameSources sources{s.gps, s.idle, prepared ? static_cast<TileLoader&>(loader) : oneAtATime};
    Walk run;
    testing::internal::CaptureStderr();
    const double homeLat = s.view.centerLat, homeLon = s.view.centerLon;
    const WorldPosition home = projectToWorld(s.view, homeLat, homeLon);
    const std::filesystem::path homeTile = treeTilePath(root / "Maps" / "std", 14, home.col, home.row, ".png");
    writeTile(homeTile, home.col, home.row, 140, 1000);
    const std::vector<std::filesystem::path> holes = holesNearHome(root, home);
    for (const auto& hole : holes) std::filesystem::remove(hole);
    int step = 0;
    // Zoom 15 shows enlarged squares of zoom 14 and 13, the replaced home tile's among them.
    for (const auto& [zoom, tapX, tapY] : {std::tuple{14, 240, 136},
                                           {15, 240, 136},
                                           {13, 470, 10},
                                           {14, 5, 260},
                                           {14, 400, 200},
                                           {13, 240, 136},
                                           {15, 240, 136},
                                           {14, 100, 30},
                                           {13, 10, 10}}) {
        if (++step == 7) {  // the card's tile replaced, tiles copied into the holes
            writeTile(homeTile, home.col, home.row, 99, 2000);
            for (const auto& hole : holes) writeTile(hole, home.col, home.row, 33, 2000);
        }
        s.view.zoomLevel = zoom;
        composeFrame(s.view, sources, RedrawKind::Normal);
        run.frames.push_back(s.view.frameBitmap.bits);
        s.centreOn(tapX, tapY);
        composeFrame(s.view, sources, RedrawKind::Recentred);
        run.frames.push_back(s.view.frameBitmap.bits);
        if (tapX == 240) std::tie(s.view.centerLat, s.view.centerLon) = std::tuple{homeLat, homeLon};
    }
    std::istringstream err(testing::internal::GetCapturedStderr());
    for (std::string line; std::getline(err, line);) {  // libpng's own words come as it decodes, and may cut in
        for (const std::string_view ours : {std::string_view("quorel: "), kNotPngMessage}) {
            if (const auto at = line.find(ours); at != std::string::npos) run.messages += line.substr(at) + "\n";
        }
    }
    return run;
}

TEST(TileThreads, FramesAndMessagesAreTheSameWithAndWithoutCacheAndThreads) {
    test::MapScreen probe(480, 272);
    const WorldPosition home = projectToWorld(probe.view, probe.view.centerLat, probe.view.centerLon);
    const std::filesystem::path root = writeTree(home.col, home.row);
    ASSERT_FALSE(holesNearHome(root, home).empty());
    const Walk plain = walk(root, 0, 0, false);
    EXPECT_NE(plain.messages.find("quorel: tile"), std::string::npos);
    for (const auto& [cacheBytes, threads] : {std::pair<std::size_t, int>{0, 0},
                                              {0, 4},
                                              {kDefaultTileCacheBytes, 1},
                                              {kDefaultTileCacheBytes, 4},
                                              {300'000, 4}}) {
        const Walk other = walk(root, cacheBytes, threads);
        EXPECT_EQ(other.messages, plain.messages) << cacheBytes << " bytes, threads " << threads;
        ASSERT_EQ(other.frames.size(), plain.frames.size());
        for (std::size_t i = 0; i < plain.frames.size(); ++i) {
            EXPECT_EQ(other.frames[i], plain.frames[i])
                << "frame " << i << ", " << cacheBytes << " bytes, threads " << threads;
        }
    }
    std::filesystem::remove_all(root);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // the sanitizers reserve far more address space than any limit
#else
constexpr bool kSanitized = false;
#endif

// A view of valid tiles of 15 MiB (a 256-pixel tile and an ancillary chunk) is drawn in
// a process that may not grow by 300 MB: the tiles in flight take a few tens of MB.
TEST(TileThreads, AViewOfHugeTilesDrawsInLittleMemory) {
    if (kSanitized) GTEST_SKIP() << "a sanitizer build cannot run under an address-space limit";
    test::MapScreen s(800, 480);
    const WorldPosition home = projectToWorld(s.view, s.view.centerLat, s.view.centerLon);
    const auto root = test::scratchFolder("huge_tiles");
    const std::vector<std::uint8_t> png = encodePng(platform::createBitmap(256, 256));
    std::string chunk = "quRp" + std::string(15 << 20, 'x');
    const auto crc =
        static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(chunk.data()), uInt(chunk.size())));
    chunk = std::string{0, char(15 << 4), 0, 0} + chunk +
            std::string{char(crc >> 24), char(crc >> 16), char(crc >> 8), char(crc)};
    const std::filesystem::path first = root / "one.png";
    std::ofstream(first, std::ios::binary)
        << std::string(png.begin(), png.begin() + 33) << chunk << std::string(png.begin() + 33, png.end());
    for (std::int64_t c = home.col - 5; c <= home.col + 5; ++c) {  // links: the tree takes 15 MiB of disk
        for (std::int64_t r = home.row - 4; r <= home.row + 4; ++r) {
            const std::filesystem::path file = treeTilePath(root / "Maps" / "std", 14, c, r, ".png");
            std::filesystem::create_directories(file.parent_path());
            std::filesystem::create_hard_link(first, file);
        }
    }
    s.view.storageRootPath = root.string() + "/";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlimit limit{rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t{300} << 20), RLIM_INFINITY};
        setrlimit(RLIMIT_AS, &limit);
        MapTileLoader loader;
        loader.setDecodeThreads(3);
        composeFrame(s.view, FrameSources{s.gps, s.idle, loader}, RedrawKind::Normal);
        const bool drawn = platform::pixelAt(s.view.frameBitmap, 300, 150) == 0;
        _exit(!drawn ? 2 : !loader.reports.reported.empty() ? 3 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
    std::filesystem::remove_all(root);
}

// Items 0 and 1 throw, one on the caller and one on the pool's thread (each waits until
// the other has started); the job still runs to its end, and the next one is clean.
TEST(WorkerPool, AThrowReachesTheCallerOnceEveryItemHasRun) {
    WorkerPool pool(1);
    std::atomic<int> started = 0, finished = 0;
    EXPECT_THROW(pool.run(5,
                          [&](std::size_t i) {
                              ++started;
                              while (i < 2 && started < 2) std::this_thread::yield();
                              ++finished;
                              if (i < 2) throw std::out_of_range("item");
                          }),
                 std::out_of_range);
    EXPECT_EQ(finished, 5);
    pool.run(3, [&](std::size_t) { ++finished; });
    EXPECT_EQ(finished, 8);
}

}  // namespace
}  // namespace quorel
