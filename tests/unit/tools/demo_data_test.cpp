// The demo data, made by the real command: one small tree per test run (zooms 14 to 17
// within 500 m of home), read back with libpng's own reader and checked with xmllint.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <numbers>
#include <set>
#include <sstream>
#include <tuple>

#include "map/projection.h"
#include "platform/format.h"
#include "platform/numeric.h"
#include "platform/scan.h"
#include "tools/demo_tiles.h"
#include "tools/demo_world.h"

namespace quorel::demo {
namespace {

namespace fs = std::filesystem;

constexpr int kZoomMin = 14, kZoomMax = 17;
constexpr double kRadius = 500.0;

// The exit status of the command with these arguments, or -1 when it did not exit normally.
int makeDemo(const std::string& args) {
    const int status = std::system((std::string(QUOREL_MAKE_DEMO) + " " + args + " > /dev/null 2>&1").c_str());
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

fs::path scratch(const std::string& name) {
    return fs::temp_directory_path() / ("quorel-demo-" + name + "-" + std::to_string(::getpid()));
}

struct Tree {
    fs::path root = scratch("tree"), maps = root / "sdmmc" / "Maps" / "std";
    int status = -1;
    Tree() {
        fs::remove_all(root);
        status = makeDemo(platform::format("'%s' --zooms %d-%d --radius-km %g", root.c_str(), kZoomMin, kZoomMax,
                                           kRadius / 1000.0));
    }
    ~Tree() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

const Tree& tree() {
    static const Tree made;
    return made;
}

class DemoTree : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(tree().status, 0) << "quorel-make-demo failed"; }
};

std::string readBytes(const fs::path& file) {
    std::ostringstream s;
    s << std::ifstream(file, std::ios::binary).rdbuf();
    return s.str();
}

// Every regular file below dir, by its path relative to dir, with its bytes.
std::map<std::string, std::string> filesUnder(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        if (e.is_regular_file()) files[fs::relative(e.path(), dir).string()] = readBytes(e.path());
    }
    return files;
}

// ---- Tiles ----

TileId tileOf(Vec2 local, int zoom) {
    const LatLon g = localToGeo(local);
    const WorldPixel w = projectToWorldAtZoom(g.lat, g.lon, zoom);
    return {zoom, w.x / 256, w.y / 256};
}

std::string pathOf(const TileId& t) {  // below the map folder
    return std::to_string(t.zoom) + "/" + std::to_string(t.col) + "/" + std::to_string(t.row) + ".png";
}

bool hasTile(const TileId& t) { return fs::exists(tree().maps / pathOf(t)); }

// The tiles that the tree should hold: those around home but the deliberate holes.
std::vector<TileId> expectedTiles() {
    std::vector<TileId> tiles;
    for (int zoom = kZoomMin; zoom <= kZoomMax; ++zoom) {
        for (const TileId& t : tilesAroundHome(zoom, kRadius)) {
            if (!isDeliberateHole(t)) tiles.push_back(t);
        }
    }
    return tiles;
}

using TileTree = DemoTree;

TEST_F(TileTree, HoldsTheTilesAroundHomeAtTheirPathsAndNothingElse) {
    for (int zoom = kZoomMin; zoom <= kZoomMax; ++zoom) {  // the tiles around home cover the disc
        const std::vector<TileId> tiles = tilesAroundHome(zoom, kRadius);
        for (int a = 0; a < 360; a += 5) {
            for (double r : {0.0, kRadius / 2, kRadius}) {
                const double rad = a * std::numbers::pi / 180;
                const TileId t = tileOf({r * std::cos(rad), r * std::sin(rad)}, zoom);
                EXPECT_NE(std::find(tiles.begin(), tiles.end(), t), tiles.end()) << pathOf(t);
            }
        }
    }
    std::set<std::string> expected, files;
    for (const TileId& t : expectedTiles()) expected.insert(pathOf(t));
    for (const auto& [name, bytes] : filesUnder(tree().maps)) files.insert(name);
    EXPECT_EQ(files, expected);
}

TEST_F(TileTree, LeavesTheDeliberateHolesForACoarserTile) {
    int inTree = 0;
    for (const TileId& hole : deliberateHoles()) {
        if (hole.zoom > kZoomMax) continue;
        ++inTree;
        EXPECT_FALSE(hasTile(hole)) << pathOf(hole);
        bool covered = false;
        for (int up = 1; up <= 3 && !covered; ++up) covered = hasTile({hole.zoom - up, hole.col >> up, hole.row >> up});
        EXPECT_TRUE(covered) << pathOf(hole);
    }
    EXPECT_EQ(inTree, 4);
}

// Each file decodes (by libpng's own reader) to 256 x 256 pixels of what the renderer
// drew, in the colour type chosen for it: RGB and RGBA exactly, grey as the luminance,
// palette within quantisation; all opaque.
TEST_F(TileTree, TilesDecodeToTheMapInTheirColourTypes) {
    const std::map<TileColourType, int> pngType{
        {TileColourType::Rgb, 2}, {TileColourType::Palette, 3}, {TileColourType::Grey, 0}, {TileColourType::Rgba, 6}};
    std::map<TileColourType, int> seen;
    const std::vector<TileId> tiles = expectedTiles();
    for (const TileId& t : tiles) {
        SCOPED_TRACE(pathOf(t));
        const TileColourType type = tileColourType(t);
        ++seen[type];
        const std::string bytes = readBytes(tree().maps / pathOf(t));
        png_image png{};
        png.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(bytes.size() > 26 && png_image_begin_read_from_memory(&png, bytes.data(), bytes.size()));
        // bit depth and colour type as the header, the first chunk, has them
        EXPECT_EQ(std::make_tuple(png.width, png.height, int(bytes[24]), int(bytes[25])),
                  std::make_tuple(256u, 256u, 8, pngType.at(type)));
        png.format = PNG_FORMAT_RGBA;
        std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(png));
        ASSERT_TRUE(png_image_finish_read(&png, nullptr, rgba.data(), 0, nullptr));
        const RgbImage drawn = renderTile(t);
        int worst = 0;
        double total = 0.0;
        for (std::size_t k = 0; k < 256u * 256u; ++k) {
            const std::uint8_t* d = &drawn.pixels[k * 3];
            const int grey = platform::truncToInt(0.299 * d[0] + 0.587 * d[1] + 0.114 * d[2] + 0.5);
            for (std::size_t c = 0; c < 4; ++c) {
                const int want = c == 3 ? 255 : type == TileColourType::Grey ? grey : d[c];
                const int err = std::abs(rgba[k * 4 + c] - want);
                worst = std::max(worst, err);
                total += err;
            }
        }
        const bool palette = type == TileColourType::Palette;
        EXPECT_LE(worst, palette ? 40 : type == TileColourType::Grey ? 1 : 0);
        EXPECT_LE(total / (256.0 * 256.0 * 3.0), palette ? 2.0 : 1.0);
    }
    EXPECT_EQ(seen.size(), 4u) << "every colour type occurs";
    EXPECT_GT(seen[TileColourType::Rgb], static_cast<int>(tiles.size()) / 2) << "most tiles are RGB";
}

