#include "map/sun_position.h"

#include <cmath>

namespace quorel {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSecondsPerDay = 86400.0;
constexpr double kJulianDayOf1970 = 2440587.5;
constexpr double kJulianDayOf2000 = 2451545.0;  // 2000-01-01 12:00 TT
constexpr double kDaysPerCentury = 36525.0;

double radians(double degrees) { return degrees * kPi / 180.0; }
double degrees(double radians) { return radians * 180.0 / kPi; }

}  // namespace

std::int64_t utcSecondsOf(int year, int month, int day, int secondsOfDay) {
    // Days from the civil calendar: years start in March so that the leap day is last.
    const std::int64_t y = std::int64_t{year} - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t days = era * 146097 + dayOfEra - 719468;
    return days * 86400 + secondsOfDay;
}

double sunElevationDegrees(double lat, double lon, std::int64_t utcSeconds) {
    const double julianDay = static_cast<double>(utcSeconds) / kSecondsPerDay + kJulianDayOf1970;
    const double t = (julianDay - kJulianDayOf2000) / kDaysPerCentury;

    const double meanLongitude = std::fmod(280.46646 + t * (36000.76983 + t * 0.0003032), 360.0);
    const double meanAnomaly = radians(357.52911 + t * (35999.05029 - 0.0001537 * t));
    const double eccentricity = 0.016708634 - t * (0.000042037 + 0.0000001267 * t);
    const double centre = std::sin(meanAnomaly) * (1.914602 - t * (0.004817 + 0.000014 * t)) +
                          std::sin(2 * meanAnomaly) * (0.019993 - 0.000101 * t) + std::sin(3 * meanAnomaly) * 0.000289;
    const double node = radians(125.04 - 1934.136 * t);
    const double apparentLongitude = radians(meanLongitude + centre - 0.00569 - 0.00478 * std::sin(node));
    const double meanObliquity = 23.0 + (26.0 + (21.448 - t * (46.815 + t * (0.00059 - t * 0.001813))) / 60.0) / 60.0;
    const double obliquity = radians(meanObliquity + 0.00256 * std::cos(node));
    const double declination = std::asin(std::sin(obliquity) * std::sin(apparentLongitude));

    // The equation of time, in minutes: how far the true sun runs ahead of the mean sun.
    const double y = std::pow(std::tan(obliquity / 2), 2);
    const double l0 = radians(meanLongitude);
    const double equationOfTime =
        4.0 * degrees(y * std::sin(2 * l0) - 2 * eccentricity * std::sin(meanAnomaly) +
                      4 * eccentricity * y * std::sin(meanAnomaly) * std::cos(2 * l0) - 0.5 * y * y * std::sin(4 * l0) -
                      1.25 * eccentricity * eccentricity * std::sin(2 * meanAnomaly));

    double minutesOfDay = std::fmod(static_cast<double>(utcSeconds), kSecondsPerDay) / 60.0;
    if (minutesOfDay < 0) minutesOfDay += 1440.0;
    const double solarMinutes = minutesOfDay + equationOfTime + 4.0 * lon;
    const double hourAngle = radians(std::remainder(solarMinutes / 4.0 - 180.0, 360.0));

    const double phi = radians(lat);
    double cosZenith =
        std::sin(phi) * std::sin(declination) + std::cos(phi) * std::cos(declination) * std::cos(hourAngle);
    cosZenith = std::fmax(-1.0, std::fmin(1.0, cosZenith));
    return 90.0 - degrees(std::acos(cosZenith));
}

}  // namespace quorel
