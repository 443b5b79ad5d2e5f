#pragma once
// The eight image buttons and two image strips of the map screen in one table, and the
// layout that scales their design positions to the screen.
#include <array>
#include <optional>

#include "state/map_view.h"

namespace quorel {

// How layoutControls sizes a control's hit rectangle.
enum class ControlSizing {
    Square,     // buttonWidth x buttonHeight
    FirstCell,  // S(image width / 2) x S(image height): two-cell images whose cell is the button
    Image,      // S(image width) x S(image height)
    None,       // an image strip: no rectangle
};

struct ControlEntry {
    std::optional<ImageButton> MapView::*button;
    int resourceId;
    DesignPos MapView::*position;  // nullptr for the strips
    int cells;                     // 2 for on/off images (left cell on), else 1
    ControlSizing sizing;
};

// In the order the surfaces are created.
inline constexpr std::array<ControlEntry, 10> kControls = {{
    {&MapView::starButton, 128, &MapView::starButtonPos, 2, ControlSizing::Square},
    {&MapView::zoomDownButton, 129, &MapView::zoomDownButtonPos, 1, ControlSizing::Square},
    {&MapView::zoomUpButton, 130, &MapView::zoomUpButtonPos, 1, ControlSizing::Square},
    {&MapView::homeButton, 131, &MapView::homeButtonPos, 1, ControlSizing::Square},
    {&MapView::originButton, 127, &MapView::originButtonPos, 1, ControlSizing::Square},
    {&MapView::bulbButton, 133, &MapView::bulbButtonPos, 2, ControlSizing::FirstCell},
    {&MapView::statusImage, 116, nullptr, 1, ControlSizing::None},
    {&MapView::pointButton, 136, &MapView::pointButtonPos, 2, ControlSizing::FirstCell},
    {&MapView::eraseButton, 137, &MapView::eraseButtonPos, 1, ControlSizing::Image},
    {&MapView::legendImage, 138, nullptr, 1, ControlSizing::None},
}};

// v x uiScale, truncated toward zero.
int scaleToScreen(const MapView& view, int v);

// A scaled position: as it stands when not negative, otherwise counted back from edge.
int anchorToEdge(int scaled, int edge);

// Scales buttonWidth, buttonHeight and the close corner in place (call once, after the
// images are loaded) and sets every button's hit rectangle from its position pair.
// Buttons that are absent are skipped; an image that failed to load sizes as 0 x 0.
void layoutControls(MapView& view);

}  // namespace quorel
