#pragma once
// What is drawn over the map: the GPX tracks and routes loaded at start-up, the track
// the receiver records, the route the user edits, pins on route points and the arrow
// at the newest recorded point. Everything goes into the back buffer (frameBitmap) at
// view positions: world pixel minus the view origin of computeViewBounds, so call
// that first.
#include "gps/gps_receiver.h"
#include "gpx/collections.h"
#include "platform/raster/canvas.h"
#include "platform/raster/raster.h"
#include "state/map_view.h"

namespace quorel {

// False only when the box around the segment lies wholly outside the view bounds;
// touching a bound counts as visible.
bool segmentMayBeVisible(const MapView& view, const GeoPoint& a, const GeoPoint& b);

// Strictly inside the view bounds: a point on a bound is outside.
bool pointInView(const MapView& view, double lat, double lon);

// The path as a polyline in the canvas's pen. Segments whose box lies outside the view
// are skipped, so a path that leaves the view and comes back is drawn as separate
// strokes; the segment that leaves the view is still finished.
void drawPath(const MapView& view, platform::Canvas& canvas, const GpxPath& path);

// A pin (cell 0 of the point button's image, ANDed over the map) whose tip is on every
// point strictly inside the view.
void drawPathPins(MapView& view, const GpxPath& path);

void drawPathWithPins(MapView& view, platform::Canvas& canvas, const GpxPath& path);

// Copies one cell of a two-cell image, unscaled, to (x, y).
void drawSprite(const Surface& image, platform::Bitmap& target, int x, int y, int cell, platform::RasterOp op);

// The pen of every path: solid, 4 design pixels wide.
int overlayPenWidth(const MapView& view);

void drawTracks(MapView& view);  // red
void drawRoutes(MapView& view);  // red, with pins
// The recorded track in cyan: the previous run's points and this run's as two strokes,
// never joined by a line from where the last journey ended to where this one began.
void drawGpsTrack(MapView& view, const GpxPath& track, int previousRunPoints = 0);
void drawCurrentRoute(MapView& view);  // magenta, with pins

// A dart at the newest point of the recorded track, pointing the way of the last step.
// The direction is taken at zoom 20 so that short steps still have one. When the two
// newest points coincide there, the arrow keeps the direction it last had
// (view.headingAngle); it is not drawn before it has had one. The step from the previous
// run's last point to this run's first is no step and gives no direction either.
void drawHeadingArrow(MapView& view, const GpxPath& track, int previousRunPoints = 0);

}  // namespace quorel
