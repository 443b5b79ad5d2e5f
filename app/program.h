#pragma once
// The entry point shared by the window and the headless front end: single instance, the
// program directory, the GPS side, the dialog, and the orderly end.
#include "app/app.h"
#include "app/command_line.h"

namespace quorel {

// What a front end gives the program.
struct FrontEnd {
    virtual ~FrontEnd() = default;
    virtual platform::Clock& clock() = 0;
    virtual platform::Window& window() = 0;
    virtual platform::PowerBackend& powerBackend() = 0;
    virtual platform::SerialDevice& serialDevice() = 0;
    // Runs the dialog's message loop until the dialog ends; returns 0, or 2 when a script
    // stopped the run.
    virtual int runDialog(App& app) = 0;
};

// The exit status of a headless run that another run on the same storage root kept from
// starting (a window start that finds one leaves with 0).
inline constexpr int kExitLocked = 3;

// The exit status: 0, kExitLocked, or what runDialog returned.
int runProgram(const Options& options, FrontEnd& frontEnd);

}  // namespace quorel
