#include "settings/map_settings.h"

#include <string>
#include <string_view>
#include <vector>

#include "platform/format.h"
#include "platform/scan.h"
#include "platform/text_file.h"
#include "platform/utf8.h"

namespace quorel {
namespace {

constexpr std::size_t kMaxTokenChars = 255;

// The reading position in the file's text, as a formatted input stream has one.
struct SettingsStream {
    std::string_view text;
    std::size_t pos = 0;

    void skipSpace() {
        while (pos < text.size() && platform::isSpace(text[pos])) ++pos;
    }
    bool atEnd() {
        skipSpace();
        return pos >= text.size();
    }
    // The next token, cut after 255 characters as a bounded string conversion does; the
    // rest of a longer run of text is then the next token.
    std::string_view token() {
        skipSpace();
        std::size_t end = pos;
        while (end < text.size() && !platform::isSpace(text[end])) ++end;
        const std::string_view t = platform::utf8Prefix(text.substr(pos, end - pos), kMaxTokenChars);
        pos += t.size();
        return t;
    }
    bool readInt(int& out) {
        const auto r = platform::scanInt(text.substr(pos), out);
        pos += r.consumed;
        return r.ok;
    }
    bool readReal(double& out) {
        const auto r = platform::scanReal(text.substr(pos), out);
        pos += r.consumed;
        return r.ok;
    }
    void readFlag(bool& out) {
        int v = 0;
        if (readInt(v)) out = v != 0;
    }
    void readPair(int& a, int& b) {
        if (readInt(a)) readInt(b);
    }
    void readPair(DesignPos& p) { readPair(p[0], p[1]); }
    // The next token as it stands, without reading past it.
    std::string_view peekToken() {
        const std::size_t at = pos;
        const std::string_view t = token();
        pos = at;
        return t;
    }
    // A quarter turn 0, 90, 180 or 270; any other value is left out, named in problems.
    void readRotation(int& out, std::vector<std::string>* problems) {
        skipSpace();
        const std::string_view written = peekToken();
        int v = 0;
        if (readInt(v) && (v == 0 || v == 90 || v == 180 || v == 270)) {
            out = v;
            return;
        }
        if (problems) {
            problems->push_back("f_Rotate " + std::string(written.empty() ? "without a value" : written) +
                                " is not 0, 90, 180 or 270, and is ignored");
        }
    }
};

// Tries the keys in the order that decides between overlapping names; true when the
// token held one and its values were read.
bool readKeyValues(std::string_view token, SettingsStream& in, MapView& v, DisplayIdle& idle,
                   std::vector<std::string>* problems) {
    const auto has = [token](std::string_view key) { return token.find(key) != std::string_view::npos; };
    // One key a line, the table the file is read by.
    // clang-format off
    if (has("DefaultLat")) in.readReal(v.defaultLat);
    else if (has("DefaultLon")) in.readReal(v.defaultLon);
    else if (has("WaiteTapTime")) in.readInt(idle.waitTapTimeMs);
    else if (has("DisplayOffTime")) in.readInt(idle.displayOffTimeMs);
    else if (has("DisplayOffMode")) in.readInt(idle.displayOffMode);
    else if (has("DisplayOnMode")) in.readInt(idle.displayOnMode);
    else if (has("DisplayOnWidth")) in.readInt(idle.displayOnWidth);
    else if (has("draw_timer")) in.readInt(v.drawTimerMs);
    else if (has("ZoomLevel")) in.readInt(v.zoomLevel);
    else if (has("ZoomMax")) in.readInt(v.zoomMax);
    else if (has("ZoomMin")) in.readInt(v.zoomMin);
    else if (has("f_ViewTile")) in.readFlag(v.showTileGrid);
    else if (has("f_TapPosView")) in.readFlag(v.showTapPosition);
    else if (has("f_HUD")) in.readInt(v.hudMode);
    else if (has("CloseBtn")) in.readPair(v.closeCornerX, v.closeCornerY);
    else if (has("Btn_WH")) in.readPair(v.buttonWidth, v.buttonHeight);
    else if (has("StarBtn")) in.readPair(v.starButtonPos);
    else if (has("ZoomUpBtn")) in.readPair(v.zoomUpButtonPos);
    else if (has("ZoomDownBtn")) in.readPair(v.zoomDownButtonPos);
    else if (has("HomeBtn")) in.readPair(v.homeButtonPos);
    else if (has("OrignBtn")) in.readPair(v.originButtonPos);
    else if (has("BulbBtn")) in.readPair(v.bulbButtonPos);
    else if (has("PointBtn")) in.readPair(v.pointButtonPos);
    else if (has("EraceBtn")) in.readPair(v.eraseButtonPos);
    else if (has("f_Rotate")) in.readRotation(v.rotation, problems);
    else if (has("f_Night")) in.readInt(v.nightMode);
    else if (has("f_Trip")) in.readFlag(v.showTrip);
    else return false;
    // clang-format on
    return true;
}

}  // namespace

bool loadMapSettings(MapView& view, DisplayIdle& idle, const std::filesystem::path& programDir,
                     std::vector<std::string>* problems) {
    const auto text = platform::readTextFile(programDir / kMapSettingsFile);
    if (!text) return false;
    SettingsStream in{*text};
    while (!in.atEnd()) {
        const std::string_view token = in.token();
        readKeyValues(token, in, view, idle, problems);
    }
    return true;
}

bool saveMapSettings(const MapView& v, const DisplayIdle& idle, const std::filesystem::path& programDir) {
    std::string out;
    platform::appendFormat(out, "DefaultLat %f\n", v.defaultLat);
    platform::appendFormat(out, "DefaultLon %f\n", v.defaultLon);
    platform::appendFormat(out, "WaiteTapTime %d\n", idle.waitTapTimeMs);
    platform::appendFormat(out, "DisplayOffTime %d\n", idle.displayOffTimeMs);
    platform::appendFormat(out, "DisplayOffMode %d\n", idle.displayOffMode);
    platform::appendFormat(out, "DisplayOnMode %d\n", idle.displayOnMode);
    platform::appendFormat(out, "DisplayOnWidth %d\n", idle.displayOnWidth);
    platform::appendFormat(out, "draw_timer %d\n", v.drawTimerMs);
    platform::appendFormat(out, "ZoomLevel %d\n", v.zoomLevel);
    platform::appendFormat(out, "ZoomMax %d\n", v.zoomMax);
    platform::appendFormat(out, "ZoomMin %d\n", v.zoomMin);
    platform::appendFormat(out, "draw_timer %d\n", v.drawTimerMs);  // twice, as files in use have it
    platform::appendFormat(out, "f_ViewTile %d\n", v.showTileGrid ? 1 : 0);
    platform::appendFormat(out, "f_TapPosView %d\n", v.showTapPosition ? 1 : 0);
    platform::appendFormat(out, "f_HUD %d\n", v.hudMode);
    platform::appendFormat(out, "CloseBtn %d %d\n", v.closeCornerX, v.closeCornerY);
    platform::appendFormat(out, "Btn_WH %d %d\n", v.buttonWidth, v.buttonHeight);
    const struct {
        const char* key;
        const DesignPos& pos;
    } buttons[] = {
        {"StarBtn", v.starButtonPos},   {"ZoomUpBtn", v.zoomUpButtonPos}, {"ZoomDownBtn", v.zoomDownButtonPos},
        {"HomeBtn", v.homeButtonPos},   {"OrignBtn", v.originButtonPos},  {"BulbBtn", v.bulbButtonPos},
        {"PointBtn", v.pointButtonPos}, {"EraceBtn", v.eraseButtonPos},
    };
    for (const auto& b : buttons) platform::appendFormat(out, "%s %d %d\n", b.key, b.pos[0], b.pos[1]);
    platform::appendFormat(out, "f_Rotate %d\n", v.rotation);
    platform::appendFormat(out, "f_Night %d\n", v.nightMode);
    platform::appendFormat(out, "f_Trip %d\n", v.showTrip ? 1 : 0);
    return platform::writeTextFile(programDir / kMapSettingsFile, out);
}

}  // namespace quorel
