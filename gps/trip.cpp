#include "gps/trip.h"

#include <algorithm>
#include <cmath>

#include "gps/gps_receiver.h"

namespace quorel {
namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(int year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const int era = year / 400;
    const int yearOfEra = year - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return std::int64_t{era} * 146097 + dayOfEra - 719468;
}

double eleAt(const TripTotals& trip, int index) {
    return trip.recentEle[static_cast<std::size_t>(index % kTripSmoothFixes)];
}

// The smoothed altitude of fix index when fix last is the latest.
double smoothedEle(const TripTotals& trip, int index, int last) {
    const int half = std::min({kTripSmoothFixes / 2, index, last - index});
    double sum = 0.0;
    for (int i = index - half; i <= index + half; ++i) sum += eleAt(trip, i);
    return sum / (2 * half + 1);
}

void climbTo(TripTotals::Climb& climb, double ele, bool first) {
    if (first) {
        climb.ref = ele;
    } else if (ele > climb.ref && (climb.climbing || ele - climb.ref >= kTripAscentStepM)) {
        climb.ascentM += ele - climb.ref;
        climb.ref = ele;
        climb.climbing = true;
    } else if (ele < climb.ref && (!climb.climbing || climb.ref - ele >= kTripAscentStepM)) {
        climb.ref = ele;
        climb.climbing = false;
    }
}

// The last fix smoothed for good when fix last is the latest: its window is whole, or
// reaches back to the first fix.
int settledThrough(int last) { return last < 2 ? 0 : std::max(1, last - kTripSmoothFixes / 2); }

void countAscent(TripTotals& trip, double ele) {
    if (!std::isfinite(ele)) ele = trip.fixes > 0 ? eleAt(trip, trip.fixes - 1) : 0.0;
    const int last = trip.fixes;
    trip.recentEle[static_cast<std::size_t>(last % kTripSmoothFixes)] = ele;
    ++trip.fixes;
    const int before = last == 0 ? -1 : settledThrough(last - 1);
    for (int i = before + 1; i <= settledThrough(last); ++i) climbTo(trip.climb, smoothedEle(trip, i, last), i == 0);
}

}  // namespace

bool tripSecondsOf(std::int32_t date, std::int32_t time, std::int64_t& seconds) {
    const int day = date / 10000, month = date / 100 % 100, year = 2000 + date % 100;
    const int hour = time / 10000, minute = time / 100 % 100, second = time % 100;
    if (date <= 0 || time <= 0 || date > 311299 || day < 1 || day > 31 || month < 1 || month > 12 || hour > 23 ||
        minute > 59 || second > 60)
        return false;
    seconds = daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

void addTripFix(TripTotals& trip, const TripFix& fix) {
    if (trip.fixes > 0) {
        const TripFix& last = trip.last;
        const double km = geoDistanceKm(GeoPoint{last.lat, last.lon, std::isfinite(last.ele) ? last.ele : 0.0},
                                        GeoPoint{fix.lat, fix.lon, std::isfinite(fix.ele) ? fix.ele : 0.0});
        if (std::isfinite(km)) trip.distanceKm += km;
        const double seconds = static_cast<double>(fix.utcSeconds - last.utcSeconds);
        if (last.hasTime && fix.hasTime && seconds > 0.0 && seconds <= kTripStopGapS && std::isfinite(km)) {
            double kmh = km / (seconds / 3600.0);
            if (fix.hasSpeed && std::isfinite(fix.speedKmh)) kmh = std::min(kmh, fix.speedKmh);
            if (kmh > kTripMovingKmh) {
                trip.movingSeconds += seconds;
                trip.movingKm += km;
            }
        }
    }
    countAscent(trip, fix.ele);
    trip.last = fix;
}

double tripAscentM(const TripTotals& trip) {
    if (trip.fixes == 0) return 0.0;
    TripTotals::Climb climb = trip.climb;
    const int last = trip.fixes - 1;
    for (int i = settledThrough(last) + 1; i <= last; ++i) climbTo(climb, smoothedEle(trip, i, last), false);
    return climb.ascentM;
}

double averageMovingKmh(const TripTotals& trip) {
    return trip.movingSeconds > 0.0 ? trip.movingKm / (trip.movingSeconds / 3600.0) : 0.0;
}

}  // namespace quorel
