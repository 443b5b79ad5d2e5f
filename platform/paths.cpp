#include "platform/paths.h"

#include <system_error>

namespace quorel::platform {

std::filesystem::path executableDir() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path(ec);
    return exe.parent_path();
}

std::string nativePath(std::string_view devicePath, const std::filesystem::path& deviceRoot) {
    std::string converted(devicePath);
    for (char& c : converted) {
        if (c == '\\') c = '/';
    }
    if (!converted.empty() && devicePath.front() == '/') return converted;  // host path

    std::string root = deviceRoot.empty() ? std::string("./") : deviceRoot.string();
    if (root.back() != '/') root.push_back('/');
    std::size_t skip = 0;
    while (skip < converted.size() && converted[skip] == '/') ++skip;
    return root + converted.substr(skip);
}

std::string storageRootDir(std::string_view storageRoot, const std::filesystem::path& deviceRoot) {
    return storagePath(nativePath(storageRoot, deviceRoot), "");
}

std::string storagePath(std::string_view rootDir, std::string_view relativeDevicePath) {
    std::string path(rootDir);
    if (path.empty() || path.back() != '/') path.push_back('/');
    std::size_t skip = 0;
    while (skip < relativeDevicePath.size() && (relativeDevicePath[skip] == '/' || relativeDevicePath[skip] == '\\')) {
        ++skip;
    }
    for (const char c : relativeDevicePath.substr(skip)) path.push_back(c == '\\' ? '/' : c);
    return path;
}

}  // namespace quorel::platform
