#pragma once
// The tile cache's entry point into the decoder: installs one tile image in the map
// view, and is the one place where a file that libpng rejects is reported.
#include <filesystem>
#include <set>
#include <string>
#include <string_view>

#include "app/state/map_view.h"

namespace quorel {

// Shown (through the platform message box) for a tile file libpng rejects.
inline constexpr std::string_view kNotPngMessage = "PNGﾌｧｲﾙでありません";

// The rejected tile files already reported in this run. A bad file is read again for
// every fallback that covers it and at every refill; the user hears of it once.
struct TileReports {
    std::set<std::string> reported;
};

// Drops the previous tile image first, whatever follows, so after a failure
// view.tileBitmap is empty. A missing file or one that cannot be read gives false
// silently; a file libpng rejects gives false and, the first time in reports, shows
// kNotPngMessage and names the file on standard error. True when view.tileBitmap holds
// the decoded tile.
bool loadTileImage(MapView& view, const std::filesystem::path& path, TileReports& reports);

}  // namespace quorel
