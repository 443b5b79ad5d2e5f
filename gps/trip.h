#pragma once
// The trip at a glance: distance, moving time, average moving speed and total ascent,
// added up fix by fix. Nothing here reads or writes anything; the receiver feeds two
// totals, one since the run started and one since the first point of the track log.
//
// - Distance is the sum of the legs between consecutive fixes (geoDistanceKm, heights
//   included), whatever their speed or the time between them.
// - A leg is moving time when both ends carry a time, it lasted at most kTripStopGapS
//   seconds and its speed is above kTripMovingKmh. The speed is the smaller of the fix's
//   own speed (from the receiver) and distance over time, or the one of them that is
//   known: a receiver standing still reports a small speed while its position wanders,
//   and a leg across a red light has the speed of the fix after it but covers nothing.
//   The log records only moving fixes, so a leg longer than kTripStopGapS spans a stop
//   (or a receiver that lost the sky) and is never moving time.
// - Ascent is counted on altitudes smoothed by the mean of kTripSmoothFixes fixes centred
//   on each fix (fewer at the ends, as many before as after it, so the first and the
//   latest fix keep their own altitude), with hysteresis: while climbing every rise
//   counts, and a descent ends the climb only once it is kTripAscentStepM deep; after a
//   descent a climb begins only once it is kTripAscentStepM high, and is then counted
//   from the lowest point. Raw receiver altitudes wander by metres from fix to fix and
//   would count every wobble. The last two fixes are smoothed for good only when two
//   more have come; until then tripAscentM counts them as the ends of the track.
#include <array>
#include <cstdint>

namespace quorel {

inline constexpr double kTripMovingKmh = 1.0;
inline constexpr double kTripStopGapS = 60.0;
inline constexpr int kTripSmoothFixes = 5;
inline constexpr double kTripAscentStepM = 3.0;

struct TripFix {
    double lat = 0.0;
    double lon = 0.0;
    double ele = 0.0;
    std::int64_t utcSeconds = 0;  // seconds since 1970, UTC
    bool hasTime = false;
    double speedKmh = 0.0;
    bool hasSpeed = false;  // a fix of the log read back has no speed
};

struct TripTotals {
    double distanceKm = 0.0;
    double movingSeconds = 0.0;
    double movingKm = 0.0;  // the distance of the moving legs
    int fixes = 0;

    TripFix last;                                      // valid when fixes > 0
    std::array<double, kTripSmoothFixes> recentEle{};  // ring of the last altitudes, fix n at n % 5
    // The ascent over the fixes smoothed for good, and where its hysteresis stands.
    struct Climb {
        double ascentM = 0.0;
        double ref = 0.0;  // the top of a climb, or the bottom of a descent
        bool climbing = false;
    } climb;
};

// Seconds since 1970 of an NMEA date (ddmmyy, years 2000 to 2099) and time (hhmmss);
// false when either is 0 or out of range.
bool tripSecondsOf(std::int32_t date, std::int32_t time, std::int64_t& seconds);

// Adds the leg from the last fix to this one.
void addTripFix(TripTotals& trip, const TripFix& fix);

// Metres of ascent, the latest fixes included.
double tripAscentM(const TripTotals& trip);

// The moving legs' distance over their time, in km/h; 0 before any.
double averageMovingKmh(const TripTotals& trip);

}  // namespace quorel
