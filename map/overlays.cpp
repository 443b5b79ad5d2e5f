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

// The box lies wholly outside the view bounds; one touching a bound does not.
bool outsideView(const MapView& view, const PointBounds& b) {
    return b.minLon > view.viewBottomRightLon || b.maxLon < view.viewTopLeftLon || b.minLat > view.viewTopLeftLat ||
           b.maxLat < view.viewBottomRightLat;
}

}  // namespace

bool segmentMayBeVisible(const MapView& view, const GeoPoint& a, const GeoPoint& b) {
    const auto [minLon, maxLon] = b.lon < a.lon ? std::pair{b.lon, a.lon} : std::pair{a.lon, b.lon};
    const auto [minLat, maxLat] = b.lat < a.lat ? std::pair{b.lat, a.lat} : std::pair{a.lat, b.lat};
    return !outsideView(view, PointBounds{minLat, maxLat, minLon, maxLon});
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
    if (outsideView(view, b)) return ChunkPlace::Outside;
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
        : placed_(points.placed(&mercatorPlane)),
          scale_(zoomScale(view.zoomLevel)),
          originX_(view.viewOriginX),
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
        return {static_cast<std::int64_t>(scale_.x * p.x) - originX_,
                static_cast<std::int64_t>(scale_.y * p.y) - originY_};
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

// A view coordinate as a pixel index of a coverage side of the given size; those beyond
// either end of it stay just beyond it.
int pixelIndex(std::int64_t v, int size) {
    return static_cast<int>(std::clamp<std::int64_t>(v, -1, std::int64_t{size} + 1));
}

// Walks points [first, end) of a list as one polyline, marking its pixels in the canvas's
// coverage: segment i runs from point i - 1 to point i. A segment whose box lies outside
// the view is left out, but the one that leaves the view is finished before the pen lifts.
// Chunks of points are placed against the view by their boxes, and the segments of a chunk
// that is not wholly outside go a run at a time.
class PathWalker {
public:
    PathWalker(const MapView& view, platform::Canvas& canvas, const GeoPointList& points)
        : view_(view),
          points_(points),
          at_(view, points),
          cover_(*canvas.coverage),
          reach_(canvas.pen.width / 2 + 2),
          out_(canvas) {}

    void walk(int first, int end) {
        constexpr int kChunk = GeoPointList::kChunkPoints;
        const std::span<const PointBounds> boxes = points_.chunkBounds();
        for (int i = first + 1; i < end;) {
            // Segments i .. last - 1 have both ends in the chunk of point i - 1; the segment
            // from its last point to the next chunk's first is tested on its own.
            const int chunk = (i - 1) / kChunk;
            const int last = std::min((chunk + 1) * kChunk, end);
            const PointBounds& box = boxes[static_cast<std::size_t>(chunk)];
            switch (placeChunk(view_, box)) {
            case ChunkPlace::Outside:
                if (penDown_ && i < last) segment(at_(i - 1), at_(i), false);
                break;
            case ChunkPlace::Inside:
                runs(i, last, true, at_.tame(box));
                break;
            case ChunkPlace::Across:
                runs(i, last, false, at_.tame(box));
                break;
            }
            if (last < end) {
                // Both chunks' boxes together hold this segment's box: where they lie outside,
                // the points themselves need not be fetched.
                const PointBounds& next = boxes[static_cast<std::size_t>(chunk) + 1];
                const PointBounds both{std::min(box.minLat, next.minLat), std::max(box.maxLat, next.maxLat),
                                       std::min(box.minLon, next.minLon), std::max(box.maxLon, next.maxLon)};
                const bool visible = !outsideView(view_, both) && mayBeVisible(last);
                if (visible || penDown_) segment(at_(last - 1), at_(last), visible);
            }
            i = last + 1;
        }
        out_.flush();
    }

private:
    bool mayBeVisible(int i) const { return segmentMayBeVisible(view_, points_[i - 1], points_[i]); }

    void segment(ViewPoint from, ViewPoint to, bool visible) {
        if (visible) {
            if (!penDown_) {
                penDown_ = true;
                out_.moveTo(from.x, from.y);
            }
        } else if (!penDown_) {
            return;
        } else {
            penDown_ = false;  // this segment leaves the view: finish it, then lift the pen
        }
        out_.lineTo(to.x, to.y);
    }

    // Segments [from, to) of one chunk, all in view or each to be tested.
    void runs(int from, int to, bool allVisible, bool tame) {
        for (int k = from; k < to; k += kRunSegments) {
            const int n = std::min(kRunSegments, to - k);
            ViewPoint low = at_(k - 1), high = low;
            run_[0] = low;
            for (int j = 1; j <= n; ++j) {
                const ViewPoint p = run_[static_cast<std::size_t>(j)] = tame ? at_.direct(k - 1 + j) : at_(k - 1 + j);
                low = {std::min(low.x, p.x), std::min(low.y, p.y)};
                high = {std::max(high.x, p.x), std::max(high.y, p.y)};
            }
            if (covered(low, high)) {
                // Nothing here paints a new pixel; the pen goes on as the run's last segment
                // leaves it, so that a segment leaving the view after it is still finished.
                penDown_ = allVisible || mayBeVisible(k - 1 + n);
                if (penDown_) out_.moveTo(run_[static_cast<std::size_t>(n)].x, run_[static_cast<std::size_t>(n)].y);
                continue;
            }
            for (int j = 1; j <= n; ++j) {
                const bool visible = allVisible || mayBeVisible(k - 1 + j);
                segment(run_[static_cast<std::size_t>(j - 1)], run_[static_cast<std::size_t>(j)], visible);
            }
        }
    }

    // Every pixel a segment between points of the box from low to high could paint (within
    // half the pen and a pixel of its ends) is marked already.
    bool covered(ViewPoint low, ViewPoint high) const {
        return cover_.covers({pixelIndex(low.x - reach_, cover_.width()), pixelIndex(low.y - reach_, cover_.height()),
                              pixelIndex(high.x + reach_ + 1, cover_.width()),
                              pixelIndex(high.y + reach_ + 1, cover_.height())});
    }

    const MapView& view_;
    const GeoPointList& points_;
    const ViewPlacer at_;
    const platform::Coverage& cover_;
    const std::int64_t reach_;
    StrokeWriter out_;
    bool penDown_ = false;
    std::array<ViewPoint, kRunSegments + 1> run_;
};

// Lends the canvas a coverage of its target's size for the length of a scope: the canvas's
// own when it has one of that size, else one made here. The canvas gets its own back at the
// end.
class LentCoverage {
public:
    explicit LentCoverage(platform::Canvas& canvas) : canvas_(canvas), own_(canvas.coverage), lent_(own_) {
        const platform::Bitmap& target = *canvas.target;
        if (lent_ == nullptr || lent_->width() != target.width || lent_->height() != target.height) {
            lent_ = &made_.emplace(target.width, target.height);
        }
        canvas.coverage = lent_;
    }
    ~LentCoverage() { canvas_.coverage = own_; }
    LentCoverage(const LentCoverage&) = delete;
    LentCoverage& operator=(const LentCoverage&) = delete;

    platform::Coverage& coverage() const { return *lent_; }

private:
    platform::Canvas& canvas_;
    platform::Coverage* own_;
    platform::Coverage* lent_;
    std::optional<platform::Coverage> made_;
};

// Points [first, end) of a list as one polyline (see PathWalker). Chunks of points wholly
// outside the view cost one test, runs of points over pixels painted already (a long track
// crossing itself) little more, so the time goes with what is on the screen rather than
// with the length of the path.
void drawPoints(const MapView& view, platform::Canvas& canvas, const GeoPointList& points, int first, int end) {
    if (end - first < 2 || canvas.target == nullptr) return;
    const LentCoverage cover(canvas);
    PathWalker(view, canvas, points).walk(first, end);
    cover.coverage().paintOnto(*canvas.target, canvas.pen.color);
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
    PathCanvas pen(view, paletteOf(view).track);
    for (int i = 0; i < view.tracks.count(); ++i) drawPath(view, pen.canvas, view.tracks[i]);
}

void drawRoutes(MapView& view) {
    PathCanvas pen(view, paletteOf(view).track);
    for (int i = 0; i < view.routes.count(); ++i) drawPathWithPins(view, pen.canvas, view.routes[i]);
}

void drawGpsTrack(MapView& view, const GpxPath& track, int previousRunPoints) {
    PathCanvas pen(view, paletteOf(view).gpsTrack);
    const int n = track.pointCount();
    const int split = std::clamp(previousRunPoints, 0, n);
    drawPoints(view, pen.canvas, track.points, 0, split);
    drawPoints(view, pen.canvas, track.points, split, n);
}

void drawCurrentRoute(MapView& view) {
    PathCanvas pen(view, paletteOf(view).currentRoute);
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
    canvas.pen = platform::Pen{paletteOf(view).ink, 2};
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
