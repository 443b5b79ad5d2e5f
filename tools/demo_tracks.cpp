#include "tools/demo_tracks.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "platform/format.h"
#include "platform/numeric.h"

namespace quorel::demo {
namespace {

using platform::appendFormat;
using platform::format;
using platform::truncToInt;
using platform::truncToWorld;

double cross(Vec2 a, Vec2 b) { return a.x * b.y - a.y * b.x; }

constexpr double kKmh = 1.0 / 3.6;

double carLimit(RoadClass c) {
    switch (c) {
    case RoadClass::Motorway:
        return 80.0 * kKmh;
    case RoadClass::Primary:
        return 50.0 * kKmh;
    case RoadClass::Secondary:
        return 45.0 * kKmh;
    case RoadClass::Minor:
        return 35.0 * kKmh;
    case RoadClass::Residential:
        return 30.0 * kKmh;
    }
    return 30.0 * kKmh;
}

// Closest approach of segments p0-p1 and q0-q1: the distance and the parameters (0..1)
// of the closest points.
struct Approach {
    double distance;
    double t;
    double u;
};

Approach closestApproach(Vec2 p0, Vec2 p1, Vec2 q0, Vec2 q1) {
    const Vec2 r = p1 - p0, s = q1 - q0;
    const double denom = cross(r, s);
    if (std::abs(denom) > 1e-12) {
        const double t = cross(q0 - p0, s) / denom;
        const double u = cross(q0 - p0, r) / denom;
        if (t >= 0.0 && t <= 1.0 && u >= 0.0 && u <= 1.0) return {0.0, t, u};
    }
    auto param = [](Vec2 p, Vec2 a, Vec2 b) {
        const Vec2 ab = b - a;
        const double len2 = dot(ab, ab);
        return len2 > 0.0 ? std::clamp(dot(p - a, ab) / len2, 0.0, 1.0) : 0.0;
    };
    Approach best{std::numeric_limits<double>::max(), 0.0, 0.0};
    auto consider = [&best](double d, double t, double u) {
        if (d < best.distance) best = {d, t, u};
    };
    double k = param(p0, q0, q1);
    consider(norm(p0 - (q0 + s * k)), 0.0, k);
    k = param(p1, q0, q1);
    consider(norm(p1 - (q0 + s * k)), 1.0, k);
    k = param(q0, p0, p1);
    consider(norm(q0 - (p0 + r * k)), k, 0.0);
    k = param(q1, p0, p1);
    consider(norm(q1 - (p0 + r * k)), k, 1.0);
    return best;
}

struct Junction {
    Vec2 at;
    double alongA = 0.0;
    double alongB = 0.0;
};

// Where roads a and b meet (cross, or one ends on the other), nearest to hint.
bool findJunction(const Road& a, const Road& b, Vec2 hint, Junction& out) {
    constexpr double kTouch = 0.5;  // metres
    double bestHint = std::numeric_limits<double>::max();
    const auto& pa = a.line.points;
    const auto& pb = b.line.points;
    for (std::size_t i = 0; i + 1 < pa.size(); ++i) {
        const Box ba{std::min(pa[i].x, pa[i + 1].x), std::min(pa[i].y, pa[i + 1].y), std::max(pa[i].x, pa[i + 1].x),
                     std::max(pa[i].y, pa[i + 1].y)};
        if (!ba.grown(kTouch).overlaps(b.line.box)) continue;
        for (std::size_t j = 0; j + 1 < pb.size(); ++j) {
            const Box bb{std::min(pb[j].x, pb[j + 1].x), std::min(pb[j].y, pb[j + 1].y), std::max(pb[j].x, pb[j + 1].x),
                         std::max(pb[j].y, pb[j + 1].y)};
            if (!ba.grown(kTouch).overlaps(bb)) continue;
            const Approach c = closestApproach(pa[i], pa[i + 1], pb[j], pb[j + 1]);
            if (c.distance > kTouch) continue;
            const Vec2 at = pa[i] + (pa[i + 1] - pa[i]) * c.t;
            const double d = norm(at - hint);
            if (d < bestHint) {
                bestHint = d;
                out.at = at;
                out.alongA = a.line.lengths[i] + c.t * (a.line.lengths[i + 1] - a.line.lengths[i]);
                out.alongB = b.line.lengths[j] + c.u * (b.line.lengths[j + 1] - b.line.lengths[j]);
            }
        }
    }
    return bestHint < std::numeric_limits<double>::max();
}

void append(std::vector<PathPoint>& out, const std::vector<Vec2>& pts, double limit) {
    for (const Vec2& p : pts) {
        if (!out.empty() && norm(out.back().p - p) < 1e-6) {
            out.back().speedLimit = limit;
            continue;
        }
        out.push_back({p, limit});
    }
}

std::vector<Vec2> positions(const std::vector<PathPoint>& pts) {
    std::vector<Vec2> out;
    out.reserve(pts.size());
    for (const PathPoint& p : pts) out.push_back(p.p);
    return out;
}

double turnAngle(Vec2 a, Vec2 b, Vec2 c) {
    const Vec2 d1 = b - a, d2 = c - b;
    return std::atan2(std::abs(cross(d1, d2)), dot(d1, d2));
}

// "3637.2954,N": degrees and minutes to four decimals, rounded once as a whole so that
// the minutes never print as 60.
std::string nmeaAngle(double degrees, int degreeDigits, char positive, char negative) {
    const std::int64_t units = truncToWorld(std::round(std::abs(degrees) * 600000.0));
    const long long deg = units / 600000, minutes = units % 600000 / 10000, frac = units % 10000;
    return format("%0*lld%02lld.%04lld,%c", degreeDigits, deg, minutes, frac, degrees < 0 ? negative : positive);
}

std::string isoTime(int year, int month, int day, double seconds) {
    const int s = truncToInt(seconds);
    return format("%04d-%02d-%02dT%02d:%02d:%02dZ", year, month, day, s / 3600, s / 60 % 60, s % 60);
}

std::string xmlEscape(const std::string& text) {
    std::string out;
    platform::appendXmlEscaped(out, text);
    return out;
}

// A receiver's small wander around the true position, metres, smooth over seconds.
Vec2 gpsWander(double t, double amplitude, std::uint32_t seed) {
    const Vec2 at{t * 7.0, 0.0};
    return {amplitude * 2.0 * (valueNoise(at, 60.0, seed) - 0.5),
            amplitude * 2.0 * (valueNoise(at, 60.0, seed + 1) - 0.5)};
}

// A road path for a vehicle no faster than `cap` (m/s), its corners rounded.
bool planPath(const RoutePlan& plan, double cap, double cornerRadius, std::vector<PathPoint>& out, std::string& error) {
    RoadPath path;
    if (!followRoads(demoWorld(), plan, path, error)) return false;
    for (PathPoint& p : path.points) p.speedLimit = std::min(p.speedLimit, cap);
    out = roundCorners(path.points, cornerRadius);
    return true;
}

}  // namespace

bool followRoads(const DemoWorld& world, const RoutePlan& plan, RoadPath& path, std::string& error) {
    constexpr double kNear = 60.0;
    path = {};
    const Road* road = nullptr;
    double bestD = kNear;
    for (const Road& r : world.roads) {
        const double d = r.name == plan.startRoad ? nearestOnLine(r.line, plan.start).distance : kNear;
        if (d < bestD) {
            bestD = d;
            road = &r;
        }
    }
    if (!road) {
        error = format("%s does not pass near (%.0f, %.0f)", plan.startRoad.c_str(), plan.start.x, plan.start.y);
        return false;
    }
    double from = nearestOnLine(road->line, plan.start).along;
    for (const Turn& turn : plan.turns) {
        const Road* next = nullptr;
        Junction j;
        double bestHint = kNear;
        for (const Road& r : world.roads) {
            Junction candidate;
            if (&r == road || r.name != turn.onto || !findJunction(*road, r, turn.near, candidate)) continue;
            const double d = std::hypot(candidate.at.x - turn.near.x, candidate.at.y - turn.near.y);
            if (d < bestHint) {
                bestHint = d;
                next = &r;
                j = candidate;
            }
        }
        if (!next) {
            error = format("%s does not meet %s near (%.0f, %.0f)", road->name.c_str(), turn.onto.c_str(), turn.near.x,
                           turn.near.y);
            return false;
        }
        append(path.points, road->line.between(from, j.alongA), carLimit(road->roadClass));
        path.junctions.push_back(j.at);
        road = next;
        from = j.alongB;
    }
    append(path.points, road->line.between(from, nearestOnLine(road->line, plan.end).along), carLimit(road->roadClass));
    return true;
}

std::vector<PathPoint> roundCorners(const std::vector<PathPoint>& points, double radius) {
    if (points.size() < 3 || radius <= 0.0) return points;
    std::vector<PathPoint> out{points.front()};
    for (std::size_t i = 1; i + 1 < points.size(); ++i) {
        const Vec2 a = out.back().p, b = points[i].p, c = points[i + 1].p;
        const double theta = turnAngle(a, b, c);
        const double l1 = norm(b - a), l2 = norm(c - b);
        if (theta < 8.0 * std::numbers::pi / 180.0 || l1 < 1e-6 || l2 < 1e-6) {
            out.push_back(points[i]);
            continue;
        }
        const double tangent = std::min(radius * std::tan(theta / 2.0), 0.45 * std::min(l1, l2));
        const Vec2 p1 = b - (b - a) * (tangent / l1), p2 = b + (c - b) * (tangent / l2);
        const double limit = std::min(points[i - 1].speedLimit, points[i].speedLimit);
        // A quadratic curve from p1 through the corner's pull to p2: near enough an arc.
        const int steps = std::max(3, truncToInt(std::ceil(theta * tangent / 1.5)));
        for (int k = 0; k <= steps; ++k) {
            const double t = static_cast<double>(k) / steps;
            out.push_back({p1 * ((1 - t) * (1 - t)) + b * (2 * t * (1 - t)) + p2 * (t * t), limit});
        }
        out.back().speedLimit = points[i].speedLimit;
    }
    out.push_back(points.back());
    return out;
}

std::vector<Sample> moveAlong(const std::vector<PathPoint>& path, const Handling& handling,
                              const std::vector<Stop>& stops, double interval, double duration) {
    std::vector<Sample> out;
    if (path.size() < 2 || interval <= 0.0) return out;
    const Polyline line(positions(path));
    const double total = line.length();
    constexpr double kStep = 0.5;  // metres between the points of the speed profile
    const std::size_t n = static_cast<std::size_t>(truncToInt(std::ceil(total / kStep))) + 1;
    auto alongOf = [&](std::size_t k) { return std::min(static_cast<double>(k) * kStep, total); };
    auto indexOf = [&](double s) {
        return std::min(n - 1, static_cast<std::size_t>(std::max(0, truncToInt(std::round(s / kStep)))));
    };

    // Limits: the road's, the curves' (lateral acceleration), the stops and the end.
    std::vector<double> limit(n), dwell(n, 0.0);
    std::size_t seg = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const double s = alongOf(k);
        while (seg + 2 < path.size() && line.lengths[seg + 1] <= s) ++seg;
        limit[k] = path[seg].speedLimit * (1.0 - handling.keepsBelow * valueNoise({s, 0.0}, 220.0, 97));
    }
    for (std::size_t i = 1; i + 1 < path.size(); ++i) {
        const double theta = turnAngle(path[i - 1].p, path[i].p, path[i + 1].p);
        const double span = (line.lengths[i + 1] - line.lengths[i - 1]) / 2.0;
        if (theta <= 0.0 || span <= 0.0) continue;
        const double curveLimit = std::sqrt(handling.lateral * span / theta);
        double& l = limit[indexOf(line.lengths[i])];
        l = std::min(l, curveLimit);
    }
    for (const Stop& stop : stops) {
        const std::size_t k = indexOf(stop.along);
        limit[k] = 0.0;
        dwell[k] += stop.seconds;
    }
    limit[n - 1] = 0.0;

