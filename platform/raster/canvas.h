#pragma once
// A drawing context over a Bitmap: the pen, font, text colour and background mode
// that lines and text use, and the current position of move-to/line-to. A Canvas
// lives only while it draws (typically one frame); it owns no pixels.
//
// Lines. Coordinates are 64-bit (world pixels minus an origin can exceed 32 bits) and
// saturate at +-2^60; whatever lies outside the bitmap is clipped exactly, so a line
// whose ends are far away still draws the pixels of its visible part and nothing else.
//
// - A pen of width 1 (or less) draws a thin line from the start point up to, but
//   not including, the end point. With dx = x1 - x0, dy = y1 - y0 and |dx| >= |dy|
//   (x-major), step i = 0 .. |dx| - 1 paints
//     (x0 + i * sign(dx), y0 + sign(dy) * floor(i * |dy| / |dx| + 1/2));
//   a y-major line is the same with the roles of x and y exchanged. Consecutive
//   line-to calls therefore paint every joint exactly once.
// - A pen of width w >= 2 draws the segment as a geometric pen with round ends: pixel
//   (px, py) is painted when its centre (px + 0.5, py + 0.5) lies at a distance less
//   than w / 2 from the segment between (x0 + c, y0 + c) and (x1 + c, y1 + c), where
//   c = 0.5 for odd w and 0 for even w. A horizontal or vertical line is thus exactly
//   w pixels thick (rows y - w/2 .. y + w/2 - 1 for even w) and a polyline gets round
//   joins.
// - A segment of length zero draws nothing.
#include <cstdint>
#include <string>
#include <utility>

#include "platform/raster/bitmap.h"
#include "platform/raster/coverage.h"
#include "platform/raster/raster.h"

namespace quorel::platform {

struct Pen {
    Color color = 0;
    int width = 1;
};

// A font as the program asks for it: a cell height in pixels (as a logical-font
// height: positive is the cell height, ascent plus descent; negative is the em
// height; 0 means the default of 16), a weight (400 normal, 700 bold) and a face name.
struct Font {
    int height = 16;
    int weight = 400;
    std::string face = "ＭＳ 明朝";
};

enum class BackgroundMode {
    Transparent,  // text pixels only
    Opaque,       // each line of text first fills its extent with backgroundColor
};

struct Canvas {
    explicit Canvas(Bitmap& bitmap) : target(&bitmap) {}

    Bitmap* target;
    Pen pen;
    Font font;
    Color textColor = 0;
    Color backgroundColor = rgb(255, 255, 255);
    BackgroundMode backgroundMode = BackgroundMode::Opaque;
    std::int64_t currentX = 0;
    std::int64_t currentY = 0;
    // Set when lineTo has painted the round end at the current position with endCapPen:
    // the next segment of the polyline leaves that disc alone. moveTo clears it.
    bool endCapPainted = false;
    Pen endCapPen;
    // While set (and of the target's size), lines mark their pixels here instead of
    // painting them; the caller paints the coverage onto the target in the pen's colour.
    Coverage* coverage = nullptr;
};

// Keeps the pen, font, colours and background mode of a canvas and puts them back at
// the end of the scope; the current position is left as the drawing moved it.
class CanvasStateSaver {
public:
    explicit CanvasStateSaver(Canvas& canvas)
        : canvas_(canvas),
          pen_(canvas.pen),
          font_(canvas.font),
          textColor_(canvas.textColor),
          backgroundColor_(canvas.backgroundColor),
          backgroundMode_(canvas.backgroundMode) {}
    ~CanvasStateSaver() {
        canvas_.pen = pen_;
        canvas_.font = std::move(font_);
        canvas_.textColor = textColor_;
        canvas_.backgroundColor = backgroundColor_;
        canvas_.backgroundMode = backgroundMode_;
    }
    CanvasStateSaver(const CanvasStateSaver&) = delete;
    CanvasStateSaver& operator=(const CanvasStateSaver&) = delete;

private:
    Canvas& canvas_;
    Pen pen_;
    Font font_;
    Color textColor_;
    Color backgroundColor_;
    BackgroundMode backgroundMode_;
};

// One line with the given pen, by the rules above.
void drawLine(Bitmap& bitmap, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, const Pen& pen);

namespace detail {
// A wide line computed row by row for every segment, without the shapes drawLine keeps
// for short ones; the tests check that both give the same pixels.
void drawWideLineWithoutShapes(Bitmap& bitmap, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                               const Pen& pen);
}  // namespace detail

void moveTo(Canvas& canvas, std::int64_t x, std::int64_t y);

// A line from the current position with the canvas's pen; the end becomes the
// current position.
void lineTo(Canvas& canvas, std::int64_t x, std::int64_t y);

}  // namespace quorel::platform
