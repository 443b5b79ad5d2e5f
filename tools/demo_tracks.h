#pragma once
// Movement over the demo roads: paths that follow the roads from junction to junction,
// a vehicle moving along them with believable speeds, and what recording devices make
// of it: an NMEA log of a drive and GPX files as other programs write them.
#include <string>
#include <vector>

#include "tools/demo_world.h"

namespace quorel::demo {

// A way through the road network, given as a driver would: start on this road near
// here, turn onto that road at the junction near there, ..., stop near the end. Roads
// are named; a street cut into pieces has one name for all of them, and the piece that
// meets the previous road near the turn is taken.
struct Turn {
    Vec2 near;
    std::string onto;
};

struct RoutePlan {
    std::string startRoad;
    Vec2 start;
    std::vector<Turn> turns;
    Vec2 end;
};

struct PathPoint {
    Vec2 p;
    double speedLimit = 0.0;  // m/s on the way from this point to the next: the road's
};

struct RoadPath {
    std::vector<PathPoint> points;
    std::vector<Vec2> junctions;  // where the path changed roads, in order
};

// False with a reason when a road is unknown or does not meet the previous one within
// 60 m of the turn point.
bool followRoads(const DemoWorld& world, const RoutePlan& plan, RoadPath& path, std::string& error);

// Replaces sharp corners by circular arcs of the given radius (smaller where the legs
// are short), as a vehicle turns.
std::vector<PathPoint> roundCorners(const std::vector<PathPoint>& points, double radius);

struct Handling {
    double accel = 1.5;       // m/s^2
    double decel = 2.0;       // m/s^2
    double lateral = 2.0;     // m/s^2 in curves
    double keepsBelow = 0.1;  // drifts up to this share below the limit, as people do
};

struct Stop {
    double along = 0.0;    // metres along the path
    double seconds = 0.0;  // standing time
};

struct Sample {
    double time = 0.0;  // seconds from the start
    Vec2 p;
    double speed = 0.0;   // m/s
    double course = 0.0;  // degrees clockwise from north, of the last movement
};

// Samples every `interval` seconds from 0 to `duration` (inclusive) of a vehicle that
// starts at rest, keeps to the limits, brakes for curves and stops, and stands still at
// the end of the path if it gets there.
std::vector<Sample> moveAlong(const std::vector<PathPoint>& path, const Handling& handling,
                              const std::vector<Stop>& stops, double interval, double duration);

// "$<body>*<checksum>" with CR LF.
std::string nmeaSentence(const std::string& body);

// The drive: 600 seconds from 03:00:00 UTC on 18 May 2024, a sample a second. False
// with a reason when the roads do not give the drive.
bool makeDrive(std::vector<Sample>& samples, std::string& error);
// As the receiver reports it: a $GPGGA and a $GPRMC sentence per sample.
std::string driveNmea(const std::vector<Sample>& samples);
// As a GPX track, for the tools that take one (quorel-tiles coverage).
std::string driveGpx(const std::vector<Sample>& samples);

struct DemoFile {
    std::string name;
    std::string text;
};

// The GPX files of the auto-load folder: a ride of two track segments, a planned walk
// as a route of named points, and a file of waypoints.
bool makeGpxFiles(std::vector<DemoFile>& files, std::string& error);

}  // namespace quorel::demo