    std::vector<double> v(limit);
    for (std::size_t k = n - 1; k-- > 0;) {
        const double ds = alongOf(k + 1) - alongOf(k);
        v[k] = std::min(v[k], std::sqrt(v[k + 1] * v[k + 1] + 2.0 * handling.decel * ds));
    }
    v[0] = 0.0;
    for (std::size_t k = 1; k < n; ++k) {
        const double ds = alongOf(k) - alongOf(k - 1);
        v[k] = std::min(v[k], std::sqrt(v[k - 1] * v[k - 1] + 2.0 * handling.accel * ds));
    }
    // Arrival and departure times at each profile point; constant acceleration between.
    std::vector<double> arrive(n), leave(n);
    arrive[0] = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        leave[k] = arrive[k] + dwell[k];
        if (k + 1 < n) {
            const double ds = alongOf(k + 1) - alongOf(k);
            arrive[k + 1] = leave[k] + ds / std::max((v[k] + v[k + 1]) / 2.0, 0.05);
        }
    }

    double course = line.headingAt(0.0);
    std::size_t k = 0;
    const int count = truncToInt(std::floor(duration / interval + 1e-9)) + 1;
    for (int i = 0; i < count; ++i) {
        const double t = i * interval;
        while (k + 1 < n && arrive[k + 1] <= t) ++k;
        double s = alongOf(k), speed = 0.0;
        if (k + 1 < n && t >= leave[k]) {
            const double f = (t - leave[k]) / (arrive[k + 1] - leave[k]);
            s += f * (alongOf(k + 1) - alongOf(k));
            speed = v[k] + f * (v[k + 1] - v[k]);
        }
        if (speed > 0.05) course = line.headingAt(s);
        out.push_back({t, line.at(s), speed, course});
    }
    return out;
}

