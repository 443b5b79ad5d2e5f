#include "platform/sdl/sdl_window.h"

#include <SDL.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/raster/raster.h"

namespace quorel::platform {

struct SdlWindow::Sdl {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;

    ~Sdl() {
        if (texture != nullptr) SDL_DestroyTexture(texture);
        if (renderer != nullptr) SDL_DestroyRenderer(renderer);
        if (window != nullptr) SDL_DestroyWindow(window);
        SDL_Quit();
    }
};

namespace {

// SDL turns SIGINT and SIGTERM into a quit event, so that the program closes as at a
// tap on the close corner: the track log gets its closing lines and its dated copy. A
// closed terminal (SIGHUP) ends it the same way, unless it was told to ignore that
// signal (nohup).
void hangUpAsTerminate(int) { raise(SIGTERM); }

void quitOnHangUp() {
    struct sigaction hangUp {};
    if (sigaction(SIGHUP, nullptr, &hangUp) != 0 || hangUp.sa_handler != SIG_DFL) return;
    hangUp.sa_handler = hangUpAsTerminate;
    sigemptyset(&hangUp.sa_mask);
    hangUp.sa_flags = SA_RESTART;
    sigaction(SIGHUP, &hangUp, nullptr);
}

}  // namespace

std::unique_ptr<SdlWindow> SdlWindow::create(int width, int height, std::string& problem) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        problem = std::string("cannot open a window: ") + SDL_GetError();
        return nullptr;
    }
    // With no display to reach, SDL falls back on a driver that draws into memory: the
    // program would run on unseen and hold the lock against the real start.
    const std::string driver = SDL_GetCurrentVideoDriver() != nullptr ? SDL_GetCurrentVideoDriver() : "";
    if (driver == "offscreen" || driver == "dummy" || driver == "evdev") {
        SDL_Quit();
        problem = "no display to open the window on (SDL video driver \"" + driver +
                  "\"; DISPLAY and WAYLAND_DISPLAY unset?); start it in the graphical session, "
                  "or with SDL_VIDEODRIVER=kmsdrm on a console";
        return nullptr;
    }
    quitOnHangUp();
    std::unique_ptr<SdlWindow> w(new SdlWindow);
    w->sdl_ = std::make_unique<Sdl>();
    if (width > 0 && height > 0) {
        // A window larger than the screen would put the close corner out of reach: it is
        // shrunk to the usable area (without panels and title bars' room for the desktop).
        SDL_Rect usable{};
        if (SDL_GetDisplayUsableBounds(0, &usable) == 0 && usable.w > 0 && usable.h > 0 &&
            (width > usable.w || height > usable.h)) {
            std::fprintf(stderr, "quorel: the window %dx%d does not fit the screen; shown at %dx%d\n", width, height,
                         std::min(width, usable.w), std::min(height, usable.h));
            width = std::min(width, usable.w);
            height = std::min(height, usable.h);
        }
        w->screenWidth_ = width;
        w->screenHeight_ = height;
        w->fullScreen_ = false;
    } else {
        SDL_DisplayMode mode{};
        if (SDL_GetDesktopDisplayMode(0, &mode) != 0) {
            problem = std::string("cannot learn the screen's size: ") + SDL_GetError();
            return nullptr;
        }
        w->screenWidth_ = mode.w;
        w->screenHeight_ = mode.h;
    }
    return w;
}

SdlWindow::~SdlWindow() = default;

void SdlWindow::showAt(int width, int height) {
    if (sdl_->window == nullptr) {
        const Uint32 flags = SDL_WINDOW_SHOWN | (fullScreen_ ? Uint32{SDL_WINDOW_FULLSCREEN_DESKTOP} : 0u);
        sdl_->window = SDL_CreateWindow("Quorel", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height, flags);
        if (sdl_->window == nullptr) return;
        sdl_->renderer = SDL_CreateRenderer(sdl_->window, -1, 0);
        if (sdl_->renderer == nullptr) sdl_->renderer = SDL_CreateRenderer(sdl_->window, -1, SDL_RENDERER_SOFTWARE);
    }
    if (sdl_->renderer == nullptr) return;
    if (sdl_->texture != nullptr) SDL_DestroyTexture(sdl_->texture);
    // Client pixels are 0x00RRGGBB words, which is SDL's RGB888.
    sdl_->texture =
        SDL_CreateTexture(sdl_->renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, width, height);
    pixels_ = createBitmap(width, height);
    fillRect(pixels_, Rect{0, 0, width, height}, 0x00FFFFFF);
    drawFirstMessage();
}

