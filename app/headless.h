#pragma once
// The headless front end: a virtual screen, a virtual clock, a virtual serial port and a
// recording power manager, driven by a scenario script instead of a user.
#include <filesystem>
#include <memory>

#include "app/program.h"
#include "app/scenario_script.h"

namespace quorel {

class HeadlessFrontEnd final : public FrontEnd {
public:
    // gps: "" for the virtual serial port, "none", or a device path.
    HeadlessFrontEnd(int width, int height, std::vector<ScriptCommand> script, std::filesystem::path scriptDir,
                     const std::string& gps);
    ~HeadlessFrontEnd() override;

    platform::Clock& clock() override;
    platform::Window& window() override;
    platform::PowerBackend& powerBackend() override;
    platform::SerialDevice& serialDevice() override;
    int runDialog(App& app) override;

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace quorel
