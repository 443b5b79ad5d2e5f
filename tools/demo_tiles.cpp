#include "tools/demo_tiles.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <limits>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "map/projection.h"
#include "platform/file_handle.h"
#include "platform/format.h"
#include "platform/numeric.h"
#include "platform/raster/raster.h"
#include "png/png_writer.h"
#include "state/map_view.h"
#include "tools/demo_world.h"
#include "tools/tile_coverage.h"

namespace quorel::demo {
namespace {

using platform::truncToInt;
using platform::truncToWorld;

struct Rgb {
    double r, g, b;
};

constexpr Rgb kLand{242, 239, 233};
constexpr Rgb kFarmland{236, 240, 210};
constexpr Rgb kForest{196, 220, 172};
constexpr Rgb kTown{226, 223, 221};
constexpr Rgb kPark{203, 234, 178};
constexpr Rgb kParkEdge{162, 205, 140};
constexpr Rgb kWater{170, 211, 223};
constexpr Rgb kShore{136, 182, 204};
constexpr Rgb kBuilding{217, 208, 201};
constexpr Rgb kBuildingEdge{190, 176, 165};
constexpr Rgb kRail{130, 130, 130};
constexpr Rgb kWhite{255, 255, 255};

constexpr int kMaxStyledZoom = 20;
using ByZoom = std::array<double, kMaxStyledZoom + 1>;  // zoom 0 to 20; beyond 20 as 20

struct RoadStyle {
    Rgb fill;
    Rgb casing;
    ByZoom width;  // fill width in pixels; 0 hides the class
};

// Indexed by RoadClass. Widths are pixels at each zoom, as a printed map's line weights
// are, not metres: minor classes appear only when zoomed in.
const std::array<RoadStyle, kRoadClassCount> kRoadStyles{{
    {kWhite, {186, 180, 174}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.6, 1.5, 3, 5, 7.5, 10, 13, 17}},
    {kWhite, {150, 150, 150}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.8, 1.2, 2.2, 3.6, 5.5, 8, 11, 15, 19}},
    {{247, 250, 191}, {158, 150, 88}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.8, 1, 1.6, 2.4, 3.8, 5.2, 7.5, 10, 14, 18, 23}},
    {{252, 214, 164}, {168, 125, 66}, {0,   0,   0, 0,   0, 0,   0,    0,  0.8, 1, 1.3,
                                       1.6, 2.2, 3, 4.5, 6, 8.5, 11.5, 15, 20,  25}},
    {{232, 146, 162}, {196, 80, 104}, {0,   0,   0,   0,   0, 0.6, 0.7, 0.8, 1,  1.2, 1.5,
                                       1.9, 2.6, 3.6, 5.2, 7, 9.5, 13,  17,  22, 28}},
}};

const ByZoom kRailWidth{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.8, 1, 1.3, 2.5, 3, 3.5, 4, 4.5, 5.5, 6.5, 7.5};
const ByZoom kRailDash{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 6, 7, 8, 10, 12, 14, 16, 18};

double styled(const ByZoom& table, int zoom) {
    return table[static_cast<std::size_t>(std::clamp(zoom, 0, kMaxStyledZoom))];
}

double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The pixels being drawn: their centres in the local frame and their colours.
struct Frame {
    int w = 0;
    int h = 0;
    double mpp = 1.0;          // metres per pixel
    std::vector<double> colX;  // local x of each column's centres
    std::vector<double> rowY;  // local y of each row's centres, falling from the top
    std::vector<double> rgb;
    Box box;

    // The pixels whose centres lie in b; false when there are none.
    bool range(const Box& b, int& i0, int& i1, int& j0, int& j1) const {
        if (!b.overlaps(box)) return false;
        i0 = std::max(0, truncToInt(std::floor((b.minX - colX[0]) / mpp)));
        i1 = std::min(w - 1, truncToInt(std::ceil((b.maxX - colX[0]) / mpp)));
        j0 = static_cast<int>(std::lower_bound(rowY.begin(), rowY.end(), b.maxY, std::greater<>()) - rowY.begin());
        j1 = static_cast<int>(std::upper_bound(rowY.begin(), rowY.end(), b.minY, std::greater<>()) - rowY.begin()) - 1;
        return i0 <= i1 && j0 <= j1;
    }
};

