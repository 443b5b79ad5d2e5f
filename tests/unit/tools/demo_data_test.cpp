// The demo data, made by the real command and read back by the program's own readers:
// the tile decoder, the GPX reader and the NMEA parser.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "gps/nmea.h"
#include "gpx/gpx_reader.h"
#include "platform/text_file.h"
#include "png/png_decoder.h"
#include "tests/support/scratch.h"

namespace quorel {
namespace {

namespace fs = std::filesystem;

TEST(DemoData, MakesTilesGpxFilesAndADriveThatTheProgramReads) {
    const fs::path out = test::scratchFolder("demo");
    const int status = std::system((std::string(QUOREL_MAKE_DEMO) + " '" + out.string() +
                                    "' --zooms 16-17 --radius-km 0.3 > /dev/null 2>&1").c_str());
    ASSERT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << "quorel-make-demo failed";

    int tiles = 0;
    for (const auto& e : fs::recursive_directory_iterator(out / "sdmmc" / "Maps" / "std")) {
        if (!e.is_regular_file()) continue;
        const PngDecodeResult tile = decodePngFile(e.path());
        ASSERT_TRUE(tile.bitmap) << e.path();
        EXPECT_EQ(tile.bitmap->width, 256) << e.path();
        EXPECT_EQ(tile.bitmap->height, 256) << e.path();
        ++tiles;
    }
    EXPECT_GT(tiles, 8);

    GpxPathList tracks, routes;
    GpxPath waypoints;
    GpxOverlays overlays{tracks, routes, waypoints};
    EXPECT_EQ(loadAutoLoadFiles(out / "sdmmc" / "GPX" / "Auto", overlays), 3);
    EXPECT_EQ(tracks.count(), 2) << "a ride of two segments";
    ASSERT_EQ(routes.count(), 1);
    EXPECT_GE(routes[0].pointCount(), 12);
    EXPECT_GE(waypoints.pointCount(), 6);
    for (const auto& e : fs::directory_iterator(out / "sdmmc" / "GPX" / "Auto")) {  // and an XML parser
        EXPECT_EQ(std::system(("xmllint --noout '" + e.path().string() + "'").c_str()), 0) << e.path();
    }

    std::istringstream drive(platform::readTextFile(out / "demo" / "drive.nmea").value_or(""));
    int gga = 0, rmc = 0;
    for (std::string line; std::getline(drive, line);) {
        EXPECT_EQ(checkNmeaChecksum(line), NmeaChecksum::Valid) << line;
        std::int32_t time = 0, date = 0, satellites = 0;
        double lat = 0, lon = 0, speed = 0, course = 0, altitude = 0;
        char ns = 0, ew = 0;
        gga += parseGga(line, GgaFields{time, lat, ns, lon, ew, satellites, altitude});
        rmc += parseRmc(line, RmcFields{time, lat, ns, lon, ew, speed, course, date});
    }
    EXPECT_EQ(gga, 600);
    EXPECT_EQ(rmc, 600);
    fs::remove_all(out);
}

}  // namespace
}  // namespace quorel
