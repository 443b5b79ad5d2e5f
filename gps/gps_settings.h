#pragma once
// setgps.txt: how to find the receiver's port, its speed and byte size, and the storage
// root under which the tiles and GPX files live.
//
// One item per line; a line's key is found anywhere in it, with case, and the number
// is read at a fixed distance from the start of the key (9 characters for "AutoOpen",
// "CommPort" and "Baudrate", 4 for "Bit"), so "Baudrate 9600" and "Baudrate=9600"
// both work. The storage root stands on the line after "RootDir".
#include <climits>
#include <cstdint>
#include <filesystem>
#include <string>

namespace quorel {

inline constexpr const char* kGpsSettingsFile = "setgps.txt";

struct GpsSettings {
    std::int32_t autoOpen = 1;  // 0: use commPort; otherwise search COM0: to COM9:
    std::int32_t commPort = 1;  // n of "COM%d:"
    std::int32_t baudRate = 4800;
    std::int32_t byteSize = 8;              // data bits; the low 8 bits are used
    std::string storageRoot = "\\sdmmc\\";  // device grammar, ends with a separator

    // The longest root read: the system's path limit, less its terminator. The handheld
    // kept 19 characters, which cut the mount points of today's desktops ("/media/USER/
    // 3AB2-1F0C/"); any root written for it is that short and reads the same.
    static constexpr std::size_t kStorageRootChars = PATH_MAX - 1;
};

// False when the file cannot be opened; otherwise true, with the values found applied.
bool loadGpsSettings(GpsSettings& settings, const std::filesystem::path& programDir);

// Writes the six lines of the file; false when it cannot be created.
bool saveGpsSettings(const GpsSettings& settings, const std::filesystem::path& programDir);

}  // namespace quorel
