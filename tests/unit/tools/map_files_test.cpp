// Map files as users have them: MBTiles files written by GDAL, read by the program and
// by quorel-tiles, against the same tiles in a tree; hostile map files beside a tree.
#include <gtest/gtest.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "map/mbtiles.h"
#include "map/projection.h"
#include "map/tile_store.h"
#include "platform/raster/raster.h"
#include "png/png_decoder.h"
#include "png/png_writer.h"
#include "png/tile_image.h"
#include "tests/support/scratch.h"

namespace quorel {
namespace {

namespace fs = std::filesystem;

const fs::path kScratch = test::scratchFolder("map_files");

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string bytesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The 3 x 3 tiles of zoom 14 around home (columns 14552-14554, rows 6397-6399) as one
// image, pixel (x, y) = (x % 256, y % 256, 80 * tile column + 20 * tile row), which
// GDAL cuts into tiles of the grid it is placed on, in web Mercator metres.
int gdalMapFile(const std::string& format, const fs::path& out) {
    std::string ppm = "P6 768 768 255\n";
    for (int y = 0; y < 768; ++y) {
        for (int x = 0; x < 768; ++x) ppm += {char(x % 256), char(y % 256), char(x / 256 * 80 + y / 256 * 20)};
    }
    std::ofstream(kScratch / "map.ppm", std::ios::binary) << ppm;
    const double tile = 40075016.68557849 / 16384, origin = 20037508.342789244;
    char bounds[160];
    std::snprintf(bounds, sizeof bounds, "%.9f %.9f %.9f %.9f", 14552 * tile - origin, origin - 6397 * tile,
                  14555 * tile - origin, origin - 6400 * tile);
    return run("gdal_translate -q -of MBTILES -co TILE_FORMAT=" + format + " -a_srs EPSG:3857 -a_ullr " + bounds +
               " '" + (kScratch / "map.ppm").string() + "' '" + out.string() + "'");
}

std::string tool(const std::string& args) {
    return std::string("'") + QUOREL_TILES_TOOL + "' " + args + " 2>/dev/null";
}

// The screen of a first start (no settings kept from an earlier run) after its first
// frame, with the card at home/sdmmc; the messages it showed (each a line of its own on
// standard error, where the program's other lines begin "quorel:") in shown, and the
// number of lines naming a map file slow to search in slowNotes.
platform::Bitmap screenOf(const fs::path& home, std::vector<std::string>* shown = nullptr, int* slowNotes = nullptr) {
    fs::remove(home / "setmap.txt");
    std::ofstream(home / "script") << "tick 6\nshot screen.png\n";
    EXPECT_EQ(run("cd '" + home.string() + "' && env -i XDG_RUNTIME_DIR=. HOME=. " + QUOREL_PROGRAM +
                  " --headless --screen 480x272 --gps none --home . --script script 2> errors"),
              0);
    const std::string errors = bytesOf(home / "errors");
    std::istringstream lines(errors);
    for (std::string line; shown != nullptr && std::getline(lines, line);) {
        if (line.rfind("quorel:", 0) != 0) shown->push_back(line);
    }
    for (std::size_t at = 0; slowNotes != nullptr && (at = errors.find("no index on", at)) != std::string::npos; ++at) {
        ++*slowNotes;
    }
    return decodePngFile(home / "screen.png").bitmap.value_or(platform::Bitmap{});
}

constexpr const char* kEndlessView =
    "CREATE VIEW tiles AS WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
    "SELECT 14 AS zoom_level, x % 99999 AS tile_column, x % 99999 AS tile_row, x'00' AS tile_data FROM c";

// What the sqlite3 program reads in the tile (14, 14553, 6398) of a map file, in hex.
std::string tileHexOf(const fs::path& file) {
    const fs::path out = file.string() + ".hex";
    run("sqlite3 '" + file.string() +
        "' \"SELECT hex(tile_data) FROM tiles WHERE zoom_level = 14 AND tile_column = "
        "14553 AND tile_row = 9985\" > '" +
        out.string() + "'");
    std::string hex = bytesOf(out);
    fs::remove(out);
    return hex.substr(0, hex.find('\n'));
}

std::string hexOf(const std::vector<std::uint8_t>& bytes) {
    std::string hex;
    for (const std::uint8_t b : bytes) hex += {"0123456789ABCDEF"[b >> 4], "0123456789ABCDEF"[b & 15]};
    return hex;
}

std::vector<std::string> listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A fill of the map as the program reads it, and the tile (14, 14553, 6398) it reads.
struct Fill {
    std::vector<StoreNote> notes;
    TileRead read;
};
Fill fillOf(TileStore& store) {
    Fill fill;
    store.startFill(fill.notes);
    fill.read = store.read(14, 14553, 6398);
    return fill;
}

class MapFiles : public testing::Test {
protected:
    void SetUp() override {
        fs::remove_all(kScratch);
        fs::create_directories(kScratch / "a/sdmmc/Maps");
        fs::create_directories(kScratch / "b/sdmmc/Maps");
    }
    void TearDown() override { fs::remove_all(kScratch); }
    const fs::path fileA = kScratch / "a/sdmmc/Maps/std.mbtiles", treeB = kScratch / "b/sdmmc/Maps/std";
};

// PNG tiles from GDAL show as the same tiles unpacked into a tree, and as the image
// GDAL was given (a pixel away from the centre cross, where home lies).
TEST_F(MapFiles, GdalPngTilesShowAsTheSameTilesInATree) {
    ASSERT_EQ(gdalMapFile("PNG", fileA), 0);
    ASSERT_EQ(run(tool("unpack '" + fileA.string() + "' '" + treeB.string() + "'")), 0);
    const platform::Bitmap fromFile = screenOf(kScratch / "a");
    ASSERT_TRUE(fromFile.valid());
    EXPECT_EQ(bytesOf(kScratch / "a/errors").find("no map tiles"), std::string::npos);  // a map file is tiles
    EXPECT_EQ(fromFile.bits, screenOf(kScratch / "b").bits);
    // GDAL may place the image a pixel off its bounds (floating point); the tile is exact.
    const WorldPixel home = projectToWorldAtZoom(36.621590, 139.771500, 14);
    const int x = int(home.x - 14552 * 256 + 60), y = int(home.y - 6397 * 256 + 64);
    const platform::Color shown = platform::pixelAt(fromFile, 240 + 60, 136 + 64);
    EXPECT_NEAR(platform::redOf(shown), x % 256, 1);
    EXPECT_NEAR(platform::greenOf(shown), y % 256, 1);
    EXPECT_EQ(platform::blueOf(shown), (x / 256 * 80 + y / 256 * 20) % 256);
}

// JPEG tiles from GDAL show as libjpeg-turbo decodes them here, put in a tree as PNG.
TEST_F(MapFiles, GdalJpegTilesShowAsTurboJpegDecodesThem) {
    ASSERT_EQ(gdalMapFile("JPEG", fileA), 0);
    ASSERT_EQ(run(tool("unpack '" + fileA.string() + "' '" + treeB.string() + "'")), 0);
    tjhandle h = tjInitDecompress();
    std::vector<std::uint8_t> rgb(256 * 256 * 3);
    int tiles = 0;
    for (const auto& e : fs::recursive_directory_iterator(treeB)) {
        if (e.path().extension() != ".jpg") continue;
        const std::string jpeg = bytesOf(e.path());
        ASSERT_EQ(tjDecompress2(h, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size(), rgb.data(), 256, 0,
                                256, TJPF_RGB, 0),
                  0);
        platform::Bitmap tile = platform::createBitmap(256, 256);
        for (int i = 0; i < 256 * 256; ++i) {
            platform::setPixel(tile, i % 256, i / 256, platform::rgb(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]));
        }
        ASSERT_TRUE(writePngFile(tile, fs::path(e.path()).replace_extension(".png")));
        ++tiles;
    }
    tjDestroy(h);
    ASSERT_EQ(tiles, 9);
    const platform::Bitmap fromFile = screenOf(kScratch / "a");
    ASSERT_TRUE(fromFile.valid());
    EXPECT_EQ(bytesOf(kScratch / "a/errors").find("no map tiles"), std::string::npos);  // a map file is tiles
    EXPECT_EQ(fromFile.bits, screenOf(kScratch / "b").bits);
}

// pack then unpack gives back a tree of PNG and JPEG tiles byte for byte, and leaves
// out what is not a tile.
TEST_F(MapFiles, PackThenUnpackReturnsTheTreeByteForByte) {
    ASSERT_EQ(gdalMapFile("PNG", kScratch / "png.mbtiles"), 0);
    ASSERT_EQ(gdalMapFile("JPEG", kScratch / "jpg.mbtiles"), 0);
    ASSERT_EQ(run(tool("unpack '" + (kScratch / "png.mbtiles").string() + "' '" + treeB.string() + "'")), 0);
    ASSERT_EQ(run(tool("unpack '" + (kScratch / "jpg.mbtiles").string() + "' '" + (treeB / "jpg").string() + "'")), 0);
    fs::rename(treeB / "jpg/14", treeB / "15");
    fs::remove(treeB / "jpg");
    std::ofstream(treeB / "15/notes.txt") << "not a tile\n";
    ASSERT_EQ(run(tool("pack '" + treeB.string() + "' '" + fileA.string() + "'")), 0);
    ASSERT_NE(run(tool("pack '" + treeB.string() + "' '" + fileA.string() + "'")), 0) << "replaced an existing file";
    ASSERT_EQ(run(tool("unpack '" + fileA.string() + "' '" + (kScratch / "again").string() + "'")), 0);
    fs::remove(treeB / "15/notes.txt");
    int files = 0;
    for (const auto& e : fs::recursive_directory_iterator(treeB)) {
        if (!e.is_regular_file()) continue;
        ++files;
        EXPECT_EQ(bytesOf(e.path()), bytesOf(kScratch / "again" / e.path().lexically_relative(treeB))) << e.path();
    }
    EXPECT_EQ(files, 18);
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(kScratch / "again"), {}), 18 + 2 + 3 + 3);
}

