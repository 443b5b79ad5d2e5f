#include "gps/gps_receiver.h"

#include <cmath>
#include <limits>
#include <optional>
#include <string_view>

#include "gps/nmea.h"
#include "platform/paths.h"

namespace quorel {
namespace {

constexpr int kLinesPerPoll = 20;
constexpr int kShortLine = 40;  // a line of this many bytes or fewer ends the poll
constexpr double kKnotsToKmh = 1.852;
constexpr double kMovingKmh = 0.1;  // strictly above this a fix counts as moving

// Degrees of a raw ddmm.mmmm value with its hemisphere applied; none for a value that is
// missing (NaN), negative, infinite or beyond limit degrees.
std::optional<double> signedDegrees(double raw, char hemisphere, char negativeHemisphere, double limit) {
    if (!std::isfinite(raw) || raw < 0.0) return std::nullopt;
    const double degrees = nmeaToDegrees(raw);
    if (degrees > limit) return std::nullopt;
    return hemisphere == negativeHemisphere ? -degrees : degrees;
}

void recordFix(GpsReceiver& gps, double altitude, std::int32_t date) {
    if (!gps.hasMovingFix) {
        gps.hasMovingFix = true;
        return;
    }
    if (gps.trackFile.isRecording()) {
        writeTrackPointToLog(gps, gps.latitude, gps.longitude, altitude, date, gps.fixTime);
    }
    GeoPoint point;
    point.lat = gps.latitude;
    point.lon = gps.longitude;
    point.ele = altitude;
    gps.track.addPoint(point);
    TripFix fix{point.lat, point.lon, altitude, 0, false, gps.speedKmh, true};
    fix.hasTime = tripSecondsOf(date, gps.fixTime, fix.utcSeconds);
    addTripFix(gps.tripRun, fix);
    addTripFix(gps.tripLog, fix);
}

}  // namespace

void initGpsReceiver(GpsReceiver& gps) {
    if (gps.trackFile.isRecording()) closeTrackLog(gps);
    gps.track = GpxPath{};
    gps.latitude = gps.longitude = 0.0;
    gps.fixTime = gps.fixDate = gps.satellites = 0;
    gps.altitude = gps.speedKnots = gps.speedKmh = gps.course = 0.0;
    gps.ggaReady = gps.rmcReady = gps.hasMovingFix = gps.hasFix = false;
    gps.batteryPercent = 0;
    gps.datedTrackPath.clear();
    gps.datedNamePending = true;
    loadPreviousTrack(gps);
    gps.tripRun = gps.tripLog = TripTotals{};
    for (const GeoPoint& p : gps.track.points.items()) {
        TripFix fix{p.lat, p.lon, p.ele, 0, false, 0.0, false};
        fix.hasTime = tripSecondsOf(p.utcDate, p.utcTime, fix.utcSeconds);
        addTripFix(gps.tripLog, fix);
    }
}

void initGps(GpsContext& gps, const std::filesystem::path& programDir, const std::filesystem::path& deviceRoot) {
    closeSerialPort(gps.port);
    if (!loadGpsSettings(gps.settings, programDir)) saveGpsSettings(gps.settings, programDir);
    gps.receiver.storageRootPath = platform::storageRootDir(gps.settings.storageRoot, deviceRoot);
    initGpsReceiver(gps.receiver);
}

void shutdownGps(GpsContext& gps) {
    closeTrackLog(gps.receiver);
    closeSerialPort(gps.port);
}

void pollGps(GpsContext& context, const PowerContext& power) {
    GpsReceiver& gps = context.receiver;
    // The times of the latest GGA and RMC fixes accepted in this poll; -1 for none, so
    // that a fix of 00:00:00 is told apart from no fix.
    std::int32_t bestGga = -1;
    std::int32_t bestRmc = -1;
    double pairAltitude = gps.altitude;
    std::int32_t pairDate = gps.fixDate;
    SentenceBuffer sentence{};

    beginSerialPoll(context.port, kShortLine);
    for (int line = 0; line < kLinesPerPoll; ++line) {
        const int n = readSentence(context.port, sentence);
        if (n <= kShortLine) break;
        const std::string_view text(sentence.data(), n < kSentenceBufferSize ? static_cast<std::size_t>(n) : 0);

        std::int32_t time = -1;  // stays -1 when the time field does not scan
        double rawLat = std::numeric_limits<double>::quiet_NaN();
        double rawLon = std::numeric_limits<double>::quiet_NaN();
        char latHemisphere = 0;
        char lonHemisphere = 0;
        if (parseGga(text,
                     GgaFields{time, rawLat, latHemisphere, rawLon, lonHemisphere, gps.satellites, gps.altitude})) {
            const auto lat = signedDegrees(rawLat, latHemisphere, 'S', 90.0);
            const auto lon = signedDegrees(rawLon, lonHemisphere, 'W', 180.0);
            if (time >= 0 && lat && lon) {
                if (time < bestGga) continue;
                bestGga = time;
                gps.fixTime = time;
                gps.hasFix = true;
                gps.latitude = *lat;
                gps.longitude = *lon;
                gps.ggaReady = true;
                pairAltitude = gps.altitude;
            }
        }

        time = -1;
        if (parseRmc(text, RmcFields{time, rawLat, latHemisphere, rawLon, lonHemisphere, gps.speedKnots, gps.course,
                                     gps.fixDate}) &&
            time >= 0 && time >= bestRmc) {
            bestRmc = time;
            gps.speedKmh = gps.speedKnots * kKnotsToKmh;
            gps.rmcReady = true;
            pairDate = gps.fixDate;
        }
    }

    if (gps.ggaReady && gps.rmcReady) {
        if (bestRmc == bestGga && bestGga >= 0) {
            gps.ggaReady = gps.rmcReady = false;
            if (gps.speedKmh > kMovingKmh) recordFix(gps, pairAltitude, pairDate);
        } else if (bestRmc > bestGga) {
            gps.ggaReady = false;
        } else {
            gps.rmcReady = false;
        }
    }
    // Points recorded just before the receiver stopped moving reach the card within the
    // sync interval even though no further point comes to carry them.
    syncTrackLogIfDue(gps);
    gps.batteryPercent = readBatteryStatus(power);
}

double geoDistanceKm(const GeoPoint& a, const GeoPoint& b) {
    const double dLat = (b.lat - a.lat) / 180.0 * kPiDistance;
    const double dLon = (b.lon - a.lon) / 180.0 * kPiDistance;
    const double dEle = (b.ele - a.ele) / 1000.0;
    const double north = kEarthRadiusKm * dLat;
    const double east = std::cos(a.lat / 180.0 * kPiDistance) * kEarthRadiusKm * dLon;
    return std::sqrt(north * north + east * east + dEle * dEle);
}

}  // namespace quorel
