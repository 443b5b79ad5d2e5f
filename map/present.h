#pragma once
// Showing a composed frame: the back buffer goes to the window's pixels at once, turned
// for a screen mounted on its side or upside down, and mirrored when the screen is
// watched as a reflection (head-up display). Pen positions on the window are turned back
// into view pixels the same way.
#include "state/map_view.h"

namespace quorel {

// True for the rotations that lay the view out with the display's sides swapped.
inline bool turnsSideways(int rotation) { return rotation == 90 || rotation == 270; }

// Copies the viewWidth x viewHeight frameBitmap to *windowBitmap in one pass: mirrored
// within the frame (left to right when hudMode is 1, top to bottom when it is 2, not at
// all for any other value), then turned `rotation` degrees clockwise, so that a mirrored
// picture reads right on a turned screen. Nothing happens without a window.
//
// A quarter turn uses the widest vectors the processor has; the tests also ask for the
// 128-bit ones that every processor the program runs on has, and compare the two.
enum class TurnVectors { Widest, Portable };
void presentFrame(MapView& view, TurnVectors vectors = TurnVectors::Widest);

struct ViewPoint {
    int x = 0;
    int y = 0;
};

// The view pixel that the window shows at window pixel (x, y), by the rotation alone (a
// head-up display is watched, not touched). A position off the window maps to one off
// the view on the same side, as the picture goes.
ViewPoint windowToView(const MapView& view, int x, int y);

}  // namespace quorel
