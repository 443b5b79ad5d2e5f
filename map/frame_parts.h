#pragma once
// The small pieces of a frame drawn over the map: buttons, gauges, text read-outs, the
// zoom number, the scale bar and the centre cross. Each draws into the back buffer
// (frameBitmap) with its own pen or font; nothing is kept between calls. Positions are
// view pixels; sizes given in design pixels follow uiScale where noted.
#include <string>
#include <string_view>

#include "gps/trip.h"
#include "platform/raster/bitmap.h"
#include "platform/raster/raster.h"
#include "state/map_view.h"

namespace quorel {

// The whole image stretched into the button's rectangle. Absent or empty images draw
// nothing. At night each draws the image's night picture where it has one.
void drawImageButton(const ImageButton& button, platform::Bitmap& target, bool night);

// Cell 0 (left half, the "on" picture) or cell 1 (right half) stretched into the rectangle.
void drawToggleButton(const ImageButton& button, platform::Bitmap& target, int cell, bool night);

// One cell (sx, sy, sw, sh) of an image strip stretched onto dest.
void drawStripCell(const Surface& image, platform::Bitmap& target, const platform::Rect& dest, int sx, int sy, int sw,
                   int sh, bool night);

// Up to three lines in the read-out colour (blue by day) in the top-right corner, 400 pixels wide; empty lines are left
// out. Also used by the application for the key-press read-out.
void drawStatusLine(MapView& view, std::string_view line1, std::string_view line2 = {}, std::string_view line3 = {});

// The view pixel, its latitude and longitude, its world pixel as the mosaic places it
// and the mosaic's centre tile.
void drawTapPositionInfo(MapView& view, int x, int y);

// "999m" below one kilometre (whole metres), "1.0Km" from there on (one decimal).
std::string routeDistanceText(double km);

// From the view centre to the first point of the current route, written from the centre
// rightwards and down; nothing without a route.
void drawRouteDistance(MapView& view);

// The zoom number under the star button and the "X" of the close corner, in red.
void drawZoomLabel(MapView& view);

// Pixels that the given metres span at the latitude of view point (x, y).
int scaleBarLength(const MapView& view, int x, int y, int metres);

struct ScaleBarRow {
    int metres;
    const char* label;
    int innerTicks;
};

// The bar shown at a zoom: 1000 m labelled "1K" outside zooms 14 to 24.
ScaleBarRow scaleBarRow(int zoom);

// A bracket of the row's length in the top-right corner with its label centred above.
void drawScaleBar(MapView& view);

// A black cross at the view centre, 10 design pixels each way.
void drawCentreCross(MapView& view);

// The sign shown while the recorded track is not reaching the card (none, full,
// read-only, the log refused): a red square of 20 design pixels with a white bar across,
// at the bottom edge left of the satellite gauge.
void drawTrackLogSign(MapView& view);

// The start hint (view.startHint, lines separated by LF) in black on a white box over
// the middle of the map, between the button columns (by night in the night palette's ink
// on its panel ground); a line too wide for the box breaks after a space or a slash.
void drawStartHint(MapView& view);
// The trip panel: 200 x 36 design pixels at the bottom edge, 40 from the left, right of
// the left column of buttons and left of the gauges; moved right past any button that
// buttons placed elsewhere in setmap.txt would put under it.
platform::Rect tripPanelRect(const MapView& view);

// Its two rows: "Run 12.3Km 0:42:10" ("Log" for the totals since the log's first point;
// the distance as routeDistanceText writes it)
// and "17.5km/h +123m" (average moving speed, ascent).
std::string tripPanelRow1(const TripTotals& trip, bool log);
std::string tripPanelRow2(const TripTotals& trip);

// The panel in blue on white (by night in the night palette's readout colour on its
// panel ground), in its rectangle.
void drawTripPanel(MapView& view, const TripTotals& trip, bool log);

// Cell of the battery strip: 0 four bars (75 and more, and 255 for no reading) to 4 empty.
int batteryCell(int batteryPercent);

// The battery cell in the bottom-right corner.
void drawBatteryGauge(MapView& view, int batteryPercent);

// Signal bars for the satellites in use (nine and more show nine), left of the battery.
void drawSatelliteGauge(MapView& view, int satellites);

}  // namespace quorel