// A region drawn across the edge between two tiles, half in each, is what the two tiles
// hold there: nothing in the drawing depends on where a tile or region begins.
TEST(DemoRender, AdjacentTilesAgreeAlongTheirSharedEdge) {
    const TileId home = tileOf({0, 0}, kZoomMax);
    for (std::int64_t c = home.col - 2; c <= home.col + 2; ++c) {
        for (const auto& [dc, dr] : {std::pair{1, 0}, std::pair{0, 1}}) {
            const TileId a{home.zoom, c, home.row}, b{home.zoom, c + dc, home.row + dr};
            const RgbImage ta = renderTile(a), tb = renderTile(b);
            const RgbImage across = renderRegion(a.zoom, a.col * 256 + 128 * dc, a.row * 256 + 128 * dr, 256, 256);
            int mismatches = 0;
            for (int y = 0; y < 256; ++y) {
                for (int x = 0; x < 256; ++x) {
                    const int sx = x + 128 * dc, sy = y + 128 * dr;  // in tile a's pixels
                    const RgbImage& tile = sx < 256 && sy < 256 ? ta : tb;
                    const std::uint8_t* px = &tile.pixels[((sy % 256) * 256 + sx % 256) * 3];
                    mismatches += !std::equal(px, px + 3, &across.pixels[(y * 256 + x) * 3]);
                }
            }
            EXPECT_EQ(mismatches, 0) << pathOf(a) << " and " << pathOf(b);
        }
    }
}

// The pixel onto which the program's projection puts a place shows that place.
TEST(DemoRender, FeaturesLieWhereTheProjectionPutsThem) {
    const auto pixelAt = [](Vec2 local, int zoom) {
        const LatLon g = localToGeo(local);
        const WorldPixel w = projectToWorldAtZoom(g.lat, g.lon, zoom);
        const RgbImage img = renderRegion(zoom, w.x, w.y, 1, 1);
        return std::array<int, 3>{img.pixels[0], img.pixels[1], img.pixels[2]};
    };
    for (int zoom : {12, 17}) EXPECT_EQ(pixelAt({1900, 1800}, zoom), (std::array{170, 211, 223})) << "the lake";
    for (const Road& r : demoWorld().roads) {
        if (r.name != "East-West Avenue") continue;
        for (double x : {-1500.0, 1000.0, 3000.0}) {
            const Vec2 p = r.line.at(nearestOnLine(r.line, {x, 100.0}).along);
            for (int zoom : {14, 17}) EXPECT_EQ(pixelAt(p, zoom), (std::array{252, 214, 164})) << x << ", " << zoom;
        }
    }
}