void SdlWindow::present(bool blanked) {
    if (sdl_->renderer == nullptr) return;
    SDL_SetRenderDrawColor(sdl_->renderer, 0, 0, 0, 255);
    SDL_RenderClear(sdl_->renderer);
    if (!blanked && sdl_->texture != nullptr && pixels_.valid()) {
        SDL_UpdateTexture(sdl_->texture, nullptr, pixels_.bits.data(), pixels_.stride);
        if (const Bitmap& box = messageBox_.pixels; box.valid()) {
            const Rect& at = messageBox_.box;
            const SDL_Rect area{at.left, at.top, box.width, box.height};
            SDL_UpdateTexture(sdl_->texture, &area, box.bits.data(), box.stride);
        }
        SDL_RenderCopy(sdl_->renderer, sdl_->texture, nullptr, nullptr);
    }
    SDL_RenderPresent(sdl_->renderer);
}

void SdlWindow::showMessage(std::string_view utf8) {
    if (queueMessage(messages_, utf8) && messages_.texts.size() == 1) drawFirstMessage();
}

void SdlWindow::drawFirstMessage() {
    messageBox_ = messages_.texts.empty() ? MessageBoxImage{}
                                          : drawMessageBox(messages_.texts.front(), pixels_.width, pixels_.height);
}

void SdlWindow::dismissMessage() {
    messages_.texts.pop_front();
    drawFirstMessage();
}

SdlWindow::PenOnMessage SdlWindow::penOnMessage(bool down, int x, int y) {
    const auto inside = [x, y](const Rect& r) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; };
    if (down) {
        penOnMessageBox_ = !messages_.texts.empty() && inside(messageBox_.box);
        return penOnMessageBox_ ? PenOnMessage::Taken : PenOnMessage::NotTaken;
    }
    if (!penOnMessageBox_) return PenOnMessage::NotTaken;
    penOnMessageBox_ = false;
    if (messages_.texts.empty() || !inside(messageBox_.ok)) return PenOnMessage::Taken;
    dismissMessage();
    return PenOnMessage::Dismissed;
}

int handheldKeyCode(std::int32_t k) {
    if (k >= SDLK_a && k <= SDLK_z) return 'A' + (k - SDLK_a);
    if (k >= SDLK_0 && k <= SDLK_9) return '0' + (k - SDLK_0);
    if (k >= SDLK_F1 && k <= SDLK_F12) return 112 + (k - SDLK_F1);
    switch (k) {
    case SDLK_LEFT:
        return 37;
    case SDLK_UP:
        return 38;
    case SDLK_RIGHT:
        return 39;
    case SDLK_DOWN:
        return 40;
    case SDLK_RETURN:
        return 13;
    case SDLK_ESCAPE:
        return 27;
    case SDLK_SPACE:
        return 32;
    case SDLK_BACKSPACE:
        return 8;
    case SDLK_TAB:
        return 9;
    case SDLK_BACKQUOTE:
        return 223;
    default:
        return 0;
    }
}

std::optional<WindowEvent> SdlWindow::waitEvent(int timeoutMs) {
    SDL_Event e;
    const int got = timeoutMs < 0 ? SDL_WaitEvent(&e) : SDL_WaitEventTimeout(&e, timeoutMs);
    if (got == 0) return std::nullopt;
    switch (e.type) {
    case SDL_QUIT:
        return WindowEvent{WindowEventKind::Close};
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        if (e.button.button != SDL_BUTTON_LEFT) return std::nullopt;
        const bool down = e.type == SDL_MOUSEBUTTONDOWN;
        switch (penOnMessage(down, e.button.x, e.button.y)) {
        case PenOnMessage::Taken:
            return std::nullopt;
        case PenOnMessage::Dismissed:
            return WindowEvent{WindowEventKind::Expose};
        case PenOnMessage::NotTaken:
            break;
        }
        return WindowEvent{down ? WindowEventKind::PenDown : WindowEventKind::PenUp, e.button.x, e.button.y};
    }
    case SDL_KEYDOWN: {
        const SDL_Keycode k = e.key.keysym.sym;
        if (!messages_.texts.empty() && (k == SDLK_RETURN || k == SDLK_KP_ENTER || k == SDLK_ESCAPE)) {
            dismissMessage();
            return WindowEvent{WindowEventKind::Expose};
        }
        return WindowEvent{WindowEventKind::Key, 0, 0, handheldKeyCode(k)};
    }
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_EXPOSED || e.window.event == SDL_WINDOWEVENT_RESTORED) {
            return WindowEvent{WindowEventKind::Expose};
        }
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

}  // namespace quorel::platform
