#pragma once
// File services the logic needs beyond streams: existence, listing, copying.
#include <filesystem>
#include <string>
#include <vector>

namespace quorel::platform {

// True when the path names an existing entry, a file or a directory.
bool fileExists(const std::filesystem::path& path);

// Names (not paths) of the regular files in dir whose name ends with suffix, compared
// without regard to case as the device's file system does; in the order the
// directory listing returns them. Empty when dir cannot be read.
std::vector<std::string> listFiles(const std::filesystem::path& dir, std::string_view suffix);

}  // namespace quorel::platform
