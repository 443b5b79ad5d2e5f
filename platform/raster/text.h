#pragma once
// Text on a Canvas: glyphs from FreeType, faces chosen by fontconfig.
//
// The program asks for its one face by the name "ＭＳ 明朝", as written. The text layer
// registers a fontconfig alias the first time a font is used, so that the name resolves
// to an installed Mincho face (IPAMincho, Debian's fonts-ipafont-mincho) and, failing
// that, to any serif face. Fonts are opened once per face and size and kept with their
// rendered glyphs for the rest of the run.
//
// Sizes follow the logical-font convention: a positive height is the cell height
// (ascent plus descent, from the face's OS/2 win-ascent and win-descent), rounded to
// a whole pixels-per-em size; a negative height is the em size itself. Weights of 600 and more get a
// synthetic bold when the face found is not bold. Glyphs are anti-aliased (or the
// face's own bitmaps where it has them for the size) and blended in the text colour.
#include <optional>
#include <string>
#include <string_view>

#include "platform/raster/canvas.h"
#include "platform/raster/raster.h"

namespace quorel::platform {

enum TextFlag : unsigned {
    kTextCalcRect = 1u << 0,    // measure only: set rect.right and rect.bottom, draw nothing
    kTextNoClip = 1u << 1,      // draw beyond the rectangle (still clipped to the bitmap)
    kTextSingleLine = 1u << 2,  // CR and LF do not break lines (and are not drawn)
};

struct FontMetrics {
    int pixelsPerEm = 0;
    int ascent = 0;      // pixels above the baseline
    int descent = 0;     // pixels below it
    int lineHeight = 0;  // ascent + descent: the distance between lines
};

// The font file that a face name resolves to, with the program's aliases applied;
// empty when fontconfig finds no font at all.
std::string fontFileFor(std::string_view face, int weight = 400);

// Metrics of a font; nothing when no font can be opened.
std::optional<FontMetrics> fontMetrics(const Font& font);

// Draws UTF-8 text into rect with the canvas's font, text colour and background mode,
// left-aligned from the top; lines break at CR LF, LF and CR. The text is clipped to
// the rectangle (and always to the bitmap). With kTextCalcRect nothing is drawn and
// rect.right, rect.bottom are set to enclose the text: left + the widest line's
// advance, top + lines x line height. Returns the height of the text in pixels
// (0 for empty text or when no font is available).
int drawText(Canvas& canvas, std::string_view text, Rect& rect, unsigned flags = 0);

}  // namespace quorel::platform