// Coverage of one layer, painted in one colour.
struct Mask {
    int w = 0;
    std::vector<double> a;
    int i0 = std::numeric_limits<int>::max(), i1 = -1, j0 = std::numeric_limits<int>::max(), j1 = -1;

    Mask(int width, int height) : w(width), a(static_cast<std::size_t>(width) * height, 0.0) {}
    void touch(int ia, int ib, int ja, int jb) {
        i0 = std::min(i0, ia);
        i1 = std::max(i1, ib);
        j0 = std::min(j0, ja);
        j1 = std::max(j1, jb);
    }
    void put(int i, int j, double v) {
        double& x = a[static_cast<std::size_t>(j) * w + i];
        if (v > x) x = v;
    }
};

void paint(Frame& f, Mask& m, Rgb c) {
    for (int j = m.j0; j <= m.j1; ++j) {
        for (int i = m.i0; i <= m.i1; ++i) {
            const std::size_t k = static_cast<std::size_t>(j) * f.w + i;
            const double a = m.a[k];
            if (a <= 0.0) continue;
            double* px = &f.rgb[k * 3];
            px[0] += (c.r - px[0]) * a;
            px[1] += (c.g - px[1]) * a;
            px[2] += (c.b - px[2]) * a;
            m.a[k] = 0.0;
        }
    }
    m.i0 = m.j0 = std::numeric_limits<int>::max();
    m.i1 = m.j1 = -1;
}

struct Dash {
    double period;  // pixels along the line
    double on;
};

// Anti-aliased line: coverage from each pixel centre's distance to the nearest segment.
// Dashes follow the distance along the whole line, so they run on across tile edges.
void stroke(const Frame& f, Mask& m, const Polyline& line, double widthPx, const Dash* dash = nullptr) {
    if (widthPx <= 0.0 || line.points.size() < 2) return;
    const double hw = widthPx / 2.0;
    const double margin = (hw + 1.0) * f.mpp;
    if (!line.box.grown(margin).overlaps(f.box)) return;
    for (std::size_t s = 0; s + 1 < line.points.size(); ++s) {
        const Vec2 a = line.points[s], b = line.points[s + 1];
        const Box sb =
            Box{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)}.grown(margin);
        int i0, i1, j0, j1;
        if (!f.range(sb, i0, i1, j0, j1)) continue;
        m.touch(i0, i1, j0, j1);
        const double abx = b.x - a.x, aby = b.y - a.y;
        const double len2 = abx * abx + aby * aby;
        const double len = std::sqrt(len2);
        for (int j = j0; j <= j1; ++j) {
            const double py = f.rowY[static_cast<std::size_t>(j)];
            for (int i = i0; i <= i1; ++i) {
                const double px = f.colX[static_cast<std::size_t>(i)];
                const double t = len2 > 0.0 ? clamp01(((px - a.x) * abx + (py - a.y) * aby) / len2) : 0.0;
                const double dx = px - (a.x + abx * t), dy = py - (a.y + aby * t);
                double cover = hw + 0.5 - std::sqrt(dx * dx + dy * dy) / f.mpp;
                if (cover <= 0.0) continue;
                cover = std::min(cover, 1.0);
                if (dash) {
                    const double along = (line.lengths[s] + t * len) / f.mpp;
                    const double phase = std::fmod(along, dash->period);
                    const double inside = phase < dash->on ? std::min(phase, dash->on - phase)
                                                           : -std::min(phase - dash->on, dash->period - phase);
                    cover *= clamp01(inside + 0.5);
                }
                m.put(i, j, cover);
            }
        }
    }
}

