#include "gps/nmea.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/format.h"

namespace quorel {
namespace {

// Both parsers on one text, GGA first as pollGps runs them. Every destination starts at a
// value no sentence carries (-7, '?'), so the result shows exactly what was written:
// the parsers that returned true, then time, latitude, longitude, speed, course, date,
// satellites, altitude.
std::string parse(const std::string& text) {
    std::int32_t time = -7, date = -7, sats = -7;
    double lat = -7, lon = -7, speed = -7, course = -7, alt = -7;
    char latH = '?', lonH = '?';
    const bool gga = parseGga(text, {time, lat, latH, lon, lonH, sats, alt});
    const bool rmc = parseRmc(text, {time, lat, latH, lon, lonH, speed, course, date});
    return platform::format("%s%s%d %.13g%c %.13g%c %g %g %d %d %g", gga ? "GGA " : "", rmc ? "RMC " : "", time, lat,
                            latH, lon, lonH, speed, course, date, sats, alt);
}

std::string withChecksum(const std::string& body) {
    unsigned sum = 0;
    for (const char c : body) sum ^= static_cast<unsigned char>(c);
    return platform::format("$%s*%02X\r\n", body.c_str(), sum);
}

TEST(Nmea, FieldsAreReadByPosition) {
    const std::string rmc = "143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A";
    const std::string worked = "RMC 143514 3428.9468N 13549.4507E 0 196.2 180708 -7 -7";
    const std::string nothing = "-7 -7? -7? -7 -7 -7 -7 -7";
    const struct {
        std::string text;
        std::string read;
    } cases[] = {
        {"$GPRMC," + rmc + "*06\r\n", worked},
        {"$GNRMC," + rmc + "*18\r\n", worked},
        {"$GPRMC," + rmc + "\r\n", worked},  // no checksum: read as it stands
        // an empty course: the date stays in its own place
        {"$GNRMC,003956.00,A,4552.65403,S,17030.00668,E,0.025,,120419,,,A,V*07\r\n",
         "RMC 3956 4552.65403S 17030.00668E 0.025 -7 120419 -7 -7"},
        // an empty speed is standing, not the last speed
        {withChecksum("GPRMC,225446,A,4916.45,N,12311.12,W,,,230394,,,A"),
         "RMC 225446 4916.45N 12311.12W 0 -7 230394 -7 -7"},
        {withChecksum("GPRMC,081836,V,3751.65,S,14507.36,E,000.0,360.0,130998,011.3,E"),
         "81836 3751.65S 14507.36E 0 360 130998 -7 -7"},
        // nine fields after the name: those there are written, but it is no fix
        {withChecksum("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4"),
         "123519 4807.038N 1131E 22.4 84.4 -7 -7 -7"},
        {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n",
         "GGA 123519 4807.038N 1131E -7 -7 -7 8 545.4"},
        {"$GPGGA,172814.0,3723.46587704,N,12202.26957864,W,2,6,1.2,18.893,M,-25.669,M,2.0,0031*4f\r\n",
         "GGA 172814 3723.46587704N 12202.26957864W -7 -7 -7 6 18.893"},  // lower-case checksum digits
        {"$GPGGA,123520,,,,,0,03,,,M,,M,,*62\r\n", "123520 -7? -7? -7 -7 -7 3 -7"},  // no fix
        {withChecksum("GPGGA,101010,3345.1,S,01830.2,E,1,04,,12.5,M,,M,,"),
         "GGA 101010 3345.1S 1830.2E -7 -7 -7 4 12.5"},
        {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4\r\n", "GGA 123519 4807.038N 1131E -7 -7 -7 8 545.4"},
        {withChecksum("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9"), "123519 4807.038N 1131E -7 -7 -7 8 -7"},
        // refused before anything is written: other talkers and names, checksums that do
        // not match, bytes receivers never send (a zero byte does not even change the sum)
        {"$GLRMC," + rmc + "\r\n", nothing},
        {"$gprmc," + rmc + "\r\n", nothing},
        {"$GPRMCX," + rmc + "\r\n", nothing},
        {"$GLGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,\r\n", nothing},
        {"$GPGGA", nothing},
        {"$GPRMC," + rmc + "*05\r\n", nothing},
        {"$GPRMC," + rmc + "*G6\r\n", nothing},
        {"$GPRMC," + rmc + "*", nothing},
        {"$GPRMC," + rmc + "*06JUNK,99\r\n", nothing},  // nothing may follow the checksum
        {std::string("$GPRMC,1435") + '\0' + "14,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*06\r\n", nothing},
        {"$GPRMC," + rmc + "\xE9\r\n", nothing},
    };
    for (const auto& c : cases) {
        const std::string before = c.text;
        EXPECT_EQ(parse(c.text), c.read) << c.text;
        EXPECT_EQ(c.text, before);  // the GGA parser leaves the text for the RMC parser
    }
}

TEST(Nmea, DegreesFromDegreesAndMinutes) {
    const struct {
        double raw;
        double degrees;
    } cases[] = {{3428.9468, 34.482446666666667}, {13549.4507, 135.82417833333334}, {4807.038, 48.1173},
                 {0.0, 0.0}, {59.99, 0.9998333333333333}};
    for (const auto& c : cases) EXPECT_NEAR(nmeaToDegrees(c.raw), c.degrees, 1e-12) << c.raw;
}

}  // namespace
}  // namespace quorel
