#include "app/headless.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "app/dialog.h"
#include "app/state_dump.h"
#include "platform/headless/power_recording.h"
#include "platform/headless/virtual_clock.h"
#include "platform/headless/virtual_screen.h"
#include "platform/headless/virtual_serial.h"
#include "platform/raster/raster.h"
#include "platform/serial_select.h"
#include "platform/text_file.h"
#include "png/png_writer.h"

namespace quorel {

struct HeadlessFrontEnd::Parts {
    Parts(int width, int height, const std::string& gps)
        : screen(width, height),
          device(platform::makeSerialDevice(
              platform::chooseSerial(gps.empty() ? std::nullopt : std::optional<std::string>(gps), true), serial,
              clock)) {}

    platform::VirtualClock clock;
    platform::VirtualScreen screen;
    platform::RecordingPowerBackend power;
    platform::VirtualSerialDevice serial;
    std::unique_ptr<platform::SerialDevice> device;
    std::vector<ScriptCommand> script;
    std::filesystem::path scriptDir;
};

HeadlessFrontEnd::HeadlessFrontEnd(int width, int height, std::vector<ScriptCommand> script,
                                   std::filesystem::path scriptDir, const std::string& gps)
    : parts_(std::make_unique<Parts>(width, height, gps)) {
    parts_->script = std::move(script);
    parts_->scriptDir = std::move(scriptDir);
}

HeadlessFrontEnd::~HeadlessFrontEnd() = default;

platform::Clock& HeadlessFrontEnd::clock() { return parts_->clock; }
platform::Window& HeadlessFrontEnd::window() { return parts_->screen; }
platform::PowerBackend& HeadlessFrontEnd::powerBackend() { return parts_->power; }
platform::SerialDevice& HeadlessFrontEnd::serialDevice() { return *parts_->device; }

namespace {

// Lets time pass up to t, firing the timer whenever it comes due on the way. The program's
// own waits (the serial polling) move the clock too, so each firing looks afresh.
void passTimeUntil(App& app, platform::VirtualClock& clock, std::int64_t t) {
    while (!app.dialogEnded && app.timer.armed && app.timer.deadlineMs <= t) {
        clock.advanceTo(app.timer.deadlineMs);
        deliverMessage(app, Message{MessageKind::Timer});
    }
    clock.advanceTo(t);
}

// What the window shows: its pixels, or black while the display is switched off.
platform::Bitmap shownPixels(HeadlessFrontEnd& fe, platform::RecordingPowerBackend& power) {
    platform::Bitmap shown = fe.window().clientPixels();
    if (power.blanked()) platform::fillRect(shown, platform::Rect{0, 0, shown.width, shown.height}, 0);
    return shown;
}

}  // namespace

int HeadlessFrontEnd::runDialog(App& app) {
    Parts& p = *parts_;
    deliverMessage(app, Message{MessageKind::Initialise});
    deliverMessage(app, Message{MessageKind::Paint});
    for (const ScriptCommand& c : p.script) {
        // Once the dialog has ended nothing reaches the program any more; screenshots and
        // dumps still show how it was left.
        if (app.dialogEnded && c.verb != ScriptVerb::Shot && c.verb != ScriptVerb::Dump) continue;
        const auto fail = [&](const std::string& why) {
            std::fprintf(stderr, "quorel: script line %d: %s\n", c.line, why.c_str());
            if (!app.dialogEnded) deliverMessage(app, Message{MessageKind::Close});
            return 2;
        };
        switch (c.verb) {
        case ScriptVerb::Down:
            deliverMessage(app, Message{MessageKind::PenDown, c.a, c.b});
            break;
        case ScriptVerb::Up:
            deliverMessage(app, Message{MessageKind::PenUp, c.a, c.b});
            break;
        case ScriptVerb::Tap:
            deliverMessage(app, Message{MessageKind::PenDown, c.a, c.b});
            deliverMessage(app, Message{MessageKind::PenUp, c.a, c.b});
            break;
        case ScriptVerb::Key:
            deliverMessage(app, Message{MessageKind::KeyDown, 0, 0, c.a});
            break;
        case ScriptVerb::Tick:
            for (int i = 0; i < c.a && app.timer.armed && !app.dialogEnded; ++i) {
                p.clock.advanceTo(app.timer.deadlineMs);
                deliverMessage(app, Message{MessageKind::Timer});
            }
            break;
        case ScriptVerb::Wait:
            passTimeUntil(app, p.clock, p.clock.nowMs() + c.a);
            break;
        case ScriptVerb::Nmea:
            p.serial.queue(c.text + "\r\n");
            break;
        case ScriptVerb::NmeaFile: {
            const std::filesystem::path file = p.scriptDir / c.text;
            std::ifstream in(file, std::ios::binary);
            if (!in) return fail("cannot read " + file.string());
            p.serial.queue(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
            break;
        }
        case ScriptVerb::Shot:
            if (!writePngFile(shownPixels(*this, p.power), c.text)) return fail("cannot write " + c.text);
            break;
        case ScriptVerb::Dump:
            if (!platform::writeTextFile(c.text, stateDump(app, p.power.joinedRequests()))) {
                return fail("cannot write " + c.text);
            }
            break;
        case ScriptVerb::Quit:
            deliverMessage(app, Message{MessageKind::Close});
            break;
        }
    }
    if (!app.dialogEnded) deliverMessage(app, Message{MessageKind::Close});
    return 0;
}

}  // namespace quorel
