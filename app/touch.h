#pragma once
// Taps: waking the display, closing, the eight buttons, the two corner switches,
// recentring the map, and in point mode the long press that adds route points.
#include "app/app.h"

namespace quorel {

void penDown(App& app, int x, int y);
void penUp(App& app, int x, int y);

// Whether a tap at (x, y) on a dark screen wakes it, by displayOnMode.
bool inWakeRegion(const MapView& view, const DisplayIdle& idle, int x, int y);

}  // namespace quorel
