#include "app/state_dump.h"

#include "map/frame_parts.h"
#include "platform/format.h"
#include "platform/headless/power_recording.h"
#include "platform/process_stats.h"

namespace quorel {
namespace {

struct Dump {
    std::string text;

    void put(const char* name, int v) { platform::appendFormat(text, "%s=%d\n", name, v); }
    void put(const char* name, std::int64_t v) {
        platform::appendFormat(text, "%s=%lld\n", name, static_cast<long long>(v));
    }
    void put(const char* name, double v) { platform::appendFormat(text, "%s=%.6f\n", name, v); }
    void put(const char* name, bool v) { platform::appendFormat(text, "%s=%s\n", name, v ? "true" : "false"); }
    void put(const char* name, const std::string& v) { platform::appendFormat(text, "%s=%s\n", name, v.c_str()); }
    void put(const char* name, const DesignPos& p) {
        platform::appendFormat(text, "%s.x=%d\n%s.y=%d\n", name, p[0], name, p[1]);
    }
    // Where a button is after the layout, so that a script can tap it at any screen size.
    void button(const char* name, const std::optional<ImageButton>& b) {
        if (!b) return;
        platform::appendFormat(text, "%s.left=%d\n%s.top=%d\n%s.width=%d\n%s.height=%d\n", name, b->left, name, b->top,
                               name, b->width, name, b->height);
    }
    void trip(const char* name, const TripTotals& t) {
        platform::appendFormat(text, "%s.distanceKm=%.6f\n%s.movingSeconds=%.6f\n%s.movingKm=%.6f\n", name,
                               t.distanceKm, name, t.movingSeconds, name, t.movingKm);
        platform::appendFormat(text, "%s.averageKmh=%.6f\n%s.ascentM=%.6f\n%s.fixes=%d\n", name, averageMovingKmh(t),
                               name, tripAscentM(t), name, t.fixes);
    }
    void path(const char* name, const GpxPath& p) {
        platform::appendFormat(text, "%s.count=%d\n", name, p.pointCount());
    }
    void paths(const char* name, const GpxPathList& list) {
        long long points = 0;
        for (const GpxPath& p : list.items()) points += p.pointCount();
        platform::appendFormat(text, "%s.count=%d\n%s.points=%lld\n", name, list.count(), name, points);
    }
};

}  // namespace

std::string stateDump(const App& app, const std::string& powerRequests) {
    const MapView& v = app.view;
    const DisplayIdle& idle = app.idle;
    const GpsReceiver& g = app.gps.receiver;
    Dump d;
    // The fields in rows, as the dump lists them.
    // clang-format off
#define QUOREL_DUMP(record, prefix, field) d.put(prefix #field, record.field)
#define V(field) QUOREL_DUMP(v, "", field)
    V(viewWidth); V(viewHeight); V(screenWidth); V(screenHeight); V(uiScale);
    V(mosaicWidth); V(mosaicHeight); V(mosaicCols); V(mosaicRows); V(tileWidth); V(tileHeight);
    V(tapX); V(tapY); V(zoomLevel); V(zoomMax); V(zoomMin); V(mosaicTileX); V(mosaicTileY);
    V(centerLat); V(centerLon); V(defaultLat); V(defaultLon);
    V(buttonWidth); V(buttonHeight); V(closeCornerX); V(closeCornerY);
    V(starButtonPos); V(zoomUpButtonPos); V(zoomDownButtonPos); V(homeButtonPos); V(originButtonPos);
    V(bulbButtonPos); V(pointButtonPos); V(eraseButtonPos);
#define B(field) d.button(#field, v.field)
    B(starButton); B(zoomUpButton); B(zoomDownButton); B(homeButton); B(originButton); B(bulbButton);
    B(pointButton); B(eraseButton);
#undef B
    V(drawTimerMs); V(mosaicOffsetX); V(mosaicOffsetY);
    V(loading); V(loadStep); V(drawing); V(frameReady); V(showTileGrid); V(mosaicValid);
    V(followGps); V(showTapPosition); V(hudMode); V(rotation); V(pointMode); V(nightMode); V(night);
    V(mosaicNight); V(showTrip); V(tripShowsLog);
    V(viewBottomRightLat); V(viewTopLeftLon); V(viewTopLeftLat); V(viewBottomRightLon);
    V(viewOriginX); V(viewOriginY);
    V(mapDir); V(currentRoutePath); V(autoLoadDir); V(framesComposed);
#undef V
    d.path("currentRoute", v.currentRoute);
    d.path("waypoints", v.waypoints);
    d.paths("tracks", v.tracks);
    d.paths("routes", v.routes);
#define I(field) QUOREL_DUMP(idle, "", field)
    I(waitTapTimeMs); I(displayOffTimeMs); I(displayOnWidth); I(penDown); I(autoOffEnabled);
    I(displayIsOff); I(idleMs); I(displayOffMode); I(displayOnMode);
#undef I
#define G(field) QUOREL_DUMP(g, "gps.", field)
    G(latitude); G(longitude); G(fixTime); G(fixDate); G(satellites); G(altitude);
    G(speedKnots); G(speedKmh); G(ggaReady); G(rmcReady); G(hasMovingFix); G(hasFix); G(batteryPercent);
    G(trackFilePath); G(datedTrackPath); G(datedNamePending); G(previousRunPoints);
#undef G
#undef QUOREL_DUMP
    // clang-format on
    d.put("gps.trackFile.open", g.trackFile.isOpen());
    d.put("gps.trackFile.stalled", g.trackFile.isStalled());
    d.put("gps.portResult", app.portResult);
    // Whether the receiver (or gpsd) has been heard since the port was opened or came back.
    d.put("gps.portLink",
          std::string(platform::linkStateName(
              (app.gps.port.handle != nullptr ? *app.gps.port.handle : app.gps.port.device).linkState())));
    d.path("gps.track", g.track);
    d.trip("trip.run", g.tripRun);
    d.trip("trip.log", g.tripLog);
    if (v.showTrip) {
        const platform::Rect panel = tripPanelRect(v);
        platform::appendFormat(d.text, "tripPanel.left=%d\ntripPanel.top=%d\ntripPanel.width=%d\ntripPanel.height=%d\n",
                               panel.left, panel.top, panel.width(), panel.height());
    }
    d.put("power.requests", powerRequests);
    const auto powerState = app.power.backend.powerStateFlags();
    d.put("power.state", powerState ? platform::describePowerRequest(*powerState, 0) : std::string("unknown"));
    d.put("time.ms", app.clock.nowMs());
    d.put("timer.armed", app.timer.armed);
    d.put("timer.periodMs", app.timer.periodMs);
    d.put("dialog.ended", app.dialogEnded);
    d.put("tiles.cacheCount", static_cast<std::int64_t>(app.tiles.cache.count()));
    d.put("tiles.cacheBytes", static_cast<std::int64_t>(app.tiles.cache.bytes()));
    d.put("process.peakResidentKb", static_cast<std::int64_t>(platform::peakResidentKb()));
    d.put("process.openDescriptors", platform::openDescriptorCount());
    return d.text;
}

}  // namespace quorel
