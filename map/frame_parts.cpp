#include "map/frame_parts.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "gps/gps_receiver.h"
#include "map/colours.h"
#include "map/night.h"
#include "map/overlays.h"
#include "map/projection.h"
#include "platform/format.h"
#include "platform/numeric.h"
#include "platform/raster/canvas.h"
#include "platform/raster/text.h"

namespace quorel {
namespace {

using platform::clampToInt;
using platform::saturatingAdd;
using platform::truncToInt;

// The scale bar's latitude is read at this view point whatever the screen size.
constexpr int kScaleProbeX = 750;
constexpr int kScaleProbeY = 20;

// Battery strip: cells 69 pixels apart, 65 x 39 read from each (the strip is 36 high).
constexpr int kBatteryCellPitch = 69;
constexpr int kBatteryCellWidth = 65;
constexpr int kBatteryCellHeight = 39;
constexpr int kSignalCellWidth = 25;
constexpr int kSignalCellHeight = 20;
constexpr int kMaxSignalCell = 9;

platform::Rect rectOf(int left, int top, int width, int height) {
    return {left, top, saturatingAdd(left, width), saturatingAdd(top, height)};
}

platform::Canvas textCanvas(MapView& view, int height, platform::Color color) {
    platform::Canvas canvas(view.frameBitmap);
    canvas.font.height = height;  // weight 400, the program's one face
    canvas.textColor = color;
    canvas.backgroundMode = platform::BackgroundMode::Transparent;
    return canvas;
}

void drawTextIn(MapView& view, std::string_view text, platform::Rect rect, int height, platform::Color color) {
    platform::Canvas canvas = textCanvas(view, height, color);
    platform::drawText(canvas, text, rect);
}

// The width the text takes in a font, measured as the text call measures it.
int textWidth(MapView& view, std::string_view text, platform::Rect probe, int height) {
    platform::Canvas canvas = textCanvas(view, height, kBlack);
    platform::drawText(canvas, text, probe, platform::kTextCalcRect);
    return probe.width();
}

// Lines that fit width pixels: each line of text broken after the last space or slash
// that keeps the piece within width (or, with none, where it no longer fits).
std::vector<std::string> wrapLines(MapView& view, std::string_view text, int width, int height) {
    std::vector<std::string> lines;
    const auto fits = [&](std::string_view piece) { return textWidth(view, piece, {0, 0, 1, 1}, height) <= width; };
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view rest = text.substr(at, end - at);
        while (!rest.empty() && !fits(rest)) {
            std::size_t cut = 0, breakAfter = 0;
            while (cut < rest.size() && fits(rest.substr(0, cut + 1))) {
                ++cut;
                if (rest[cut - 1] == ' ' || rest[cut - 1] == '/') breakAfter = cut;
            }
            const std::size_t take = std::max<std::size_t>(1, breakAfter > 0 ? breakAfter : cut);
            lines.emplace_back(rest.substr(0, take));
            rest.remove_prefix(take);
        }
        lines.emplace_back(rest);
        at = end + 1;
    }
    return lines;
}

}  // namespace

void drawImageButton(const ImageButton& button, platform::Bitmap& target, bool night) {
    const Surface& image = button.image;
    if (!image.valid) return;
    platform::stretchBlit(target, button.left, button.top, button.width, button.height, pictureOf(image, night), 0, 0,
                          image.width, image.height);
}

void drawToggleButton(const ImageButton& button, platform::Bitmap& target, int cell, bool night) {
    const Surface& image = button.image;
    if (!image.valid) return;
    const int w = image.width / 2;
    platform::stretchBlit(target, button.left, button.top, button.width, button.height, pictureOf(image, night),
                          clampToInt(std::int64_t{cell} * w), 0, w, image.height);
}

void drawStripCell(const Surface& image, platform::Bitmap& target, const platform::Rect& dest, int sx, int sy, int sw,
                   int sh, bool night) {
    if (!image.valid) return;
    platform::stretchBlit(target, dest.left, dest.top, clampToInt(std::int64_t{dest.right} - dest.left),
                          clampToInt(std::int64_t{dest.bottom} - dest.top), pictureOf(image, night), sx, sy, sw, sh);
}