// ---- Tracks ----

double number(const std::string& s) { return platform::scanRealPrefix(s).value_or(-1e9); }

double roadDistance(Vec2 p) {
    double d = 0.0;
    demoWorld().nearestRoad(p, &d);
    return d;
}

// On the map that the default command draws (4 km around home, zoom 17).
bool onDefaultMap(Vec2 p) {
    static const std::vector<TileId> tiles = tilesAroundHome(17, 4000.0);
    return std::find(tiles.begin(), tiles.end(), tileOf(p, 17)) != tiles.end();
}

// The comma-separated fields of a sentence, up to its "*".
std::vector<std::string> fields(const std::string& sentence) {
    std::vector<std::string> out;
    std::istringstream in(sentence.substr(0, sentence.find('*')) + ",");  // "," keeps an empty last field
    for (std::string f; std::getline(in, f, ',');) out.push_back(f);
    return out;
}

Vec2 positionOf(const std::string& rmc) {
    const std::vector<std::string> f = fields(rmc);
    const auto degrees = [](double ddmm) { return std::floor(ddmm / 100.0) + std::fmod(ddmm, 100.0) / 60.0; };
    return geoToLocal(degrees(number(f[3])), degrees(number(f[5])));
}

using DriveLog = DemoTree;

// A GGA and an RMC sentence for each of 600 seconds, checksums verified; the RMC position
// is the GGA's, on the roads of the map, and it moves as far and where speed and course say.
TEST_F(DriveLog, PairsOfValidSentencesOnTheRoads) {
    const std::string text = readBytes(tree().root / "demo" / "drive.nmea");
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; at < text.size(); at = end + 2) {
        end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << "every line ends in CR LF";
        lines.push_back(text.substr(at, end - at));
    }
    ASSERT_EQ(lines.size(), 1200u);
    Vec2 last;
    double lastSpeed = 0.0, farthest = 0.0;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const std::string& line = lines[k];
        SCOPED_TRACE(line);
        EXPECT_TRUE(line.size() + 2 > 40 && line.size() + 2 <= 82) << "beyond the 40 bytes a poll skips, within 82";
        const std::size_t star = line.find('*');
        ASSERT_TRUE(line[0] == '$' && star == line.size() - 3);
        unsigned sum = 0;
        for (std::size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(line[i]);
        EXPECT_EQ(std::strtoul(line.c_str() + star + 1, nullptr, 16), sum);

        const std::vector<std::string> f = fields(line);
        const int second = static_cast<int>(k / 2);
        ASSERT_EQ(f.size(), k % 2 == 0 ? 15u : 13u);
        EXPECT_EQ(f[0], k % 2 == 0 ? "$GPGGA" : "$GPRMC");
        EXPECT_EQ(f[1], platform::format("%02d%02d%02d.00", 3, second / 60, second % 60));
        if (k % 2 == 0) continue;
        EXPECT_EQ(f[2] + " " + f[9], "A 180524") << "valid, on 18 May 2024";
        const std::vector<std::string> gga = fields(lines[k - 1]);
        EXPECT_EQ(std::tie(f[3], f[5]), std::tie(gga[2], gga[4])) << "the position of the same second's GGA";
        const Vec2 p = positionOf(line);
        const double speed = number(f[7]) * 1852.0 / 3600.0;  // knots to m/s
        EXPECT_LT(roadDistance(p), 3.0);
        EXPECT_TRUE(onDefaultMap(p));
        if (k > 1) {
            EXPECT_NEAR(norm(p - last), (speed + lastSpeed) / 2, 1.0);
        }
        if (k > 1 && k + 2 < lines.size() && speed > 3.0) {  // the course: from the last second to the next
            const Vec2 d = positionOf(lines[k + 2]) - last;
            const double bearing = std::atan2(d.x, d.y) * 180.0 / std::numbers::pi;
            EXPECT_LT(std::abs(std::remainder(number(f[8]) - bearing, 360.0)), 20.0) << "course";
        }
        last = p;
        lastSpeed = speed;
        farthest = std::max(farthest, norm(p));
    }
    EXPECT_TRUE(farthest > 1000.0 && farthest < 3500.0) << farthest << " m: a drive, near home";
}