// An area by signed distance to its ring: `inner` gets the area shrunk by edgePx and,
// when given, `edge` the whole area, so painting edge then inner leaves an outline.
void fillArea(const Frame& f, Mask* edge, Mask& inner, const Area& area, double edgePx) {
    if (area.ring.size() < 3) return;
    const double margin = (edgePx + 1.0) * f.mpp;
    int i0, i1, j0, j1;
    if (!f.range(area.box.grown(margin), i0, i1, j0, j1)) return;
    inner.touch(i0, i1, j0, j1);
    if (edge) edge->touch(i0, i1, j0, j1);
    std::vector<double> crossings;
    std::vector<std::size_t> nearEdges;
    const std::size_t n = area.ring.size();
    for (int j = j0; j <= j1; ++j) {
        const double y = f.rowY[static_cast<std::size_t>(j)];
        crossings.clear();
        nearEdges.clear();
        for (std::size_t k = 0; k < n; ++k) {
            const Vec2 p = area.ring[(k + n - 1) % n], q = area.ring[k];
            if ((p.y > y) != (q.y > y)) crossings.push_back(p.x + (y - p.y) * (q.x - p.x) / (q.y - p.y));
            if (std::min(p.y, q.y) - margin <= y && y <= std::max(p.y, q.y) + margin) nearEdges.push_back(k);
        }
        std::sort(crossings.begin(), crossings.end());
        std::size_t passed = 0;
        for (int i = i0; i <= i1; ++i) {
            const double x = f.colX[static_cast<std::size_t>(i)];
            while (passed < crossings.size() && crossings[passed] < x) ++passed;
            const bool inside = passed % 2 == 1;
            double d = std::numeric_limits<double>::max();
            for (const std::size_t k : nearEdges) {
                const Vec2 p = area.ring[(k + n - 1) % n], q = area.ring[k];
                if (x < std::min(p.x, q.x) - margin || x > std::max(p.x, q.x) + margin) continue;
                d = std::min(d, distanceToSegment({x, y}, p, q));
            }
            const double sd = std::min(d / f.mpp, 1e6) * (inside ? 1.0 : -1.0);  // pixels, + inside
            if (edge) {
                edge->put(i, j, clamp01(sd + 0.5));
                inner.put(i, j, clamp01(sd - edgePx + 0.5));
            } else {
                inner.put(i, j, clamp01(sd + 0.5));
            }
        }
    }
}

// The ground's noise is evaluated on a grid of every kGroundStep-th world pixel and
// interpolated. The grid is anchored to the world, not to the tile, so neighbouring tiles
// agree; octaves too fine for the grid fade out, the way a map drawn at a smaller scale
// loses fine detail, so the zooms also agree on the average colour.
constexpr int kGroundStep = 8;

double octaves(Vec2 p, double mpp, std::initializer_list<std::pair<double, double>> waves, std::uint32_t seed) {
    double v = 0.0;
    for (const auto& [wavelength, weight] : waves) {
        const double fade = clamp01((wavelength / mpp - 2.0 * kGroundStep) / (2.0 * kGroundStep));
        v += weight * (0.5 + fade * (valueNoise(p, wavelength, seed++) - 0.5));
    }
    return v;
}

