#pragma once
// The screen of headless runs: a window of a fixed size whose client pixels are simply
// kept, so a script can take screenshots of them.
#include "platform/window.h"

namespace quorel::platform {

class VirtualScreen final : public Window {
public:
    VirtualScreen(int width, int height) : width_(width), height_(height) {}

    int screenWidth() override { return width_; }
    int screenHeight() override { return height_; }
    void showAt(int width, int height) override;
    Bitmap& clientPixels() override { return pixels_; }

private:
    int width_;
    int height_;
    Bitmap pixels_;
};

// A new window's client area before anything is drawn on it.
inline constexpr std::uint32_t kWindowBackground = 0x00FFFFFF;

}  // namespace quorel::platform