// Where a tile has several files (a .png and a .jpg, a folder named with a leading
// zero), pack takes the one the program shows from the tree.
TEST_F(MapFiles, PackTakesTheFileTheTreeShows) {
    ASSERT_EQ(gdalMapFile("PNG", kScratch / "png.mbtiles"), 0);
    ASSERT_EQ(run(tool("unpack '" + (kScratch / "png.mbtiles").string() + "' '" + treeB.string() + "'")), 0);
    const fs::path shown = treeB / "14/14553/6398.png", other = treeB / "14/14552/6397.png";
    fs::copy_file(other, fs::path(shown).replace_extension(".jpg"));
    fs::create_directories(treeB / "014/14553");
    fs::copy_file(other, treeB / "014/14553/6398.png");
    fs::copy_file(other, treeB / "14/14553/06399.png");
    ASSERT_EQ(run(tool("pack '" + treeB.string() + "' '" + fileA.string() + "'")), 0);
    std::string error;
    const auto packed = MbtilesStore::open(fileA, error);
    ASSERT_TRUE(packed) << error;
    for (const int row : {6398, 6399}) {
        EXPECT_EQ(packed->read(14, 14553, row).bytes, TileTree(treeB).read(14, 14553, row).bytes) << row;
    }
}

// How the tool exits, and in said what it wrote: standard output, then standard error.
int toolSays(const std::string& args, std::string& said) {
    const int status = run("cd '" + kScratch.string() + "' && '" + QUOREL_TILES_TOOL + "' " + args + " > out 2> err");
    said = bytesOf(kScratch / "out") + bytesOf(kScratch / "err");
    return status;
}

