#include "state/map_view.h"

namespace quorel {

void resetView(MapView& view) {
    view.tapX = 0;
    view.tapY = 0;
    view.zoomLevel = 14;
    view.centerLat = view.defaultLat;
    view.centerLon = view.defaultLon;
    view.drawing = false;
    view.frameReady = false;
    view.showTileGrid = false;
    view.mosaicValid = false;
    view.followGps = false;
    view.hudMode = 0;
}

void destroyMapView(MapView& view) {
    view.routes.clear();
    view.tracks.clear();
    view.waypoints = GpxPath{};
    view.currentRoute = GpxPath{};
}

}  // namespace quorel
