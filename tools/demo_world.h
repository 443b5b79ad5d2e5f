#pragma once
// The invented neighbourhood shown by the demo data: a small town around the program's
// home position with a river, a lake, parks, a road network of several classes, a
// railway and building blocks.
//
// Everything is defined in one local frame: metres east (x) and north (y) of the home
// position, an equirectangular frame fixed at the home latitude. A position in that frame
// is a fixed function of latitude and longitude, so whatever is drawn from it is continuous
// across tile edges and the same at every zoom, and GPS positions and GPX points made from
// it land on the drawn roads. The frame is only meant for the few kilometres around home.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace quorel::demo {

inline constexpr double kHomeLat = 36.62158993;
inline constexpr double kHomeLon = 139.7714996;

struct Vec2 {
    double x = 0.0;  // metres east of home
    double y = 0.0;  // metres north of home
};

inline Vec2 operator+(Vec2 a, Vec2 b) { return {a.x + b.x, a.y + b.y}; }
inline Vec2 operator-(Vec2 a, Vec2 b) { return {a.x - b.x, a.y - b.y}; }
inline Vec2 operator*(Vec2 a, double k) { return {a.x * k, a.y * k}; }
inline double dot(Vec2 a, Vec2 b) { return a.x * b.x + a.y * b.y; }
inline double norm(Vec2 a) { return std::sqrt(dot(a, a)); }

struct LatLon {
    double lat = 0.0;
    double lon = 0.0;
};

// The local frame. x depends on the longitude alone and y on the latitude alone, so a
// map tile is an axis-aligned rectangle in it.
Vec2 geoToLocal(double lat, double lon);
LatLon localToGeo(Vec2 p);
double localX(double lon);
double localY(double lat);

struct Box {
    double minX = 0.0, minY = 0.0, maxX = 0.0, maxY = 0.0;

    bool overlaps(const Box& o) const { return minX <= o.maxX && o.minX <= maxX && minY <= o.maxY && o.minY <= maxY; }
    Box grown(double d) const { return {minX - d, minY - d, maxX + d, maxY + d}; }
};

// An open line with its cumulative lengths: lengths[i] is the distance along the line
// from the first point to points[i].
struct Polyline {
    std::vector<Vec2> points;
    std::vector<double> lengths;
    Box box;

    explicit Polyline(std::vector<Vec2> pts = {});
    double length() const { return lengths.empty() ? 0.0 : lengths.back(); }
    Vec2 at(double s) const;           // the point at distance s along the line, clamped
    double headingAt(double s) const;  // degrees clockwise from north of the segment at s
    // The points from distance a to distance b, in that order (b may be below a).
    std::vector<Vec2> between(double a, double b) const;
};

// A closed ring (the last point joins the first).
struct Area {
    std::vector<Vec2> ring;
    Box box;

    explicit Area(std::vector<Vec2> pts = {});
    bool contains(Vec2 p) const;
};

// Classes in drawing order: later classes are drawn over earlier ones.
enum class RoadClass { Residential, Minor, Secondary, Primary, Motorway };
inline constexpr int kRoadClassCount = 5;

struct Road {
    std::string name;
    RoadClass roadClass = RoadClass::Residential;
    Polyline line;
};

struct DemoWorld {
    std::vector<Road> roads;
    Polyline railway;
    Polyline river;
    double riverWidth = 42.0;  // metres
    Polyline stream;
    double streamWidth = 7.0;  // metres
    Area lake;
    std::vector<Area> parks;
    std::vector<Area> buildings;
    Vec2 townCentre{100.0, -150.0};
    double townRadius = 1700.0;  // before the wobble of townEdgeDistance

    // Signed distance (metres) from the town's edge, negative inside the town.
    double townEdgeDistance(Vec2 p) const;
    // The road whose centreline passes nearest to p, and that distance.
    const Road* nearestRoad(Vec2 p, double* distance = nullptr) const;
};

// Where the town grid's street m (running north-north-west, named "North street m")
// meets its cross-street k (running east-north-east, "East street k"). Streets exist only
// inside the town, and are cut where they meet water, parks or (most of them) the railway.
Vec2 streetCorner(int m, int k);

// Built on first use, then shared (read-only) by every thread.
const DemoWorld& demoWorld();

// Value noise in [0, 1): smooth, with features about `wavelength` metres across;
// each seed gives an independent field.
double valueNoise(Vec2 p, double wavelength, std::uint32_t seed);

// Ground height in metres above sea level, for GPS altitudes and GPX elevations.
double terrainHeight(Vec2 p);

double distanceToSegment(Vec2 p, Vec2 a, Vec2 b);

struct LinePosition {
    double distance = 0.0;  // from the point to the line
    double along = 0.0;     // distance along the line of the nearest point
};
LinePosition nearestOnLine(const Polyline& line, Vec2 p);

// Distance from p to a closed ring's boundary.
double distanceToRing(const Area& area, Vec2 p);

// A deterministic integer hash, the source of every pseudo-random choice here.
std::uint32_t hashMix(std::uint32_t a, std::uint32_t b, std::uint32_t c);

}  // namespace quorel::demo