// The tool reads "Maps/std" as the program does, the map file beside a missing tree
// included (GDAL wrote the 3 x 3 tiles that a track at home with a margin of one
// needs); inputs that give nothing fail, naming themselves; a wrong command line says
// what is wrong before the usage.
TEST_F(MapFiles, TheToolSaysWhatIsWrongAndFails) {
    ASSERT_EQ(gdalMapFile("PNG", fileA), 0);
    std::ofstream(kScratch / "home.gpx") << "<gpx><trk><trkseg><trkpt lat=\"36.6216\" lon=\"139.7715\"/>"
                                            "<trkpt lat=\"36.6217\" lon=\"139.7716\"/></trkseg></trk></gpx>\n";
    std::ofstream(kScratch / "zero.gpx");
    std::ofstream(kScratch / "page.gpx") << "<html>502 Bad Gateway</html>\n";
    std::ofstream(kScratch / "marks.gpx") << "<gpx><wpt lat=\"36.6\" lon=\"139.7\"/></gpx>\n";
    fs::create_directories(kScratch / "empty");
    ASSERT_EQ(run("sqlite3 '" + (kScratch / "none.mbtiles").string() +
                  "' 'CREATE TABLE tiles (zoom_level, tile_column, tile_row, tile_data);'"),
              0);
    const std::string store = "a/sdmmc/Maps/std";
    const struct {
        std::string args;
        int status;
        std::string said;  // begins what the tool says; 2: the first line, before the usage
    } cases[] = {
        {"coverage --zooms 14 --margin 1 " + store + " home.gpx", 0, "zoom 14: 9 tiles needed, 9 held, 0 missing\n"},
        {"check " + store + "/", 0, "9 tiles checked, 0 cannot be shown\n"},
        {"coverage --zooms 14 " + store + " home.gpx zero.gpx", 1, "quorel-tiles: zero.gpx: no track or route point"},
        {"coverage --zooms 14 " + store + " page.gpx", 1, "quorel-tiles: page.gpx: no track or route point"},
        {"fetch --url 'https://t.example.org/{z}/{x}/{y}.png' --zooms 1 marks.gpx x", 1, "quorel-tiles: marks.gpx: no"},
        {"coverage --zooms 14 a/sdmmc/Maps/nothing home.gpx", 1, "quorel-tiles: a/sdmmc/Maps/nothing: no tile tree"},
        {"check empty", 1, "empty: no tiles\n0 tiles checked, 1 cannot be shown\n"},
        {"check none.mbtiles", 1, "none.mbtiles: its tiles table is empty\n0 tiles checked, 1 cannot"},
        {"coverage --zooms 14 none.mbtiles home.gpx", 1, "quorel-tiles: none.mbtiles: its tiles table is empty\n"},
        {"", 2, "quorel-tiles: no command given\nusage:"},
        {"list " + store, 2, "quorel-tiles: no such command: list\nusage:"},
        {"check", 2, "quorel-tiles: check takes one STORE\nusage:"},
        {"unpack --replace x.mbtiles", 2,
         "quorel-tiles: unpack takes [--replace], IN.mbtiles and a tile tree DIR\nusage:"},
        {"coverage --zooms 14 --box 1,2,3,4", 2, "quorel-tiles: a STORE is needed\nusage:"},
        {"coverage --zooms 14 " + store, 2, "quorel-tiles: GPX files or --box are needed\nusage:"},
        {"coverage " + store + " home.gpx", 2, "quorel-tiles: --zooms A-B is needed\nusage:"},
        {"coverage " + store + " home.gpx --zooms", 2, "quorel-tiles: --zooms needs a value\nusage:"},
        {"coverage --zooms 14 --yes " + store + " home.gpx", 2, "quorel-tiles: coverage has no option --yes\nusage:"},
    };
    for (const auto& c : cases) {
        std::string said;
        EXPECT_EQ(toolSays(c.args, said), c.status) << c.args << "\n" << said;
        EXPECT_EQ(said.substr(0, c.said.size()), c.said) << c.args;
    }
}

