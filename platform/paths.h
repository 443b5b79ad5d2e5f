#pragma once
// Paths in the device grammar of the settings files, and the program's own directory.
//
// The settings speak of "\sdmmc\Maps\std" and "GPX\Auto": a backslash is a separator
// and a path that begins with one is absolute on the device. On Linux such a path is
// resolved under the device root (the program directory unless --root names another),
// so the default storage root "\sdmmc\" is <device root>/sdmmc/. A path that begins
// with "/" is a host path and stands as it is; any other path is taken relative to
// the device root. This is the one place where device paths become host paths.
#include <filesystem>
#include <string>
#include <string_view>

namespace quorel::platform {

// The directory of the running executable (/proc/self/exe).
std::filesystem::path executableDir();

// The host path of a device path. The result keeps a trailing separator when the
// device path ends in one, so a storage root stays a prefix to which names append.
std::string nativePath(std::string_view devicePath, const std::filesystem::path& deviceRoot);

// The host directory of the storage root as the settings give it ("\sdmmc\",
// "/media/card"), always with a trailing '/', whether or not the setting ends in a
// separator.
std::string storageRootDir(std::string_view storageRoot, const std::filesystem::path& deviceRoot);

// A path under the storage root: rootDir (a host directory, trailing '/' or not) and a
// device path relative to it ("GPX\Auto", "Maps\std\5\1\2.png"), joined by exactly
// one separator. Every file and folder under the storage root is named through it.
std::string storagePath(std::string_view rootDir, std::string_view relativeDevicePath);

}  // namespace quorel::platform
