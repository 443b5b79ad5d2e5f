#include "gps/nmea.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace quorel {
namespace {

// Every destination starts at a value no sentence carries (-7), so a case sees exactly
// which ones a parse wrote.
struct Out {
    std::int32_t time = -7, date = -7, sats = -7;
    double lat = -7, lon = -7, speed = -7, course = -7, alt = -7;
    char latH = '?', lonH = '?';

    RmcFields rmc() { return {time, lat, latH, lon, lonH, speed, course, date}; }
    GgaFields gga() { return {time, lat, latH, lon, lonH, sats, alt}; }
    bool untouched() const {
        return time == -7 && date == -7 && sats == -7 && lat == -7 && lon == -7 && speed == -7 && course == -7 &&
               alt == -7 && latH == '?' && lonH == '?';
    }
};

// "$" body "*hh" CR LF.
std::string sentence(const std::string& body) {
    unsigned sum = 0;
    for (const char c : body) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + body + tail;
}

TEST(Nmea, RmcFieldsAreReadByPosition) {
    const struct {
        std::string text;
        bool valid;
        std::int32_t time;
        double lat;
        char latH;
        double lon;
        char lonH;
        double speed, course;
        std::int32_t date;
    } cases[] = {
        {"$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*06\r\n", true, 143514, 3428.9468, 'N',
         13549.4507, 'E', 0.0, 196.2, 180708},
        {"$GNRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*18\r\n", true, 143514, 3428.9468, 'N',
         13549.4507, 'E', 0.0, 196.2, 180708},
        // u-blox F9P: empty course; the date still lands in its own place
        {"$GNRMC,003956.00,A,4552.65403,S,17030.00668,E,0.025,,120419,,,A,V*07\r\n", true, 3956, 4552.65403, 'S',
         17030.00668, 'E', 0.025, -7, 120419},
        // PolaRx2: empty course, then a magnetic variation that must not become the date
        {"$GPRMC,112258.00,A,3844.23988,N,00908.43825,W,0.0,,220312,5.6,E,A*0D\n", true, 112258, 3844.23988, 'N',
         908.43825, 'W', 0.0, -7, 220312},
        // empty or unreadable speed: standing, whatever the speed was before
        {sentence("GPRMC,225446,A,4916.45,N,12311.12,W,,,230394,,,A"), true, 225446, 4916.45, 'N', 12311.12, 'W', 0.0,
         -7, 230394},
        {sentence("GPRMC,225446,A,4916.45,N,12311.12,W,x,,230394,,,A"), true, 225446, 4916.45, 'N', 12311.12, 'W', 0.0,
         -7, 230394},
        // no fix: everything that is there is read, empty fields are left alone
        {sentence("GPRMC,081836,V,3751.65,S,14507.36,E,000.0,360.0,130998,011.3,E"), false, 81836, 3751.65, 'S',
         14507.36, 'E', 0.0, 360.0, 130998},
        {"$GPRMC,,V,,,,,,,,,,N*53\r\n", false, -7, -7, '?', -7, '?', 0.0, -7, -7},
        {sentence("GPRMC,120000,,4807.0,N,01131.0,E,1.0,2.0,010203"), false, 120000, 4807.0, 'N', 1131.0, 'E', 1.0, 2.0,
         10203},
        // no checksum: the line ending is not part of the last field
        {"$GPRMC,1,A,1,N,2,E,3,4,5\r\n", true, 1, 1.0, 'N', 2.0, 'E', 3.0, 4.0, 5},
        // a sentence that stops early has written the fields before its end, and is no fix
        {"$GPRMC,123519,A,4807.038,N\r\n", false, 123519, 4807.038, 'N', -7, '?', -7, -7, -7},
        {sentence("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4"), false, 123519, 4807.038, 'N', 1131.0, 'E', 22.4,
         84.4, -7},
    };
    for (const auto& c : cases) {
        Out o;
        EXPECT_EQ(parseRmc(c.text, o.rmc()), c.valid) << c.text;
        EXPECT_EQ(o.time, c.time) << c.text;
        EXPECT_DOUBLE_EQ(o.lat, c.lat) << c.text;
        EXPECT_EQ(o.latH, c.latH) << c.text;
        EXPECT_DOUBLE_EQ(o.lon, c.lon) << c.text;
        EXPECT_EQ(o.lonH, c.lonH) << c.text;
        EXPECT_DOUBLE_EQ(o.speed, c.speed) << c.text;
        EXPECT_DOUBLE_EQ(o.course, c.course) << c.text;
        EXPECT_EQ(o.date, c.date) << c.text;
    }
}

TEST(Nmea, GgaFieldsAreReadByPosition) {
    const struct {
        std::string text;
        bool valid;
        std::int32_t time;
        double lat;
        char latH;
        double lon;
        char lonH;
        std::int32_t sats;
        double alt;
    } cases[] = {
        {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n", true, 123519, 4807.038, 'N',
         1131.0, 'E', 8, 545.4},
        // Trimble RTK, 8-decimal minutes
        {"$GPGGA,172814.0,3723.46587704,N,12202.26957864,W,2,6,1.2,18.893,M,-25.669,M,2.0,0031*4F\r\n", true, 172814,
         3723.46587704, 'N', 12202.26957864, 'W', 6, 18.893},
        // quality 0: no fix; the empty position leaves its destinations alone
        {"$GPGGA,123520,,,,,0,03,,,M,,M,,*62\r\n", false, 123520, -7, '?', -7, '?', 3, -7},
        // empty quality (Firefly, checksum corrected): no fix, although satellites follow
        {"$GPGGA,005947.00,3715.6616,N,12157.6709,W,,11,0.8,86.0,M,-30.1,M,,*56\r\n", false, 5947, 3715.6616, 'N',
         12157.6709, 'W', 11, 86.0},
        // empty dilution: the altitude is still the altitude
        {sentence("GPGGA,101010,3345.1,S,01830.2,E,1,04,,12.5,M,,M,,"), true, 101010, 3345.1, 'S', 1830.2, 'E', 4,
         12.5},
        // the text ends right after the altitude, without a checksum
        {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4\r\n", true, 123519, 4807.038, 'N', 1131.0, 'E', 8, 545.4},
        // RGM-3800: negative altitude
        {"$GPGGA,102523.342,4815.6883,N,01140.3675,E,1,03,4.1,-47.5,M,47.5,M,,0000*4B\n", true, 102523, 4815.6883,
         'N', 1140.3675, 'E', 3, -47.5},
        // PolaRx2: empty altitude
        {"$GPGGA,112257.00,3844.24011,N,00908.43828,W,1,03,10.5,,,,,,*72\n", true, 112257, 3844.24011, 'N', 908.43828,
         'W', 3, -7},
        // Saab R4: quality 2 and nothing but empty fields after it; all ten are there
        {"$GPGGA,130711,5012.790800,N,00806.879600,W,2,,,,,,,*6A\n", true, 130711, 5012.7908, 'N', 806.8796, 'W', -7,
         -7},
        // stops after the dilution: satellites read, altitude not
        {sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9"), false, 123519, 4807.038, 'N', 1131.0, 'E', 8, -7},
    };
    for (const auto& c : cases) {
        Out o;
        EXPECT_EQ(parseGga(c.text, o.gga()), c.valid) << c.text;
        EXPECT_EQ(o.time, c.time) << c.text;
        EXPECT_DOUBLE_EQ(o.lat, c.lat) << c.text;
        EXPECT_EQ(o.latH, c.latH) << c.text;
        EXPECT_DOUBLE_EQ(o.lon, c.lon) << c.text;
        EXPECT_EQ(o.lonH, c.lonH) << c.text;
        EXPECT_EQ(o.sats, c.sats) << c.text;
        EXPECT_DOUBLE_EQ(o.alt, c.alt) << c.text;
    }
}

// Other sentences and talkers, damaged sentences and checksums that do not match: both
// parsers refuse them and write nothing.
TEST(Nmea, RefusedSentencesWriteNothing) {
    const std::string rmc = "3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A";
    const struct {
        std::string text;
        NmeaChecksum check;
    } cases[] = {
        {"$GLRMC,143514,A," + rmc + "\r\n", NmeaChecksum::Absent},
        {"$GARMC,143514,A," + rmc + "\r\n", NmeaChecksum::Absent},
        {"$gprmc,143514,A," + rmc + "\r\n", NmeaChecksum::Absent},
        {"$GPRMCX,143514,A," + rmc + "\r\n", NmeaChecksum::Absent},
        {"GPRMC,143514,A," + rmc + "\r\n", NmeaChecksum::Absent},
        {",$GPRMC,143514,A," + rmc + "\r\n", NmeaChecksum::Absent},
        {"$GLGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,\r\n", NmeaChecksum::Absent},
        {"$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n", NmeaChecksum::Valid},
        {"$GPGGA", NmeaChecksum::Absent},
        {"", NmeaChecksum::Absent},
        // the example as often printed, with a checksum one off
        {"$GPRMC,143514,A," + rmc + "*05\r\n", NmeaChecksum::Invalid},
        {"$GNRMC,143514,A," + rmc + "*06\r\n", NmeaChecksum::Invalid},
        {"$GPRMC,143514,A,3428.9469,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*06\r\n", NmeaChecksum::Invalid},
        {"$GPRMC,143514,A," + rmc + "*0\r\n", NmeaChecksum::Invalid},
        {"$GPRMC,143514,A," + rmc + "*\r\n", NmeaChecksum::Invalid},
        {"$GPRMC,143514,A," + rmc + "*G6\r\n", NmeaChecksum::Invalid},
        {"$GPRMC,143514,A,34*28.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A\r\n", NmeaChecksum::Invalid},
        {"$GPGGA,172814.0,3723.46587704,N,12202.26957864,W,2,6,1.2,18.893,M,-25.669,M,2.0,0031*4e\r\n",
         NmeaChecksum::Invalid},
        // Firefly: every GGA carries a wrong checksum
        {"$GPGGA,005947.00,3715.6616,N,12157.6709,W,,11,0.8,86.0,M,-30.1,M,,*54\r\n", NmeaChecksum::Invalid},
        // a cut and spliced line of the cold-boot log
        {"$GPRMC,000344.03,A,4808.9992,N,4,02.3*05\r\n", NmeaChecksum::Invalid},
        // bytes receivers never send; a zero byte does not even change the sum
        {std::string("$GPRMC,1435") + '\0' + "14,A," + rmc + "*06\r\n", NmeaChecksum::Valid},
        {"$GPRMC,143514,A," + rmc + "\t*0F\r\n", NmeaChecksum::Valid},
        {"$GPRMC,143514,A," + rmc + "\xE9\r\n", NmeaChecksum::Absent},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(checkNmeaChecksum(c.text), c.check) << c.text;
        Out o;
        EXPECT_FALSE(parseRmc(c.text, o.rmc())) << c.text;
        EXPECT_FALSE(parseGga(c.text, o.gga())) << c.text;
        EXPECT_TRUE(o.untouched()) << c.text;
    }
    // Lower-case digits are a checksum like upper-case ones; each parser refuses the
    // other's sentence untouched.
    const std::string gga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
    Out o;
    EXPECT_TRUE(parseGga("$GPGGA,172814.0,3723.46587704,N,12202.26957864,W,2,6,1.2,18.893,M,-25.669,M,2.0,0031*4f",
                         o.gga()));
    Out other;
    EXPECT_FALSE(parseRmc(gga, other.rmc()));
    EXPECT_FALSE(parseGga("$GPRMC,143514,A," + rmc + "*06\r\n", other.gga()));
    EXPECT_TRUE(other.untouched());
}

TEST(Nmea, DegreesFromDegreesAndMinutes) {
    const struct {
        double raw;
        double degrees;
    } cases[] = {
        {3428.9468, 34.48244666666667}, {13549.4507, 135.82417833333334}, {4807.038, 48.1173},
        {0.0, 0.0},                     {9000.0, 90.0},                   {8960.0, 90.0},
        {18000.0, 180.0},               {59.99, 0.9998333333333334},      {4551.16045, 45.85267416666667},
    };
    for (const auto& c : cases) EXPECT_NEAR(nmeaToDegrees(c.raw), c.degrees, 1e-12) << c.raw;
}

}  // namespace
}  // namespace quorel