// unpack into a tree that shows other bytes for a tile writes nothing and names the
// tile; the same tiles again, or --replace, unpack.
TEST_F(MapFiles, UnpackReplacesADifferentTileOnlyWhenTold) {
    ASSERT_EQ(gdalMapFile("PNG", fileA), 0);
    const std::string unpack = "unpack '" + fileA.string() + "' '" + treeB.string() + "'";
    ASSERT_EQ(run(tool(unpack)), 0);
    ASSERT_EQ(run(tool(unpack)), 0) << "the same tiles again";
    const fs::path changed = treeB / "14/14553/6398.png", removed = treeB / "14/14552/6397.png";
    const std::string original = bytesOf(changed), other = bytesOf(removed);
    fs::remove(removed);
    std::ofstream(changed, std::ios::binary) << other;
    std::string said;
    EXPECT_EQ(toolSays(unpack, said), 1);
    EXPECT_NE(said.find(changed.string() + " holds another tile than"), std::string::npos) << said;
    EXPECT_TRUE(bytesOf(changed) == other) << "the different tile is kept";
    EXPECT_FALSE(fs::exists(removed)) << "nothing is written";
    EXPECT_EQ(toolSays("unpack --replace '" + fileA.string() + "' '" + treeB.string() + "'", said), 0) << said;
    EXPECT_TRUE(bytesOf(changed) == original);
    EXPECT_TRUE(bytesOf(removed) == other);
}

