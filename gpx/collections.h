#pragma once
// Points and paths: what the map draws over the tiles and what the receiver records.
//
// The containers are small value types with index access. Copies are deep and
// independent. Appending is amortised constant time (the storage grows
// geometrically), so a track of a million points loads in linear time.
#include <cstdint>
#include <string>
#include <vector>

namespace quorel {

struct GeoPoint {
    double lat = 0.0;            // degrees, north positive
    double lon = 0.0;            // degrees, east positive
    double ele = 0.0;            // metres
    std::int32_t utcTime = 0;    // hhmmss, 0 = none
    std::int32_t utcDate = 0;    // ddmmyy, 0 = none
};

class GeoPointList {
public:
    int count() const { return static_cast<int>(items_.size()); }

    // Selects index (remembered in cursor) and returns that point; index < count().
    GeoPoint& at(int index) {
        cursor = index;
        return items_[static_cast<std::size_t>(index)];
    }
    const GeoPoint& operator[](int index) const { return items_[static_cast<std::size_t>(index)]; }

    GeoPoint& append(const GeoPoint& point);

    // Removes one point. An index at or past the last removes the last point (the
    // controls erase the newest route point by passing the count); a negative index
    // or an empty list changes nothing. cursor is kept no greater than count.
    void removeAt(int index);

    // Replaces the contents with a copy of source; returns the new count.
    int assign(const GeoPointList& source);

    void clear();

    const std::vector<GeoPoint>& items() const { return items_; }

    int cursor = 0;  // index last selected with at()

private:
    std::vector<GeoPoint> items_;
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
