#pragma once
// Showing a composed frame: the back buffer goes to the window's pixels at once,
// mirrored when the screen is watched as a reflection (head-up display).
#include "state/map_view.h"

namespace quorel {

// Copies viewWidth x viewHeight of frameBitmap to *windowBitmap: mirrored left to right
// when hudMode is 1, top to bottom when it is 2, plainly for any other value. Nothing
// happens without a window.
void presentFrame(MapView& view);

}  // namespace quorel