// Land, farmland, woods and town ground with gentle variation.
void paintGround(Frame& f, const MapView& fine, std::int64_t wx0, std::int64_t wy0) {
    constexpr int kFields = 5;
    const std::int64_t gx0 = floorDiv(wx0, kGroundStep), gy0 = floorDiv(wy0, kGroundStep);
    const int nx = static_cast<int>(floorDiv(wx0 + f.w - 1, kGroundStep) - gx0) + 2;
    const int ny = static_cast<int>(floorDiv(wy0 + f.h - 1, kGroundStep) - gy0) + 2;
    std::vector<double> nodeX(static_cast<std::size_t>(nx)), nodeY(static_cast<std::size_t>(ny));
    for (int k = 0; k < nx; ++k) {
        nodeX[static_cast<std::size_t>(k)] = localX(worldToGeo(fine, (gx0 + k) * kGroundStep * 256 + 128, 0).lon);
    }
    for (int k = 0; k < ny; ++k) {
        nodeY[static_cast<std::size_t>(k)] = localY(worldToGeo(fine, 0, (gy0 + k) * kGroundStep * 256 + 128).lat);
    }
    const DemoWorld& world = demoWorld();
    std::vector<double> fields(static_cast<std::size_t>(nx) * ny * kFields);
    for (int ky = 0; ky < ny; ++ky) {
        for (int kx = 0; kx < nx; ++kx) {
            const Vec2 p{nodeX[static_cast<std::size_t>(kx)], nodeY[static_cast<std::size_t>(ky)]};
            double* v = &fields[(static_cast<std::size_t>(ky) * nx + kx) * kFields];
            v[0] = world.townEdgeDistance(p);
            v[1] = octaves(p, f.mpp, {{7000.0, 0.3}, {1100.0, 0.45}, {380.0, 0.25}}, 51);
            v[2] = octaves(p, f.mpp, {{11000.0, 0.35}, {1600.0, 0.45}, {500.0, 0.2}}, 61);
            v[3] = octaves(p, f.mpp, {{900.0, 0.5}, {260.0, 0.3}, {90.0, 0.2}}, 71);
            v[4] = octaves(p, f.mpp, {{40.0, 1.0}}, 81);
        }
    }
    // Where each column falls between grid nodes.
    std::vector<int> colNode(static_cast<std::size_t>(f.w));
    std::vector<double> colT(static_cast<std::size_t>(f.w));
    for (int i = 0; i < f.w; ++i) {
        const std::int64_t g = floorDiv(wx0 + i, kGroundStep);
        colNode[static_cast<std::size_t>(i)] = static_cast<int>(g - gx0);
        colT[static_cast<std::size_t>(i)] = static_cast<double>(wx0 + i - g * kGroundStep) / kGroundStep;
    }
    // Edge softness of the thresholded fields, in field units per pixel: about one
    // pixel of blend when zoomed in, a wide blend when zoomed out.
    const double forestSoft = f.mpp / 700.0, farmSoft = f.mpp / 1000.0;
    std::vector<double> row(static_cast<std::size_t>(nx) * kFields);
    for (int j = 0; j < f.h; ++j) {
        const std::int64_t g = floorDiv(wy0 + j, kGroundStep);
        const double ty = static_cast<double>(wy0 + j - g * kGroundStep) / kGroundStep;
        const double* top = &fields[static_cast<std::size_t>(g - gy0) * nx * kFields];
        const double* bottom = top + static_cast<std::size_t>(nx) * kFields;
        for (std::size_t k = 0; k < row.size(); ++k) row[k] = top[k] + (bottom[k] - top[k]) * ty;
        double* px = &f.rgb[static_cast<std::size_t>(j) * f.w * 3];
        for (int i = 0; i < f.w; ++i, px += 3) {
            const double* a = &row[static_cast<std::size_t>(colNode[static_cast<std::size_t>(i)]) * kFields];
            const double* b = a + kFields;
            const double tx = colT[static_cast<std::size_t>(i)];
            double v[kFields];
            for (int q = 0; q < kFields; ++q) v[q] = a[q] + (b[q] - a[q]) * tx;
            const double town = clamp01(0.5 - v[0] / f.mpp);
            const double forest = clamp01((v[1] - 0.6) / forestSoft + 0.5) * (1.0 - town);
            const double farm = clamp01((v[2] - 0.52) / farmSoft + 0.5) * (1.0 - town);
            Rgb c = kLand;
            auto mix = [&c](Rgb to, double t) {
                c.r += (to.r - c.r) * t;
                c.g += (to.g - c.g) * t;
                c.b += (to.b - c.b) * t;
            };
            mix(kFarmland, farm);
            mix(kForest, forest);
            mix(kTown, town);
            const double shade = (v[3] - 0.5) * 14.0 + forest * (v[4] - 0.5) * 16.0;
            px[0] = c.r + shade;
            px[1] = c.g + shade;
            px[2] = c.b + shade;
        }
    }
}

std::uint8_t toByte(double v) { return static_cast<std::uint8_t>(truncToInt(std::clamp(v, 0.0, 255.0) + 0.5)); }

}  // namespace

std::vector<TileId> tilesAroundHome(int zoom, double radiusMetres) {
    std::vector<TileId> out;
    if (!(radiusMetres > 0.0) || zoom < 0 || zoom > 30) return out;
    const LatLon nw = localToGeo({-radiusMetres, radiusMetres});
    const LatLon se = localToGeo({radiusMetres, -radiusMetres});
    const WorldPixel a = projectToWorldAtZoom(nw.lat, nw.lon, zoom);
    const WorldPixel b = projectToWorldAtZoom(se.lat, se.lon, zoom);
    MapView view;
    view.zoomLevel = zoom;
    const std::int64_t tilesPerSide = std::int64_t{1} << zoom;
    const std::int64_t c0 = std::max<std::int64_t>(0, a.x / 256), c1 = std::min(tilesPerSide - 1, b.x / 256);
    const std::int64_t r0 = std::max<std::int64_t>(0, a.y / 256), r1 = std::min(tilesPerSide - 1, b.y / 256);
    for (std::int64_t col = c0; col <= c1; ++col) {
        const double x0 = localX(worldToGeo(view, col * 256, 0).lon);
        const double x1 = localX(worldToGeo(view, (col + 1) * 256, 0).lon);
        for (std::int64_t row = r0; row <= r1; ++row) {
            const double y0 = localY(worldToGeo(view, 0, (row + 1) * 256).lat);
            const double y1 = localY(worldToGeo(view, 0, row * 256).lat);
            const double dx = std::max({x0, -x1, 0.0}), dy = std::max({y0, -y1, 0.0});
            if (dx * dx + dy * dy <= radiusMetres * radiusMetres) out.push_back({zoom, col, row});
        }
    }
    return out;
}

