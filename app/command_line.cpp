#include "app/command_line.h"

#include "platform/gpsd_device.h"
#include "platform/scan.h"

namespace quorel {
namespace {

constexpr int kMaxScreenSide = 8192;

bool parseSize(const std::string& text, int& width, int& height) {
    const auto x = text.find('x');
    if (x == std::string::npos) return false;
    const std::string w = text.substr(0, x);
    const std::string h = text.substr(x + 1);
    std::int32_t wv = 0, hv = 0;
    const auto rw = platform::scanInt(w, wv);
    const auto rh = platform::scanInt(h, hv);
    if (!rw.ok || rw.consumed != w.size() || !rh.ok || rh.consumed != h.size()) return false;
    if (w.front() == ' ' || h.front() == ' ') return false;
    if (wv < 1 || hv < 1 || wv > kMaxScreenSide || hv > kMaxScreenSide) return false;
    width = wv;
    height = hv;
    return true;
}

constexpr int kMaxTileCacheMb = 4096;

bool parseMegabytes(const std::string& text, int& megabytes) {
    std::int32_t v = 0;
    const auto r = platform::scanInt(text, v);
    if (!r.ok || r.consumed != text.size() || text.front() == ' ' || v < 0 || v > kMaxTileCacheMb) return false;
    megabytes = v;
    return true;
}

bool parseRotation(const std::string& text, int& degrees) {
    for (const int choice : {0, 90, 180, 270}) {
        if (text == std::to_string(choice)) {
            degrees = choice;
            return true;
        }
    }
    return false;
}

}  // namespace

const char* usageText() {
    return "usage: quorel [--window WxH] [--home DIR] [--root DIR] [--gps PATH|gpsd|none] [--tile-cache MB]\n"
           "              [--rotate 0|90|180|270]\n"
           "       quorel --headless --screen WxH [--home DIR] [--root DIR] [--gps PATH|gpsd|none] [--tile-cache MB]\n"
           "              [--rotate 0|90|180|270] --script FILE\n"
           "       quorel --help | --version\n"
           "  --window WxH   a window with a client area of W x H pixels instead of the whole screen\n"
           "  --home DIR     the program directory (setmap.txt, setgps.txt); default: the executable's\n"
           "                 folder when it holds setmap.txt or is writable, else ~/.config/quorel\n"
           "  --root DIR     where device paths such as \\sdmmc\\ live; default: the program directory,\n"
           "                 or ~/.local/share/quorel with the settings in ~/.config/quorel\n"
           "  --gps PATH     read the receiver from this device instead of searching COM0: to COM9:\n"
           "  --gps gpsd     read the receiver through gpsd on this machine (port 2947);\n"
           "                 gpsd://HOST[:PORT] names another\n"
           "  --gps none     run without a receiver\n"
           "  --tile-cache MB  megabytes of decoded tiles kept for zooming back (default 32, 0: none)\n"
           "  --rotate N     turn the picture N degrees clockwise onto the screen (0, 90, 180, 270),\n"
           "                 for a screen mounted on its side or upside down; over f_Rotate in setmap.txt\n"
           "  --headless     no window: a virtual screen and clock driven by --script\n"
           "  --help         this text;  --version  the version\n"
           "Exit status: 0 closed (also a second window start on the same storage root); 1 no window\n"
           "could be opened, or this text not written; 2 a bad command line or headless script;\n"
           "3 a headless run kept from starting by another on the same storage root.\n"
           "See quorel(1) for the files, the settings and the taps.\n";
}

const char* versionText() { return "quorel " QUOREL_VERSION "\n"; }

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
    Options o;
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") o.help = true;
        if (a == "--version") o.version = true;
    }
    if (o.help || o.version) return {o, {}};
    bool haveScreen = false, haveWindow = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&](std::string& out) {
            if (i + 1 >= args.size() || args[i + 1].empty()) return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--headless") {
            o.headless = true;
        } else if (a == "--screen" || a == "--window") {
            if (!value(v) || !parseSize(v, o.width, o.height)) {
                return {std::nullopt, a + " wants WxH, for example 480x272"};
            }
            (a == "--screen" ? haveScreen : haveWindow) = true;
        } else if (a == "--home") {
            if (!value(o.home)) return {std::nullopt, "--home wants a directory"};
        } else if (a == "--root") {
            if (!value(o.root)) return {std::nullopt, "--root wants a directory"};
        } else if (a == "--gps") {
            if (!value(o.gps)) return {std::nullopt, "--gps wants a device path, gpsd or none"};
            if (o.gps.rfind("gpsd:", 0) == 0 && !platform::parseGpsdAddress(o.gps)) {
                return {std::nullopt, "--gps wants gpsd://HOST or gpsd://HOST:PORT, not " + o.gps};
            }
        } else if (a == "--tile-cache") {
            if (!value(v) || !parseMegabytes(v, o.tileCacheMb)) {
                return {std::nullopt, "--tile-cache wants megabytes from 0 to 4096, for example 32"};
            }
        } else if (a == "--rotate") {
            if (!value(v) || !parseRotation(v, o.rotate)) return {std::nullopt, "--rotate wants 0, 90, 180 or 270"};
        } else if (a == "--script") {
            if (!value(o.script)) return {std::nullopt, "--script wants a file"};
        } else {
            return {std::nullopt, "unknown argument: " + a};
        }
    }
    if (o.headless) {
        if (!haveScreen) return {std::nullopt, "--headless needs --screen WxH"};
        if (o.script.empty()) return {std::nullopt, "--headless needs --script FILE"};
        if (haveWindow) return {std::nullopt, "--window is for the window front end"};
    } else {
        if (haveScreen) return {std::nullopt, "--screen is for --headless runs; use --window WxH"};
        if (!o.script.empty()) return {std::nullopt, "--script is for --headless runs"};
    }
    return {o, {}};
}

}  // namespace quorel
