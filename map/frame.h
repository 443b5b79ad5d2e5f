#pragma once
// Composing a frame: the map background cut out of the tile mosaic, everything drawn
// over it in a fixed order, and the result presented on the window at once.
#include "gps/gps_receiver.h"
#include "map/tile_mosaic.h"
#include "state/map_view.h"

namespace quorel {

enum class RedrawKind {
    Normal = 0,       // timer ticks, buttons, zoom and settings changes
    Recentred = 1,    // a tap has just set the centre to the tapped point
    AfterScroll = 2,  // the second frame of a recentring tap that left the centre tile
};

// What a frame reads from outside the MapView.
struct FrameSources {
    const GpsReceiver& gps;   // satellites, batteryPercent, the recorded track
    const DisplayIdle& idle;  // autoOffEnabled, for the bulb button
    TileLoader& tiles;        // where the mosaic reads its tiles
};

// composeFrame(Normal).
void requestRedraw(MapView& view, const FrameSources& sources);

// Composes one frame into the back buffer and presents it. A request that arrives while
// a frame is being composed (view.drawing) is dropped.
//
// The mosaic is filled when it is not valid, holds another zoom or was filled for the
// other of day and night, and refilled when a Normal frame finds the centre outside the
// mosaic's centre tile. A Recentred frame
// first shows the old window moved by the tap's distance from the view centre; if the
// centre has left the centre tile, the mosaic is then shifted (loading only the
// uncovered tiles) and an AfterScroll frame follows at once.
void composeFrame(MapView& view, const FrameSources& sources, RedrawKind kind);

// Everything over the map background, later items over earlier ones: the tap read-out,
// the eight buttons, the battery and satellite gauges, tracks, routes, the recorded
// track, the current route, the zoom number, the scale bar, the heading arrow and,
// unless following the receiver, the centre cross; and while the recorded track is not
// reaching the card, the track-log sign; with showTrip, the trip panel; and until the
// first tile is shown, the start hint. At night in the night palette, with the buttons'
// and gauges' darkened pictures.
void drawOverlaysAndControls(MapView& view, const FrameSources& sources);

}  // namespace quorel
