#pragma once
// RMC and GGA sentences of the GPS (GP) and multi-constellation (GN) talkers; every other
// sentence and talker is not recognised.
//
// Fields are positional: an empty field is a field whose value does not scan, and it
// leaves its destination unchanged without moving the fields after it. Each destination
// is written as its field is read, so a sentence that stops early leaves the later ones
// untouched; pollGps passes GpsReceiver fields as some of them.
//
// A sentence whose "*hh" does not match its characters, or that holds a byte receivers
// never send (a control character before the line ending, or one above 0x7E), is refused
// before anything is written; a sentence without a checksum is read as it stands.
#include <cstdint>
#include <string_view>

namespace quorel {

struct RmcFields {
    std::int32_t& utcTime;  // hhmmss, fraction dropped
    double& latitudeRaw;    // ddmm.mmmm as sent
    char& latHemisphere;    // 'N' or 'S'
    double& longitudeRaw;   // dddmm.mmmm
    char& lonHemisphere;    // 'E' or 'W'
    double& speedKnots;     // an empty speed field writes 0: a standing receiver may omit it
    double& course;
    std::int32_t& utcDate;  // ddmmyy
};

struct GgaFields {
    std::int32_t& utcTime;
    double& latitudeRaw;
    char& latHemisphere;
    double& longitudeRaw;
    char& lonHemisphere;
    std::int32_t& satellites;
    double& altitude;  // metres above mean sea level
};

// "$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*05" -> true
// True for status 'A' with the name and the nine fields after it present.
bool parseRmc(std::string_view sentence, const RmcFields& out);

// "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47" -> true, 8 sats, 545.4 m
// True for a fix quality other than 0 with the name and the nine fields after it present.
bool parseGga(std::string_view sentence, const GgaFields& out);

// ddmm.mmmm to degrees; the caller applies the hemisphere.
double nmeaToDegrees(double ddmm);

enum class NmeaChecksum { Absent, Valid, Invalid };

// The "*hh" after the first '*' against the XOR of the characters between the leading
// '$' and that '*'. A '*' without two hexadecimal digits after it is Invalid.
NmeaChecksum checkNmeaChecksum(std::string_view sentence);

}  // namespace quorel
