#include "tools/demo_world.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <unordered_map>
#include <utility>

#include "platform/format.h"
#include "platform/numeric.h"

namespace quorel::demo {
namespace {

using platform::truncToInt;
using platform::truncToWorld;

// Metres per degree of latitude on the sphere of the Web-Mercator projection.
constexpr double kMetresPerDegree = 6378137.0 * std::numbers::pi / 180.0;

double cosHomeLat() {
    static const double c = std::cos(kHomeLat * std::numbers::pi / 180.0);
    return c;
}

Box boxOf(const std::vector<Vec2>& pts) {
    Box b{std::numeric_limits<double>::max(), std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest(),
          std::numeric_limits<double>::lowest()};
    for (const Vec2& p : pts) {
        b.minX = std::min(b.minX, p.x);
        b.minY = std::min(b.minY, p.y);
        b.maxX = std::max(b.maxX, p.x);
        b.maxY = std::max(b.maxY, p.y);
    }
    return b;
}

// A small generator for the choices inside one block or one shape; seeded by hashMix.
struct Rng {
    std::uint32_t state;
    double next() {  // [0, 1)
        state = hashMix(state, 0x68bc21ebu, 0x2f1a5c07u);
        return static_cast<double>(state) / 4294967296.0;
    }
    double between(double lo, double hi) { return lo + (hi - lo) * next(); }
};

// A (uniform) Catmull-Rom curve through the control points, sampled about every `step`
// metres; it passes exactly through every control point, so a road that ends on a point
// of another road meets it there.
std::vector<Vec2> spline(const std::vector<Vec2>& c, double step) {
    std::vector<Vec2> out;
    const std::size_t n = c.size();
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const Vec2 p0 = c[i == 0 ? 0 : i - 1];
        const Vec2 p1 = c[i];
        const Vec2 p2 = c[i + 1];
        const Vec2 p3 = c[std::min(i + 2, n - 1)];
        const int k = std::max(1, truncToInt(std::ceil(norm(p2 - p1) / step)));
        for (int j = 0; j < k; ++j) {
            const double t = static_cast<double>(j) / k;
            const double t2 = t * t;
            const double t3 = t2 * t;
            out.push_back((p1 * 2.0 + (p2 - p0) * t + (p0 * 2.0 - p1 * 5.0 + p2 * 4.0 - p3) * t2 +
                           (p1 * 3.0 - p0 - p2 * 3.0 + p3) * t3) *
                          0.5);
        }
    }
    if (n > 0) out.push_back(c.back());
    return out;
}

// f(t) for t from -extent to extent: every `step` within `near` of 0, every ten steps
// beyond, where only the zoomed-out tiles show the line.
std::vector<Vec2> curve(const std::function<Vec2(double)>& f, double extent, double near, double step) {
    std::vector<Vec2> out;
    auto run = [&](double t0, double t1, double by) {
        const int k = std::max(1, truncToInt(std::ceil((t1 - t0) / by)));
        for (int i = out.empty() ? 0 : 1; i <= k; ++i) out.push_back(f(t0 + (t1 - t0) * i / k));
    };
    run(-extent, -near, step * 10.0);
    run(-near, near, step);
    run(near, extent, step * 10.0);
    return out;
}

// Beyond the few kilometres around home, long lines wander off irregularly rather than
// repeat their near waves; 0 within 8 km of home along the line, easing in smoothly.
double farWander(double t, double amplitude, double wavelength, std::uint32_t seed) {
    const double ramp = std::clamp((std::abs(t) - 8000.0) / 20000.0, 0.0, 1.0);
    const double weight = ramp * ramp * (3.0 - 2.0 * ramp);
    return weight * amplitude * (2.0 * valueNoise({t, 0.0}, wavelength, seed) - 1.0);
}

// A wobbly round shape: radius r around c, varied by +-wobble of r.
Area blob(Vec2 c, double r, double wobble, std::uint32_t seed, int vertices = 72) {
    std::vector<Vec2> ring;
    for (int i = 0; i < vertices; ++i) {
        const double a = 2.0 * std::numbers::pi * i / vertices;
        const Vec2 dir{std::cos(a), std::sin(a)};
        const double f = 1.0 + wobble * 2.0 * (valueNoise(dir * 500.0, 320.0, seed) - 0.5);
        ring.push_back(c + dir * (r * f));
    }
    return Area(std::move(ring));
}

// The residential street grid: turned 12 degrees from north, 150 m blocks.
constexpr double kGridAngle = 12.0 * std::numbers::pi / 180.0;
constexpr double kGridSpacing = 150.0;
constexpr double kGridU0 = 40.0;   // the u of the grid's line 0
constexpr double kGridV0 = -50.0;  // the v of the grid's line 0
const Vec2 kGridU{std::cos(kGridAngle), std::sin(kGridAngle)};
const Vec2 kGridV{-std::sin(kGridAngle), std::cos(kGridAngle)};

Vec2 gridToLocal(double u, double v) { return kGridU * u + kGridV * v; }

// Segments of many lines, bucketed by position, for the "what is near here" questions
// asked while the town is laid out.
class SegmentIndex {
public:
    void add(int id, const Polyline* line) {
        lines_.push_back({id, line});
        const int li = static_cast<int>(lines_.size()) - 1;
        for (std::size_t i = 0; i + 1 < line->points.size(); ++i) {
            const Box b = boxOf({line->points[i], line->points[i + 1]});
            for (std::int64_t cx = cell(b.minX); cx <= cell(b.maxX); ++cx)
                for (std::int64_t cy = cell(b.minY); cy <= cell(b.maxY); ++cy) {
                    cells_[key(cx, cy)].push_back({li, static_cast<int>(i)});
                }
        }
    }

