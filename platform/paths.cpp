#include "platform/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <vector>

namespace quorel::platform {
namespace {

constexpr const char* kFolderName = "quorel";
constexpr const char* kMapSettingsName = "setmap.txt";

// A base directory of the XDG rules: the variable when it is an absolute path, else
// the fallback under the user's home; empty when neither is known.
std::filesystem::path baseDirectory(const std::string& variable, const std::string& userHome, const char* fallback) {
    if (!variable.empty() && variable.front() == '/') return variable;
    if (userHome.empty() || userHome.front() != '/') return {};
    return std::filesystem::path(userHome) / fallback;
}

bool isSystemProgramFolder(const std::filesystem::path& dir) {
    const std::string text = dir.lexically_normal().string();
    for (const std::string top : {"/usr", "/bin", "/sbin"}) {
        if (text == top || text.rfind(top + "/", 0) == 0) return true;
    }
    return false;
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string passwordHome() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return {};
    return found->pw_dir != nullptr ? std::string(found->pw_dir) : std::string();
}

}  // namespace

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

ProgramFolders chooseProgramFolders(const FolderFacts& f) {
    ProgramFolders out;
    const auto config = baseDirectory(f.xdgConfigHome, f.userHome, ".config");
    const auto data = baseDirectory(f.xdgDataHome, f.userHome, ".local/share");
    const bool portable =
        f.executableDirHoldsSettings || (f.executableDirWritable && !isSystemProgramFolder(f.executableDir));
    if (!f.home.empty()) {
        out.programDir = f.home;
        out.deviceRoot = f.home;
    } else if (portable || config.empty() || data.empty()) {
        out.programDir = f.executableDir;
        out.deviceRoot = f.executableDir;
    } else {
        out.programDir = config / kFolderName;
        out.deviceRoot = data / kFolderName;
        out.inUserFolders = true;
        out.ownsDeviceRoot = true;
    }
    if (!f.root.empty()) {
        out.deviceRoot = f.root;
        out.ownsDeviceRoot = true;  // the user named it
    }
    if (const auto state = baseDirectory(f.xdgStateHome, f.userHome, ".local/state"); !state.empty()) {
        out.stateDir = state / kFolderName;
    }
    return out;
}

FolderFacts folderFacts(std::string home, std::string root) {
    FolderFacts f;
    f.executableDir = executableDir();
    std::error_code ec;
    f.executableDirHoldsSettings = std::filesystem::is_regular_file(f.executableDir / kMapSettingsName, ec);
    f.executableDirWritable = ::access(f.executableDir.c_str(), W_OK) == 0;
    f.home = std::move(home);
    f.root = std::move(root);
    f.xdgConfigHome = environment("XDG_CONFIG_HOME");
    f.xdgDataHome = environment("XDG_DATA_HOME");
    f.xdgStateHome = environment("XDG_STATE_HOME");
    f.userHome = environment("HOME");
    if (f.userHome.empty()) f.userHome = passwordHome();
    return f;
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
