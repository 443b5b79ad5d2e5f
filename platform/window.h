#pragma once
// The program's one window as the dialog code sees it: the screen's size, a window that
// covers it, and the pixels of its client area. The front end (an SDL window, or the
// virtual screen of headless runs) shows those pixels after every message it delivers.
#include "platform/raster/bitmap.h"

namespace quorel::platform {

struct Window {
    virtual ~Window() = default;
    virtual int screenWidth() = 0;  // the primary screen (or the --window size)
    virtual int screenHeight() = 0;
    // Moves the window to (0, 0) with this size, topmost, and shows it; the client area is
    // then width x height 32-bit pixels.
    virtual void showAt(int width, int height) = 0;
    virtual Bitmap& clientPixels() = 0;
};

}  // namespace quorel::platform
