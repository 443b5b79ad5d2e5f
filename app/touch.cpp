#include "app/touch.h"

#include "app/dialog.h"
#include "gps/track_log.h"
#include "map/frame.h"
#include "map/frame_parts.h"
#include "map/projection.h"
#include "platform/numeric.h"

namespace quorel {
namespace {

// The button actions in the order they are tested; the first hit acts and ends the
// handling, except the erase button outside point mode, which is no action.
bool pressButton(App& app, int x, int y) {
    MapView& v = app.view;
    DisplayIdle& idle = app.idle;
    const auto hit = [x, y](const std::optional<ImageButton>& b) { return b && b->hitTest(x, y); };
    const auto redraw = [&app] { requestRedraw(app.view, frameSources(app)); };

    if (hit(v.starButton)) {
        v.followGps = !v.followGps;  // the next tick recentres
    } else if (hit(v.zoomUpButton)) {
        if (!v.drawing) {
            v.zoomLevel = platform::saturatingAdd(v.zoomLevel, 1);
            if (v.zoomLevel > v.zoomMax) v.zoomLevel = v.zoomMax;
            redraw();
        }
    } else if (hit(v.zoomDownButton)) {
        if (!v.drawing) {
            v.zoomLevel = platform::saturatingAdd(v.zoomLevel, -1);
            if (v.zoomLevel < v.zoomMin) v.zoomLevel = v.zoomMin;
            redraw();
        }
    } else if (hit(v.homeButton)) {
        if (!v.drawing) {
            v.centerLat = v.defaultLat;
            v.centerLon = v.defaultLon;
            redraw();
        }
    } else if (hit(v.originButton)) {
        if (!v.drawing) {
            v.zoomLevel = 14;
            v.centerLat = v.defaultLat;
            v.centerLon = v.defaultLon;
            redraw();
        }
    } else if (hit(v.bulbButton)) {
        setDisplayPower(app.power, displayOffMethod(idle.displayOffMode));
        idle.autoOffEnabled = !idle.autoOffEnabled;
    } else if (hit(v.pointButton)) {
        // Point mode ends only once the route is on the card: when the save fails the mode
        // stays on, its switch shows it, the route stays editable and the next tap saves again.
        v.pointMode = !v.pointMode || saveCurrentRoute(v.currentRoutePath, v.currentRoute) != 0;
    } else if (v.pointMode && hit(v.eraseButton)) {
        v.currentRoute.removePoint(v.currentRoute.pointCount());  // the count removes the last point
    } else {
        return false;
    }
    return true;
}

}  // namespace

int displayOffMethod(int displayOffMode) {
    switch (displayOffMode) {
    case 1:
        return 12;  // the external screen-off program
    case 2:
        return 11;
    case 3:
        return 13;
    case 4:
        return 14;
    default:
        return 1;
    }
}

bool inWakeRegion(const MapView& v, const DisplayIdle& idle, int x, int y) {
    // In 64 bits: the width comes from the settings file as any 32-bit value, and the
    // edge minus (or the centre plus) such a width must not wrap into a region that wakes.
    const std::int64_t w = idle.displayOnWidth;
    switch (idle.displayOnMode) {
    case 1:
        return x < w;
    case 2:
        return x > v.viewWidth - w;
    case 3:
        return y > w;
    case 4:
        return y > v.viewHeight - w;
    case 5: {
        const std::int64_t cx = v.viewWidth / 2, cy = v.viewHeight / 2;
        return cx - w < x && x < cx + w && cy - w < y && y < cy + w;
    }
    default:
        return true;
    }
}

void penDown(App& app, int x, int y) {
    DisplayIdle& idle = app.idle;
    idle.idleMs = 0;
    idle.displayIsOff = false;
    idle.penDown = true;
    if (app.view.pointMode) {
        // A long press adds a route point: the next tick comes when the pen has been down
        // for the long-press time.
        stopTimer(app.timer);
        app.view.tapX = x;
        app.view.tapY = y;
        armTimer(app.timer, app.clock, idle.waitTapTimeMs);
    }
}

void penUp(App& app, int x, int y) {
    MapView& v = app.view;
    DisplayIdle& idle = app.idle;
    v.tapX = x;
    v.tapY = y;
    armTimer(app.timer, app.clock, v.drawTimerMs);
    if (!idle.penDown) return;
    idle.penDown = false;

    if (isDisplayOff(app.power)) {
        // A tap on a dark screen does nothing but, in the wake region, light it.
        if (inWakeRegion(v, idle, x, y)) setDisplayPower(app.power, kDisplayOnMethod);
        return;
    }
    if (x <= v.closeCornerX && y <= v.closeCornerY) {
        shutDown(app);
        return;
    }
    if (pressButton(app, x, y)) return;
    if (v.showTrip) {
        const platform::Rect panel = tripPanelRect(v);
        if (panel.left <= x && x < panel.right && panel.top <= y && y < panel.bottom) {
            v.tripShowsLog = !v.tripShowsLog;
            requestRedraw(v, frameSources(app));
            return;
        }
    }
    // The corner switches are 50 x 30 pixels at any screen size.
    if (x > v.viewWidth - 50 && y < 30) {
        v.showTapPosition = !v.showTapPosition;
        return;
    }
    if (x > v.viewWidth - 50 && y > v.viewHeight - 30) {
        v.showTileGrid = !v.showTileGrid;
        return;
    }
    if (!v.drawing) {
        const GeoCoord at = screenToGeo(v, x, y);
        v.centerLat = at.lat;
        v.centerLon = at.lon;
        composeFrame(v, frameSources(app), RedrawKind::Recentred);
    }
}

}  // namespace quorel
