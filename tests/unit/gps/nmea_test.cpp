#include "gps/nmea.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace quorel {
namespace {

// Every destination starts at a value no sentence carries, so a test sees exactly which
// ones a parse wrote.
struct Out {
    std::int32_t time = -7;
    double lat = -7.5;
    char latH = '?';
    double lon = -7.5;
    char lonH = '?';
    double speed = -7.5;
    double course = -7.5;
    std::int32_t date = -7;
    std::int32_t sats = -7;
    double alt = -7.5;

    RmcFields rmc() { return {time, lat, latH, lon, lonH, speed, course, date}; }
    GgaFields gga() { return {time, lat, latH, lon, lonH, sats, alt}; }
    bool untouched() const {
        return time == -7 && lat == -7.5 && latH == '?' && lon == -7.5 && lonH == '?' && speed == -7.5 &&
               course == -7.5 && date == -7 && sats == -7 && alt == -7.5;
    }
};

// "$" body "*hh" CR LF, with the checksum worked out here.
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
        double speed;
        double course;
        std::int32_t date;
    } cases[] = {
        {"$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*06\r\n", true, 143514, 3428.9468, 'N',
         13549.4507, 'E', 0.0, 196.2, 180708},
        {"$GNRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*18\r\n", true, 143514, 3428.9468, 'N',
         13549.4507, 'E', 0.0, 196.2, 180708},
        // from the u-blox F9P log: empty course, the date still lands in its own place
        {"$GNRMC,003956.00,A,4552.65403,S,17030.00668,E,0.025,,120419,,,A,V*07\r\n", true, 3956, 4552.65403, 'S',
         17030.00668, 'E', 0.025, -7.5, 120419},
        // PolaRx2: empty course, then a magnetic variation that must not become the date
        {"$GPRMC,112258.00,A,3844.23988,N,00908.43825,W,0.0,,220312,5.6,E,A*0D\n", true, 112258, 3844.23988, 'N',
         908.43825, 'W', 0.0, -7.5, 220312},
        {sentence("GPRMC,225446,A,4916.45,N,12311.12,W,,,230394,,,A"), true, 225446, 4916.45, 'N', 12311.12, 'W', 0.0,
         -7.5, 230394},
        // receivers that lost the fix: status V, everything read that is there
        {sentence("GPRMC,081836,V,3751.65,S,14507.36,E,000.0,360.0,130998,011.3,E"), false, 81836, 3751.65, 'S',
         14507.36, 'E', 0.0, 360.0, 130998},
        {"$GPRMC,,V,,,,,,,,,,N*53\r\n", false, -7, -7.5, '?', -7.5, '?', 0.0, -7.5, -7},
        // no checksum: the line ending is not part of the last field
        {"$GPRMC,1,A,1,N,2,E,3,4,5\r\n", true, 1, 1.0, 'N', 2.0, 'E', 3.0, 4.0, 5},
        // an empty status is not 'A'
        {sentence("GPRMC,120000,,4807.0,N,01131.0,E,1.0,2.0,010203"), false, 120000, 4807.0, 'N', 1131.0, 'E', 1.0,
         2.0, 10203},
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
        {sentence("GNGGA,123519,4807.038,N,01131.000,E,2,12,0.9,545.4,M,46.9,M,,"), true, 123519, 4807.038, 'N', 1131.0,
         'E', 12, 545.4},
        // no fix: quality 0; the empty position leaves the destinations as they were
        {"$GPGGA,123520,,,,,0,03,,,M,,M,,*62\r\n", false, 123520, -7.5, '?', -7.5, '?', 3, -7.5},
        // empty quality (Firefly log, checksum corrected): not a fix, although satellites follow
        {"$GPGGA,005947.00,3715.6616,N,12157.6709,W,,11,0.8,86.0,M,-30.1,M,,*56\r\n", false, 5947, 3715.6616, 'N',
         12157.6709, 'W', 11, 86.0},
        // empty dilution: the altitude is still the altitude
        {sentence("GPGGA,101010,3345.1,S,01830.2,E,1,04,,12.5,M,,M,,"), true, 101010, 3345.1, 'S', 1830.2, 'E', 4,
         12.5},
        // the text ends right after the altitude, no checksum
        {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4\r\n", true, 123519, 4807.038, 'N', 1131.0, 'E', 8, 545.4},
        // negative altitude (RGM-3800 log)
        {"$GPGGA,102523.342,4815.6883,N,01140.3675,E,1,03,4.1,-47.5,M,47.5,M,,0000*4B\n", true, 102523, 4815.6883,
         'N', 1140.3675, 'E', 3, -47.5},
        // empty altitude (PolaRx2 log)
        {"$GPGGA,112257.00,3844.24011,N,00908.43828,W,1,03,10.5,,,,,,*72\n", true, 112257, 3844.24011, 'N', 908.43828,
         'W', 3, -7.5},
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

TEST(Nmea, OtherSentencesAndTalkersWriteNothing) {
    const char* cases[] = {
        "$GLRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*1A\r\n",
        "$gprmc,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A\r\n",
        "$GARMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A\r\n",
        "$GPRMCX,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A\r\n",
        "GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A\r\n",
        " $GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A\r\n",
        ",$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A\r\n",
        "$GLGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,\r\n",
        "$GAGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,\r\n",
        "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n",
        "$GPGGA",
        "",
    };
    for (const char* text : cases) {
        Out o;
        EXPECT_FALSE(parseRmc(text, o.rmc())) << text;
        EXPECT_FALSE(parseGga(text, o.gga())) << text;
        EXPECT_TRUE(o.untouched()) << text;
    }
    // Each parser refuses the other's sentence untouched, whatever the order.
    const std::string gga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
    const std::string rmc = "$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*06\r\n";
    Out o;
    EXPECT_FALSE(parseRmc(gga, o.rmc()));
    EXPECT_FALSE(parseGga(rmc, o.gga()));
    EXPECT_TRUE(o.untouched());
}

TEST(Nmea, ChecksumThatDoesNotMatchRefusesTheSentenceUntouched) {
    const struct {
        std::string text;
        NmeaChecksum check;
        bool rmcValid;
    } cases[] = {
        {"$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*05\r\n", NmeaChecksum::Invalid, false},
        {"$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*06\r\n", NmeaChecksum::Valid, true},
        {"$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*06", NmeaChecksum::Valid, true},
        {"$GNRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*06\r\n", NmeaChecksum::Invalid, false},
        // one corrupted digit in the position
        {"$GPRMC,143514,A,3428.9469,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*06\r\n", NmeaChecksum::Invalid, false},
        // hex digits in either case
        {sentence("GPRMC,000000,A,0000.0,N,00000.0,E,5.5,0.0,010100"), NmeaChecksum::Valid, true},
        {"$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*0\r\n", NmeaChecksum::Invalid, false},
        {"$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*\r\n", NmeaChecksum::Invalid, false},
        {"$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*G6\r\n", NmeaChecksum::Invalid, false},
        // no checksum at all: read as it stands
        {"$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A\r\n", NmeaChecksum::Absent, true},
        // a cut and spliced line of the cold-boot log
        {"$GPRMC,000344.03,A,4808.9992,N,4,02.3*05\r\n", NmeaChecksum::Invalid, false},
        // a zero byte leaves the sum as it is, but receivers never send one: refused all the same
        {std::string("$GPRMC,1435\0""14,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*06\r\n", 70),
         NmeaChecksum::Valid, false},
        {"$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A\t*0F\r\n", NmeaChecksum::Valid, false},
        {"$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A\xE9\r\n", NmeaChecksum::Absent, false},
        // a '*' inside the data starts the checksum there
        {"$GPRMC,143514,A,34*28.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A\r\n", NmeaChecksum::Invalid, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(checkNmeaChecksum(c.text), c.check) << c.text;
        Out o;
        EXPECT_EQ(parseRmc(c.text, o.rmc()), c.rmcValid) << c.text;
        if (!c.rmcValid) {
            EXPECT_TRUE(o.untouched()) << c.text;
        }
    }
    // The Firefly log's GGA sentences all carry a wrong checksum.
    Out firefly;
    EXPECT_FALSE(parseGga("$GPGGA,005947.00,3715.6616,N,12157.6709,W,,11,0.8,86.0,M,-30.1,M,,*54\r\n", firefly.gga()));
    EXPECT_TRUE(firefly.untouched());
    // lower-case hex digits
    Out o;
    EXPECT_TRUE(parseGga("$GPGGA,172814.0,3723.46587704,N,12202.26957864,W,2,6,1.2,18.893,M,-25.669,M,2.0,0031*4f\r\n",
                         o.gga()));
    EXPECT_EQ(o.sats, 6);
    Out bad;
    EXPECT_FALSE(parseGga("$GPGGA,172814.0,3723.46587704,N,12202.26957864,W,2,6,1.2,18.893,M,-25.669,M,2.0,0031*4e\r\n",
                          bad.gga()));
    EXPECT_TRUE(bad.untouched());
}

TEST(Nmea, EmptySpeedCountsAsStanding) {
    Out o;
    o.speed = 10.0;
    ASSERT_TRUE(parseRmc(sentence("GPRMC,225446,A,4916.45,N,12311.12,W,,,230394,,,A"), o.rmc()));
    EXPECT_EQ(o.speed, 0.0);
    o.speed = 10.0;
    ASSERT_TRUE(parseRmc(sentence("GPRMC,225446,A,4916.45,N,12311.12,W,x,,230394,,,A"), o.rmc()));
    EXPECT_EQ(o.speed, 0.0);
    // A sentence that ends before its speed field leaves the speed alone: it is not a fix.
    o.speed = 10.0;
    EXPECT_FALSE(parseRmc(sentence("GPRMC,225446,A,4916.45,N,12311.12,W"), o.rmc()));
    EXPECT_EQ(o.speed, 10.0);
}

TEST(Nmea, ShortSentencesWriteTheFieldsBeforeTheEnd) {
    Out o;
    EXPECT_FALSE(parseRmc("$GPRMC,123519,A,4807.038,N\r\n", o.rmc()));
    EXPECT_EQ(o.time, 123519);
    EXPECT_DOUBLE_EQ(o.lat, 4807.038);
    EXPECT_EQ(o.latH, 'N');
    EXPECT_EQ(o.lon, -7.5);
    EXPECT_EQ(o.date, -7);

    // Nine fields after the name are needed: an RMC without its date is not a fix.
    Out r;
    EXPECT_FALSE(parseRmc(sentence("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4"), r.rmc()));
    EXPECT_DOUBLE_EQ(r.course, 84.4);
    EXPECT_EQ(r.date, -7);

    Out g;
    EXPECT_FALSE(parseGga(sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9"), g.gga()));
    EXPECT_EQ(g.sats, 8);
    EXPECT_EQ(g.alt, -7.5);

    // Saab R4: quality 2 and then nothing but empty fields; all ten are there.
    Out s;
    EXPECT_TRUE(parseGga("$GPGGA,130711,5012.790800,N,00806.879600,W,2,,,,,,,*6A\n", s.gga()));
    EXPECT_EQ(s.sats, -7);
    EXPECT_EQ(s.alt, -7.5);
}

TEST(Nmea, NumbersScanLikeTheFormattedInput) {
    Out o;
    ASSERT_TRUE(parseGga(sentence("GPGGA, 99999999999.5,1e2,N,0x10,E,+1,  7x,nan,inf"), o.gga()));
    EXPECT_EQ(o.time, 2147483647);
    EXPECT_DOUBLE_EQ(o.lat, 100.0);
    EXPECT_DOUBLE_EQ(o.lon, 16.0);
    EXPECT_EQ(o.sats, 7);
    EXPECT_TRUE(std::isinf(o.alt));
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
