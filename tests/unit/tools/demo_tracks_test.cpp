#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>

#include "map/projection.h"
#include "platform/format.h"
#include "platform/scan.h"
#include "platform/text_file.h"
#include "tests/unit/tools/demo_support.h"
#include "tools/demo_tiles.h"
#include "tools/demo_tracks.h"
#include "tools/demo_world.h"

namespace quorel::demo {
namespace {

using test::generated;

std::vector<std::string> splitFields(const std::string& s) {
    std::vector<std::string> out(1);
    for (char c : s) {
        if (c == ',') {
            out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    return out;
}

double number(const std::string& s) { return platform::scanRealPrefix(s).value_or(-1e9); }

double fromNmea(const std::string& ddmm) {
    const double v = number(ddmm);
    return std::floor(v / 100.0) + std::fmod(v, 100.0) / 60.0;
}

double bearing(Vec2 a, Vec2 b) {
    const double h = std::atan2(b.x - a.x, b.y - a.y) * 180.0 / 3.14159265358979;
    return h < 0 ? h + 360.0 : h;
}

double angleBetween(double a, double b) { return std::abs(std::remainder(a - b, 360.0)); }

// On the map that the default command draws (4 km around home, zoom 17).
bool onDefaultMap(Vec2 p) {
    static const std::vector<TileId> tiles = tilesAroundHome(17, 4000.0);
    const LatLon g = localToGeo(p);
    const WorldPixel w = projectToWorldAtZoom(g.lat, g.lon, 17);
    return std::find(tiles.begin(), tiles.end(), TileId{17, w.x / 256, w.y / 256}) != tiles.end();
}

double roadDistance(Vec2 p) {
    double d = 0.0;
    demoWorld().nearestRoad(p, &d);
    return d;
}

struct Fix {
    std::string time;
    Vec2 p;
    double speed = 0.0;  // m/s
    double course = 0.0;
};

TEST(DemoNmea, ChecksumIsTheXorBetweenDollarAndStar) {
    // A sentence from the NMEA standard's own examples, with its published checksum.
    EXPECT_EQ(nmeaSentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"),
              "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n");
    EXPECT_EQ(nmeaSentence(""), "$*00\r\n");
}

class DriveLog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(generated().status, 0);
        text = test::readBytes(generated().root / "demo" / "drive.nmea");
        ASSERT_FALSE(text.empty());
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = text.find("\r\n", at);
            ASSERT_NE(end, std::string::npos) << "every line ends in CR LF";
            lines.push_back(text.substr(at, end - at));
            at = end + 2;
        }
    }
    std::string text;
    std::vector<std::string> lines;
};

TEST_F(DriveLog, EverySecondHasAValidGgaAndRmcPair) {
    ASSERT_EQ(lines.size(), 1200u);
    EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const std::string& line = lines[k];
        SCOPED_TRACE(line);
        // Longer than the 40 bytes a receiver's poll skips, within NMEA's 82.
        EXPECT_GT(line.size() + 2, 40u);
        EXPECT_LE(line.size() + 2, 82u);
        ASSERT_EQ(line[0], '$');
        const std::size_t star = line.find('*');
        ASSERT_EQ(star, line.size() - 3);
        unsigned sum = 0;
        for (std::size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(line[i]);
        EXPECT_EQ(std::strtoul(line.substr(star + 1).c_str(), nullptr, 16), sum);

        const std::vector<std::string> f = splitFields(line.substr(0, star));
        const int second = static_cast<int>(k / 2);
        const std::string utc = platform::format("%02d%02d%02d.00", 3, second / 60, second % 60);
        if (k % 2 == 0) {
            ASSERT_EQ(f.size(), 15u);
            EXPECT_EQ(f[0], "$GPGGA");
            EXPECT_EQ(f[1], utc);
            EXPECT_EQ(f[3], "N");
            EXPECT_EQ(f[5], "E");
            EXPECT_EQ(f[6], "1");
            EXPECT_EQ(f[7], "08");
            EXPECT_GT(number(f[9]), 50.0);  // altitude of the plain, metres
            EXPECT_LT(number(f[9]), 250.0);
        } else {
            ASSERT_EQ(f.size(), 13u);
            EXPECT_EQ(f[0], "$GPRMC");
            EXPECT_EQ(f[1], utc);
            EXPECT_EQ(f[2], "A");
            // Same position as the GGA of the same second.
            const std::vector<std::string> gga = splitFields(lines[k - 1]);
            EXPECT_EQ(f[3], gga[2]);
            EXPECT_EQ(f[5], gga[4]);
            EXPECT_FALSE(f[8].empty()) << "a course is always given";
            EXPECT_EQ(f[9], "180524");
        }
    }
}

class DriveFixes : public DriveLog {
protected:
    void SetUp() override {
        DriveLog::SetUp();
        for (std::size_t k = 1; k < lines.size(); k += 2) {
            const std::vector<std::string> f = splitFields(lines[k].substr(0, lines[k].find('*')));
            ASSERT_EQ(f.size(), 13u);
            fixes.push_back({f[1], geoToLocal(fromNmea(f[3]), fromNmea(f[5])), number(f[7]) * 1852.0 / 3600.0,
                             number(f[8])});
        }
    }
    std::vector<Fix> fixes;
};

TEST_F(DriveFixes, StaysOnTheRoadsOfTheMap) {
    double farthest = 0.0;
    for (const Fix& f : fixes) {
        EXPECT_LT(roadDistance(f.p), 3.0) << f.time;
        EXPECT_TRUE(onDefaultMap(f.p)) << f.time;
        farthest = std::max(farthest, std::hypot(f.p.x, f.p.y));
    }
    EXPECT_LT(farthest, 3500.0) << "near home";
    EXPECT_GT(farthest, 1000.0) << "a drive, not a walk";
}

TEST_F(DriveFixes, MovesLikeACarThatStopsAtAJunction) {
    int moving = 0, longestStop = 0, stop = 0, stopStart = 0;
    for (std::size_t k = 0; k < fixes.size(); ++k) {
        const Fix& f = fixes[k];
        EXPECT_LE(f.speed, 60.0 / 3.6) << f.time;
        EXPECT_GE(f.course, 0.0);
        EXPECT_LT(f.course, 360.0);
        if (f.speed * 3.6 > 0.1) {  // the receiver's "moving"
            ++moving;
            if (stop > longestStop) {
                longestStop = stop;
                stopStart = static_cast<int>(k) - stop;
            }
            stop = 0;
        } else {
            ++stop;
        }
        if (k + 1 < fixes.size()) {
            // The distance covered in a second agrees with the speeds reported.
            const double covered = std::hypot(fixes[k + 1].p.x - f.p.x, fixes[k + 1].p.y - f.p.y);
            EXPECT_NEAR(covered, (f.speed + fixes[k + 1].speed) / 2, 1.0) << f.time;
            // No teleporting, no brakes beyond a car's.
            EXPECT_LT(std::abs(fixes[k + 1].speed - f.speed), 3.0) << f.time;
        }
        if (k > 0 && k + 1 < fixes.size() && f.speed > 3.0) {
            EXPECT_LT(angleBetween(f.course, bearing(fixes[k - 1].p, fixes[k + 1].p)), 20.0) << f.time;
        }
    }
    EXPECT_GT(moving, 480);
    EXPECT_GE(longestStop, 30) << "a wait at a junction";
    EXPECT_GT(stopStart, 60) << "on the way, not at the start";
    const Vec2 at = fixes[static_cast<std::size_t>(stopStart)].p;
    int roadsHere = 0;
    for (const Road& r : demoWorld().roads) roadsHere += nearestOnLine(r.line, at).distance < 40.0 ? 1 : 0;
    EXPECT_GE(roadsHere, 2) << "the stop is at a junction";
    EXPECT_EQ(fixes.front().speed * 3.6 <= 0.1, true) << "starts standing";
}

// The three GPX files of the auto-load folder.
struct GpxText {
    std::string name;
    std::string text;

