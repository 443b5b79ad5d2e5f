#include "platform/headless/virtual_screen.h"

#include "platform/raster/raster.h"

namespace quorel::platform {

void VirtualScreen::showAt(int width, int height) {
    if (pixels_.width == width && pixels_.height == height) return;
    pixels_ = createBitmap(width, height);
    fillRect(pixels_, Rect{0, 0, width, height}, kWindowBackground);
}

}  // namespace quorel::platform
