#pragma once
// The tile cache's entry point into the decoder: installs one tile image in the map
// view, and is the one place where a file that libpng rejects is reported.
#include <filesystem>
#include <string_view>

#include "app/state/map_view.h"

namespace quorel {

// Shown (through the platform message box) for every tile file libpng rejects.
inline constexpr std::string_view kNotPngMessage = "PNGﾌｧｲﾙでありません";

// Drops the previous tile image first, whatever follows, so after a failure
// view.tileBitmap is empty. A missing file or one that cannot be read gives false
// silently; a file libpng rejects shows kNotPngMessage and gives false. True when
// view.tileBitmap holds the decoded tile.
bool loadTileImage(MapView& view, const std::filesystem::path& path);

}  // namespace quorel