using GpxFiles = DemoTree;

// The points of every element of a kind, in the local frame.
std::vector<Vec2> positions(const std::string& text, const std::string& element) {
    std::vector<Vec2> out;
    const std::string open = "<" + element + " ";
    for (std::size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1)) {
        const std::size_t lat = text.find("lat=\"", at), lon = text.find("lon=\"", at);
        out.push_back(geoToLocal(number(text.substr(lat + 5, 20)), number(text.substr(lon + 5, 20))));
    }
    return out;
}

// A ride of two track segments, a walk planned as a route of 12 points along streets (its
// legs, drawn straight, follow them), and places: well-formed, on the map, on its roads.
TEST_F(GpxFiles, AreWellFormedAndLieOnTheMap) {
    const fs::path dir = tree().root / "sdmmc" / "GPX" / "Auto";
    const std::map<std::string, std::string> files = filesUnder(dir);
    ASSERT_EQ(files.size(), 3u);
    for (const auto& [name, text] : files) {
        EXPECT_EQ(std::system(("xmllint --noout " + quoted(dir / name)).c_str()), 0) << name;
    }
    const struct {
        const char* file;
        const char* element;
        std::size_t count;
        double maxOffRoad;  // metres; a recorded track wanders a little
        bool legsOnRoads;
    } cases[] = {{"ride", "trkpt", 200, 3.0 + 1.2 * 1.5, false},
                 {"town_walk", "rtept", 12, 1.0, true},
                 {"places", "wpt", 6, 1e9, false}};
    for (const auto& c : cases) {
        const std::vector<Vec2> pts = positions(files.lower_bound(c.file)->second, c.element);
        EXPECT_GE(pts.size(), c.count) << c.file;
        for (std::size_t k = 0; k < pts.size(); ++k) {
            EXPECT_TRUE(onDefaultMap(pts[k])) << c.file << " " << pts[k].x << ", " << pts[k].y;
            EXPECT_LT(roadDistance(pts[k]), c.maxOffRoad) << c.file << " " << pts[k].x << ", " << pts[k].y;
            for (double t = 0.1; c.legsOnRoads && k > 0 && t < 1.0; t += 0.1) {
                EXPECT_LT(roadDistance(pts[k - 1] + (pts[k] - pts[k - 1]) * t), c.maxOffRoad) << c.file << " leg " << k;
            }
        }
    }
    const std::string& ride = files.lower_bound("ride")->second;
    EXPECT_NE(ride.find("<trkseg>", ride.find("</trkseg>")), std::string::npos) << "a second segment";
}

// ---- The command ----

// Bad command lines are refused with the usage (status 2) before anything is written.
TEST(DemoCommand, RefusesBadArgumentsAndWritesNothing) {
    const fs::path out = scratch("refused");
    fs::remove_all(out);
    const std::string dir = quoted(out);
    std::vector<std::string> cases{"", "--zooms 14-15", dir + " " + dir};
    for (const char* options : {"--zooms", "--zooms 9-3", "--zooms -1-3", "--zooms 5-21", "--zooms 5-", "--zooms x",
                                "--zooms 5-17x", "--zooms 99999999999999999999", "--radius-km 0", "--radius-km nan",
                                "--radius-km 1e999", "--radius-km 2km", "--radius-km 51", "--jobs 0", "--jobs many",
                                "--frobnicate", "--zooms 0-20 --radius-km 50"}) {  // the last: millions of tiles
        cases.push_back(dir + " " + options);
    }
    for (const std::string& args : cases) {
        EXPECT_EQ(makeDemo(args), 2) << args;
        EXPECT_FALSE(fs::exists(out)) << args;
    }
    fs::remove_all(out);
}

// The same arguments give the same bytes, however many threads draw.
TEST(DemoCommand, OutputDoesNotDependOnTheNumberOfThreads) {
    const fs::path a = scratch("one"), b = scratch("three");
    ASSERT_EQ(makeDemo(quoted(a) + " --zooms 16-17 --radius-km 0.2 --jobs 1"), 0);
    ASSERT_EQ(makeDemo(quoted(b) + " --zooms 16-17 --radius-km 0.2 --jobs 3"), 0);
    const auto one = filesUnder(a), three = filesUnder(b);
    EXPECT_GT(one.size(), 8u);
    EXPECT_EQ(one.size(), three.size());
    for (const auto& [name, bytes] : one) EXPECT_TRUE(three.contains(name) && three.at(name) == bytes) << name;
    fs::remove_all(a);
    fs::remove_all(b);
}

}  // namespace
}  // namespace quorel::demo