// A hostile map file beside a tree that holds the centre tile: the program draws what
// it draws without the file, says so at most once, and exits normally. A file that
// cannot be opened names itself and why; a tile that cannot be shown gives the tile
// message.
TEST_F(MapFiles, HostileMapFilesLeaveTheRestOfTheMapDrawn) {
    ASSERT_EQ(gdalMapFile("PNG", kScratch / "png.mbtiles"), 0);
    ASSERT_EQ(run(tool("unpack '" + (kScratch / "png.mbtiles").string() + "' '" + treeB.string() + "'")), 0);
    fs::create_directories(kScratch / "a/sdmmc/Maps/std/14/14553");
    fs::copy_file(treeB / "14/14553/6398.png", kScratch / "a/sdmmc/Maps/std/14/14553/6398.png");
    fs::remove_all(treeB);
    fs::copy(kScratch / "a/sdmmc/Maps/std", treeB, fs::copy_options::recursive);
    const platform::Bitmap expected = screenOf(kScratch / "b");
    const std::string create =
        "CREATE TABLE metadata (name, value); CREATE TABLE tiles (zoom_level INTEGER, "
        "tile_column INTEGER, tile_row INTEGER, tile_data BLOB);";
    const std::string file = "map file ./sdmmc/Maps/std.mbtiles: ", tile(kNotPngMessage);
    const std::tuple<std::string, int, std::string> cases[] = {
        {"", 1, file + "file is not a database"},            // an HTML page, not SQLite
        {"", 1, file + "database disk image is malformed"},  // GDAL's file cut in half
        {"CREATE TABLE tiles (zoom_level TEXT, tile_column REAL, tile_row BLOB, tile_data INTEGER);"
         "INSERT INTO tiles VALUES ('14', 14552.0, 9985, 42);",
         1, tile},
        {create + "INSERT INTO tiles VALUES (14, 14552, 9985, x'3c68746d6c3e');", 1, tile},
        {create + "INSERT INTO tiles VALUES (9223372036854775807, -1, 9223372036854775807, x'00'),"
                  "(2147483647, 0, 0, x'89504e470d0a1a0a'), (-14, 14552, 9985, x'00');",
         0, ""},
        {create, 1, file + "its tiles table is empty"},
        // a view that never ends: named once as slow to search, not a bad tile
        {std::string(kEndlessView) + " WHERE x % 7 = 8;", 0, ""},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        fs::remove(fileA);
        if (i == 0) std::ofstream(fileA) << "<html><body>502 Bad Gateway</body></html>\n";
        if (i == 1) {
            const std::string whole = bytesOf(kScratch / "png.mbtiles");
            std::ofstream(fileA, std::ios::binary) << whole.substr(0, whole.size() / 2);
        }
        const auto& [sql, count, says] = cases[i];
        if (i > 1) {
            ASSERT_EQ(run("sqlite3 '" + fileA.string() + "' \"" + sql + "\""), 0) << i;
        }
        std::vector<std::string> shown;
        int slowNotes = 0;
        EXPECT_EQ(screenOf(kScratch / "a", &shown, &slowNotes).bits, expected.bits) << "case " << i;
        EXPECT_EQ(shown, std::vector<std::string>(count, says)) << "case " << i;
        EXPECT_EQ(slowNotes, i + 1 == std::size(cases) ? 1 : 0) << "case " << i;
    }
}

// A blob larger than any tile is refused from its size alone: its pages (overwritten
// with junk here, so that reading them would report a damaged file) are never read.
TEST_F(MapFiles, AHugeBlobIsRefusedUnread) {
    fs::remove(fileA);
    ASSERT_EQ(
        run("sqlite3 '" + fileA.string() +
            "' \"CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, "
            "tile_row INTEGER, tile_data BLOB); INSERT INTO tiles VALUES (14, 14553, 9985, zeroblob(24 << 20));\""),
        0);
    const auto size = static_cast<std::streamoff>(fs::file_size(fileA));
    std::fstream(fileA, std::ios::binary | std::ios::in | std::ios::out).seekp(size / 4)
        << std::string(static_cast<std::size_t>(size / 2), '\xff');
    std::string error;
    const auto store = MbtilesStore::open(fileA, error);
    ASSERT_TRUE(store) << error;
    const TileRead read = store->read(14, 14553, 6398);
    EXPECT_EQ(read.status, TileReadStatus::Damaged);
    EXPECT_EQ(read.reason, "larger than any tile");
}

