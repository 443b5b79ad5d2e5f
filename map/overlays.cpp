#include "map/overlays.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "map/colours.h"
#include "map/projection.h"
#include "platform/numeric.h"

namespace quorel {
namespace {


constexpr int kArrowZoom = 20;
constexpr double kHalfPi = 1.570796326795;
constexpr double kQuarterPi = 0.7853981633975;

struct ViewPoint {
    std::int64_t x = 0;
    std::int64_t y = 0;
};

ViewPoint viewPosition(const MapView& view, const GeoPoint& p) {
    const WorldPixel w = projectToWorldAtZoom(p.lat, p.lon, view.zoomLevel);
    return {w.x - view.viewOriginX, w.y - view.viewOriginY};
}

platform::Canvas penCanvas(MapView& view, platform::Color color) {
    platform::Canvas canvas(view.frameBitmap);
    canvas.pen = platform::Pen{color, overlayPenWidth(view)};
    return canvas;
}

double reduceTurn(double a) { return a > kTwoPiDistance ? a - kTwoPiDistance : a; }

}  // namespace

bool segmentMayBeVisible(const MapView& view, const GeoPoint& a, const GeoPoint& b) {
    const auto [minLon, maxLon] = b.lon < a.lon ? std::pair{b.lon, a.lon} : std::pair{a.lon, b.lon};
    const auto [minLat, maxLat] = b.lat < a.lat ? std::pair{b.lat, a.lat} : std::pair{a.lat, b.lat};
    return !(minLon > view.viewBottomRightLon || maxLon < view.viewTopLeftLon || minLat > view.viewTopLeftLat ||
             maxLat < view.viewBottomRightLat);
}

bool pointInView(const MapView& view, double lat, double lon) {
    return lat > view.viewBottomRightLat && lat < view.viewTopLeftLat && lon > view.viewTopLeftLon &&
           lon < view.viewBottomRightLon;
}

namespace {

// Points [first, end) of a list as one polyline.
void drawPoints(const MapView& view, platform::Canvas& canvas, const GeoPointList& points, int first, int end) {
    bool penDown = false;
    for (int i = first + 1; i < end; ++i) {
        const GeoPoint& a = points[i - 1];
        const GeoPoint& b = points[i];
        if (segmentMayBeVisible(view, a, b)) {
            if (!penDown) {
                penDown = true;
                const ViewPoint from = viewPosition(view, a);
                platform::moveTo(canvas, from.x, from.y);
            }
        } else if (!penDown) {
            continue;
        } else {
            penDown = false;  // this segment leaves the view: finish it, then lift the pen
        }
        const ViewPoint to = viewPosition(view, b);
        platform::lineTo(canvas, to.x, to.y);
    }
}

}  // namespace

void drawPath(const MapView& view, platform::Canvas& canvas, const GpxPath& path) {
    drawPoints(view, canvas, path.points, 0, path.pointCount());
}

void drawPathPins(MapView& view, const GpxPath& path) {
    if (!view.pointButton || !view.pointButton->image.valid) return;
    const Surface& pin = view.pointButton->image;
    const GeoPointList& points = path.points;
    for (int i = 0; i < points.count(); ++i) {
        const GeoPoint& p = points[i];
        if (!pointInView(view, p.lat, p.lon)) continue;
        const ViewPoint at = viewPosition(view, p);
        // The tip is the bottom centre of the 30-pixel cell.
        drawSprite(pin, view.frameBitmap, platform::clampToInt(at.x - pin.width / 4),
                   platform::clampToInt(at.y - pin.height), 0, platform::RasterOp::SrcAnd);
    }
}

void drawPathWithPins(MapView& view, platform::Canvas& canvas, const GpxPath& path) {
    drawPath(view, canvas, path);
    drawPathPins(view, path);
}

void drawSprite(const Surface& image, platform::Bitmap& target, int x, int y, int cell, platform::RasterOp op) {
    if (!image.valid) return;
    const int w = image.width / 2;
    platform::blit(target, x, y, w, image.height, image.bitmap, platform::clampToInt(std::int64_t{cell} * w), 0, op);
}

int overlayPenWidth(const MapView& view) { return platform::truncToInt(4.0 * view.uiScale); }

void drawTracks(MapView& view) {
    platform::Canvas canvas = penCanvas(view, kRed);
    for (int i = 0; i < view.tracks.count(); ++i) drawPath(view, canvas, view.tracks[i]);
}

void drawRoutes(MapView& view) {
    platform::Canvas canvas = penCanvas(view, kRed);
    for (int i = 0; i < view.routes.count(); ++i) drawPathWithPins(view, canvas, view.routes[i]);
}

void drawGpsTrack(MapView& view, const GpxPath& track, int previousRunPoints) {
    platform::Canvas canvas = penCanvas(view, kCyan);
    const int n = track.pointCount();
    const int split = std::clamp(previousRunPoints, 0, n);
    drawPoints(view, canvas, track.points, 0, split);
    drawPoints(view, canvas, track.points, split, n);
}

void drawCurrentRoute(MapView& view) {
    platform::Canvas canvas = penCanvas(view, kMagenta);
    drawPathWithPins(view, canvas, view.currentRoute);
}

void drawHeadingArrow(MapView& view, const GpxPath& track, int previousRunPoints) {
    const int n = track.pointCount();
    if (n < 2) return;
    const bool acrossRuns = n - 1 == previousRunPoints;  // the newest point begins this run
    const GeoPoint& newest = track.points[n - 1];
    const GeoPoint& previous = track.points[n - 2];

    const WorldPixel p = projectToWorldAtZoom(newest.lat, newest.lon, kArrowZoom);
    const WorldPixel q = projectToWorldAtZoom(previous.lat, previous.lon, kArrowZoom);
    const std::int64_t dx = p.x - q.x;
    const std::int64_t dy = p.y - q.y;  // y grows southward
    if ((dx == 0 && dy == 0) || acrossRuns) {
        if (!view.hasHeading) return;  // standing still from the start: no direction yet
    } else {
        double a = 0.0;
        if (dx == 0) {
            a = dy > 0 ? kHalfPi : -kHalfPi;
        } else {
            a = std::atan(static_cast<double>(dy) / static_cast<double>(dx));
            if (dx < 0) a += kPiDistance;
            a = reduceTurn(a);
        }
        view.headingAngle = a;
        view.hasHeading = true;
    }
    const double a = view.headingAngle;

    // The notch sits on the newest point, placed at the current zoom around the view centre.
    const WorldPosition at = projectToWorld(view, newest.lat, newest.lon);
    const WorldPosition centre = projectToWorld(view, view.centerLat, view.centerLon);
    const std::int64_t cx = at.wx + view.viewWidth / 2 - centre.wx;
    const std::int64_t cy = at.wy + view.viewHeight / 2 - centre.wy;
    const auto c = static_cast<double>(cx);
    const auto d = static_cast<double>(cy);
    const double length = platform::truncToInt(15.0 * view.uiScale);
    const double a1 = reduceTurn(a + kPiDistance + kQuarterPi);
    const double a2 = reduceTurn(a + kPiDistance - kQuarterPi);

    platform::Canvas canvas(view.frameBitmap);
    canvas.pen = platform::Pen{kBlack, 2};
    const auto tx = platform::truncToWorld(std::cos(a) * length + c);
    const auto ty = platform::truncToWorld(std::sin(a) * length + d);
    platform::moveTo(canvas, tx, ty);
    platform::lineTo(canvas, platform::truncToWorld(std::cos(a1) * length / 2.0 + c),
                     platform::truncToWorld(std::sin(a1) * length / 2.0 + d));
    platform::lineTo(canvas, cx, cy);
    platform::lineTo(canvas, platform::truncToWorld(std::cos(a2) * length / 2.0 + c),
                     platform::truncToWorld(std::sin(a2) * length / 2.0 + d));
    platform::lineTo(canvas, tx, ty);
}

}  // namespace quorel
