#include "app/state/map_view.h"

namespace quorel {

void initMapView(MapView& view) {
    view.currentRoute = GpxPath{};
    view.waypoints = GpxPath{};
    view.tracks.clear();
    view.routes.clear();
    view.defaultLat = MapView::kDefaultLat;
    view.defaultLon = MapView::kDefaultLon;
    view.centerLat = view.defaultLat;
    view.centerLon = view.defaultLon;
    view.tileWidth = 256;
    view.tileHeight = 256;
    view.uiScale = 1.0;
    view.drawTimerMs = 500;
    view.zoomMax = 20;
    view.zoomMin = 5;
    view.mapDir = "Maps\\std";
    resetView(view);
    view.buttonWidth = 30;
    view.buttonHeight = 30;
    view.closeCornerX = 25;
    view.closeCornerY = 22;
    view.starButtonPos = {5, 25};
    view.zoomUpButtonPos = {5, 80};
    view.zoomDownButtonPos = {5, 120};
    view.homeButtonPos = {5, 160};
    view.originButtonPos = {5, 200};
    view.bulbButtonPos = {-35, 30};
    view.pointButtonPos = {-35, 70};
    view.eraseButtonPos = {-35, -40};
    view.mosaicOffsetX = 0;
    view.mosaicOffsetY = 0;
    view.showTapPosition = false;
    view.pointMode = false;
    view.loading = true;
    view.loadStep = 0;
}

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
