#include "app/controls_layout.h"

#include "platform/numeric.h"

namespace quorel {

int scaleToScreen(const MapView& view, int v) { return platform::truncToInt(v * view.uiScale); }

int anchorToEdge(int scaled, int edge) { return scaled >= 0 ? scaled : platform::saturatingAdd(edge, scaled); }

void layoutControls(MapView& view) {
    view.buttonWidth = scaleToScreen(view, view.buttonWidth);
    view.buttonHeight = scaleToScreen(view, view.buttonHeight);
    view.closeCornerX = scaleToScreen(view, view.closeCornerX);
    view.closeCornerY = scaleToScreen(view, view.closeCornerY);
    for (const ControlEntry& control : kControls) {
        std::optional<ImageButton>& button = view.*control.button;
        if (!button || control.sizing == ControlSizing::None) continue;
        const DesignPos& pos = view.*control.position;
        button->left = anchorToEdge(scaleToScreen(view, pos[0]), view.viewWidth);
        button->top = anchorToEdge(scaleToScreen(view, pos[1]), view.viewHeight);
        const Surface& image = button->image;
        switch (control.sizing) {
        case ControlSizing::Square:
            button->width = view.buttonWidth;
            button->height = view.buttonHeight;
            break;
        case ControlSizing::FirstCell:
            button->width = scaleToScreen(view, image.width / 2);
            button->height = scaleToScreen(view, image.height);
            break;
        case ControlSizing::Image:
            button->width = scaleToScreen(view, image.width);
            button->height = scaleToScreen(view, image.height);
            break;
        case ControlSizing::None:
            break;
        }
    }
}

}  // namespace quorel
