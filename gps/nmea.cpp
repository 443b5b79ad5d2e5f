#include "gps/nmea.h"

#include <cmath>

#include "platform/scan.h"

namespace quorel {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The fields of one sentence, cut at every comma. The checksum and the line ending are
// not part of the last field.
class Fields {
public:
    explicit Fields(std::string_view sentence) {
        const auto star = sentence.find('*');
        if (star != std::string_view::npos) sentence = sentence.substr(0, star);
        while (!sentence.empty() && (sentence.back() == '\n' || sentence.back() == '\r')) sentence.remove_suffix(1);
        rest_ = sentence;
    }

    // The next field; false when the sentence has no more.
    bool next(std::string_view& field) {
        if (done_) return false;
        const auto comma = rest_.find(',');
        if (comma == std::string_view::npos) {
            field = rest_;
            done_ = true;
        } else {
            field = rest_.substr(0, comma);
            rest_ = rest_.substr(comma + 1);
        }
        return true;
    }

private:
    std::string_view rest_;
    bool done_ = false;
};

void readInt(std::string_view field, std::int32_t& out) { platform::scanInt(field, out); }
void readReal(std::string_view field, double& out) { platform::scanReal(field, out); }
void readChar(std::string_view field, char& out) {
    if (!field.empty()) out = field.front();
}

// The four position fields both sentences carry in the same order; each written as it is
// read. False when the sentence ends before them.
bool readPosition(Fields& fields, double& latitude, char& latHemisphere, double& longitude, char& lonHemisphere) {
    std::string_view f;
    if (!fields.next(f)) return false;
    readReal(f, latitude);
    if (!fields.next(f)) return false;
    readChar(f, latHemisphere);
    if (!fields.next(f)) return false;
    readReal(f, longitude);
    if (!fields.next(f)) return false;
    readChar(f, lonHemisphere);
    return true;
}

// Receivers send printable ASCII only. A zero byte or other control character inside a
// sentence means the line was damaged on its way, and the XOR sum cannot tell: a zero
// byte leaves it unchanged.
bool isPrintable(std::string_view sentence) {
    while (!sentence.empty() && (sentence.back() == '\n' || sentence.back() == '\r')) sentence.remove_suffix(1);
    for (const char c : sentence) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E) return false;
    }
    return true;
}

// The name field against the two talkers, then the checksum; true when the sentence may
// be read.
bool admit(std::string_view sentence, Fields& fields, std::string_view gpName, std::string_view gnName) {
    std::string_view name;
    if (!fields.next(name) || (name != gpName && name != gnName)) return false;
    return isPrintable(sentence) && checkNmeaChecksum(sentence) != NmeaChecksum::Invalid;
}

}  // namespace

NmeaChecksum checkNmeaChecksum(std::string_view sentence) {
    const auto star = sentence.find('*');
    if (star == std::string_view::npos) return NmeaChecksum::Absent;
    if (sentence.size() < star + 3) return NmeaChecksum::Invalid;
    const int high = hexValue(sentence[star + 1]);
    const int low = hexValue(sentence[star + 2]);
    if (high < 0 || low < 0) return NmeaChecksum::Invalid;
    // Only the line ending may follow the checksum: text after it is no part of a sentence
    // whose sum was checked (two sentences spliced, or junk after a good one).
    for (std::size_t i = star + 3; i < sentence.size(); ++i) {
        if (sentence[i] != '\r' && sentence[i] != '\n') return NmeaChecksum::Invalid;
    }
    unsigned sum = 0;
    const std::size_t start = !sentence.empty() && sentence.front() == '$' ? 1 : 0;
    for (std::size_t i = start; i < star; ++i) sum ^= static_cast<unsigned char>(sentence[i]);
    return sum == static_cast<unsigned>(high * 16 + low) ? NmeaChecksum::Valid : NmeaChecksum::Invalid;
}

bool parseRmc(std::string_view sentence, const RmcFields& out) {
    Fields fields(sentence);
    if (!admit(sentence, fields, "$GPRMC", "$GNRMC")) return false;
    std::string_view f;
    char status = 0;
    if (!fields.next(f)) return false;
    readInt(f, out.utcTime);
    if (!fields.next(f)) return false;
    readChar(f, status);
    if (!readPosition(fields, out.latitudeRaw, out.latHemisphere, out.longitudeRaw, out.lonHemisphere)) return false;
    if (!fields.next(f)) return false;
    if (!platform::scanReal(f, out.speedKnots).ok) out.speedKnots = 0.0;
    if (!fields.next(f)) return false;
    readReal(f, out.course);
    if (!fields.next(f)) return false;
    readInt(f, out.utcDate);
    return status == 'A';
}

bool parseGga(std::string_view sentence, const GgaFields& out) {
    Fields fields(sentence);
    if (!admit(sentence, fields, "$GPGGA", "$GNGGA")) return false;
    std::string_view f;
    std::int32_t quality = 0;
    double dilution = 0.0;
    if (!fields.next(f)) return false;
    readInt(f, out.utcTime);
    if (!readPosition(fields, out.latitudeRaw, out.latHemisphere, out.longitudeRaw, out.lonHemisphere)) return false;
    if (!fields.next(f)) return false;
    readInt(f, quality);
    if (!fields.next(f)) return false;
    readInt(f, out.satellites);
    if (!fields.next(f)) return false;
    readReal(f, dilution);
    if (!fields.next(f)) return false;
    readReal(f, out.altitude);
    return quality != 0;
}

double nmeaToDegrees(double ddmm) { return std::floor(ddmm / 100.0) + std::fmod(ddmm, 100.0) / 60.0; }

}  // namespace quorel
