#pragma once
// The SDL2 window: full screen by default, or a window with a client area of a given size.
// It shows the client pixels, and turns SDL's events into the few the program knows:
// pen down/up (left mouse button, and touches, which SDL also reports as the mouse),
// keys as handheld key codes, exposure, and the request to close. Messages show as a box
// over the client pixels; the loop goes on while they wait for their OK.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/message_box.h"
#include "platform/window.h"

namespace quorel::platform {

enum class WindowEventKind { PenDown, PenUp, Key, Expose, Close };

struct WindowEvent {
    WindowEventKind kind = WindowEventKind::Expose;
    int x = 0;
    int y = 0;
    int keyCode = 0;  // handheld (Windows virtual-key) code, 0 when the key has none
};

class SdlWindow final : public Window {
public:
    // width/height 0: the whole primary display. Empty, with one line in problem, when SDL
    // cannot start or has only a video driver that shows nothing (offscreen, dummy).
    static std::unique_ptr<SdlWindow> create(int width, int height, std::string& problem);
    ~SdlWindow() override;

    int screenWidth() override { return screenWidth_; }
    int screenHeight() override { return screenHeight_; }
    void showAt(int width, int height) override;
    Bitmap& clientPixels() override { return pixels_; }

    // Waits up to timeoutMs (negative: without limit) for the next event the program knows.
    // While a message shows, a pen that goes down on its box is the box's until it comes
    // up, and Return or Escape is its OK; the other events reach the program as ever. A
    // dismissed box gives an exposure, so that the window is painted again.
    std::optional<WindowEvent> waitEvent(int timeoutMs);

    // Shows the client pixels with the first waiting message over them, or black while
    // the display is blanked.
    void present(bool blanked);

    // Queues a message (see queueMessage) and returns at once; it shows from the next
    // present until its OK is tapped, then the next one waiting shows.
    void showMessage(std::string_view utf8);

private:
    SdlWindow() = default;
    enum class PenOnMessage { NotTaken, Taken, Dismissed };
    PenOnMessage penOnMessage(bool down, int x, int y);
    void dismissMessage();
    void drawFirstMessage();
    struct Sdl;
    std::unique_ptr<Sdl> sdl_;
    int screenWidth_ = 0;
    int screenHeight_ = 0;
    bool fullScreen_ = true;
    Bitmap pixels_;
    PendingMessages messages_;
    MessageBoxImage messageBox_;  // of the first waiting message
    bool penOnMessageBox_ = false;
};

// Key codes: letters and digits as themselves, F1..F12 as 112..123, arrows 37..40,
// Return 13, Escape 27, Space 32, Backspace 8, Tab 9; the key left of 1 ("`") gives 223,
// the handheld's wake key.
int handheldKeyCode(std::int32_t sdlKeycode);

}  // namespace quorel::platform
