// The demo data, made by the real command at the demo's zooms (with the least radius: the
// map along the drive), read back by the program's own readers and by quorel-tiles, and
// the headless demo run by tools/demo on it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "gps/nmea.h"
#include "gpx/gpx_reader.h"
#include "map/projection.h"
#include "platform/raster/raster.h"
#include "platform/text_file.h"
#include "png/png_decoder.h"
#include "tests/support/scratch.h"

namespace quorel {
namespace {

namespace fs = std::filesystem;

const fs::path kOut = test::scratchFolder("demo");
const fs::path kData = kOut / "demo-data";  // where tools/demo looks for it

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class DemoData : public testing::Test {
protected:
    static void SetUpTestSuite() {
        fs::remove_all(kOut);
        made_ = run(std::string(QUOREL_MAKE_DEMO) + " '" + kData.string() +
                    "' --zooms 5-17 --radius-km 0.1 > /dev/null") == 0;
    }
    static void TearDownTestSuite() { fs::remove_all(kOut); }
    void SetUp() override { ASSERT_TRUE(made_) << "quorel-make-demo failed"; }
    static inline bool made_ = false;
};

TEST_F(DemoData, AlongTheDriveEveryTileIsThereAndInColour) {
    EXPECT_EQ(run(std::string(QUOREL_TILES_TOOL) + " coverage --zooms 5-17 --margin 2 '" +
                  (kData / "sdmmc/Maps/std").string() + "' '" + (kData / "demo/drive.gpx").string() + "' 2> /dev/null"),
              0);
    int tiles = 0;
    for (const auto& e : fs::recursive_directory_iterator(kData / "sdmmc" / "Maps" / "std")) {
        if (!e.is_regular_file()) continue;
        const PngDecodeResult tile = decodePngFile(e.path());
        ASSERT_TRUE(tile.bitmap && tile.bitmap->width == 256 && tile.bitmap->height == 256) << e.path();
        char head[26] = {};
        std::ifstream(e.path(), std::ios::binary).read(head, sizeof head);
        EXPECT_NE(head[25] & 2, 0) << e.path() << " is greyscale (IHDR colour type " << int(head[25]) << ")";
        bool coloured = false;  // and not a palette of greys: the ground itself is tinted
        for (int k = 0; k < 256 * 256 && !coloured; ++k) {
            const platform::Color c = platform::pixelAt(*tile.bitmap, k % 256, k / 256);
            coloured = platform::redOf(c) != platform::greenOf(c) || platform::greenOf(c) != platform::blueOf(c);
        }
        EXPECT_TRUE(coloured) << e.path();
        ++tiles;
    }
    EXPECT_GT(tiles, 500);
}

TEST_F(DemoData, GpxFilesAndTheDriveAreReadByTheProgram) {
    GpxPathList tracks, routes;
    GpxPath waypoints;
    GpxOverlays overlays{tracks, routes, waypoints};
    EXPECT_EQ(loadAutoLoadFiles(kData / "sdmmc" / "GPX" / "Auto", overlays), 3);
    EXPECT_EQ(tracks.count(), 2) << "a ride of two segments";
    ASSERT_EQ(routes.count(), 1);
    EXPECT_GE(routes[0].pointCount(), 12);
    EXPECT_GE(waypoints.pointCount(), 6);
    for (const auto& e : fs::directory_iterator(kData / "sdmmc" / "GPX" / "Auto"))  // and an XML parser
        EXPECT_EQ(run("xmllint --noout '" + e.path().string() + "'"), 0) << e.path();
    EXPECT_EQ(run("xmllint --noout '" + (kData / "demo/drive.gpx").string() + "'"), 0);
}

// The last fix of the drive, through the program's NMEA parser; 600 GGA and 600 RMC.
GeoCoord lastFixOfTheDrive() {
    std::istringstream drive(platform::readTextFile(kData / "demo" / "drive.nmea").value_or(""));
    int gga = 0, rmc = 0;
    GeoCoord last;
    for (std::string line; std::getline(drive, line);) {
        EXPECT_EQ(checkNmeaChecksum(line), NmeaChecksum::Valid) << line;
        std::int32_t time = 0, date = 0, satellites = 0;
        double lat = 0, lon = 0, speed = 0, course = 0, altitude = 0;
        char ns = 0, ew = 0;
        gga += parseGga(line, GgaFields{time, lat, ns, lon, ew, satellites, altitude});
        if (parseRmc(line, RmcFields{time, lat, ns, lon, ew, speed, course, date})) {
            ++rmc;
            last = {nmeaToDegrees(lat), nmeaToDegrees(lon)};  // north and east
        }
    }
    EXPECT_EQ(gga, 600);
    EXPECT_EQ(rmc, 600);
    return last;
}

// The star is tapped where the layout puts it at this size, and the map follows to the end.
TEST_F(DemoData, TheHeadlessDemoFollowsTheDriveOnA1024x600Screen) {
    ASSERT_EQ(run("QUOREL_DEMO_BUILD='" + std::string(QUOREL_BUILD_DIR) + "' QUOREL_DEMO_OUT='" + kOut.string() +
                  "' sh '" + QUOREL_SOURCE_DIR + "/tools/demo' --headless --screen 1024x600 > /dev/null 2>&1"),
              0);
    std::map<std::string, std::string> dump;
    std::istringstream lines(platform::readTextFile(kOut / "demo-shots" / "state.txt").value_or(""));
    for (std::string line; std::getline(lines, line);) {
        dump[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    }
    EXPECT_EQ(dump["screenWidth"] + "x" + dump["screenHeight"], "1024x600");
    const GeoCoord fix = lastFixOfTheDrive();
    EXPECT_NEAR(std::stod(dump["centerLat"]), fix.lat, 1e-6);
    EXPECT_NEAR(std::stod(dump["centerLon"]), fix.lon, 1e-6);
    EXPECT_TRUE(fs::exists(kOut / "demo-shots" / "minute-10.png"));
}

}  // namespace
}  // namespace quorel
