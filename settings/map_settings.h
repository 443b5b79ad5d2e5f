#pragma once
// setmap.txt: home position, display idle and wake behaviour, timer period, zoom range,
// display switches, button layout and night colours.
//
// The file is a stream of white-space separated tokens. A token names a key when it
// contains the key anywhere ("MyDefaultLatitude" is DefaultLat); the key's values
// follow it. Keys may come in any order and any number of times, the last one wins;
// tokens that name no key are skipped one by one, and a value that does not convert
// leaves its field alone and is read as the next token. The spelling of the keys
// ("WaiteTapTime", "OrignBtn", "EraceBtn") is that of the files in users' hands.
#include <filesystem>
#include <string>
#include <vector>

#include "state/map_view.h"

namespace quorel {

inline constexpr const char* kMapSettingsFile = "setmap.txt";

// False when the file cannot be opened (nothing changes), true whatever its content. A
// value that converts but is out of its key's few choices (f_Rotate 45) is left out like
// one that does not convert; with problems given, each such value is named there in a line.
bool loadMapSettings(MapView& view, DisplayIdle& idle, const std::filesystem::path& programDir,
                     std::vector<std::string>* problems = nullptr);

// Writes the lines of a new file from the values in memory: the 25 that every reader of
// the file knows, then the later keys (f_Rotate, f_Night, f_Trip).
bool saveMapSettings(const MapView& view, const DisplayIdle& idle, const std::filesystem::path& programDir);

}  // namespace quorel
