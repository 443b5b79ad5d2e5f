#pragma once
// Scenario scripts of headless runs: one command a line, "#" starts a comment.
//   down X Y | up X Y | tap X Y   pen down, pen up, or both, in client pixels
//   key CODE                      key down with that code
//   tick [N]                      let the main timer fire N times (default 1)
//   wait MS                       let MS milliseconds pass, firing the timer when due
//   nmea TEXT                     queue TEXT and CR LF at the virtual serial port
//   nmea-file FILE                queue the bytes of FILE (relative to the script's folder)
//   shot FILE                     write what the window shows now as a PNG
//   dump FILE                     write the state as name=value lines
//   quit                          close the program, as the end of the script does
// After the program has closed (quit, or a tap on the close region), only shot and dump
// still act: they show the state it was left in.
// The whole script is read before the run starts, so a bad line stops it before anything
// has happened.
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quorel {

enum class ScriptVerb { Down, Up, Tap, Key, Tick, Wait, Nmea, NmeaFile, Shot, Dump, Quit };

struct ScriptCommand {
    ScriptVerb verb = ScriptVerb::Quit;
    int a = 0;         // x, key code, tick count or milliseconds
    int b = 0;         // y
    std::string text;  // NMEA text or file name
    int line = 0;      // 1-based line number in the script
};

struct ScriptError {
    int line = 0;
    std::string text;  // the offending line as written
    std::string reason;
};

using ParsedScript = std::variant<std::vector<ScriptCommand>, ScriptError>;

ParsedScript parseScript(std::string_view script);

}  // namespace quorel
