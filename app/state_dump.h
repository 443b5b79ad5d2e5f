#pragma once
// The state of a headless run as name=value lines, one a line, under the names the
// records use: every number, flag and string of MapView and DisplayIdle, each button
// present as NAME.left, .top, .width and .height (its hit rectangle), each path as
// NAME.count, each path list as NAME.count and NAME.points, the receiver's fields as
// gps.NAME, what the run asked of the display power as power.requests and the state the
// power manager is in now as power.state. Reals have six decimals.
#include <string>

#include "app/app.h"

namespace quorel {

std::string stateDump(const App& app, const std::string& powerRequests);

}  // namespace quorel