// A pattern that repeats every 4 x 4 tiles (shifted by zoom), so that any screenful of
// tiles holds both types: 12 of 16 RGB, 4 palette.
TileColourType tileColourType(const TileId& tile) {
    const auto c = static_cast<int>((tile.col + tile.zoom) & 3), r = static_cast<int>(tile.row & 3);
    switch (r * 4 + c) {
    case 0:
    case 7:
    case 10:
    case 13:
        return TileColourType::Palette;
    default:
        return TileColourType::Rgb;
    }
}

std::vector<TileId> demoTiles(int zoomMin, int zoomMax, double radiusMetres, const std::vector<GeoCoord>& route,
                              int margin) {
    std::vector<TileId> out;
    for (int z = std::max(zoomMin, 0); z <= std::min(zoomMax, kMaxCoverageZoom); ++z) {
        TileSet line;
        addLineTiles(route, z, line);
        std::set<TileId> tiles;
        for (const TileCell& c : withMargin(line, z, margin)) tiles.insert({z, c.col, c.row});
        for (const TileId& t : tilesAroundHome(z, radiusMetres)) tiles.insert(t);
        out.insert(out.end(), tiles.begin(), tiles.end());
    }
    return out;
}

RgbImage renderRegion(int zoom, std::int64_t wx0, std::int64_t wy0, int width, int height) {
    RgbImage out;
    if (width <= 0 || height <= 0) return out;
    MapView fine;  // pixel centres to latitude and longitude, through the program's projection
    fine.zoomLevel = zoom + 8;
    Frame f;
    f.w = width;
    f.h = height;
    for (int i = 0; i < width; ++i) f.colX.push_back(localX(worldToGeo(fine, (wx0 + i) * 256 + 128, 0).lon));
    for (int j = 0; j < height; ++j) f.rowY.push_back(localY(worldToGeo(fine, 0, (wy0 + j) * 256 + 128).lat));
    f.mpp = localX(worldToGeo(fine, (wx0 + 1) * 256 + 128, 0).lon) - f.colX[0];
    f.box = {f.colX.front(), f.rowY.back(), f.colX.back(), f.rowY.front()};
    f.rgb.assign(static_cast<std::size_t>(width) * height * 3, 0.0);

    const DemoWorld& world = demoWorld();
    paintGround(f, fine, wx0, wy0);
    Mask edge(width, height), inner(width, height);

    for (const Area& park : world.parks) fillArea(f, zoom >= 14 ? &edge : nullptr, inner, park, 1.0);
    paint(f, edge, kParkEdge);
    paint(f, inner, kPark);

    fillArea(f, zoom >= 13 ? &edge : nullptr, inner, world.lake, 1.0);
    paint(f, edge, kShore);
    paint(f, inner, kWater);
    if (zoom >= 8) stroke(f, inner, world.river, std::max(world.riverWidth / f.mpp, 0.8));
    if (zoom >= 12) stroke(f, inner, world.stream, std::max(world.streamWidth / f.mpp, 0.7));
    paint(f, inner, kWater);

    if (zoom >= 15) {
        for (const Area& b : world.buildings) fillArea(f, zoom >= 16 ? &edge : nullptr, inner, b, 1.0);
        paint(f, edge, kBuildingEdge);
        paint(f, inner, kBuilding);
    }

    // All casings under all fills, so that junctions of one class merge cleanly and a
    // greater road runs over a lesser one.
    for (int pass = 0; pass < 2; ++pass) {
        for (int c = 0; c < kRoadClassCount; ++c) {
            const RoadStyle& style = kRoadStyles[static_cast<std::size_t>(c)];
            const double fillWidth = styled(style.width, zoom);
            if (fillWidth <= 0.0) continue;
            const bool casing = pass == 0;
            if (casing && (zoom < 12 || fillWidth < 1.5)) continue;
            const double lineWidth = casing ? fillWidth + 2.0 * std::max(0.8, 0.1 * fillWidth) : fillWidth;
            for (const Road& r : world.roads) {
                if (static_cast<int>(r.roadClass) == c) stroke(f, inner, r.line, lineWidth);
            }
            paint(f, inner, casing ? style.casing : style.fill);
        }
    }

    const double railWidth = styled(kRailWidth, zoom);
    if (railWidth > 0.0) {
        stroke(f, inner, world.railway, railWidth);
        paint(f, inner, kRail);
        const double dash = styled(kRailDash, zoom);
        if (dash > 0.0) {
            const Dash pattern{2.0 * dash, dash};
            stroke(f, inner, world.railway, railWidth - 1.6, &pattern);
            paint(f, inner, kWhite);
        }
    }

    out.width = width;
    out.height = height;
    out.pixels.resize(f.rgb.size());
    for (std::size_t k = 0; k < f.rgb.size(); ++k) out.pixels[k] = toByte(f.rgb[k]);
    return out;
}