    // Calls f(id, distance, segment start, segment end) for the segments within r of p
    // (and maybe a few beyond).
    template <class F>
    void near(Vec2 p, double r, F&& f) const {
        for (std::int64_t cx = cell(p.x - r); cx <= cell(p.x + r); ++cx) {
            for (std::int64_t cy = cell(p.y - r); cy <= cell(p.y + r); ++cy) {
                const auto it = cells_.find(key(cx, cy));
                if (it == cells_.end()) continue;
                for (const Ref& ref : it->second) {
                    const Polyline* line = lines_[static_cast<std::size_t>(ref.line)].second;
                    const Vec2 a = line->points[static_cast<std::size_t>(ref.segment)];
                    const Vec2 b = line->points[static_cast<std::size_t>(ref.segment) + 1];
                    f(lines_[static_cast<std::size_t>(ref.line)].first, distanceToSegment(p, a, b), a, b);
                }
            }
        }
    }

private:
    struct Ref {
        int line;
        int segment;
    };
    static constexpr double kCell = 80.0;
    static std::int64_t cell(double v) { return truncToWorld(std::floor(v / kCell)); }
    static std::int64_t key(std::int64_t cx, std::int64_t cy) { return cx * 1000003 + cy; }

    std::vector<std::pair<int, const Polyline*>> lines_;
    std::unordered_map<std::int64_t, std::vector<Ref>> cells_;
};

// Ids in the index besides road numbers.
constexpr int kRailwayId = -1;
constexpr int kRiverId = -2;

Vec2 nearestPoint(const Polyline& line, Vec2 p) { return line.at(nearestOnLine(line, p).along); }

void addRoad(DemoWorld& w, std::string name, RoadClass c, std::vector<Vec2> pts) {
    w.roads.push_back(Road{std::move(name), c, Polyline(std::move(pts))});
}

const Road& roadNamed(const DemoWorld& w, const std::string& name) {
    for (const Road& r : w.roads) {
        if (r.name == name) return r;
    }
    return w.roads.front();  // names are fixed below; never reached
}

void layOutWater(DemoWorld& w) {
    const double s = std::numbers::sqrt2 / 2.0;
    w.river = Polyline(curve(
        [s](double u) {
            const double m =
                220.0 * std::sin(u / 700.0) + 120.0 * std::sin(u / 310.0 + 1.0) + farWander(u, 4000.0, 15000.0, 301);
            return Vec2{-1300.0 + u * s - m * s, -1300.0 - u * s - m * s};
        },
        250000.0, 20000.0, 20.0));
    std::vector<Vec2> shore;
    const double rot = 25.0 * std::numbers::pi / 180.0;
    for (int i = 0; i < 120; ++i) {
        const double a = 2.0 * std::numbers::pi * i / 120.0;
        const Vec2 dir{std::cos(a), std::sin(a)};
        const double f = 1.0 + 0.16 * (valueNoise(dir * 400.0, 250.0, 31) - 0.5);
        const Vec2 e{560.0 * f * dir.x, 340.0 * f * dir.y};
        shore.push_back(
            {1900.0 + e.x * std::cos(rot) - e.y * std::sin(rot), 1800.0 + e.x * std::sin(rot) + e.y * std::cos(rot)});
    }
    w.lake = Area(std::move(shore));
    w.stream = Polyline(spline({{3400, 20000},
                                {2900, 13500},
                                {3100, 9000},
                                {2700, 5600},
                                {2450, 4300},
                                {2650, 3200},
                                {2200, 2400},
                                {1950, 1900}},
                               15.0));
}

void layOutParks(DemoWorld& w) {
    // A park of two blocks south-east of home, inside the street grid.
    {
        const double u0 = kGridU0 + 2 * kGridSpacing + 10.0, u1 = kGridU0 + 4 * kGridSpacing - 10.0;
        const double v0 = kGridV0 - 3 * kGridSpacing + 10.0, v1 = kGridV0 - 2 * kGridSpacing - 10.0;
        const double k = 8.0;  // cut corners
        w.parks.emplace_back(std::vector<Vec2>{
            gridToLocal(u0 + k, v0), gridToLocal(u1 - k, v0), gridToLocal(u1, v0 + k), gridToLocal(u1, v1 - k),
            gridToLocal(u1 - k, v1), gridToLocal(u0 + k, v1), gridToLocal(u0, v1 - k), gridToLocal(u0, v0 + k)});
    }
    // A green band along the town side of the river.
    {
        std::vector<Vec2> inner, outer;
        const LinePosition from = nearestOnLine(w.river, {-2300.0, -200.0});
        const LinePosition to = nearestOnLine(w.river, {-200.0, -2300.0});
        for (double s = from.along; s <= to.along; s += 20.0) {
            const Vec2 p = w.river.at(s);
            const double h = w.river.headingAt(s) * std::numbers::pi / 180.0;
            const Vec2 left{-std::cos(h), std::sin(h)};  // the river flows south-east; left is north-east
            inner.push_back(p + left * 34.0);
            outer.push_back(p + left * (140.0 + 40.0 * std::sin(s / 230.0)));
        }
        std::reverse(outer.begin(), outer.end());
        inner.insert(inner.end(), outer.begin(), outer.end());
        w.parks.emplace_back(std::move(inner));
    }
    w.parks.push_back(blob({-2600.0, 2300.0}, 650.0, 0.25, 41));  // wooded hill
    w.parks.push_back(blob({3300.0, 850.0}, 280.0, 0.2, 42));     // sports ground
}

void layOutMainRoads(DemoWorld& w) {
    addRoad(w, "Expressway", RoadClass::Motorway,
            curve(
                [](double x) {
                    return Vec2{x, -3000.0 + 0.06 * x + 300.0 * std::sin(x / 2300.0 + 0.7) +
                                       farWander(x, 5000.0, 40000.0, 302)};
                },
                400000.0, 10000.0, 25.0));
    addRoad(w, "East-West Avenue", RoadClass::Primary,
            curve(
                [](double x) {
                    return Vec2{
                        x, 90.0 + 140.0 * std::sin(x / 1900.0 + 0.3) - 0.04 * x + farWander(x, 3000.0, 20000.0, 303)};
                },
                120000.0, 10000.0, 20.0));
    addRoad(w, "North-South Avenue", RoadClass::Primary,
            curve(
                [](double y) {
                    return Vec2{
                        -120.0 + 160.0 * std::sin(y / 2200.0 - 0.2) + 0.05 * y + farWander(y, 3000.0, 20000.0, 304), y};
                },
                120000.0, 10000.0, 20.0));
    addRoad(w, "Lake Road", RoadClass::Secondary,
            spline({{-40000, 8000},
                    {-26000, 6000},
                    {-17000, 4600},
                    {-11000, 3700},
                    {-7000, 3000},
                    {-4200, 2400},
                    {-2300, 1750},
                    {-500, 1350},
                    {900, 1150},
                    {1900, 1120},
                    {2900, 1300},
                    {3800, 1800},
                    {7000, 2700},
                    {11000, 3900},
                    {17000, 5200},
                    {26000, 7500},
                    {40000, 9000}},
                   20.0));
    // Later roads end exactly on a point of an earlier one, which makes the junction.
    const Polyline lake = roadNamed(w, "Lake Road").line;
    const Polyline northSouth = roadNamed(w, "North-South Avenue").line;
    addRoad(w, "Diagonal Avenue", RoadClass::Secondary,
            spline({{-30000, -25000},
                    {-20000, -16500},
                    {-13000, -10500},
                    {-9000, -7300},
                    {-6000, -4800},
                    {-3600, -2900},
                    {-1700, -1500},
                    {-300, -450},
                    {800, 380},
                    {1500, 900},
                    nearestPoint(lake, {1750, 1120})},
                   20.0));
    addRoad(w, "East Road", RoadClass::Secondary,
            spline({{1200, -40000},
                    {1700, -26000},
                    {2000, -17000},
                    {2200, -10500},
                    {2400, -6000},
                    {2700, -3000},
                    {2500, -1200},
                    {2700, 200},
                    nearestPoint(lake, {2650, 1240})},
                   20.0));
    const Polyline east = roadNamed(w, "East Road").line;
    addRoad(w, "Hill Road", RoadClass::Minor,
            spline({nearestPoint(lake, {-1000, 1450}),
                    {-1200, 2500},
                    {-900, 3700},
                    {-1300, 6000},
                    {-1000, 10000},
                    {-1600, 16000},
                    {-1000, 24000}},
                   20.0));
    const Polyline hill = roadNamed(w, "Hill Road").line;
    addRoad(w, "Orchard Lane", RoadClass::Minor,
            spline({nearestPoint(east, {2580, -1800}),
                    {3000, -1800},
                    {4200, -1200},
                    {5200, -1900},
                    {7000, -1500},
                    {10500, -1000},
                    {15000, 200},
                    {21000, 0}},
                   20.0));
    addRoad(w, "South Lane", RoadClass::Minor,
            spline({nearestPoint(northSouth, {-450, -3600}),
                    {-1800, -3900},
                    {-3300, -3500},
                    {-5000, -4200},
                    {-7000, -4000},
                    {-10500, -4300},
                    {-15000, -3600},
                    {-21000, -5000}},
                   20.0));
    addRoad(w, "Lakeside Lane", RoadClass::Minor,
            spline({nearestPoint(lake, {3800, 1800}),
                    {3950, 2800},
                    {3300, 3600},
                    {2500, 4700},
                    {1500, 5600},
                    {0, 9000},
                    {-1500, 13500},
                    {-3000, 20000}},
                   20.0));
    addRoad(w, "North Lane", RoadClass::Minor,
            spline({nearestPoint(northSouth, {140, 2600}), {-500, 2650}, nearestPoint(hill, {-1150, 2600})}, 20.0));
    w.railway = Polyline(curve(
        [](double x) {
            return Vec2{x, 330.0 + 0.09 * x + 120.0 * std::sin(x / 3000.0) + farWander(x, 3000.0, 25000.0, 305)};
        },
        120000.0, 10000.0, 20.0));
}

bool inWater(const DemoWorld& w, const SegmentIndex& main, Vec2 p, double margin) {
    bool nearRiver = false;
    main.near(p, w.riverWidth / 2 + margin, [&](int id, double d, Vec2, Vec2) {
        if (id == kRiverId && d < w.riverWidth / 2 + margin) nearRiver = true;
    });
    if (nearRiver) return true;
    return w.lake.box.grown(margin).overlaps({p.x, p.y, p.x, p.y}) &&
           (w.lake.contains(p) || distanceToRing(w.lake, p) < margin);
}

bool inPark(const DemoWorld& w, Vec2 p) {
    for (const Area& a : w.parks) {
        if (a.contains(p)) return true;
    }
    return false;
}

// The residential streets: grid lines kept where the town is and cut where they would
// run into water, parks, the expressway, along a main road or (mostly) over the railway.
void layOutStreets(DemoWorld& w, const SegmentIndex& main) {
    const double reach = w.townRadius + 400.0;
    const Vec2 c = w.townCentre;
    const double cu = dot(c, kGridU), cv = dot(c, kGridV);
    const double step = 5.0;
    for (int dirIndex = 0; dirIndex < 2; ++dirIndex) {
        const bool alongV = dirIndex == 0;  // lines of constant u run along v
        const double origin = alongV ? kGridU0 : kGridV0;
        const double centre = alongV ? cu : cv;
        const double across = alongV ? cv : cu;
        const Vec2 dir = alongV ? kGridV : kGridU;
        const int k0 = truncToInt(std::floor((centre - reach - origin) / kGridSpacing));
        const int k1 = truncToInt(std::ceil((centre + reach - origin) / kGridSpacing));
        for (int k = k0; k <= k1; ++k) {
            const double fixed = origin + k * kGridSpacing;
            const bool crossesRail = k % 4 == 0;
            std::vector<Vec2> piece;
            auto flush = [&] {
                if (piece.size() >= 2 && norm(piece.back() - piece.front()) >= 80.0) {
                    addRoad(w, platform::format("%s street %d", alongV ? "North" : "East", k), RoadClass::Residential,
                            {piece.front(), piece.back()});
                }
                piece.clear();
            };
            for (double t = across - reach; t <= across + reach; t += step) {
                const Vec2 p = alongV ? gridToLocal(fixed, t) : gridToLocal(t, fixed);
                bool keep = w.townEdgeDistance(p) < 0.0 && !inWater(w, main, p, 30.0) && !inPark(w, p);
                if (keep) {
                    main.near(p, 40.0, [&](int id, double d, Vec2 a, Vec2 b) {
                        if (id == kRailwayId && d < 14.0 && !crossesRail) keep = false;
                        if (id < 0) return;
                        const RoadClass rc = w.roads[static_cast<std::size_t>(id)].roadClass;
                        if (rc == RoadClass::Motorway && d < 40.0) keep = false;
                        const Vec2 seg = b - a;
                        const double cosAngle = std::abs(dot(seg, dir)) / std::max(norm(seg), 1e-9);
                        if (d < 20.0 && cosAngle > std::cos(35.0 * std::numbers::pi / 180.0)) keep = false;
                    });
                }
                if (keep) {
                    piece.push_back(p);
                } else {
                    flush();
                }
            }
            flush();
        }
    }
}

// Houses in lots along the edges of each block, now and then one large building.
void layOutBuildings(DemoWorld& w, const SegmentIndex& main) {
    const double reach = w.townRadius + 300.0;
    const double cu = dot(w.townCentre, kGridU), cv = dot(w.townCentre, kGridV);
    const int i0 = truncToInt(std::floor((cu - reach - kGridU0) / kGridSpacing));
    const int i1 = truncToInt(std::ceil((cu + reach - kGridU0) / kGridSpacing));
    const int j0 = truncToInt(std::floor((cv - reach - kGridV0) / kGridSpacing));
    const int j1 = truncToInt(std::ceil((cv + reach - kGridV0) / kGridSpacing));
    constexpr double kSetback = 11.0;  // street centreline to the edge of the lots
    constexpr double kMaxDepth = 22.0;

    auto place = [&](double ua, double va, double ub, double vb) {
        const std::vector<Vec2> corners{gridToLocal(ua, va), gridToLocal(ub, va), gridToLocal(ub, vb),
                                        gridToLocal(ua, vb)};
        const Vec2 centre = gridToLocal((ua + ub) / 2, (va + vb) / 2);
        const double halfDiagonal = std::hypot(ub - ua, vb - va) / 2;
        for (const Vec2& p : corners) {
            if (w.townEdgeDistance(p) > 0.0 || inWater(w, main, p, 8.0) || inPark(w, p)) return;
        }
        bool clear = true;
        main.near(centre, halfDiagonal + 30.0, [&](int id, double d, Vec2, Vec2) {
            if (id == kRiverId) return;  // the corners were tested against the water
            double clearance = 11.0;     // the railway
            if (id >= 0) {
                switch (w.roads[static_cast<std::size_t>(id)].roadClass) {
                case RoadClass::Motorway:
                    clearance = 26.0;
                    break;
                case RoadClass::Primary:
                    clearance = 15.0;
                    break;
                case RoadClass::Secondary:
                    clearance = 13.0;
                    break;
                default:
                    clearance = 10.0;
                    break;
                }
            }
            if (d < clearance + halfDiagonal) clear = false;
        });
        if (clear) w.buildings.emplace_back(corners);
    };

    for (int i = i0; i <= i1; ++i) {
        for (int j = j0; j <= j1; ++j) {
            const double u0 = kGridU0 + i * kGridSpacing + kSetback;
            const double u1 = kGridU0 + (i + 1) * kGridSpacing - kSetback;
            const double v0 = kGridV0 + j * kGridSpacing + kSetback;
            const double v1 = kGridV0 + (j + 1) * kGridSpacing - kSetback;
            if (w.townEdgeDistance(gridToLocal((u0 + u1) / 2, (v0 + v1) / 2)) > -60.0) continue;
            Rng rng{hashMix(static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j), 77)};
            if (rng.next() < 0.08) {  // a school, a store or a works: one large building
                const double bw = rng.between(60.0, 95.0), bh = rng.between(40.0, 70.0);
                const double mu = (u0 + u1) / 2 + rng.between(-8.0, 8.0);
                const double mv = (v0 + v1) / 2 + rng.between(-8.0, 8.0);
                place(mu - bw / 2, mv - bh / 2, mu + bw / 2, mv + bh / 2);
                continue;
            }
            // Strips of lots across the block, each strip cut into lots; the houses on
            // the strips along the streets stand closer together than those inside.
            double v = v0;
            while (v < v1 - 10.0) {
                const double depth = std::min(rng.between(16.0, kMaxDepth), v1 - v);
                const bool edgeStrip = v == v0 || v + depth >= v1 - 10.0;
                double u = u0;
                while (u < u1 - 8.0) {
                    const double front = std::min(rng.between(10.0, 18.0), u1 - u);
                    const double a = rng.between(1.0, 2.5), b = rng.between(1.0, 2.5);
                    const double c = rng.between(1.5, 4.0), d = rng.between(1.5, 4.0);
                    if (rng.next() > (edgeStrip ? 0.12 : 0.35) && front - a - b > 5.0 && depth - c - d > 5.0) {
                        place(u + a, v + c, u + front - b, v + depth - d);
                    }
                    u += front;
                }
                v += depth;
            }
        }
    }
}

