#include "app/loading.h"

#include "gpx/gpx_reader.h"
#include "map/frame.h"
#include "map/present.h"
#include "platform/raster/text.h"
#include "settings/map_settings.h"

namespace quorel {

const char* loadingStatusText(int loadStep) {
    switch (loadStep) {
    case 0:
        return "LoadMapSetting";
    case 1:
        return "Load CUrrentRoot";
    case 2:
        return "Load AutoLoadFiles";
    default:
        return "";
    }
}

void loadingTick(App& app) {
    MapView& v = app.view;
    // Drawn straight on the window, over the splash: each text is longer than the one before.
    // A turned window gets them through the back buffer, turned with it.
    const bool turned = v.rotation != 0;
    platform::Canvas window(turned ? v.frameBitmap : app.window.clientPixels());
    platform::Rect status{0, 0, 200, 20};
    platform::drawText(window, loadingStatusText(v.loadStep), status);
    if (turned) presentFrame(v);

    switch (v.loadStep) {
    case 0: {
        // The surfaces were laid out for the rotation at set-up, and --rotate is not
        // written into a new file.
        const int turnedBy = v.rotation;
        v.rotation = 0;
        if (!loadMapSettings(v, app.idle, app.programDir)) saveMapSettings(v, app.idle, app.programDir);
        v.rotation = turnedBy;
        v.centerLat = v.defaultLat;
        v.centerLon = v.defaultLon;
        break;
    }
    case 1:
        loadTrackFile(v.currentRoutePath, v.currentRoute);
        break;
    case 2: {
        GpxOverlays overlays{v.tracks, v.routes, v.waypoints};
        loadAutoLoadFiles(v.autoLoadDir, overlays);
        break;
    }
    default:
        break;
    }
    ++v.loadStep;
    if (v.loadStep > 5) {
        v.loading = false;
        requestRedraw(v, frameSources(app));
    }
}

}  // namespace quorel