RgbImage renderTile(const TileId& tile) { return renderRegion(tile.zoom, tile.col * 256, tile.row * 256, 256, 256); }

namespace {

std::vector<std::array<std::uint8_t, 3>> buildPalette() {
    const std::vector<Rgb> base{kLand,  kFarmland, kForest,   kTown,         kPark, kParkEdge,
                                kWater, kShore,    kBuilding, kBuildingEdge, kRail, kWhite};
    std::vector<Rgb> colours = base;
    for (const RoadStyle& s : kRoadStyles) {
        colours.push_back(s.fill);
        colours.push_back(s.casing);
    }
    const std::vector<Rgb> grounds{kLand, kFarmland, kForest, kTown};
    const std::vector<Rgb> under{kLand, kTown, kFarmland, kForest, kPark, kWater, kBuilding, kWhite};
    std::vector<std::array<std::uint8_t, 3>> out;
    auto add = [&out](Rgb c) {
        const std::array<std::uint8_t, 3> e{toByte(c.r), toByte(c.g), toByte(c.b)};
        for (const auto& o : out) {
            const int dr = o[0] - e[0], dg = o[1] - e[1], db = o[2] - e[2];
            if (dr * dr + dg * dg + db * db < 9) return;
        }
        if (out.size() < 256) out.push_back(e);
    };
    auto blend = [](Rgb a, Rgb b, double t) {
        return Rgb{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
    };
    for (const Rgb& c : colours) add(c);
    for (const Rgb& g : grounds)  // the shades of the ground's gentle variation
        for (double d = -8.0; d <= 8.0; d += 2.0) add({g.r + d, g.g + d, g.b + d});
    for (double t : {0.5, 0.25, 0.75})  // anti-aliased edges over what lies beneath
        for (const Rgb& c : colours) {
            for (const Rgb& u : under) add(blend(u, c, t));
        }
    for (double t = 0.125; t < 1.0; t += 0.125)
        for (const Rgb& c : colours) {
            for (const Rgb& u : under) add(blend(u, c, t));
        }
    while (out.size() < 256) out.push_back(out.back());  // a full table; never reached
    return out;
}

}  // namespace

const std::vector<std::array<std::uint8_t, 3>>& tilePalette() {
    static const std::vector<std::array<std::uint8_t, 3>> palette = buildPalette();
    return palette;
}

namespace {

// The palette entry nearest to each pixel (green weighs most, as the eye has it).
platform::Bitmap paletteBitmap(const RgbImage& image) {
    const auto& table = tilePalette();
    std::vector<platform::Color> colours;
    for (const auto& e : table) colours.push_back(platform::rgb(e[0], e[1], e[2]));
    platform::Bitmap out = platform::createDib(image.width, -image.height, 8, colours);
    std::unordered_map<std::uint32_t, std::uint8_t> nearest;  // a tile has few distinct colours
    for (int j = 0; j < image.height; ++j) {
        for (int i = 0; i < image.width; ++i) {
            const std::uint8_t* p = &image.pixels[(static_cast<std::size_t>(j) * image.width + i) * 3];
            const std::uint32_t key = std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
            auto it = nearest.find(key);
            if (it == nearest.end()) {
                int best = 0, bestD = std::numeric_limits<int>::max();
                for (std::size_t e = 0; e < table.size(); ++e) {
                    const int dr = table[e][0] - p[0], dg = table[e][1] - p[1], db = table[e][2] - p[2];
                    const int d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
                    if (d < bestD) {
                        bestD = d;
                        best = static_cast<int>(e);
                    }
                }
                it = nearest.emplace(key, static_cast<std::uint8_t>(best)).first;
            }
            out.bits[static_cast<std::size_t>(j) * static_cast<std::size_t>(out.stride) + i] = it->second;
        }
    }
    return out;
}

platform::Bitmap rgbBitmap(const RgbImage& image) {
    platform::Bitmap out = platform::createBitmap(image.width, image.height);
    for (int j = 0; j < image.height; ++j) {
        for (int i = 0; i < image.width; ++i) {
            const std::uint8_t* p = &image.pixels[(static_cast<std::size_t>(j) * image.width + i) * 3];
            platform::setPixel(out, i, j, platform::rgb(p[0], p[1], p[2]));
        }
    }
    return out;
}

}  // namespace

bool writeTilePng(const std::filesystem::path& file, const RgbImage& image, TileColourType type, std::string& error) {
    const std::size_t count = static_cast<std::size_t>(image.width) * image.height;
    if (image.width <= 0 || image.height <= 0 || image.pixels.size() != count * 3) {
        error = "no image to write for " + file.string();
        return false;
    }
    // zlib's default level: the smallest files take twice the time for 5% less.
    const std::vector<std::uint8_t> png =
        encodePng(type == TileColourType::Palette ? paletteBitmap(image) : rgbBitmap(image), 6);
    const std::string_view bytes(reinterpret_cast<const char*>(png.data()), png.size());
    if (png.empty() || !platform::replaceFile(file, [bytes](int fd) { return platform::writeAll(fd, bytes, 0); })) {
        error = "cannot write " + file.string();
        return false;
    }
    return true;
}

std::filesystem::path tilePath(const std::filesystem::path& mapDir, const TileId& tile) {
    return mapDir / std::to_string(tile.zoom) / std::to_string(tile.col) / (std::to_string(tile.row) + ".png");
}

bool writeTileTree(const std::filesystem::path& mapDir, const std::vector<TileId>& tiles, int jobs,
                   TileTreeStats& stats, std::string& error) {
    stats = {};
    std::error_code ec;
    // Directories first, on this thread, so that the drawing threads only write files.
    for (std::size_t k = 0; k < tiles.size(); ++k) {
        if (k > 0 && tiles[k].zoom == tiles[k - 1].zoom && tiles[k].col == tiles[k - 1].col) continue;
        std::filesystem::create_directories(tilePath(mapDir, tiles[k]).parent_path(), ec);
        if (ec) {
            error = "cannot create " + tilePath(mapDir, tiles[k]).parent_path().string() + ": " + ec.message();
            return false;
        }
    }

    if (jobs <= 0) jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    jobs = std::min<int>(jobs, static_cast<int>(std::max<std::size_t>(1, tiles.size())));
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex lock;
    auto work = [&] {
        TileTreeStats mine;
        for (std::size_t k = next++; k < tiles.size() && !failed; k = next++) {
            const TileId& t = tiles[k];
            const TileColourType type = tileColourType(t);
            const std::filesystem::path file = tilePath(mapDir, t);
            std::string why;
            if (!writeTilePng(file, renderTile(t), type, why)) {
                const std::lock_guard<std::mutex> guard(lock);
                if (!failed.exchange(true)) error = why;
                return;
            }
            std::error_code sizeError;
            const auto size = std::filesystem::file_size(file, sizeError);
            ++mine.tiles;
            mine.bytes += sizeError ? 0 : size;
            ++mine.byType[static_cast<std::size_t>(type)];
        }
        const std::lock_guard<std::mutex> guard(lock);
        stats.tiles += mine.tiles;
        stats.bytes += mine.bytes;
        for (std::size_t k = 0; k < mine.byType.size(); ++k) stats.byType[k] += mine.byType[k];
    };
    std::vector<std::thread> threads;
    for (int k = 1; k < jobs; ++k) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();
    return !failed;
}

}  // namespace quorel::demo