DemoWorld buildWorld() {
    DemoWorld w;
    layOutWater(w);
    layOutParks(w);
    layOutMainRoads(w);
    // The index points into a copy of the main roads: the streets are appended to
    // w.roads while it is in use. Ids are indices into w.roads all the same.
    const std::vector<Road> mainRoads = w.roads;
    SegmentIndex main;
    for (std::size_t i = 0; i < mainRoads.size(); ++i) main.add(static_cast<int>(i), &mainRoads[i].line);
    main.add(kRailwayId, &w.railway);
    main.add(kRiverId, &w.river);
    layOutBuildings(w, main);
    layOutStreets(w, main);
    return w;
}

}  // namespace

Vec2 geoToLocal(double lat, double lon) { return {localX(lon), localY(lat)}; }
double localX(double lon) { return (lon - kHomeLon) * kMetresPerDegree * cosHomeLat(); }
double localY(double lat) { return (lat - kHomeLat) * kMetresPerDegree; }

LatLon localToGeo(Vec2 p) {
    return {kHomeLat + p.y / kMetresPerDegree, kHomeLon + p.x / (kMetresPerDegree * cosHomeLat())};
}

Polyline::Polyline(std::vector<Vec2> pts) : points(std::move(pts)) {
    lengths.reserve(points.size());
    double s = 0.0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i > 0) s += norm(points[i] - points[i - 1]);
        lengths.push_back(s);
    }
    box = boxOf(points);
}