std::string nmeaSentence(const std::string& body) {
    unsigned sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    return format("$%s*%02X\r\n", body.c_str(), sum);
}

bool makeDrive(std::vector<Sample>& samples, std::string& error) {
    const DemoWorld& world = demoWorld();
    // South-west of home over the river bridge, north-east up the diagonal avenue, a
    // red light, east along the avenue, north to the lake and west along its road.
    const RoutePlan plan{"Diagonal Avenue",
                         {-1000, -950},
                         {{{466, 120}, "East-West Avenue"},
                          {{2690, 121}, "East Road"},
                          {{2650, 1240}, "Lake Road"},
                          {{3, 1265}, "North-South Avenue"}},
                         {-137, 140}};
    RoadPath roads;
    if (!followRoads(world, plan, roads, error)) return false;
    const std::vector<PathPoint> path = roundCorners(roads.points, 9.0);
    const Polyline line(positions(path));
    const double light = nearestOnLine(line, roads.junctions[0]).along - 14.0;
    const std::vector<Stop> stops{{0.0, 7.0}, {light, 42.0}};
    samples = moveAlong(path, Handling{}, stops, 1.0, 599.0);
    if (samples.size() != 600) {
        error = "the drive is too short";
        return false;
    }
    return true;
}

std::string driveNmea(const std::vector<Sample>& samples) {
    std::string nmea;
    for (const Sample& s : samples) {
        const int clock = 3 * 3600 + truncToInt(s.time);
        const std::string utc = format("%02d%02d%02d.00", clock / 3600, clock / 60 % 60, clock % 60);
        const LatLon g = localToGeo(s.p);
        const std::string lat = nmeaAngle(g.lat, 2, 'N', 'S');
        const std::string lon = nmeaAngle(g.lon, 3, 'E', 'W');
        const double hdop = 0.8 + 0.4 * valueNoise({s.time * 10.0, 0.0}, 300.0, 91);
        const double altitude = terrainHeight(s.p) + 1.2;
        // At a standstill the receiver still reports a few hundredths of a knot.
        const double knots =
            s.speed > 0.0 ? s.speed * 3600.0 / 1852.0 : 0.01 * (hashMix(static_cast<std::uint32_t>(clock), 5, 93) % 5);
        nmea += nmeaSentence(
            format("GPGGA,%s,%s,%s,1,08,%.1f,%.1f,M,39.4,M,,", utc.c_str(), lat.c_str(), lon.c_str(), hdop, altitude));
        nmea += nmeaSentence(
            format("GPRMC,%s,A,%s,%s,%.2f,%.1f,180524,,,A", utc.c_str(), lat.c_str(), lon.c_str(), knots, s.course));
    }
    return nmea;
}

