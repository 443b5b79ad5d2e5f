#pragma once
// The one place a test writes files: <base>/<name>-<process id>, made empty. The base is
// the folder ctest gives each test in the build tree (TEST_TMPDIR, or TMPDIR), else /tmp;
// a relative one is not taken, so that no run writes into the checkout it was started
// from. The process id keeps two runs of one test apart. Header-only, for the fuzz
// targets too.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace quorel::test {

inline std::filesystem::path scratchBase() {
    for (const char* name : {"TEST_TMPDIR", "TMPDIR"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] == '/') return value;
    }
    return "/tmp";
}

inline std::filesystem::path scratchFolder(std::string_view name) {
    const std::filesystem::path dir = scratchBase() / (std::string(name) + "-" + std::to_string(::getpid()));
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    std::filesystem::create_directories(dir, ec);
    return dir;
}

// A scratch folder removed when it goes, for a process that runs many inputs.
struct ScratchFolder {
    std::filesystem::path path;
    explicit ScratchFolder(std::string_view name) : path(scratchFolder(name)) {}
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
};

}  // namespace quorel::test
