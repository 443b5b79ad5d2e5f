#pragma once
// The first six timer ticks load the settings, the current route and the auto-load GPX
// files, one step a tick, behind the splash image; the first map frame follows.
#include "app/app.h"

namespace quorel {

void loadingTick(App& app);

// The status text shown while a step runs ("LoadMapSetting", ...).
const char* loadingStatusText(int loadStep);

}  // namespace quorel
