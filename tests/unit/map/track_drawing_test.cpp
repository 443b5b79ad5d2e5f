// The overlays against the plain drawing written out here (every point projected, every segment's
// box tested, the one leaving the view finished, pins strictly inside the bounds): long random
// paths, all pens, after changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "map/colours.h"
#include "map/overlays.h"
#include "map/projection.h"
#include "platform/raster/canvas.h"
#include "tests/unit/map/map_fixture.h"

namespace quorel {
namespace {

std::pair<std::int64_t, std::int64_t> plainPosition(const MapView& v, const GeoPoint& p) {
    const double k = kPiProjection / 180.0, h = std::pow(2.0, v.zoomLevel + 7);
    const double yMax = mercatorY(std::sin(k * kMercatorLimitLat)), yLat = mercatorY(std::sin(k * p.lat));
    return {platform::truncToWorld(h * (p.lon / 180.0 + 1.0)) - v.viewOriginX,
            platform::truncToWorld((-h / kPiProjection) * (-yMax + yLat)) - v.viewOriginY};
}

void plainPath(MapView& v, platform::Color colour, const GpxPath& path, bool pins, int first = 0, int end = -1) {
    end = end < 0 ? path.pointCount() : end;
    platform::Canvas c(v.frameBitmap);
    c.pen = platform::Pen{colour, overlayPenWidth(v)};
    bool down = false;  // segments whose box meets the bounds are drawn
    for (int i = first + 1; i < end; ++i) {
        const auto [ax, ay] = plainPosition(v, path.points[i - 1]);
        const auto [bx, by] = plainPosition(v, path.points[i]);
        const GeoPoint &a = path.points[i - 1], &b = path.points[i];
        const bool visible =
            !(std::max(a.lon, b.lon) < v.viewTopLeftLon || std::min(a.lon, b.lon) > v.viewBottomRightLon ||
              std::max(a.lat, b.lat) < v.viewBottomRightLat || std::min(a.lat, b.lat) > v.viewTopLeftLat);
        if (visible && !down) platform::moveTo(c, ax, ay);
        if (visible || down) platform::lineTo(c, bx, by);  // the segment leaving the view is finished
        down = visible;
    }
    const Surface& pin = v.pointButton->image;
    for (int i = 0; pins && i < path.pointCount(); ++i) {
        const GeoPoint& p = path.points[i];
        const auto [x, y] = plainPosition(v, p);
        if (!(p.lat > v.viewBottomRightLat && p.lat < v.viewTopLeftLat && p.lon > v.viewTopLeftLon &&
              p.lon < v.viewBottomRightLon))
            continue;  // strictly inside
        drawSprite(pin, v.frameBitmap, int(x - pin.width / 4), int(y - pin.height), 0, platform::RasterOp::SrcAnd);
    }
}

// Steps of up to `reach` degrees, some standing or doubling back, and jumps anywhere around
// (lat, lon), most where a chunk of points begins.
GpxPath randomPath(std::mt19937& random, double lat, double lon, double reach, int n) {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> kind(0, 1999);
    GpxPath path;
    GeoPoint p{lat + reach * 30 * unit(random), lon + reach * 30 * unit(random)};
    for (int i = 0; i < n; ++i) {
        const int k = kind(random);
        if (k < 2 || (i % GeoPointList::kChunkPoints == 0 && k < 1500)) {
            p = {lat + reach * 100 * unit(random), lon + reach * 250 * unit(random)};
        }
        if (k >= 2 && k < 100 && i > 0) p = path.points[i - 1];
        if (k >= 400) p = {p.lat + reach * unit(random), p.lon + reach * unit(random)};
        path.addPoint(p);
    }
    return path;
}

TEST(TrackDrawing, MatchesThePlainDrawingPixelForPixel) {
    std::mt19937 random(14);
    for (const auto& [width, height] :
         {std::pair{200, 120}, std::pair{480, 272}, std::pair{800, 480}, std::pair{600, 360}}) {
        test::MapScreen s(width, height);
        MapView& v = s.view;
        for (int round = 0; round < 12; ++round) {
            std::tie(v.zoomLevel, v.centerLat, v.centerLon) =
                std::tuple{6 + round, 35.0 + round * 0.01, 139.0 - round * 0.01};
            const double reach = 4.0 / std::pow(2.0, v.zoomLevel);  // about three pixels
            v.tracks.clear(), v.routes.clear(),
                v.tracks.append(randomPath(random, v.centerLat, v.centerLon, reach, 2600));
            v.routes.append(randomPath(random, v.centerLat, v.centerLon, reach * 8, 1500));
            v.currentRoute = randomPath(random, v.centerLat, v.centerLon, reach / 4, 1200);
            GpxPath recorded = randomPath(random, v.centerLat, v.centerLon, reach / 2, 3100);
            const int split = std::min(round * 200, recorded.pointCount());
            for (int change = 0; change < 5; ++change) {
                computeViewBounds(v);
                const GeoCoord a = screenToGeo(v, width / 4, height / 4),
                               b = screenToGeo(v, width * 3 / 4, height * 3 / 4);
                if (change % 2 == 1) {
                    std::tie(v.viewTopLeftLat, v.viewTopLeftLon, v.viewBottomRightLat, v.viewBottomRightLon) =
                        std::tuple{a.lat, a.lon, b.lat,
                                   b.lon};  // bounds inside the bitmap: what is drawn beyond them shows
                }
                const GeoPoint onBounds[] = {{v.viewTopLeftLat, v.centerLon},
                                             {v.viewBottomRightLat, v.centerLon},
                                             {v.centerLat, v.viewTopLeftLon},
                                             {v.centerLat, v.viewBottomRightLon}};
                for (int j = 0; j < 4; ++j) v.routes.at(0).points.at(600 + j) = onBounds[j];  // no pins there
                const auto blank = [&v] {
                    platform::fillRect(v.frameBitmap, {0, 0, v.viewWidth, v.viewHeight}, platform::rgb(1, 2, 3));
                };
                blank(), drawTracks(v), drawRoutes(v), drawGpsTrack(v, recorded, split), drawCurrentRoute(v);
                const std::vector<std::uint8_t> drawn = v.frameBitmap.bits;
                blank();
                plainPath(v, kRed, v.tracks[0], false), plainPath(v, kRed, v.routes[0], true);
                plainPath(v, kCyan, recorded, false, 0, split), plainPath(v, kCyan, recorded, false, split);
                plainPath(v, kMagenta, v.currentRoute, true);
                ASSERT_EQ(drawn, v.frameBitmap.bits) << width << " round " << round << " change " << change;

                // The paths change as the program changes them, after they were drawn.
                recorded.addPoint(GeoPoint{v.centerLat, v.centerLon, 0.0, 0, 0});
                v.currentRoute.removePoint(v.currentRoute.pointCount());
                v.tracks.at(0).points.at(1030 + change) = recorded.points[change * 300];
                v.routes.at(0).points.removeAt(change * 7);
                if (change == 3) v.currentRoute.assign(v.routes[0]);
                v.centerLon += 20.0 * reach * (change % 2 == 0 ? 1 : -1);
            }
        }
    }
}

// Segments over pixels painted already change no pixel, however they fall into the runs passed
// over: after one the pen is as its last segment left it, so the segment from b along the
// bottom edge (outside the view, but reaching into the last row) is still finished.
TEST(TrackDrawing, RepeatedSegmentsChangeNoPixel) {
    test::MapScreen s(480, 272);
    computeViewBounds(s.view);
    const auto at = [&s](int x, int y) {
        const GeoCoord g = screenToGeo(s.view, x, y);
        return GeoPoint{g.lat, g.lon};
    };
    const auto below = [&at](int x) {
        GeoPoint p = at(x, 272);
        p.lat -= 1e-9;
        return p;
    };  // just outside the view
    const GeoPoint a = at(120, 250), b = below(120);
    for (const std::vector<GeoPoint>& repeated : {std::vector{a}, std::vector{b, a}}) {
        std::vector<std::uint8_t> once;
        for (int times = 0; times <= 40; ++times) {
            GpxPath path;  // a block painted down to the bottom row, then a in it
            for (int y = 228; y <= 272; ++y) path.addPoint(at(y % 2 ? 140 : 100, y));
            path.addPoint(a);
            for (int k = 0; k < times; ++k) {
                for (const GeoPoint& p : repeated) path.addPoint(p);
            }
            path.addPoint(b), path.addPoint(below(400));
            s.view.tracks.clear(), s.view.tracks.append(path);
            platform::fillRect(s.view.frameBitmap, {0, 0, 480, 272}, platform::rgb(1, 2, 3));
            drawTracks(s.view);
            if (times == 0) once = s.view.frameBitmap.bits;
            EXPECT_TRUE(s.view.frameBitmap.bits == once) << repeated.size() << " points repeated " << times << " times";
        }
    }
}

}  // namespace
}  // namespace quorel
