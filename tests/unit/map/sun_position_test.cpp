// The sun's elevation against an independent ephemeris: python3-astral's sunrise and
// sunset (the centre 0.833 degrees below the horizon) and civil dawn and dusk (6 degrees)
// for a dozen places and dates. Our elevation must cross those heights within a minute
// of astral's times.
#include "map/sun_position.h"

#include "map/night.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string>

namespace quorel {
namespace {

// The time nearest `near` (within four hours) at which the elevation passes `height`,
// rising or setting; to the second.
std::optional<std::int64_t> crossing(double lat, double lon, std::int64_t near, double height, bool rising) {
    const auto above = [&](std::int64_t t) { return sunElevationDegrees(lat, lon, t) > height; };
    std::optional<std::int64_t> best;
    for (std::int64_t t = near - 4 * 3600; t < near + 4 * 3600; t += 60) {
        if (above(t) == above(t + 60) || above(t + 60) != rising) continue;
        std::int64_t lo = t, hi = t + 60;
        while (hi - lo > 1) {
            const std::int64_t mid = (lo + hi) / 2;
            (above(mid) == rising ? hi : lo) = mid;
        }
        if (!best || std::llabs(hi - near) < std::llabs(*best - near)) best = hi;
    }
    return best;
}

TEST(SunPosition, CrossesSunriseSunsetAndCivilTwilightWithinAMinuteOfAstral) {
    const std::string command = "/usr/bin/python3 " QUOREL_SOURCE_DIR "/tests/unit/map/astral_times.py";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    ASSERT_EQ(pclose(pipe), 0) << "python3-astral is needed (tools/install-deps)";

    std::istringstream lines(output);
    double lat = 0, lon = 0;
    std::string kind;
    std::int64_t astral = 0;
    int events = 0;
    while (lines >> lat >> lon >> kind >> astral) {
        const bool twilight = kind == "dawn" || kind == "dusk";
        const bool rising = kind == "rise" || kind == "dawn";
        const auto ours = crossing(lat, lon, astral, twilight ? kCivilTwilightDegrees : -0.833, rising);
        ASSERT_TRUE(ours.has_value()) << lat << " " << lon << " " << kind;
        EXPECT_LE(std::llabs(*ours - astral), 60) << lat << " " << lon << " " << kind << " astral " << astral;
        ++events;
    }
    EXPECT_EQ(events, 48);
}

// Night by the sun follows the last fix's place and time; before the first fix the home
// position and the system clock; a fix without a date takes the system clock's day.
TEST(SunPosition, NightFollowsTheFixElseHomeAndTheSystemClock) {
    const std::int64_t homeEvening = utcSecondsOf(2024, 3, 20, 12 * 3600);  // 21:00 at home, 12:00 in London
    const std::int64_t homeMorning = utcSecondsOf(2024, 3, 20, 3 * 3600);
    const struct {
        int mode;
        bool fix;
        std::int32_t fixTime, fixDate;
        std::int64_t system;
        bool night;
    } cases[] = {
        {0, false, 0, 0, homeEvening, false},
        {1, false, 0, 0, homeMorning, true},
        {2, false, 0, 0, homeEvening, true},
        {2, false, 0, 0, homeMorning, false},
        {2, true, 120000, 200324, homeEvening, false},  // London at noon, whatever the clock says
        {2, true, 230000, 200324, homeMorning, true},
        {2, true, 120000, 0, homeEvening - 11 * 3600, false},  // the clock's day, the fix's time
        {2, true, 230000, 0, homeEvening, true},
    };
    for (const auto& c : cases) {
        MapView view;
        view.nightMode = c.mode;
        GpsReceiver gps;
        gps.hasFix = c.fix;
        gps.latitude = 51.5;
        gps.longitude = -0.13;
        gps.fixTime = c.fixTime;
        gps.fixDate = c.fixDate;
        EXPECT_EQ(nightWanted(view, gps, c.system), c.night) << c.mode << " " << c.fixTime << " " << c.fixDate;
    }
}

}  // namespace
}  // namespace quorel