std::string driveGpx(const std::vector<Sample>& samples) {
    std::string x =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"quorel-make-demo\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
        "  <trk>\n    <name>The demo drive</name>\n    <trkseg>\n";
    for (const Sample& s : samples) {
        const LatLon g = localToGeo(s.p);
        appendFormat(x, "      <trkpt lat=\"%.7f\" lon=\"%.7f\"><time>%s</time></trkpt>\n", g.lat, g.lon,
                     isoTime(2024, 5, 18, 3 * 3600 + s.time).c_str());
    }
    x += "    </trkseg>\n  </trk>\n</gpx>\n";
    return x;
}

namespace {

std::string rideFile(const std::vector<std::vector<Sample>>& segments, const std::vector<double>& startTimes) {
    const std::string name = "Morning ride to the lake";
    std::string x =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"Cyclolog 4.2 (Android)\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd\">\n";
    appendFormat(x, "  <metadata>\n    <name>%s</name>\n    <time>%s</time>\n  </metadata>\n", name.c_str(),
                 isoTime(2024, 5, 12, startTimes[0]).c_str());
    appendFormat(x, "  <trk>\n    <name>%s</name>\n    <type>cycling</type>\n", name.c_str());
    for (std::size_t k = 0; k < segments.size(); ++k) {
        x += "    <trkseg>\n";
        for (const Sample& s : segments[k]) {
            const double t = startTimes[k] + s.time;
            const Vec2 p = s.p + gpsWander(t, 1.2, 101);
            const LatLon g = localToGeo(p);
            appendFormat(x, "      <trkpt lat=\"%.7f\" lon=\"%.7f\">\n", g.lat, g.lon);
            appendFormat(x, "        <ele>%.1f</ele>\n",
                         terrainHeight(p) + 2.0 * (valueNoise({t, 0}, 40.0, 103) - 0.5));
            appendFormat(x, "        <time>%s</time>\n", isoTime(2024, 5, 12, t).c_str());
            x += "      </trkpt>\n";
        }
        x += "    </trkseg>\n";
    }
    x += "  </trk>\n</gpx>\n";
    return x;
}

}  // namespace

