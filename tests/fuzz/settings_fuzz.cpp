// Both settings readers over any bytes. They read a folder, so each input is written as
// setmap.txt and setgps.txt into one folder made for this process.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "gps/gps_settings.h"
#include "platform/utf8.h"
#include "settings/map_settings.h"

namespace {

char folderName[4096];  // plain storage: still there when the exit handler runs

void removeFolder() {
    std::error_code ec;
    std::filesystem::remove_all(folderName, ec);
}

const std::filesystem::path& folder() {
    static const std::filesystem::path dir = [] {
        const std::string pattern =
            (std::filesystem::temp_directory_path() / "quorel_settings_fuzz_XXXXXX").string();
        if (pattern.size() >= sizeof folderName) std::abort();
        std::memcpy(folderName, pattern.c_str(), pattern.size() + 1);
        if (::mkdtemp(folderName) == nullptr) std::abort();
        std::atexit(removeFolder);
        return std::filesystem::path(folderName);
    }();
    return dir;
}

void writeFile(const std::filesystem::path& file, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path& dir = folder();
    writeFile(dir / quorel::kMapSettingsFile, data, size);
    writeFile(dir / quorel::kGpsSettingsFile, data, size);

    quorel::MapView view;
    quorel::DisplayIdle idle;
    if (!quorel::loadMapSettings(view, idle, dir)) std::abort();

    quorel::GpsSettings gps;
    if (!quorel::loadGpsSettings(gps, dir)) std::abort();
    if (quorel::platform::utf8Length(gps.storageRoot) > quorel::GpsSettings::kStorageRootChars) std::abort();
    return 0;
}