    int count(const std::string& what) const {
        int n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }
    std::vector<Vec2> points(const std::string& element) const {
        std::vector<Vec2> out;
        const std::string open = "<" + element + " ";
        for (std::size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1)) {
            const std::size_t lat = text.find("lat=\"", at), lon = text.find("lon=\"", at);
            out.push_back(geoToLocal(number(text.substr(lat + 5, 20)), number(text.substr(lon + 5, 20))));
        }
        return out;
    }
};

class GpxFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(generated().status, 0);
        const auto dir = generated().root / "sdmmc" / "GPX" / "Auto";
        for (const auto& e : std::filesystem::directory_iterator(dir))
            files.push_back({e.path().filename().string(), test::readBytes(e.path())});
        std::sort(files.begin(), files.end(), [](const GpxText& a, const GpxText& b) { return a.name < b.name; });
        ASSERT_EQ(files.size(), 3u);
    }
    const GpxText& named(const std::string& prefix) const {
        for (const GpxText& f : files)
            if (f.name.rfind(prefix, 0) == 0) return f;
        return files.front();
    }
    std::vector<GpxText> files;
};

TEST_F(GpxFiles, AreWellFormedXml) {
    if (test::run("command -v xmllint > /dev/null") != 0) GTEST_SKIP() << "xmllint (libxml2-utils) is not installed";
    const auto dir = generated().root / "sdmmc" / "GPX" / "Auto";
    for (const GpxText& f : files)
        EXPECT_EQ(test::run("xmllint --noout " + test::quoted(dir / f.name)), 0) << f.name;
    // The check itself notices broken XML.
    const auto broken = std::filesystem::temp_directory_path() / "quorel-demo-broken.gpx";
    std::string bad = files.front().text;
    bad.erase(bad.rfind("</gpx>"));
    platform::writeTextFile(broken, bad);
    EXPECT_NE(test::run("xmllint --noout " + test::quoted(broken) + " 2> /dev/null"), 0);
    std::filesystem::remove(broken);
}