namespace {
// The segment that holds distance s, as the index of its first point.
std::size_t segmentAt(const Polyline& line, double s) {
    const auto it = std::upper_bound(line.lengths.begin(), line.lengths.end(), s);
    const std::size_t i = it == line.lengths.begin() ? 0 : static_cast<std::size_t>(it - line.lengths.begin()) - 1;
    return std::min(i, line.points.size() >= 2 ? line.points.size() - 2 : 0);
}
}  // namespace

Vec2 Polyline::at(double s) const {
    if (points.empty()) return {};
    if (points.size() == 1) return points.front();
    s = std::clamp(s, 0.0, length());
    const std::size_t i = segmentAt(*this, s);
    const double len = lengths[i + 1] - lengths[i];
    const double t = len > 0.0 ? (s - lengths[i]) / len : 0.0;
    return points[i] + (points[i + 1] - points[i]) * t;
}

double Polyline::headingAt(double s) const {
    if (points.size() < 2) return 0.0;
    const std::size_t i = segmentAt(*this, std::clamp(s, 0.0, length()));
    const Vec2 d = points[i + 1] - points[i];
    double h = std::atan2(d.x, d.y) * 180.0 / std::numbers::pi;
    if (h < 0.0) h += 360.0;
    return h;
}

std::vector<Vec2> Polyline::between(double a, double b) const {
    std::vector<Vec2> out;
    if (points.empty()) return out;
    a = std::clamp(a, 0.0, length());
    b = std::clamp(b, 0.0, length());
    out.push_back(at(a));
    if (a <= b) {
        for (std::size_t i = 0; i < points.size(); ++i) {
            if (lengths[i] > a && lengths[i] < b) out.push_back(points[i]);
        }
    } else {
        for (std::size_t i = points.size(); i-- > 0;) {
            if (lengths[i] < a && lengths[i] > b) out.push_back(points[i]);
        }
    }
    out.push_back(at(b));
    return out;
}

