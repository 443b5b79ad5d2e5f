#include "map/overlays.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
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

// The frame with the pen of the paths, and the coverage their pixels are marked in
// (made once for all the paths drawn with it).
struct PathCanvas {
    PathCanvas(MapView& view, platform::Color color)
        : cover(view.frameBitmap.width, view.frameBitmap.height), canvas(view.frameBitmap) {
        canvas.pen = platform::Pen{color, overlayPenWidth(view)};
        canvas.coverage = &cover;
    }
    PathCanvas(const PathCanvas&) = delete;
    PathCanvas& operator=(const PathCanvas&) = delete;

    platform::Coverage cover;
    platform::Canvas canvas;
};

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

// Hands the corners of the polylines to the canvas, leaving out those that change no
// pixel: a corner on the pixel of the one before (a line of length zero draws
// nothing), and a corner on the straight line between its neighbours that goes on in
// the same direction. A wide pen paints whatever lies closer than half its width to
// the line, and a thin one the pixels nearest to it, so the two segments paint exactly
// the pixels of the one from the first point to the last.
class StrokeWriter {
public:
    explicit StrokeWriter(platform::Canvas& canvas) : canvas_(canvas) {}
    StrokeWriter(const StrokeWriter&) = delete;
    StrokeWriter& operator=(const StrokeWriter&) = delete;
    ~StrokeWriter() { flush(); }

    void moveTo(std::int64_t x, std::int64_t y) {
        flush();
        platform::moveTo(canvas_, x, y);
        fromX_ = x;
        fromY_ = y;
    }

    void lineTo(std::int64_t x, std::int64_t y) {
        if (pending_) {
            if (x == toX_ && y == toY_) return;
            if (goesStraightOn(x, y)) {
                toX_ = x;
                toY_ = y;
                return;
            }
            platform::lineTo(canvas_, toX_, toY_);
            fromX_ = toX_;
            fromY_ = toY_;
        } else if (x == fromX_ && y == fromY_) {
            return;
        }
        toX_ = x;
        toY_ = y;
        pending_ = true;
    }

    void flush() {
        if (pending_) platform::lineTo(canvas_, toX_, toY_);
        pending_ = false;
    }

private:
    // (x, y) continues the pending segment in its direction. Only small coordinates,
    // where the products are exact and the canvas clamps nothing.
    bool goesStraightOn(std::int64_t x, std::int64_t y) const {
        constexpr std::int64_t kLimit = std::int64_t{1} << 30;
        const auto small = [](std::int64_t v) { return v > -kLimit && v < kLimit; };
        if (!small(fromX_) || !small(fromY_) || !small(toX_) || !small(toY_) || !small(x) || !small(y)) return false;
        const std::int64_t ax = toX_ - fromX_, ay = toY_ - fromY_;
        const std::int64_t bx = x - toX_, by = y - toY_;
        return ax * by == ay * bx && ax * bx + ay * by > 0;
    }

    platform::Canvas& canvas_;
    bool pending_ = false;
    std::int64_t fromX_ = 0, fromY_ = 0;  // where the pending segment starts (the canvas's position)
    std::int64_t toX_ = 0, toY_ = 0;      // where it ends, not drawn yet
};

enum class ChunkPlace { Outside, Inside, Across };

// Where a chunk's box lies against the view bounds: wholly outside (no segment between
// its points can pass segmentMayBeVisible), wholly inside (every one passes), or across.
ChunkPlace placeChunk(const MapView& view, const PointBounds& b) {
    if (b.minLon > view.viewBottomRightLon || b.maxLon < view.viewTopLeftLon || b.minLat > view.viewTopLeftLat ||
        b.maxLat < view.viewBottomRightLat) {
        return ChunkPlace::Outside;
    }
    if (b.minLon >= view.viewTopLeftLon && b.maxLon <= view.viewBottomRightLon && b.minLat >= view.viewBottomRightLat &&
        b.maxLat <= view.viewTopLeftLat) {
        return ChunkPlace::Inside;
    }
    return ChunkPlace::Across;
}

// The view positions of a list's points, each placed once on the Mercator plane and
// kept there by the list.
class ViewPlacer {
public:
    ViewPlacer(const MapView& view, const GeoPointList& points)
        : placed_(points.placed(&mercatorPlane)), scale_(zoomScale(view.zoomLevel)), originX_(view.viewOriginX),
          originY_(view.viewOriginY) {}
    ViewPoint operator()(int i) const {
        const WorldPixel w = scaleToZoom(placed_[static_cast<std::size_t>(i)], scale_);
        return {w.x - originX_, w.y - originY_};
    }

