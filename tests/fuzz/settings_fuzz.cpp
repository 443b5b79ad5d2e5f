// Both settings readers over any bytes. They read a folder, so each input is written as
// setmap.txt and setgps.txt into one scratch folder of this process.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "gps/gps_settings.h"
#include "platform/utf8.h"
#include "settings/map_settings.h"
#include "tests/support/scratch.h"

namespace {

const std::filesystem::path& folder() {
    static const quorel::test::ScratchFolder dir("settings_fuzz");
    return dir.path;
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