Area::Area(std::vector<Vec2> pts) : ring(std::move(pts)), box(boxOf(ring)) {}

bool Area::contains(Vec2 p) const {
    if (p.x < box.minX || p.x > box.maxX || p.y < box.minY || p.y > box.maxY) return false;
    bool inside = false;
    for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
        const Vec2 a = ring[i], b = ring[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) inside = !inside;
    }
    return inside;
}

double DemoWorld::townEdgeDistance(Vec2 p) const {
    const double wobble =
        330.0 * (2.0 * valueNoise(p, 1300.0, 11) - 1.0) + 110.0 * (2.0 * valueNoise(p, 420.0, 12) - 1.0);
    return norm(p - townCentre) - (townRadius + wobble);
}

const Road* DemoWorld::nearestRoad(Vec2 p, double* distance) const {
    const Road* best = nullptr;
    double bestD = std::numeric_limits<double>::max();
    for (const Road& r : roads) {
        if (!r.line.box.grown(bestD).overlaps({p.x, p.y, p.x, p.y})) continue;
        const double d = nearestOnLine(r.line, p).distance;
        if (d < bestD) {
            bestD = d;
            best = &r;
        }
    }
    if (distance) *distance = bestD;
    return best;
}

std::uint32_t hashMix(std::uint32_t a, std::uint32_t b, std::uint32_t c) {
    std::uint32_t h = c * 0x9e3779b9u + 0x7f4a7c15u;
    auto mix = [&h](std::uint32_t k) {
        k *= 0xcc9e2d51u;
        k = (k << 15) | (k >> 17);
        k *= 0x1b873593u;
        h ^= k;
        h = (h << 13) | (h >> 19);
        h = h * 5u + 0xe6546b64u;
    };
    mix(a);
    mix(b);
    h ^= h >> 16;
    h *= 0x85ebca6bu;
    h ^= h >> 13;
    h *= 0xc2b2ae35u;
    h ^= h >> 16;
    return h;
}