TEST_F(GpxFiles, HoldARideOfTwoSegmentsARouteOfNamedPointsAndWaypoints) {
    const GpxText& ride = named("ride");
    EXPECT_EQ(ride.count("<trk>"), 1);
    EXPECT_EQ(ride.count("<trkseg>"), 2);
    EXPECT_GT(ride.count("<trkpt "), 200);
    EXPECT_EQ(ride.count("<time>"), ride.count("<trkpt ") + 1);  // each point and the metadata
    const GpxText& walk = named("town_walk");
    EXPECT_EQ(walk.count("<rte>"), 1);
    EXPECT_EQ(walk.count("<rtept "), 12);
    EXPECT_EQ(walk.count("<name>"), 12 + 2);  // the points, the route and the metadata
    const GpxText& places = named("places");
    EXPECT_GE(places.count("<wpt "), 6);
    EXPECT_EQ(places.count("<wpt "), places.count("<name>") - 1);
    // Written as other programs write them: indented, each element on its own line.
    EXPECT_NE(ride.text.find("\n      <trkpt lat="), std::string::npos);
    EXPECT_NE(walk.text.find("\n    <rtept lat="), std::string::npos);
    EXPECT_NE(places.text.find("\n<wpt lat="), std::string::npos);
    EXPECT_NE(places.text.find("&amp;"), std::string::npos) << "names are escaped";
}

