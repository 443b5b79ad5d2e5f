#include "app/dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/headless/power_recording.h"
#include "platform/headless/virtual_clock.h"
#include "platform/headless/virtual_screen.h"
#include "platform/headless/virtual_serial.h"
#include "platform/raster/raster.h"
#include "tests/support/scratch.h"

namespace quorel {
namespace {

// The dialog on a virtual 480 x 272 screen, loaded and showing its first frame.
struct Dialog {
    Dialog() : app(clock, screen, power, serial) {
        app.programDir = app.deviceRoot = test::scratchFolder("dialog");
        EXPECT_TRUE(dialogProcedure(app, Message{MessageKind::Initialise}));
        for (int i = 0; i < 6; ++i) {
            clock.advanceTo(app.timer.deadlineMs);
            dialogProcedure(app, Message{MessageKind::Timer});
        }
    }
    platform::VirtualClock clock;
    platform::VirtualScreen screen{480, 272};
    platform::RecordingPowerBackend power;
    platform::VirtualSerialDevice serial;
    App app;
};

TEST(Dialog, OnlyTheOkCommandAndTheCloseMessageEndIt) {
    Dialog d;
    EXPECT_FALSE(dialogProcedure(d.app, Message{MessageKind::Command, 0, 0, 2}));
    EXPECT_FALSE(d.app.dialogEnded);
    EXPECT_TRUE(dialogProcedure(d.app, Message{MessageKind::Size}));
    EXPECT_TRUE(dialogProcedure(d.app, Message{MessageKind::Command, 0, 0, 0x10001}));  // low word 1
    EXPECT_TRUE(d.app.dialogEnded);
    EXPECT_FALSE(d.app.timer.armed);
    EXPECT_FALSE(d.app.view.frameReady);

    Dialog closed;
    EXPECT_TRUE(dialogProcedure(closed.app, Message{MessageKind::Close}));
    EXPECT_TRUE(closed.app.dialogEnded);
}

}  // namespace
}  // namespace quorel
