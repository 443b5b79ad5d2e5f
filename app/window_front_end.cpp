#include "app/window_front_end.h"

#include <cstdio>

#include "app/dialog.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/power_linux.h"
#include "platform/sdl/sdl_window.h"
#include "platform/serial_select.h"
#include "platform/upower_battery.h"

namespace quorel {
namespace {

class WindowFrontEnd final : public FrontEnd {
public:
    WindowFrontEnd(std::unique_ptr<platform::SdlWindow> window, const std::string& gps)
        : window_(std::move(window)),
          power_("/sys/class/backlight", "/sys/class/power_supply", platform::systemBusAddress()),
          device_(platform::makeSerialDevice(
              platform::chooseSerial(gps.empty() ? std::nullopt : std::optional<std::string>(gps), false),
              unusedVirtualPort_, platform::systemClock())) {
        platform::setMessageHandler([this](std::string_view text) { window_->showMessage(text); });
    }
    ~WindowFrontEnd() override { platform::setMessageHandler(nullptr); }

    platform::Clock& clock() override { return platform::systemClock(); }
    platform::Window& window() override { return *window_; }
    platform::PowerBackend& powerBackend() override { return power_; }
    platform::SerialDevice& serialDevice() override { return *device_; }

    int runDialog(App& app) override {
        deliver(app, Message{MessageKind::Initialise});
        deliver(app, Message{MessageKind::Paint});
        while (!app.dialogEnded) {
            int timeout = -1;
            if (app.timer.armed) {
                const std::int64_t left = app.timer.deadlineMs - clock().nowMs();
                timeout = left < 0 ? 0 : static_cast<int>(left < 60'000 ? left : 60'000);
            }
            if (const auto e = window_->waitEvent(timeout)) deliver(app, translate(*e));
            if (!app.dialogEnded && timerDue(app.timer, clock())) deliver(app, Message{MessageKind::Timer});
        }
        return 0;
    }

private:
    static Message translate(const platform::WindowEvent& e) {
        using platform::WindowEventKind;
        switch (e.kind) {
        case WindowEventKind::PenDown:
            return Message{MessageKind::PenDown, e.x, e.y};
        case WindowEventKind::PenUp:
            return Message{MessageKind::PenUp, e.x, e.y};
        case WindowEventKind::Close:
            return Message{MessageKind::Close};
        case WindowEventKind::Expose:
            return Message{MessageKind::Paint};
        case WindowEventKind::Key:
            // As in a dialog, Return is the OK command and Escape the cancel command.
            if (e.keyCode == 13) return Message{MessageKind::Command, 0, 0, kOkCommand};
            if (e.keyCode == 27) return Message{MessageKind::Command, 0, 0, 2};
            return Message{MessageKind::KeyDown, 0, 0, e.keyCode};
        }
        return Message{MessageKind::Paint};
    }

    void deliver(App& app, const Message& m) {
        deliverMessage(app, m);
        window_->present(power_.blanked());
    }

    std::unique_ptr<platform::SdlWindow> window_;
    platform::LinuxPowerBackend power_;
    platform::VirtualSerialDevice unusedVirtualPort_;  // only headless runs read from it
    std::unique_ptr<platform::SerialDevice> device_;
};

}  // namespace

std::unique_ptr<FrontEnd> makeWindowFrontEnd(const Options& options) {
    std::string problem;
    auto window = platform::SdlWindow::create(options.width, options.height, problem);
    if (!window) {
        std::fprintf(stderr, "quorel: %s\n", problem.c_str());
        return nullptr;
    }
    return std::make_unique<WindowFrontEnd>(std::move(window), options.gps);
}

}  // namespace quorel