void drawStatusLine(MapView& view, std::string_view line1, std::string_view line2, std::string_view line3) {
    // 18-pixel rows for a 22-pixel font: the lines are clipped at the bottom.
    constexpr int kHeight = 22;
    const int left = saturatingAdd(view.viewWidth, -400);
    const platform::Color color = paletteOf(view).readout;
    drawTextIn(view, line1, {left, 0, view.viewWidth, 18}, kHeight, color);
    if (!line2.empty()) drawTextIn(view, line2, {left, 20, view.viewWidth, 38}, kHeight, color);
    if (!line3.empty()) drawTextIn(view, line3, {left, 40, view.viewWidth, 58}, kHeight, color);
}

void drawTapPositionInfo(MapView& view, int x, int y) {
    const GeoCoord geo = screenToGeo(view, x, y);
    const WorldPixel world = screenToMosaicWorld(view, x, y);
    drawStatusLine(view, platform::format("%d X %d", x, y),
                   platform::format("lat%.5f lon%.5f wx%lldwy%lld", geo.lat, geo.lon, static_cast<long long>(world.x),
                                    static_cast<long long>(world.y)),
                   platform::format("Col%lld Row%lld", static_cast<long long>(view.mosaicTileX),
                                    static_cast<long long>(view.mosaicTileY)));
}

std::string routeDistanceText(double km) {
    if (km < 1.0) return platform::format("%.0fm", km * 1000.0);
    return platform::format("%.1fKm", km);
}

void drawRouteDistance(MapView& view) {
    if (view.currentRoute.pointCount() == 0) return;
    GeoPoint centre;
    centre.lat = view.centerLat;
    centre.lon = view.centerLon;
    const std::string text = routeDistanceText(geoDistanceKm(view.currentRoute.points[0], centre));
    constexpr int kHeight = 22;
    // Measured first, then drawn into the measured rectangle: from the centre rightwards.
    platform::Rect rect = rectOf(view.viewWidth / 2, view.viewHeight / 2, 50, 22);
    platform::Canvas canvas = textCanvas(view, kHeight, paletteOf(view).readout);
    platform::drawText(canvas, text, rect, platform::kTextCalcRect);
    platform::drawText(canvas, text, rect);
}

void drawZoomLabel(MapView& view) {
    const int height = truncToInt(20.0 * view.uiScale);
    const int left = truncToInt(view.starButtonPos[0] * view.uiScale);
    const int top = truncToInt((view.starButtonPos[1] + 30.0) * view.uiScale);
    // The boxes grow with the text on large screens, where 50 pixels would cut it.
    const int box = std::max(50, truncToInt(50.0 * view.uiScale));
    const platform::Color color = paletteOf(view).label;
    drawTextIn(view, platform::format("%d", view.zoomLevel), rectOf(left, top, box, box), height, color);
    drawTextIn(view, "X", {0, 0, box, box}, height, color);
}

int scaleBarLength(const MapView& view, int x, int y, int metres) {
    const double lat = screenToGeo(view, x, y).lat;
    const double c = std::cos((lat / 180.0) * kPiDistance);
    const double kmPerPixel = (c * kEarthRadiusKm) * (kTwoPiDistance / (std::pow(2.0, view.zoomLevel) * 256.0));
    return truncToInt((1.0 / kmPerPixel) / (1000.0 / metres));
}

ScaleBarRow scaleBarRow(int zoom) {
    switch (zoom) {
    case 14:
        return {1000, "1000M", 0};
    case 15:
        return {500, "500M", 1};
    case 16:
        return {200, "200M", 1};
    case 17:
        return {100, "100M", 1};
    case 18:
        return {100, "100M", 0};
    case 19:
        return {50, "50M", 0};
    case 20:
        return {25, "25M", 1};
    case 21:
        return {20, "20M", 1};
    case 22:
        return {10, "10M", 1};
    case 23:
        return {5, "5M", 1};
    case 24:
        return {2, "2M", 1};
    default:
        return {1000, "1K", 0};
    }
}