TEST_F(GpxFiles, PointsLieOnTheMapAndTracksOnItsRoads) {
    const struct {
        const char* file;
        const char* element;
        double maxOffRoad;  // metres; a recorded track wanders a little
    } cases[] = {
        {"ride", "trkpt", 3.0 + 1.2 * 1.5},
        {"town_walk", "rtept", 1.0},
        {"places", "wpt", 1e9},
    };
    for (const auto& c : cases) {
        const std::vector<Vec2> pts = named(c.file).points(c.element);
        ASSERT_FALSE(pts.empty()) << c.file;
        for (const Vec2& p : pts) {
            EXPECT_TRUE(onDefaultMap(p)) << c.file << " " << p.x << ", " << p.y;
            EXPECT_LT(roadDistance(p), c.maxOffRoad) << c.file << " " << p.x << ", " << p.y;
        }
    }
    // The route's legs run along streets, so drawn as straight lines they follow them.
    const std::vector<Vec2> route = named("town_walk").points("rtept");
    for (std::size_t k = 1; k < route.size(); ++k) {
        for (double t = 0.0; t <= 1.0; t += 0.05) {
            const Vec2 p{route[k - 1].x + (route[k].x - route[k - 1].x) * t, route[k - 1].y + (route[k].y - route[k - 1].y) * t};
            EXPECT_LT(roadDistance(p), 1.0) << "leg " << k;
        }
    }
}

TEST(DemoPaths, FollowRoadsThroughNamedJunctionsOnly) {
    const DemoWorld& w = demoWorld();
    RoadPath path;
    std::string error;
    const RoutePlan good{"North street 4", streetCorner(4, -1), {{{622, 147}, "East-West Avenue"}}, {1500, 120}};
    ASSERT_TRUE(followRoads(w, good, path, error)) << error;
    ASSERT_EQ(path.junctions.size(), 1u);
    EXPECT_LT(std::hypot(path.junctions[0].x - 622, path.junctions[0].y - 147), 10.0);
    for (const PathPoint& p : path.points) EXPECT_LT(roadDistance(p.p), 0.01);
    EXPECT_NEAR(path.points.front().speedLimit, 30 / 3.6, 1e-9) << "residential street";
    EXPECT_NEAR(path.points.back().speedLimit, 50 / 3.6, 1e-9) << "avenue";

    const RoutePlan bad[] = {
        {"No such road", {0, 0}, {}, {0, 0}},
        {"Lake Road", {0, 1290}, {{{0, 1290}, "Expressway"}}, {0, 0}},    // they never meet
        {"Lake Road", {0, 1290}, {{{2000, 0}, "East Road"}}, {0, 0}},      // they meet, elsewhere
    };
    for (const RoutePlan& plan : bad) {
        error.clear();
        EXPECT_FALSE(followRoads(w, plan, path, error)) << plan.startRoad;
        EXPECT_FALSE(error.empty());
    }
}

TEST(DemoPaths, AVehicleKeepsToLimitsAndStops) {
    std::vector<PathPoint> straight;
    for (int k = 0; k <= 10; ++k) straight.push_back({{k * 100.0, 0.0}, 10.0});
    const Handling h{1.5, 2.0, 2.0, 0.0};
    const std::vector<Sample> s = moveAlong(straight, h, {{400.0, 20.0}}, 1.0, 200.0);
    ASSERT_EQ(s.size(), 201u);
    EXPECT_EQ(s.front().speed, 0.0);
    int standing = 0;
    for (std::size_t k = 0; k < s.size(); ++k) {
        EXPECT_LE(s[k].speed, 10.0 + 1e-9);
        if (k > 0) {
            EXPECT_LE(s[k].speed - s[k - 1].speed, h.accel + 1e-6);
            EXPECT_GE(s[k].speed - s[k - 1].speed, -h.decel - 1e-6);
            EXPECT_GE(s[k].p.x, s[k - 1].p.x) << "never backwards";
        }
        if (s[k].speed == 0.0 && std::abs(s[k].p.x - 400.0) < 0.5) ++standing;
    }
    EXPECT_GE(standing, 19);
    EXPECT_NEAR(s.back().p.x, 1000.0, 0.5) << "arrived and standing";
    EXPECT_EQ(s.back().speed, 0.0);
    EXPECT_NEAR(s[60].course, 90.0, 1e-9) << "heading east";
}

}  // namespace
}  // namespace quorel::demo
