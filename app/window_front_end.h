#pragma once
// The window front end: what users run. An SDL window, the real clock, the serial
// devices of the "COMn:" table (or the one given by --gps), and the Linux power backend.
#include <memory>

#include "app/program.h"

namespace quorel {

// Empty (with a message on standard error) when no window can be opened.
std::unique_ptr<FrontEnd> makeWindowFrontEnd(const Options& options);

}  // namespace quorel
