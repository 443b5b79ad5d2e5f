#pragma once
// Night: a dimmed, darkened map with controls in dim reds and ambers, so that the screen
// does not blind a driver in the dark. Tiles are darkened once, as they are placed in
// the mosaic; the button and gauge images once, the first time night needs them. The
// day pictures stay as they are, so switching back and forth costs one refill of the
// mosaic from the tile cache and nothing per frame.
#include <cstdint>

#include "gps/gps_receiver.h"
#include "platform/raster/raster.h"
#include "state/map_view.h"

namespace quorel {

// What night makes of the colour of a tile or an image.
platform::Color nightColorOf(platform::Color day);

// Darkens the rectangle of a 32-bit bitmap for night.
void darkenForNight(platform::Bitmap& bitmap, const platform::Rect& rect);

// Makes the night pictures of the buttons and gauges that lack one.
void prepareNightImages(MapView& view);

// The picture a surface shows now: its night picture at night, when it has one.
const platform::Bitmap& pictureOf(const Surface& surface, bool night);

// Seconds since 1970 UTC of a fix's ddmmyy date (years 2000 to 2099) and hhmmss time;
// without a usable date, the day of systemUtcSeconds with the fix's time.
std::int64_t fixUtcSeconds(std::int32_t ddmmyy, std::int32_t hhmmss, std::int64_t systemUtcSeconds);

// Whether the view's night mode wants night now: never (0), always (1), or (2) while
// the sun stands below civil twilight at the last fix's position and time, before the
// first fix at the home position and the system clock (seconds since 1970 UTC).
bool nightWanted(const MapView& view, const GpsReceiver& gps, std::int64_t systemUtcSeconds);

}  // namespace quorel
