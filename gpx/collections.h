#pragma once
// Points and paths: what the map draws over the tiles and what the receiver records.
//
// The containers are small value types with index access. Copies are deep and
// independent. Appending is amortised constant time (the storage grows
// geometrically), so a track of a million points loads in linear time.
//
// For the drawing of long tracks a point list also keeps, out of sight of its value, a
// box around every chunk of kChunkPoints points and the points as placed on a plane
// by the map; both are worked out when first asked for and kept until a point they
// cover changes (append, removeAt, assign, clear, or at(), which may be written
// through). These caches are filled from const functions: a list may be read by one
// thread at a time only, like any other value here.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quorel {

struct GeoPoint {
    double lat = 0.0;          // degrees, north positive
    double lon = 0.0;          // degrees, east positive
    double ele = 0.0;          // metres
    std::int32_t utcTime = 0;  // hhmmss, 0 = none
    std::int32_t utcDate = 0;  // ddmmyy, 0 = none
};

// The box around some points. A chunk holding a NaN coordinate gets the unbounded box
// (it is never taken to lie outside anything).
struct PointBounds {
    double minLat = 0.0;
    double maxLat = 0.0;
    double minLon = 0.0;
    double maxLon = 0.0;
};

// A point as the drawing code places it on its plane (see GeoPointList::placed).
struct PlanePoint {
    double x = 0.0;
    double y = 0.0;
};
using PointPlacement = PlanePoint (*)(const GeoPoint&);

class GeoPointList {
public:
    static constexpr int kChunkPoints = 1024;

    int count() const { return static_cast<int>(items_.size()); }

    // Selects index (remembered in cursor) and returns that point; index < count().
    // The point may be changed through the reference until the list is next read
    // through chunkBounds or placed.
    GeoPoint& at(int index) {
        cursor = index;
        staleFrom(index);
        return items_[static_cast<std::size_t>(index)];
    }
    const GeoPoint& operator[](int index) const { return items_[static_cast<std::size_t>(index)]; }

    // The new point may be filled in through the reference as at() allows.
    GeoPoint& append(const GeoPoint& point);

    // Removes one point. An index at or past the last removes the last point (the
    // controls erase the newest route point by passing the count); a negative index
    // or an empty list changes nothing. cursor is kept no greater than count.
    void removeAt(int index);

    // Replaces the contents with a copy of source; returns the new count.
    int assign(const GeoPointList& source);

    void clear();

    const std::vector<GeoPoint>& items() const { return items_; }

    // Chunk c holds points [c * kChunkPoints, (c + 1) * kChunkPoints) of those there are.
    int chunkCount() const { return (count() + kChunkPoints - 1) / kChunkPoints; }
    std::span<const PointBounds> chunkBounds() const;  // one box per chunk

    // Every point through place, each worked out once and kept while the point stays as
    // it is. The drawing code passes the same function every time; another function
    // starts afresh.
    std::span<const PlanePoint> placed(PointPlacement place) const;

    int cursor = 0;  // index last selected with at()

private:
    void staleFrom(int index);

    std::vector<GeoPoint> items_;
    mutable std::vector<PointBounds> bounds_;
    mutable int boundsValid_ = 0;  // leading chunks whose box is up to date
    mutable std::vector<PlanePoint> placed_;
    mutable int placedValid_ = 0;  // leading points whose place is up to date
    mutable PointPlacement placedBy_ = nullptr;
};

struct GpxPath {
    GeoPointList points;
    std::string name;  // UTF-8, at most kNameChars characters

    static constexpr std::size_t kNameChars = 255;

    int pointCount() const { return points.count(); }
    GeoPoint& addPoint(const GeoPoint& point) { return points.append(point); }
    void removePoint(int index) { points.removeAt(index); }
    void clearPoints() { points.clear(); }  // the name stays
    void assign(const GpxPath& source);
};

class GpxPathList {
public:
    int count() const { return static_cast<int>(items_.size()); }

    GpxPath& at(int index) {
        cursor = index;
        return items_[static_cast<std::size_t>(index)];
    }
    const GpxPath& operator[](int index) const { return items_[static_cast<std::size_t>(index)]; }

    // Appends an independent copy; the caller keeps its own path.
    GpxPath& append(const GpxPath& path);
    // Moves a path in when the caller has no further use for it.
    GpxPath& append(GpxPath&& path);

    void clear();

    const std::vector<GpxPath>& items() const { return items_; }

    int cursor = 0;

private:
    std::vector<GpxPath> items_;
};

}  // namespace quorel