void drawScaleBar(MapView& view) {
    const ScaleBarRow row = scaleBarRow(view.zoomLevel);
    const std::int64_t len = scaleBarLength(view, kScaleProbeX, kScaleProbeY, row.metres);
    const std::int64_t w = view.viewWidth;

    const platform::Color ink = paletteOf(view).ink;
    platform::Canvas canvas(view.frameBitmap);
    canvas.pen = platform::Pen{ink, 2};
    // On a screen so small that the bulb button reaches up to the bar, the bar moves left
    // of the button.
    std::int64_t right = w - 15;
    if (view.bulbButton && view.bulbButton->top < 30) right = std::min<std::int64_t>(right, view.bulbButton->left - 5);
    const std::int64_t r = right, l = right - len;
    platform::moveTo(canvas, r, 20);  // an open bracket, its ends pointing up
    platform::lineTo(canvas, r, 30);
    platform::lineTo(canvas, l, 30);
    platform::lineTo(canvas, l, 20);
    const std::int64_t step = len / (row.innerTicks + 1);
    for (int i = 0; i < row.innerTicks; ++i) {
        const std::int64_t x = r - (i + 1) * step;
        platform::moveTo(canvas, x, 25);
        platform::lineTo(canvas, x, 30);
    }

    constexpr int kLabelHeight = 16;
    const int tw = textWidth(view, row.label, {0, 5, 50, 25}, kLabelHeight);
    const int labelLeft = clampToInt(r - (len / 2 + tw / 2));
    drawTextIn(view, row.label, {labelLeft, 5, saturatingAdd(labelLeft, tw), 25}, kLabelHeight, ink);
}

void drawCentreCross(MapView& view) {
    platform::Canvas canvas(view.frameBitmap);
    canvas.pen = platform::Pen{paletteOf(view).ink, 2};
    const std::int64_t k = truncToInt(10.0 * view.uiScale);
    const std::int64_t cx = view.viewWidth / 2, cy = view.viewHeight / 2;
    platform::moveTo(canvas, cx, cy - k);
    platform::lineTo(canvas, cx, cy + k);
    platform::moveTo(canvas, cx - k, cy);
    platform::lineTo(canvas, cx + k, cy);
}

void drawStartHint(MapView& view) {
    const int height = std::max(10, truncToInt(14.0 * view.uiScale));
    const int side = truncToInt(45.0 * view.uiScale);
    const int pad = std::max(2, truncToInt(4.0 * view.uiScale));
    const int width = saturatingAdd(view.viewWidth, -2 * side);
    if (width <= 2 * pad) return;
    const std::vector<std::string> lines = wrapLines(view, view.startHint, width - 2 * pad, height);
    const int boxHeight = clampToInt(std::int64_t{height} * static_cast<std::int64_t>(lines.size()) + 2 * pad);
    const int top = std::max(0, (view.viewHeight - boxHeight) / 2);
    const Palette& palette = paletteOf(view);
    platform::fillRect(view.frameBitmap, rectOf(side, top, width, boxHeight), palette.panel);
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const int y = clampToInt(top + pad + std::int64_t{height} * static_cast<std::int64_t>(n));
        drawTextIn(view, lines[n], rectOf(side + pad, y, width - 2 * pad, height), height, palette.ink);
    }
}

int batteryCell(int batteryPercent) {
    if (batteryPercent >= 75) return 0;
    if (batteryPercent >= 50) return 1;
    if (batteryPercent >= 25) return 2;
    if (batteryPercent >= 1) return 3;
    return 4;
}

void drawBatteryGauge(MapView& view, int batteryPercent) {
    if (!view.statusImage) return;
    const int w = truncToInt(32.0 * view.uiScale);
    const int h = truncToInt(19.0 * view.uiScale);
    drawStripCell(view.statusImage->image, view.frameBitmap,
                  rectOf(saturatingAdd(view.viewWidth, -w), saturatingAdd(view.viewHeight, -h), w, h),
                  batteryCell(batteryPercent) * kBatteryCellPitch, 0, kBatteryCellWidth, kBatteryCellHeight,
                  view.night);
}

void drawSatelliteGauge(MapView& view, int satellites) {
    if (!view.legendImage) return;
    const int w = truncToInt(25.0 * view.uiScale);
    const int h = truncToInt(20.0 * view.uiScale);
    const int gap = truncToInt(35.0 * view.uiScale);
    // A negative count (a damaged sentence) shows no bars rather than nothing at all.
    const int cell = std::clamp(satellites, 0, kMaxSignalCell);
    const int left = saturatingAdd(saturatingAdd(view.viewWidth, -w), -gap);
    drawStripCell(view.legendImage->image, view.frameBitmap, rectOf(left, saturatingAdd(view.viewHeight, -h), w, h),
                  cell * kSignalCellWidth, 0, kSignalCellWidth, kSignalCellHeight, view.night);
}