bool makeGpxFiles(std::vector<DemoFile>& files, std::string& error) {
    files.clear();
    const DemoWorld& world = demoWorld();
    const Handling bike{0.6, 1.2, 1.5};

    // The ride: north from a corner near home up a long street to the lake road and east
    // to the lake; a pause; back by the east road and the avenue.
    const Vec2 start = streetCorner(4, -1);
    const RoutePlan out{"North street 4", start, {{{395, 1210}, "Lake Road"}}, {1750, 1125}};
    const RoutePlan back{
        "Lake Road",
        {1750, 1125},
        {{{2653, 1227}, "East Road"}, {{2690, 121}, "East-West Avenue"}, {{622, 147}, "North street 4"}},
        start};
    std::vector<std::vector<Sample>> segments;
    for (const RoutePlan* plan : {&out, &back}) {
        std::vector<PathPoint> path;
        if (!planPath(*plan, 5.6, 5.0, path, error)) return false;
        double seconds = 0.0;
        const std::vector<Sample> probe = moveAlong(path, bike, {}, 1.0, 6.0 * 3600.0);
        for (const Sample& s : probe) {
            seconds = s.time;
            if (s.time > 10.0 && s.speed == 0.0) break;  // arrived
        }
        segments.push_back(moveAlong(path, bike, {}, 3.0, seconds));
    }
    const double firstStart = 6 * 3600 + 10 * 60;
    const double secondStart = firstStart + segments[0].back().time + 25 * 60;
    files.push_back({"ride_2024-05-12.gpx", rideFile(segments, {firstStart, secondStart})});

    // The planned walk: a route of named corners of the street grid.
    const struct {
        int m, k;
        const char* name;
    } corners[] = {
        {0, 0, "Town hall"},        {0, -2, "Post office"}, {3, -2, "Park corner"},   {5, -2, "Library"},
        {5, -6, "Sports hall"},     {1, -6, "Bus depot"},   {1, -4, "Market"},        {-3, -4, "Shrine gate"},
        {-3, -1, "Primary school"}, {-1, -1, "Tea house"},  {-1, 0, "Bakery & café"}, {0, 0, "Town hall"},
    };
    std::string r =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n"
        "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\" creator=\"Wayplanner web 2.3\" version=\"1.1\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd\">\n"
        "  <metadata>\n    <name>Town walk</name>\n    <time>2024-05-10T11:42:07Z</time>\n  </metadata>\n"
        "  <rte>\n    <name>Town walk</name>\n    <desc>Round of the old town, about 4 km</desc>\n";
    Vec2 previous;
    bool first = true;
    for (const auto& c : corners) {
        const Vec2 p = streetCorner(c.m, c.k);
        // Each leg runs along one street: check that the street is there all the way.
        if (!first) {
            const double len = std::hypot(p.x - previous.x, p.y - previous.y);
            for (double s = 0.0; s <= len; s += 5.0) {
                const Vec2 q = previous + (p - previous) * (s / len);
                double d = 0.0;
                world.nearestRoad(q, &d);
                if (d > 1.0) {
                    error = format("the walk leaves the streets before %s", c.name);
                    return false;
                }
            }
        }
        previous = p;
        first = false;
        const LatLon g = localToGeo(p);
        appendFormat(r, "    <rtept lat=\"%.6f\" lon=\"%.6f\">\n      <name>%s</name>\n    </rtept>\n", g.lat, g.lon,
                     xmlEscape(c.name).c_str());
    }
    r += "  </rte>\n</gpx>\n";
    files.push_back({"town_walk.gpx", r});

    // Places worth a pin, as a waypoint list.
    struct Place {
        Vec2 p;
        const char* name;
        const char* sym;
    };
    std::vector<Place> places;
    places.push_back({{0.0, 0.0}, "Home", "Residence"});
    places.push_back({world.railway.at(nearestOnLine(world.railway, {-300, 300}).along), "Station", "Train Station"});
    {
        Junction bridge;
        const Road* ns = world.nearestRoad({-330, -2300});
        const Road river{"river", RoadClass::Minor, world.river};
        if (ns && findJunction(*ns, river, {-330, -2300}, bridge)) {
            places.push_back({bridge.at, "South bridge", "Bridge"});
        }
    }
    places.push_back({{1790, 1250}, "Lake view", "Scenic Area"});
    places.push_back({world.parks[0].ring[0], "Park gate", "Park"});
    places.push_back({{1200, 60}, "Fuel station", "Gas Station"});
    places.push_back({{-2600, 2300}, "Hilltop lookout", "Summit"});
    places.push_back({streetCorner(-1, 0) + Vec2{9, -10}, "Bakery & café", "Restaurant"});
    std::string w =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"Pinbook 1.0\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
        "<metadata>\n  <name>Places</name>\n</metadata>\n";
    int minute = 0;
    for (const Place& pl : places) {
        const LatLon g = localToGeo(pl.p);
        appendFormat(w, "<wpt lat=\"%.8f\" lon=\"%.8f\">\n  <ele>%.1f</ele>\n  <time>%s</time>\n", g.lat, g.lon,
                     terrainHeight(pl.p), isoTime(2024, 4, 28, 1 * 3600 + (minute += 7) * 60).c_str());
        appendFormat(w, "  <name>%s</name>\n  <sym>%s</sym>\n</wpt>\n", xmlEscape(pl.name).c_str(), pl.sym);
    }
    w += "</gpx>\n";
    files.push_back({"places.gpx", w});
    return true;
}

}  // namespace quorel::demo
