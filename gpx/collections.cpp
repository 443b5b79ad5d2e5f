#include "gpx/collections.h"

namespace quorel {

GeoPoint& GeoPointList::append(const GeoPoint& point) {
    items_.push_back(point);
    return items_.back();
}

void GeoPointList::removeAt(int index) {
    if (items_.empty() || index < 0) return;
    const auto last = items_.size() - 1;
    const auto i = static_cast<std::size_t>(index) < last ? static_cast<std::size_t>(index) : last;
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
    if (cursor > count()) cursor = count();
}

int GeoPointList::assign(const GeoPointList& source) {
    if (&source != this) items_.assign(source.items_.begin(), source.items_.end());
    cursor = 0;
    return count();
}

void GeoPointList::clear() {
    std::vector<GeoPoint>().swap(items_);
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
