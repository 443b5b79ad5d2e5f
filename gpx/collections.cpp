#include "gpx/collections.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorel {

GeoPoint& GeoPointList::append(const GeoPoint& point) {
    staleFrom(count());
    items_.push_back(point);
    return items_.back();
}

void GeoPointList::staleFrom(int index) {
    const int from = std::max(index, 0);
    boundsValid_ = std::min(boundsValid_, from / kChunkPoints);
    placedValid_ = std::min(placedValid_, from);
}

std::span<const PointBounds> GeoPointList::chunkBounds() const {
    const int chunks = chunkCount();
    bounds_.resize(static_cast<std::size_t>(chunks));
    for (; boundsValid_ < chunks; ++boundsValid_) {
        const int first = boundsValid_ * kChunkPoints;
        const int end = std::min(first + kChunkPoints, count());
        const GeoPoint& p0 = items_[static_cast<std::size_t>(first)];
        PointBounds b{p0.lat, p0.lat, p0.lon, p0.lon};
        bool hasNan = false;
        for (int i = first; i < end; ++i) {
            const GeoPoint& p = items_[static_cast<std::size_t>(i)];
            hasNan = hasNan || std::isnan(p.lat) || std::isnan(p.lon);
            b.minLat = std::min(b.minLat, p.lat);
            b.maxLat = std::max(b.maxLat, p.lat);
            b.minLon = std::min(b.minLon, p.lon);
            b.maxLon = std::max(b.maxLon, p.lon);
        }
        if (hasNan) {
            constexpr double inf = std::numeric_limits<double>::infinity();
            b = PointBounds{-inf, inf, -inf, inf};
        }
        bounds_[static_cast<std::size_t>(boundsValid_)] = b;
    }
    return bounds_;
}

std::span<const PlanePoint> GeoPointList::placed(PointPlacement place) const {
    if (place != placedBy_) {
        placedBy_ = place;
        placedValid_ = 0;
    }
    placed_.resize(items_.size());
    for (; placedValid_ < count(); ++placedValid_) {
        placed_[static_cast<std::size_t>(placedValid_)] = place(items_[static_cast<std::size_t>(placedValid_)]);
    }
    return placed_;
}

void GeoPointList::removeAt(int index) {
    if (items_.empty() || index < 0) return;
    const auto last = items_.size() - 1;
    const auto i = static_cast<std::size_t>(index) < last ? static_cast<std::size_t>(index) : last;
    staleFrom(static_cast<int>(i));
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
    if (cursor > count()) cursor = count();
}

int GeoPointList::assign(const GeoPointList& source) {
    if (&source != this) {
        items_.assign(source.items_.begin(), source.items_.end());
        staleFrom(0);
    }
    cursor = 0;
    return count();
}

void GeoPointList::clear() {
    std::vector<GeoPoint>().swap(items_);
    std::vector<PointBounds>().swap(bounds_);
    std::vector<PlanePoint>().swap(placed_);
    staleFrom(0);
    cursor = 0;
}

void GpxPath::assign(const GpxPath& source) {
    if (&source == this) return;
    name = source.name;
    points.assign(source.points);
}

GpxPath& GpxPathList::append(const GpxPath& path) {
    GpxPath copy;
    copy.assign(path);
    items_.push_back(std::move(copy));
    return items_.back();
}

GpxPath& GpxPathList::append(GpxPath&& path) {
    items_.push_back(std::move(path));
    return items_.back();
}

void GpxPathList::clear() {
    std::vector<GpxPath>().swap(items_);
    cursor = 0;
}

}  // namespace quorel