double valueNoise(Vec2 p, double wavelength, std::uint32_t seed) {
    const double fx = p.x / wavelength, fy = p.y / wavelength;
    const double x0 = std::floor(fx), y0 = std::floor(fy);
    const auto ix = static_cast<std::uint32_t>(truncToWorld(x0));
    const auto iy = static_cast<std::uint32_t>(truncToWorld(y0));
    auto smooth = [](double t) { return t * t * (3.0 - 2.0 * t); };
    const double tx = smooth(fx - x0), ty = smooth(fy - y0);
    auto corner = [seed](std::uint32_t x, std::uint32_t y) {
        return static_cast<double>(hashMix(x, y, seed)) / 4294967296.0;
    };
    const double a = corner(ix, iy), b = corner(ix + 1, iy);
    const double c = corner(ix, iy + 1), d = corner(ix + 1, iy + 1);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

double terrainHeight(Vec2 p) {
    const double valley = nearestOnLine(demoWorld().river, p).distance;
    return 118.0 + 28.0 * (2.0 * valueNoise(p, 4200.0, 21) - 1.0) + 9.0 * (2.0 * valueNoise(p, 1300.0, 22) - 1.0) -
           6.0 * std::exp(-(valley / 400.0) * (valley / 400.0));
}

double distanceToSegment(Vec2 p, Vec2 a, Vec2 b) {
    const Vec2 ab = b - a;
    const double len2 = dot(ab, ab);
    const double t = len2 > 0.0 ? std::clamp(dot(p - a, ab) / len2, 0.0, 1.0) : 0.0;
    return norm(p - (a + ab * t));
}

LinePosition nearestOnLine(const Polyline& line, Vec2 p) {
    LinePosition best{std::numeric_limits<double>::max(), 0.0};
    if (line.points.size() == 1) return {norm(p - line.points[0]), 0.0};
    for (std::size_t i = 0; i + 1 < line.points.size(); ++i) {
        const Vec2 a = line.points[i], b = line.points[i + 1];
        // Cheap rejection: the segment's box is farther than the best so far.
        if (p.x < std::min(a.x, b.x) - best.distance || p.x > std::max(a.x, b.x) + best.distance ||
            p.y < std::min(a.y, b.y) - best.distance || p.y > std::max(a.y, b.y) + best.distance)
            continue;
        const Vec2 ab = b - a;
        const double len2 = dot(ab, ab);
        const double t = len2 > 0.0 ? std::clamp(dot(p - a, ab) / len2, 0.0, 1.0) : 0.0;
        const double d = norm(p - (a + ab * t));
        if (d < best.distance) best = {d, line.lengths[i] + t * std::sqrt(len2)};
    }
    return best;
}

double distanceToRing(const Area& area, Vec2 p) {
    double best = std::numeric_limits<double>::max();
    for (std::size_t i = 0, j = area.ring.size() - 1; i < area.ring.size(); j = i++) {
        best = std::min(best, distanceToSegment(p, area.ring[j], area.ring[i]));
    }
    return best;
}

Vec2 streetCorner(int m, int k) { return gridToLocal(kGridU0 + m * kGridSpacing, kGridV0 + k * kGridSpacing); }

const DemoWorld& demoWorld() {
    static const DemoWorld world = buildWorld();
    return world;
}

}  // namespace quorel::demo
