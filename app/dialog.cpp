#include "app/dialog.h"

#include <cmath>
#include <utility>

#include "app/loading.h"
#include "app/surfaces.h"
#include "app/touch.h"
#include "gps/gps_receiver.h"
#include "map/frame.h"
#include "map/frame_parts.h"
#include "map/night.h"
#include "map/present.h"
#include "map/projection.h"
#include "platform/clock.h"
#include "platform/file_handle.h"
#include "platform/format.h"
#include "platform/numeric.h"
#include "platform/paths.h"
#include "platform/raster/raster.h"

namespace quorel {
namespace {

void initialiseDialog(App& app) {
    MapView& v = app.view;
    resetView(v);
    v.screenWidth = app.window.screenWidth();
    v.screenHeight = app.window.screenHeight();
    app.window.showAt(v.screenWidth, v.screenHeight);
    // From here on the screen is the one the picture is laid out for: on its side, a
    // portrait screen scales and places the controls as a portrait screen would.
    if (turnsSideways(v.rotation)) std::swap(v.screenWidth, v.screenHeight);
    v.uiScale = v.screenWidth / 480.0;
    const std::string& root = app.gps.settings.storageRoot;
    v.storageRootPath = platform::storageRootDir(root, app.deviceRoot);
    v.currentRoutePath = platform::storagePath(v.storageRootPath, "GPX\\crntroot.gpx");
    // A save of the route that was cut short (killed, power gone) left its temporary file;
    // the route file itself is the old one or the new one, whole.
    platform::removeReplacementLeftover(v.currentRoutePath);
    v.autoLoadDir = platform::storagePath(v.storageRootPath, "GPX\\Auto");

    createSurfaces(v, app.window.clientPixels());
    app.idle.displayIsOff = false;
    v.loadStep = 0;
    armTimer(app.timer, app.clock, v.drawTimerMs);
}

void paint(App& app) {
    MapView& v = app.view;
    if (v.frameReady) presentFrame(v);
    if (v.loading && v.rotation != 0) {
        // The back buffer holds the splash and the loading texts, to be turned like a frame.
        presentFrame(v);
    } else if (v.loading && v.splashImage && v.splashImage->valid) {
        platform::blit(app.window.clientPixels(), 20, 20, v.splashImage->width, v.splashImage->height,
                       v.splashImage->bitmap, 0, 0, platform::RasterOp::SrcCopy);
    }
}

// A route point east of 180 (or west of -180), pressed on a low-zoom view that shows the
// world's edge, is kept as the same place inside [-180, 180): the route file is read back
// by readers that drop points out of range.
double wrapLongitude(double lon) {
    if (lon >= -180.0 && lon < 180.0) return lon;
    double wrapped = std::fmod(lon + 180.0, 360.0);
    if (wrapped < 0.0) wrapped += 360.0;
    if (wrapped >= 360.0) wrapped = 0.0;  // -1e-17 + 360 rounds to 360
    return wrapped - 180.0;
}

void keyDown(App& app, int code) {
    if (code == kWakeKey && isDisplayOff(app.power)) setDisplayPower(app.power, kDisplayOnMethod);
    // Left in the back buffer only: it shows if the window is painted before the next frame.
    if (app.view.frameBitmap.valid()) drawStatusLine(app.view, platform::format("key%d", code));
}

}  // namespace

void shutDown(App& app) {
    stopTimer(app.timer);
    app.dialogEnded = true;
    destroySurfaces(app.view);
}

void timerTick(App& app) {
    MapView& v = app.view;
    DisplayIdle& idle = app.idle;
    stopTimer(app.timer);
    if (v.loading) {
        loadingTick(app);
        armTimer(app.timer, app.clock, v.drawTimerMs);
        return;
    }
    pollGps(app.gps, app.power);
    // Looked at every tick, so that the frame of this very tick shows the change.
    v.night = nightWanted(v, app.gps.receiver, platform::utcSecondsNow());
    if (!idle.displayIsOff) {
        if (v.pointMode && idle.penDown) {
            // The pen has stayed down for the long-press time: add the point under it, and
            // again every period while it stays down.
            const GeoCoord at = screenToGeo(v, v.tapX, v.tapY);
            v.currentRoute.addPoint(GeoPoint{at.lat, wrapLongitude(at.lon), 0.0, 0, 0});
            requestRedraw(v, frameSources(app));
        } else {
            if (idle.autoOffEnabled) idle.idleMs = platform::saturatingAdd(idle.idleMs, v.drawTimerMs);
            if (idle.idleMs >= idle.displayOffTimeMs) {
                setDisplayPower(app.power, displayOffMethod(idle.displayOffMode));
                idle.displayIsOff = true;
            } else {
                if (v.followGps) {
                    v.centerLat = app.gps.receiver.latitude;
                    v.centerLon = app.gps.receiver.longitude;
                }
                requestRedraw(v, frameSources(app));
            }
        }
    }
    armTimer(app.timer, app.clock, v.drawTimerMs);
}

bool dialogProcedure(App& app, const Message& m) {
    switch (m.kind) {
    case MessageKind::Initialise:
        initialiseDialog(app);
        return true;
    case MessageKind::Paint:
        paint(app);
        return true;
    case MessageKind::Size:
        return true;
    case MessageKind::Timer:
        timerTick(app);
        return true;
    case MessageKind::PenDown: {
        const ViewPoint at = windowToView(app.view, m.x, m.y);
        penDown(app, penCoordinate(at.x), penCoordinate(at.y));
        return true;
    }
    case MessageKind::PenUp: {
        const ViewPoint at = windowToView(app.view, m.x, m.y);
        penUp(app, penCoordinate(at.x), penCoordinate(at.y));
        return true;
    }
    case MessageKind::KeyDown:
        keyDown(app, m.code);
        return true;
    case MessageKind::Command:
        if ((m.code & 0xFFFF) != kOkCommand) return false;
        shutDown(app);
        return true;
    case MessageKind::Close:
        shutDown(app);
        return true;
    }
    return false;
}

bool deliverMessage(App& app, const Message& m) {
    if (m.kind == MessageKind::PenDown || m.kind == MessageKind::KeyDown) app.power.backend.noteUserActivity();
    return dialogProcedure(app, m);
}

}  // namespace quorel
