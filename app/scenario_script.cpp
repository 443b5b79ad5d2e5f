#include "app/scenario_script.h"

#include "platform/scan.h"

namespace quorel {
namespace {

// Pen positions travel to the program as unsigned 16-bit values; a script may also give the
// negative ones a window system reports for a pen released beyond the window's left or top.
constexpr int kMinPenCoordinate = -65535;
constexpr int kMaxPenCoordinate = 65535;
constexpr int kMaxKeyCode = 255;
constexpr int kMaxTicks = 1'000'000;

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// The words of s, split at blanks.
std::vector<std::string_view> words(std::string_view s) {
    std::vector<std::string_view> out;
    while (!(s = trim(s)).empty()) {
        std::size_t end = 0;
        while (end < s.size() && s[end] != ' ' && s[end] != '\t') ++end;
        out.push_back(s.substr(0, end));
        s.remove_prefix(end);
    }
    return out;
}

bool wholeInt(std::string_view word, int min, int max, int& out) {
    std::int32_t v = 0;
    const auto r = platform::scanInt(word, v);
    if (!r.ok || r.consumed != word.size() || word.front() == ' ' || v < min || v > max) return false;
    out = v;
    return true;
}

}  // namespace

ParsedScript parseScript(std::string_view script) {
    std::vector<ScriptCommand> commands;
    int lineNumber = 0;
    while (!script.empty()) {
        ++lineNumber;
        const auto nl = script.find('\n');
        const std::string_view raw = script.substr(0, nl);
        script.remove_prefix(nl == std::string_view::npos ? script.size() : nl + 1);

        const std::string_view line = trim(raw.substr(0, raw.find('#')));
        if (line.empty()) continue;
        const auto fail = [&](std::string reason) {
            return ScriptError{lineNumber, std::string(trim(raw)), std::move(reason)};
        };
        const std::vector<std::string_view> w = words(line);
        const std::string_view verb = w[0];
        const std::string_view rest = trim(line.substr(verb.size()));
        ScriptCommand c;
        c.line = lineNumber;

        if (verb == "down" || verb == "up" || verb == "tap") {
            c.verb = verb == "down" ? ScriptVerb::Down : verb == "up" ? ScriptVerb::Up : ScriptVerb::Tap;
            if (w.size() != 3 || !wholeInt(w[1], kMinPenCoordinate, kMaxPenCoordinate, c.a) ||
                !wholeInt(w[2], kMinPenCoordinate, kMaxPenCoordinate, c.b)) {
                return fail(std::string(verb) + " wants X Y, two whole numbers from -65535 to 65535");
            }
        } else if (verb == "key") {
            c.verb = ScriptVerb::Key;
            if (w.size() != 2 || !wholeInt(w[1], 0, kMaxKeyCode, c.a)) return fail("key wants a code from 0 to 255");
        } else if (verb == "tick") {
            c.verb = ScriptVerb::Tick;
            c.a = 1;
            if (w.size() > 2 || (w.size() == 2 && !wholeInt(w[1], 1, kMaxTicks, c.a))) {
                return fail("tick wants an optional count from 1 to 1000000");
            }
        } else if (verb == "wait") {
            c.verb = ScriptVerb::Wait;
            if (w.size() != 2 || !wholeInt(w[1], 0, 2'000'000'000, c.a)) return fail("wait wants milliseconds");
        } else if (verb == "nmea") {
            c.verb = ScriptVerb::Nmea;
            if (rest.empty()) return fail("nmea wants the sentence text");
            c.text = std::string(rest);
        } else if (verb == "nmea-file" || verb == "shot" || verb == "dump") {
            c.verb = verb == "nmea-file" ? ScriptVerb::NmeaFile : verb == "shot" ? ScriptVerb::Shot : ScriptVerb::Dump;
            if (rest.empty()) return fail(std::string(verb) + " wants a file name");
            c.text = std::string(rest);
        } else if (verb == "quit") {
            c.verb = ScriptVerb::Quit;
            if (w.size() != 1) return fail("quit takes nothing");
        } else {
            return fail("unknown command: " + std::string(verb));
        }
        commands.push_back(std::move(c));
    }
    return commands;
}

}  // namespace quorel