    // Every point of the box lands well inside the range of world pixels, so that its
    // place needs no guard against NaN and overflow: direct gives what operator() gives.
    bool tame(const PointBounds& b) const {
        return tameZoom_ && b.minLat >= -89.0 && b.maxLat <= 89.0 && b.minLon >= -1000.0 && b.maxLon <= 1000.0;
    }
    ViewPoint direct(int i) const {
        const PlanePoint p = placed_[static_cast<std::size_t>(i)];
        return {static_cast<std::int64_t>(scale_.x * p.x) - originX_, static_cast<std::int64_t>(scale_.y * p.y) - originY_};
    }

private:
    std::span<const PlanePoint> placed_;
    ZoomScale scale_;
    bool tameZoom_ = scale_.x <= 0x1p50;
    std::int64_t originX_;
    std::int64_t originY_;
};

// Segments of a run are placed together and passed over together when the coverage
// holds every pixel around their points already.
constexpr int kRunSegments = 16;

// The polyline of drawPoints, its pixels marked in the canvas's coverage.
void strokePoints(const MapView& view, platform::Canvas& canvas, const GeoPointList& points, int first, int end) {
    const ViewPlacer at(view, points);
    const platform::Coverage& cover = *canvas.coverage;
    // A pixel a segment paints lies within half the pen and a pixel of its ends.
    const std::int64_t reach = canvas.pen.width / 2 + 2;
    StrokeWriter out(canvas);
    bool penDown = false;
    // Segment i runs from point i - 1 to point i.
    const auto segment = [&](ViewPoint from, ViewPoint to, bool visible) {
        if (visible) {
            if (!penDown) {
                penDown = true;
                out.moveTo(from.x, from.y);
            }
        } else if (!penDown) {
            return;
        } else {
            penDown = false;  // this segment leaves the view: finish it, then lift the pen
        }
        out.lineTo(to.x, to.y);
    };
    // Segments [from, to) of one chunk, all in view or each to be tested, a run at a time.
    std::array<ViewPoint, kRunSegments + 1> run;
    const auto pixel = [](std::int64_t v, int limit) {
        return static_cast<int>(std::clamp<std::int64_t>(v, -1, std::int64_t{limit} + 1));
    };
    const auto runs = [&](int from, int to, bool allVisible, bool tame) {
        for (int k = from; k < to; k += kRunSegments) {
            const int n = std::min(kRunSegments, to - k);
            ViewPoint low = at(k - 1), high = low;
            run[0] = low;
            for (int j = 1; j <= n; ++j) {
                const ViewPoint p = run[static_cast<std::size_t>(j)] = tame ? at.direct(k - 1 + j) : at(k - 1 + j);
                low = {std::min(low.x, p.x), std::min(low.y, p.y)};
                high = {std::max(high.x, p.x), std::max(high.y, p.y)};
            }
            if (cover.covers({pixel(low.x - reach, cover.width()), pixel(low.y - reach, cover.height()),
                              pixel(high.x + reach + 1, cover.width()), pixel(high.y + reach + 1, cover.height())})) {
                penDown = false;  // nothing here paints a new pixel; the pen goes down afresh after it
                continue;
            }
            for (int j = 1; j <= n; ++j) {
                const int i = k - 1 + j;
                const bool visible = allVisible || segmentMayBeVisible(view, points[i - 1], points[i]);
                segment(run[static_cast<std::size_t>(j - 1)], run[static_cast<std::size_t>(j)], visible);
            }
        }
    };
    constexpr int kChunk = GeoPointList::kChunkPoints;
    const std::span<const PointBounds> boxes = points.chunkBounds();
    for (int i = first + 1; i < end;) {
        // Segments i .. last - 1 have both ends in the chunk of point i - 1; the segment
        // from its last point to the next chunk's first is tested on its own.
        const int chunk = (i - 1) / kChunk;
        const int last = std::min((chunk + 1) * kChunk, end);
        const PointBounds& box = boxes[static_cast<std::size_t>(chunk)];
        switch (placeChunk(view, box)) {
            case ChunkPlace::Outside:
                if (penDown && i < last) segment(at(i - 1), at(i), false);
                break;
            case ChunkPlace::Inside:
                runs(i, last, true, at.tame(box));
                break;
            case ChunkPlace::Across:
                runs(i, last, false, at.tame(box));
                break;
        }
        if (last < end) {
            // Both chunks' boxes together hold this segment's box: where they lie outside,
            // the points themselves need not be fetched.
            const PointBounds& a = boxes[static_cast<std::size_t>(chunk)];
            const PointBounds& b = boxes[static_cast<std::size_t>(chunk) + 1];
            const PointBounds both{std::min(a.minLat, b.minLat), std::max(a.maxLat, b.maxLat),
                                   std::min(a.minLon, b.minLon), std::max(a.maxLon, b.maxLon)};
            const bool outside = placeChunk(view, both) == ChunkPlace::Outside;
            if (!outside && segmentMayBeVisible(view, points[last - 1], points[last])) {
                segment(at(last - 1), at(last), true);
            } else if (penDown) {
                segment(at(last - 1), at(last), false);
            }
        }
        i = last + 1;
    }
}

