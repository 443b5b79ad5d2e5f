#pragma once
// The command line of the two front ends:
//   quorel [--window WxH] [--home DIR] [--root DIR] [--gps PATH|gpsd[://HOST[:PORT]]|none] [--tile-cache MB]
//          [--rotate 0|90|180|270]
//   quorel --headless --screen WxH [--home DIR] [--root DIR] [--gps PATH|gpsd|none] [--tile-cache MB]
//          [--rotate 0|90|180|270] --script FILE
//   quorel --help | --version
#include <optional>
#include <string>
#include <vector>

namespace quorel {

struct Options {
    bool help = false;  // --help or --version: print, exit 0, nothing else is run
    bool version = false;
    bool headless = false;
    int width = 0;  // --screen (headless) or --window; 0 = the whole screen
    int height = 0;
    std::string home;  // program directory: settings files, ScreenOff.exe; "" = the folder rule
    std::string root;  // device root for paths like "\sdmmc\"; "" = the folder rule
    std::string gps;   // "" = the "COMn:" table (headless: the virtual port), "none", "gpsd...", or a device
    std::string script;
    int tileCacheMb = -1;  // --tile-cache: megabytes of decoded tiles kept, 0 = none; -1 = the default
    int rotate = -1;       // --rotate: 0, 90, 180 or 270, over f_Rotate of setmap.txt; -1 = the file's
};

struct ParsedCommandLine {
    std::optional<Options> options;  // empty: error holds why
    std::string error;
};

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);
const char* usageText();
const char* versionText();  // "quorel 1.0.0\n", the project's version

}  // namespace quorel
