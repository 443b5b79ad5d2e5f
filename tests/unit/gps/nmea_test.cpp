// Both sentence parsers over lines as receivers send them ("\r\n" added), valid and damaged,
// their checksums worked out apart from the program. Every destination starts at -1 or
// '?', so the expected fields show what a parse wrote and what it left alone.
#include "gps/nmea.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/format.h"

namespace quorel {
namespace {

// RMC: time latitude+hemisphere longitude+hemisphere speed course date.
std::string rmc(const std::string& line, bool& valid) {
    std::int32_t time = -1, date = -1;
    double lat = -1, lon = -1, speed = -1, course = -1;
    char ns = '?', ew = '?';
    valid = parseRmc(line, RmcFields{time, lat, ns, lon, ew, speed, course, date});
    return platform::format("%d %.4f%c %.4f%c %.1f %.1f %d", time, lat, ns, lon, ew, speed, course, date);
}

// GGA: time latitude+hemisphere longitude+hemisphere satellites altitude.
std::string gga(const std::string& line, bool& valid) {
    std::int32_t time = -1, satellites = -1;
    double lat = -1, lon = -1, altitude = -1;
    char ns = '?', ew = '?';
    valid = parseGga(line, GgaFields{time, lat, ns, lon, ew, satellites, altitude});
    return platform::format("%d %.4f%c %.4f%c %d %.1f", time, lat, ns, lon, ew, satellites, altitude);
}

constexpr const char* kRmcUntouched = "-1 -1.0000? -1.0000? -1.0 -1.0 -1";
constexpr const char* kGgaUntouched = "-1 -1.0000? -1.0000? -1 -1.0";
constexpr const char* kRmcFix = "143514 3428.9468N 13549.4507E 0.0 196.2 180708";
constexpr const char* kGgaFix = "123519 4807.0380N 1131.0000E 8 545.4";

TEST(Nmea, EachSentenceGivesItsValidityAndWritesTheFieldsItReached) {
    const struct {
        bool isRmc;
        const char* line;
        bool valid;
        const char* fields;
    } rows[] = {
        {true, "$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*06", true, kRmcFix},
        {true, "$GNRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*18", true, kRmcFix},
        {true, "$GLRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*1A", false, kRmcUntouched},
        {true, "$gprmc,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*26", false, kRmcUntouched},
        {true, "$GPRMC,143514,V,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,N*1E", false, kRmcFix},
        // empty speed and course: the speed reads as standing, the course stays, the date keeps its place
        {true, "$GPRMC,225446,A,4916.45,N,12311.12,W,,,191194,020.3,E,A*06", true,
         "225446 4916.4500N 12311.1200W 0.0 -1.0 191194"},
        {true, "$GPRMC,,V,,,,,,,,,,N*53", false, "-1 -1.0000? -1.0000? 0.0 -1.0 -1"},
        {true, "$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*05", false, kRmcUntouched},
        {true, "$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*06X", false, kRmcUntouched},
        {true, "$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*0", false, kRmcUntouched},
        {true, "$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A", true, kRmcFix},  // no '*'
        {true, "$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708", true, kRmcFix},
        {true, "$GPRMC,143514,A,3428.9468,N", false, "143514 3428.9468N -1.0000? -1.0 -1.0 -1"},
        {true,
         "$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,18\x01"
         "0708",
         false, kRmcUntouched},
        {true, "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47", false, kRmcUntouched},
        {false, "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47", true, kGgaFix},
        {false, "$GNGGA,123519,3351.050,S,07038.100,W,2,12,0.9,545.4,M,46.9,M,,*50", true,
         "123519 3351.0500S 7038.1000W 12 545.4"},
        {false, "$GPGGA,123520,,,,,0,03,,,M,,M,,*62", false, "123520 -1.0000? -1.0000? 3 -1.0"},  // quality 0
        {false, "$GPGGA,123519,4807.038,N,01131.000,E,,08,0.9,545.4,M,46.9,M,,*76", false, kGgaFix},
        {false, "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4*7E", true, kGgaFix},
        {false, "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9*7C", false, "123519 4807.0380N 1131.0000E 8 -1.0"},
        {false, "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*48", false, kGgaUntouched},
        {false, "$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*06", false, kGgaUntouched},
    };
    for (const auto& row : rows) {
        bool valid = !row.valid;
        const std::string line = std::string(row.line) + "\r\n";
        const std::string fields = row.isRmc ? rmc(line, valid) : gga(line, valid);
        EXPECT_EQ(valid, row.valid) << row.line;
        EXPECT_EQ(fields, row.fields) << row.line;
    }
}

}  // namespace
}  // namespace quorel