void drawTrackLogSign(MapView& view) {
    const int side = truncToInt(20.0 * view.uiScale);
    const int bar = std::max(1, truncToInt(6.0 * view.uiScale));
    const int margin = truncToInt(2.0 * view.uiScale);
    const int left = saturatingAdd(view.viewWidth, -truncToInt(84.0 * view.uiScale));
    const int top = saturatingAdd(view.viewHeight, -side);
    const Palette& palette = paletteOf(view);
    platform::fillRect(view.frameBitmap, rectOf(left, top, side, side), palette.sign);
    platform::fillRect(view.frameBitmap, rectOf(left + margin, top + (side - bar) / 2, side - 2 * margin, bar),
                       palette.signBar);
}

}  // namespace quorel

namespace quorel {

platform::Rect tripPanelRect(const MapView& view) {
    const int width = truncToInt(200.0 * view.uiScale);
    const int height = truncToInt(36.0 * view.uiScale);
    int left = truncToInt(40.0 * view.uiScale);
    const int top = saturatingAdd(view.viewHeight, -saturatingAdd(height, truncToInt(2.0 * view.uiScale)));
    const std::optional<ImageButton>* buttons[] = {&view.starButton,  &view.zoomUpButton, &view.zoomDownButton,
                                                   &view.homeButton,  &view.originButton, &view.bulbButton,
                                                   &view.pointButton, &view.eraseButton};
    // Each pass moves the panel right of a button it covers; a button met again after a
    // move is looked at again in the next pass.
    for (std::size_t pass = 0; pass <= std::size(buttons); ++pass) {
        bool moved = false;
        for (const auto* b : buttons) {
            if (!*b) continue;
            const ImageButton& button = **b;
            const bool overlaps = std::int64_t{left} < std::int64_t{button.left} + button.width &&
                                  button.left < std::int64_t{left} + width &&
                                  std::int64_t{top} < std::int64_t{button.top} + button.height &&
                                  button.top < std::int64_t{top} + height;
            if (overlaps) {
                left = clampToInt(std::int64_t{button.left} + button.width + truncToInt(5.0 * view.uiScale));
                moved = true;
            }
        }
        if (!moved) break;
    }
    return rectOf(left, top, width, height);
}

std::string tripPanelRow1(const TripTotals& trip, bool log) {
    const std::int64_t seconds = truncToInt(trip.movingSeconds);
    return platform::format("%s %s %lld:%02lld:%02lld", log ? "Log" : "Run", routeDistanceText(trip.distanceKm).c_str(),
                            static_cast<long long>(seconds / 3600), static_cast<long long>(seconds / 60 % 60),
                            static_cast<long long>(seconds % 60));
}

std::string tripPanelRow2(const TripTotals& trip) {
    return platform::format("%.1fkm/h +%.0fm", averageMovingKmh(trip), tripAscentM(trip));
}

void drawTripPanel(MapView& view, const TripTotals& trip, bool log) {
    const platform::Rect panel = tripPanelRect(view);
    const int border = std::max(1, truncToInt(view.uiScale));
    const Palette& palette = paletteOf(view);
    platform::fillRect(view.frameBitmap, panel, palette.readout);
    platform::fillRect(view.frameBitmap,
                       {panel.left + border, panel.top + border, panel.right - border, panel.bottom - border},
                       palette.panel);
    const int text = truncToInt(15.0 * view.uiScale);
    const int row = truncToInt(17.0 * view.uiScale);
    const int inset = truncToInt(5.0 * view.uiScale);
    const int top = panel.top + truncToInt(1.0 * view.uiScale);
    drawTextIn(view, tripPanelRow1(trip, log), {panel.left + inset, top, panel.right - border, top + row}, text,
               palette.readout);
    drawTextIn(view, tripPanelRow2(trip), {panel.left + inset, top + row, panel.right - border, top + 2 * row}, text,
               palette.readout);
}

}  // namespace quorel
