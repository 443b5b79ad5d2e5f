#pragma once
// Paths in the device grammar of the settings files, and the folders the program lives in.
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

// What decides where the program keeps its settings (the program directory) and its
// device root. Strings are empty when the option or variable is not given.
struct FolderFacts {
    std::filesystem::path executableDir;
    bool executableDirHoldsSettings = false;  // setmap.txt is there
    bool executableDirWritable = false;       // by the user who runs the program
    std::string home;                         // --home
    std::string root;                         // --root
    std::string xdgConfigHome;
    std::string xdgDataHome;
    std::string userHome;  // $HOME, else the password database's
    std::string xdgStateHome;
};

struct ProgramFolders {
    std::filesystem::path programDir;  // setmap.txt, setgps.txt, ScreenOff.exe
    std::filesystem::path deviceRoot;  // where "\sdmmc\" and other device paths resolve
    bool inUserFolders = false;        // programDir is the user's configuration folder: created
    bool ownsDeviceRoot = false;       // deviceRoot is the user's data folder or named by --root:
                                       // device paths under it are the program's own and may be created
    std::filesystem::path stateDir;    // $XDG_STATE_HOME/quorel, ~/.local/state/quorel; empty: unknown
};

// The one rule. --home names the program directory and --root the device root, whatever
// else holds. Otherwise a portable copy lives beside its executable: when that folder
// already holds setmap.txt, or the user may write there (a card, an unpacked archive,
// the build tree). The system's program folders (/usr, /bin, /sbin) count only when they
// hold setmap.txt, so that root does not scatter settings into them. Everyone else keeps
// the settings in $XDG_CONFIG_HOME/quorel and the device root in $XDG_DATA_HOME/quorel
// (~/.config/quorel and ~/.local/share/quorel when unset, empty or relative).
ProgramFolders chooseProgramFolders(const FolderFacts& facts);

// The facts of this process: the executable, its folder and the environment.
FolderFacts folderFacts(std::string home, std::string root);

// The host directory of the storage root as the settings give it ("\sdmmc\",
// "/media/card"), always with a trailing '/', whether or not the setting ends in a
// separator.
std::string storageRootDir(std::string_view storageRoot, const std::filesystem::path& deviceRoot);

// A path under the storage root: rootDir (a host directory, trailing '/' or not) and a
// device path relative to it ("GPX\Auto", "Maps\std\5\1\2.png"), joined by exactly
// one separator. Every file and folder under the storage root is named through it.
std::string storagePath(std::string_view rootDir, std::string_view relativeDevicePath);

}  // namespace quorel::platform
