#pragma once
// The colours the map draws with.
#include "platform/raster/raster.h"

namespace quorel {

inline constexpr platform::Color kRed = platform::rgb(255, 0, 0);         // tracks, routes, labels
inline constexpr platform::Color kCyan = platform::rgb(0, 255, 255);      // the recorded track
inline constexpr platform::Color kMagenta = platform::rgb(255, 0, 255);   // the route being edited
inline constexpr platform::Color kBlue = platform::rgb(0, 0, 255);        // read-outs
inline constexpr platform::Color kBlack = platform::rgb(0, 0, 0);         // scale bar, arrow, cross
inline constexpr platform::Color kWhite = platform::rgb(255, 255, 255);   // the bar of the track-log sign

}  // namespace quorel
