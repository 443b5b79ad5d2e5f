#pragma once
// Where the sun stands: its elevation above the horizon at a place and a moment, from
// the usual low-precision solar-position formulas (mean longitude and anomaly, the
// equation of centre, the obliquity of the ecliptic and the equation of time), good to
// a few hundredths of a degree for the years a receiver reports. Geometric elevation:
// no refraction, the centre of the disc. Pure arithmetic, no clock and no state.
#include <cstdint>

namespace quorel {

// The sun's centre this far below the horizon ends civil twilight in the evening and
// begins it in the morning: darker than this is night.
inline constexpr double kCivilTwilightDegrees = -6.0;

// Seconds since 1970-01-01 00:00 UTC of a calendar day (proleptic Gregorian) and a
// time of day in seconds.
std::int64_t utcSecondsOf(int year, int month, int day, int secondsOfDay);

// Degrees above (positive) or below the horizon at latitude lat (north positive) and
// longitude lon (east positive), utcSeconds since 1970 UTC.
double sunElevationDegrees(double lat, double lon, std::int64_t utcSeconds);

}  // namespace quorel
