#pragma once
// The program's one user-visible message: a box with an OK button. By default the text
// goes to standard error as one line; a front end installs its own handler (the window
// draws a box over its own client area, tests record the text).
#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "platform/raster/bitmap.h"
#include "platform/raster/raster.h"

namespace quorel::platform {

using MessageHandler = std::function<void(std::string_view utf8)>;

// Installs handler (an empty one restores the default) and returns the one it replaces.
MessageHandler setMessageHandler(MessageHandler handler);

// Shows the text. On standard error it is written at once; the window's handler queues
// it and returns, so that the program goes on (timer, GPS, recording) while the box
// waits for its OK.
void showMessage(std::string_view utf8);

// Messages a window holds, the first one showing. A text equal to one already waiting is
// not queued again, so forty damaged tiles in view give one box, not forty in a row.
struct PendingMessages {
    std::deque<std::string> texts;
};
inline constexpr std::size_t kMaxPendingMessages = 4;

// False when the text was already waiting or the queue is full.
bool queueMessage(PendingMessages& pending, std::string_view utf8);

// A box drawn for a client area of a given size: centred, scaled with the area from the
// 480 x 272 it is laid out for, its text black on white and an OK button under it.
struct MessageBoxImage {
    Bitmap pixels;  // box-sized, placed at box.left, box.top
    Rect box;       // client pixels
    Rect ok;        // client pixels: a tap here dismisses the box
};
MessageBoxImage drawMessageBox(std::string_view utf8, int clientWidth, int clientHeight);

}  // namespace quorel::platform
