#pragma once
// The running program: the platform services it was given, the values the entry point
// determined, and the one MapView, DisplayIdle and GPS side of the run. The entry point
// builds one and the dialog code passes it down; nothing here is global.
#include <filesystem>

#include "app/main_timer.h"
#include "gps/gps_receiver.h"
#include "map/frame.h"
#include "platform/clock.h"
#include "platform/window.h"
#include "power/display_power.h"
#include "state/map_view.h"

namespace quorel {

struct App {
    App(platform::Clock& c, platform::Window& w, platform::PowerBackend& backend, platform::SerialDevice& serial)
        : clock(c), window(w), power{backend, false, {}}, gps(serial, c) {}

    platform::Clock& clock;
    platform::Window& window;
    PowerContext power;  // with osVersion6OrLater and programDir, set by the entry point

    std::filesystem::path programDir;
    std::filesystem::path deviceRoot;

    MapView view;
    DisplayIdle idle;
    GpsContext gps;

    MapTileLoader tiles;
    int portResult = -1;  // what the port search or the fixed port gave; the end tears down when >= 0
    MainTimer timer;
    bool dialogEnded = false;
};

// What a frame reads from outside the MapView.
inline FrameSources frameSources(App& app) { return {app.gps.receiver, app.idle, app.tiles}; }

// How the display is switched off, by the DisplayOffMode setting; 7 switches it on.
int displayOffMethod(int displayOffMode);
inline constexpr int kDisplayOnMethod = 7;

}  // namespace quorel
