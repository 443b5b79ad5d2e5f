#include "map/present.h"

#include "platform/raster/raster.h"

namespace quorel {

void presentFrame(MapView& view) {
    if (view.windowBitmap == nullptr) return;
    platform::Bitmap& window = *view.windowBitmap;
    const int w = view.viewWidth, h = view.viewHeight;
    switch (view.hudMode) {
    case 1:
        platform::stretchBlit(window, w, 0, -w, h, view.frameBitmap, 0, 0, w, h);
        break;
    case 2:
        platform::stretchBlit(window, 0, h, w, -h, view.frameBitmap, 0, 0, w, h);
        break;
    default:
        platform::blit(window, 0, 0, w, h, view.frameBitmap, 0, 0);
        break;
    }
}

}  // namespace quorel