// A map file that another program holds locked is read at the first fill after it
// lets go; neither the lock nor the reads leave anything beside the file.
TEST_F(MapFiles, ALockedFileIsReadAtTheFirstFillAfterItsWriterLetsGo) {
    ASSERT_EQ(gdalMapFile("PNG", fileA), 0);
    const std::string expected = tileHexOf(fileA);
    const std::vector<std::string> before = listing(fileA.parent_path());
    const fs::path said = kScratch / "writer.out";
    FILE* writer = ::popen(("sqlite3 '" + fileA.string() + "' > '" + said.string() + "'").c_str(), "w");
    ASSERT_NE(writer, nullptr);
    std::fputs("BEGIN EXCLUSIVE;\nSELECT 'locked';\n", writer);
    std::fflush(writer);
    for (int wait = 0; wait < 3000 && bytesOf(said).empty(); ++wait) ::usleep(10'000);
    ASSERT_EQ(bytesOf(said), "locked\n");
    const auto store = mapStore(fileA.parent_path() / "std");
    for (int fill = 0; fill < 2; ++fill) {
        const Fill locked = fillOf(*store);
        EXPECT_EQ(locked.read.status, TileReadStatus::Missing);
        ASSERT_EQ(locked.notes.size(), 1u);
        EXPECT_EQ(locked.notes[0].kind, StoreNote::Kind::Locked);
    }
    ASSERT_EQ(::pclose(writer), 0);
    const Fill free = fillOf(*store);
    EXPECT_TRUE(free.notes.empty());
    EXPECT_EQ(hexOf(free.read.bytes), expected);
    fs::remove(said);
    EXPECT_EQ(listing(fileA.parent_path()), before);
}

// A map file written over in place, by a page of junk, by another map, then put back,
// is read again at the next fill each time, in either journal mode (a WAL file without
// its log is opened immutable); nothing appears beside it, nor when the tool reads it.
TEST_F(MapFiles, AFileWrittenOverInPlaceIsReadAgainAtTheNextFill) {
    ASSERT_EQ(gdalMapFile("PNG", kScratch / "png.mbtiles"), 0);
    ASSERT_EQ(gdalMapFile("JPEG", kScratch / "jpg.mbtiles"), 0);
    for (const char* mode : {"DELETE", "WAL"}) {
        std::string files[2];
        for (const char* name : {"png", "jpg"}) {
            fs::copy_file(kScratch / (name + std::string(".mbtiles")), fileA, fs::copy_options::overwrite_existing);
            ASSERT_EQ(run("sqlite3 '" + fileA.string() + "' 'PRAGMA journal_mode = " + mode + "' > /dev/null"), 0);
            files[name[0] == 'j'] = bytesOf(fileA);
        }
        const std::string jpegTile = tileHexOf(fileA);
        std::ofstream(fileA, std::ios::binary | std::ios::trunc) << files[0];
        const std::string pngTile = tileHexOf(fileA);
        ASSERT_NE(pngTile, jpegTile);
        const std::vector<std::string> before = listing(fileA.parent_path());
        const auto store = mapStore(fileA.parent_path() / "std");
        EXPECT_EQ(hexOf(fillOf(*store).read.bytes), pngTile) << mode;
        std::ofstream(fileA, std::ios::binary | std::ios::trunc) << "<html><body>502 Bad Gateway</body></html>\n";
        const Fill broken = fillOf(*store);
        EXPECT_EQ(broken.read.status, TileReadStatus::Missing) << mode;
        EXPECT_TRUE(broken.notes.size() == 1 && broken.notes[0].kind == StoreNote::Kind::Unreadable) << mode;
        for (const int i : {1, 0}) {
            std::ofstream(fileA, std::ios::binary | std::ios::trunc) << files[i];
            EXPECT_EQ(hexOf(fillOf(*store).read.bytes), i == 0 ? pngTile : jpegTile) << mode << i;
        }
        EXPECT_EQ(run(tool("check '" + fileA.string() + "' > /dev/null")), 0);
        EXPECT_EQ(run(tool("unpack '" + fileA.string() + "' '" + treeB.string() + "'")), 0);
        EXPECT_EQ(listing(fileA.parent_path()), before) << mode;
    }
}

// A tiles view of 3 M rows, without an index: opening finds it slow to search (GDAL's
// file is not); a fill runs at most its budget of SQLite's steps on it, a tile not found
// within the budget reads as missing, so does every read after it, and the next fill
// goes on where it stopped.
TEST_F(MapFiles, AFileWithoutAnIndexHoldsAFillOnlyBriefly) {
    ASSERT_EQ(gdalMapFile("PNG", kScratch / "png.mbtiles"), 0);
    std::string error;
    const auto indexed = MbtilesStore::open(kScratch / "png.mbtiles", error);
    ASSERT_TRUE(indexed) << error;
    EXPECT_FALSE(indexed->lacksIndex());
    // Row x of the view is the tile (14, 14000 + x % 1000, 9000 + x / 1000 counted from the south).
    ASSERT_EQ(
        run("sqlite3 '" + fileA.string() +
            "' \"CREATE VIEW tiles AS WITH RECURSIVE c(x) AS (SELECT 0 UNION "
            "ALL SELECT x + 1 FROM c WHERE x < 2999999) SELECT 14 AS zoom_level, 14000 + x % 1000 AS tile_column, "
            "9000 + x / 1000 AS tile_row, x'2a' AS tile_data FROM c;\""),
        0);
    const auto store = MbtilesStore::open(fileA, error);
    ASSERT_TRUE(store) << error;
    EXPECT_TRUE(store->lacksIndex());
    const auto readRow = [&](int x) { return store->read(14, 14000 + x % 1000, 16383 - 9000 - x / 1000).status; };
    std::vector<StoreNote> notes;
    store->startFill(notes);
    EXPECT_EQ(readRow(0), TileReadStatus::Found);
    EXPECT_EQ(readRow(2'999'999), TileReadStatus::Missing);
    EXPECT_EQ(readRow(1), TileReadStatus::Missing);
    EXPECT_LE(store->stepsRun(), std::int64_t{kFillTicks} * kStepsPerTick * 11 / 10);  // SQLite counts its own way
    store->startFill(notes);
    EXPECT_EQ(readRow(1), TileReadStatus::Found);
    EXPECT_TRUE(notes.empty());
}

// check and unpack give up on a tiles view that never ends, whether it gives no rows or
// rows without end (of which unpack writes only some), and say so with status 1.
TEST_F(MapFiles, TheToolGivesUpOnATilesViewThatNeverEnds) {
    for (const char* rows : {" WHERE x % 7 = 8;", ";"}) {
        fs::remove(fileA);
        ASSERT_EQ(run("sqlite3 '" + fileA.string() + "' \"" + kEndlessView + rows + "\""), 0);
        for (const std::string& command :
             {"check '" + fileA.string() + "'", "unpack '" + fileA.string() + "' '" + treeB.string() + "'"}) {
            const fs::path said = kScratch / "said";
            EXPECT_EQ(run("(timeout 300 '" + std::string(QUOREL_TILES_TOOL) + "' " + command +
                          "; echo status $?) 2>&1 "
                          "| tail -n 2 > '" +
                          said.string() + "'"),
                      0);
            const std::string text = bytesOf(said);
            EXPECT_NE(text.find("runs on beyond any the file could hold"), std::string::npos)
                << command << rows << text;
            EXPECT_NE(text.find("status 1\n"), std::string::npos) << command << rows << text;
        }
        // No more tiles than the file could hold rows (four bytes at the very least each).
        std::error_code none;
        const auto written = std::count_if(fs::recursive_directory_iterator(treeB, none), {},
                                           [](const fs::directory_entry& e) { return e.is_regular_file(); });
        EXPECT_LE(written, fs::file_size(fileA) / 4) << rows;
    }
}

}  // namespace
}  // namespace quorel
