#pragma once
// Spherical Web Mercator with 256-pixel tiles numbered from the north-west corner:
// columns grow eastward, rows southward.
//
// Two values of pi live in this program and must not be mixed: the projection uses
// the ten-decimal 3.141592654, distances, the scale bar and the heading arrow use
// 3.14159265359. Truncation is toward zero throughout and nothing is clamped, so
// latitudes beyond the Mercator limit give rows outside the world. World pixels are
// 64-bit and saturate (see platform/numeric.h); everything else is the plain arithmetic.
#include <cstdint>

#include "gpx/collections.h"
#include "platform/numeric.h"
#include "state/map_view.h"

namespace quorel {

inline constexpr double kPiProjection = 3.141592654;
inline constexpr double kMercatorLimitLat = 85.05112878;

struct WorldPixel {
    std::int64_t x = 0;
    std::int64_t y = 0;
};

// A world pixel with its tile and the pixel inside the tile. Division truncates and the
// remainder takes the sign of the dividend, so col * tileWidth + px == wx always.
struct WorldPosition {
    std::int64_t wx = 0;
    std::int64_t wy = 0;
    std::int64_t col = 0;
    std::int64_t row = 0;
    std::int64_t px = 0;
    std::int64_t py = 0;
};

struct GeoCoord {
    double lat = 0.0;
    double lon = 0.0;
};

// 0.5 * ln((1 + s) / (1 - s)) for the sine s of a latitude.
double mercatorY(double s);

WorldPixel projectToWorldAtZoom(double lat, double lon, int zoom);

// projectToWorldAtZoom in two steps, for points drawn again and again: the part that
// does not depend on the zoom (lon / 180 + 1, and the latitude's Mercator value above
// the limit's), kept per point, then the scaling to a zoom. The two steps give exactly
// the pixel projectToWorldAtZoom gives.
PlanePoint mercatorPlane(const GeoPoint& point);
struct ZoomScale {
    double x = 0.0;  // 2^(zoom + 7)
    double y = 0.0;  // -2^(zoom + 7) / pi
};
ZoomScale zoomScale(int zoom);
inline WorldPixel scaleToZoom(PlanePoint p, ZoomScale scale) {
    return {platform::truncToWorld(scale.x * p.x), platform::truncToWorld(scale.y * p.y)};
}
WorldPosition projectToWorld(const MapView& view, double lat, double lon);
GeoCoord worldToGeo(const MapView& view, std::int64_t wx, std::int64_t wy);

// View pixel (may lie outside the view) to latitude and longitude, through the view
// centre's world pixel.
GeoCoord screenToGeo(const MapView& view, int x, int y);

// The world pixel under a view pixel as the mosaic places it: like screenToGeo but with
// the mosaic's centre tile in place of the centre's own tile.
WorldPixel screenToMosaicWorld(const MapView& view, int x, int y);

// The geographic corners of the view and the world pixel of its top-left corner.
void computeViewBounds(MapView& view);

}  // namespace quorel