// Points [first, end) of a list as one polyline: a segment whose box lies outside the
// view is left out, but the one that leaves the view is finished before the pen lifts.
// Chunks of points wholly outside the view cost one test, runs of points over pixels
// painted already (a long track crossing itself) little more, so the time goes with
// what is on the screen rather than with the length of the path.
void drawPoints(const MapView& view, platform::Canvas& canvas, const GeoPointList& points, int first, int end) {
    if (end - first < 2 || canvas.target == nullptr) return;
    std::optional<platform::Coverage> own;
    platform::Coverage* cover = canvas.coverage;
    if (cover == nullptr || cover->width() != canvas.target->width || cover->height() != canvas.target->height) {
        cover = &own.emplace(canvas.target->width, canvas.target->height);
    }
    platform::Coverage* const before = std::exchange(canvas.coverage, cover);
    strokePoints(view, canvas, points, first, end);
    canvas.coverage = before;
    cover->paintOnto(*canvas.target, canvas.pen.color);
}

}  // namespace

void drawPath(const MapView& view, platform::Canvas& canvas, const GpxPath& path) {
    drawPoints(view, canvas, path.points, 0, path.pointCount());
}

void drawPathPins(MapView& view, const GpxPath& path) {
    if (!view.pointButton || !view.pointButton->image.valid) return;
    const Surface& pin = view.pointButton->image;
    const GeoPointList& points = path.points;
    const ViewPlacer placeOf(view, points);
    constexpr int kChunk = GeoPointList::kChunkPoints;
    const std::span<const PointBounds> boxes = points.chunkBounds();
    for (int chunk = 0; chunk < points.chunkCount(); ++chunk) {
        if (placeChunk(view, boxes[static_cast<std::size_t>(chunk)]) == ChunkPlace::Outside) continue;
        const int end = std::min((chunk + 1) * kChunk, points.count());
        for (int i = chunk * kChunk; i < end; ++i) {
            const GeoPoint& p = points[i];
            if (!pointInView(view, p.lat, p.lon)) continue;
            const ViewPoint at = placeOf(i);
            // The tip is the bottom centre of the 30-pixel cell.
            drawSprite(pin, view.frameBitmap, platform::clampToInt(at.x - pin.width / 4),
                       platform::clampToInt(at.y - pin.height), 0, platform::RasterOp::SrcAnd);
        }
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
    PathCanvas pen(view, kRed);
    for (int i = 0; i < view.tracks.count(); ++i) drawPath(view, pen.canvas, view.tracks[i]);
}

void drawRoutes(MapView& view) {
    PathCanvas pen(view, kRed);
    for (int i = 0; i < view.routes.count(); ++i) drawPathWithPins(view, pen.canvas, view.routes[i]);
}

void drawGpsTrack(MapView& view, const GpxPath& track, int previousRunPoints) {
    PathCanvas pen(view, kCyan);
    const int n = track.pointCount();
    const int split = std::clamp(previousRunPoints, 0, n);
    drawPoints(view, pen.canvas, track.points, 0, split);
    drawPoints(view, pen.canvas, track.points, split, n);
}

void drawCurrentRoute(MapView& view) {
    PathCanvas pen(view, kMagenta);
    drawPathWithPins(view, pen.canvas, view.currentRoute);
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
