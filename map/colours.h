#pragma once
// The colours the map draws with: a day palette for a bright screen and a night palette
// of dim reds and ambers that do not blind a driver on a darkened map.
#include "platform/raster/raster.h"
#include "state/map_view.h"

namespace quorel {

inline constexpr platform::Color kRed = platform::rgb(255, 0, 0);        // tracks, routes, labels
inline constexpr platform::Color kCyan = platform::rgb(0, 255, 255);     // the recorded track
inline constexpr platform::Color kMagenta = platform::rgb(255, 0, 255);  // the route being edited
inline constexpr platform::Color kBlue = platform::rgb(0, 0, 255);       // read-outs
inline constexpr platform::Color kBlack = platform::rgb(0, 0, 0);        // scale bar, arrow, cross
inline constexpr platform::Color kWhite = platform::rgb(255, 255, 255);  // the bar of the track-log sign

struct Palette {
    platform::Color track;         // GPX tracks and routes, the tile grid
    platform::Color gpsTrack;      // the recorded track
    platform::Color currentRoute;  // the route being edited
    platform::Color readout;       // tap position, route distance, key codes
    platform::Color ink;           // scale bar, heading arrow, centre cross
    platform::Color label;         // zoom number and the close corner's "X"
    platform::Color sign;          // the track-log sign
    platform::Color signBar;
    platform::Color panel;  // the ground of the trip panel, framed and written in readout
};

inline constexpr Palette kDayPalette{kRed, kCyan, kMagenta, kBlue, kBlack, kRed, kRed, kWhite, kWhite};
inline constexpr Palette kNightPalette{
    platform::rgb(176, 32, 24),  platform::rgb(0, 150, 136),  platform::rgb(168, 48, 140),
    platform::rgb(232, 152, 40), platform::rgb(240, 120, 32), platform::rgb(208, 56, 32),
    platform::rgb(150, 20, 16),  platform::rgb(232, 152, 40), platform::rgb(28, 20, 12),
};

inline const Palette& paletteOf(const MapView& view) { return view.night ? kNightPalette : kDayPalette; }

}  // namespace quorel
