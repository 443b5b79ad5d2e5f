#include "map/projection.h"

#include <algorithm>
#include <cmath>

#include "platform/numeric.h"

namespace quorel {
namespace {

// 2^(zoom + 7) as the double power of two; ldexp gives the same exact power as pow and
// costs far less, which matters with every projected track point.
double halfWorld(int zoom) {
    const long exponent = static_cast<long>(zoom) + 7;
    return std::ldexp(1.0, static_cast<int>(std::clamp<long>(exponent, -2000, 2000)));
}

// Computed exactly as a latitude's value is, so that the limit latitude lands on row 0
// with no rounding difference; once, as every projected point needs it.
double mercatorLimitY() {
    constexpr double k = kPiProjection / 180.0;
    static const double limit = mercatorY(std::sin(k * kMercatorLimitLat));
    return limit;
}

}  // namespace

double mercatorY(double s) { return 0.5 * std::log((1.0 + s) / (1.0 - s)); }

PlanePoint mercatorPlane(const GeoPoint& point) {
    constexpr double k = kPiProjection / 180.0;
    const double yMax = mercatorLimitY();
    const double yLat = mercatorY(std::sin(k * point.lat));
    return {point.lon / 180.0 + 1.0, -yMax + yLat};
}

ZoomScale zoomScale(int zoom) {
    const double h = halfWorld(zoom);
    return {h, -h / kPiProjection};
}

WorldPixel projectToWorldAtZoom(double lat, double lon, int zoom) {
    return scaleToZoom(mercatorPlane(GeoPoint{lat, lon, 0.0, 0, 0}), zoomScale(zoom));
}

WorldPosition projectToWorld(const MapView& view, double lat, double lon) {
    const WorldPixel w = projectToWorldAtZoom(lat, lon, view.zoomLevel);
    WorldPosition p;
    p.wx = w.x;
    p.wy = w.y;
    p.col = w.x / view.tileWidth;
    p.px = w.x % view.tileWidth;
    p.row = w.y / view.tileHeight;
    p.py = w.y % view.tileHeight;
    return p;
}

GeoCoord worldToGeo(const MapView& view, std::int64_t wx, std::int64_t wy) {
    const double h = halfWorld(view.zoomLevel);
    const double yMax = mercatorLimitY();
    GeoCoord g;
    g.lon = 180.0 * (static_cast<double>(wx) / h - 1.0);
    g.lat = (180.0 / kPiProjection) * std::asin(std::tanh((-kPiProjection / h) * static_cast<double>(wy) + yMax));
    return g;
}

GeoCoord screenToGeo(const MapView& view, int x, int y) {
    const WorldPosition c = projectToWorld(view, view.centerLat, view.centerLon);
    return worldToGeo(view, c.wx + x - view.viewWidth / 2, c.wy + y - view.viewHeight / 2);
}

WorldPixel screenToMosaicWorld(const MapView& view, int x, int y) {
    const WorldPosition c = projectToWorld(view, view.centerLat, view.centerLon);
    return {view.mosaicTileX * view.tileWidth + c.px + x - view.viewWidth / 2,
            view.mosaicTileY * view.tileHeight + c.py + y - view.viewHeight / 2};
}

void computeViewBounds(MapView& view) {
    const GeoCoord topLeft = screenToGeo(view, 0, 0);
    const GeoCoord bottomRight = screenToGeo(view, view.viewWidth, view.viewHeight);
    view.viewTopLeftLat = topLeft.lat;
    view.viewTopLeftLon = topLeft.lon;
    view.viewBottomRightLat = bottomRight.lat;
    view.viewBottomRightLon = bottomRight.lon;
    const WorldPosition origin = projectToWorld(view, topLeft.lat, topLeft.lon);
    view.viewOriginX = origin.wx;
    view.viewOriginY = origin.wy;
}

}  // namespace quorel
