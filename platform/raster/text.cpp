#include "platform/raster/text.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "platform/utf8.h"

namespace quorel::platform {

namespace {

// The program's names for its face, as fontconfig should understand them.
constexpr const char* kFontAliases = R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <alias binding="strong">
    <family>ＭＳ 明朝</family>
    <prefer><family>IPAMincho</family><family>IPA明朝</family></prefer>
    <default><family>serif</family></default>
  </alias>
  <alias binding="strong">
    <family>MS Mincho</family>
    <prefer><family>IPAMincho</family><family>IPA明朝</family></prefer>
    <default><family>serif</family></default>
  </alias>
</fontconfig>
)";

constexpr int kDefaultCellHeight = 16;
constexpr int kMaxPixelsPerEm = 512;  // larger requests are drawn at this size
constexpr std::size_t kMaxOpenFonts = 32;

struct Glyph {
    int advance = 0;  // pixels to the next glyph
    int left = 0;     // bitmap offset from the pen position
    int top = 0;      // bitmap top above the baseline
    int width = 0;
    int rows = 0;
    std::vector<std::uint8_t> coverage;  // width x rows, 0..255
};

struct FaceFile {
    std::string path;
    int index = 0;
    bool embolden = false;
};

struct OpenFont {
    FT_Face face = nullptr;
    FontMetrics metrics;
    bool embolden = false;
    std::unordered_map<FT_UInt, Glyph> glyphs;

    OpenFont() = default;
    OpenFont(const OpenFont&) = delete;
    OpenFont& operator=(const OpenFont&) = delete;
    ~OpenFont() {
        if (face != nullptr) FT_Done_Face(face);
    }
};

int roundDiv(std::int64_t num, std::int64_t den) { return static_cast<int>((num * 2 + den) / (den * 2)); }

class TextEngine {
public:
    TextEngine() {
        if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
        config_ = FcInitLoadConfigAndFonts();
        if (config_ != nullptr) {
            FcConfigParseAndLoadFromMemory(config_, reinterpret_cast<const FcChar8*>(kFontAliases), FcTrue);
        }
    }
    ~TextEngine() {
        fonts_.clear();
        if (library_ != nullptr) FT_Done_FreeType(library_);
        if (config_ != nullptr) FcConfigDestroy(config_);
    }
    TextEngine(const TextEngine&) = delete;
    TextEngine& operator=(const TextEngine&) = delete;

    std::mutex mutex;

    FaceFile resolve(const std::string& face, int weight) {
        const auto key = std::make_pair(face, weight);
        if (const auto it = resolved_.find(key); it != resolved_.end()) return it->second;
        FaceFile found;
        if (config_ != nullptr) {
            FcPattern* pattern = FcPatternCreate();
            if (!face.empty()) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face.c_str()));
            FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(std::clamp(weight, 1, 1000)));
            FcConfigSubstitute(config_, pattern, FcMatchPattern);
            FcDefaultSubstitute(pattern);
            FcResult result = FcResultNoMatch;
            FcPattern* match = FcFontMatch(config_, pattern, &result);
            if (match != nullptr) {
                FcChar8* file = nullptr;
                int index = 0;
                FcBool embolden = FcFalse;
                if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file != nullptr) {
                    found.path = reinterpret_cast<const char*>(file);
                }
                if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) found.index = index;
                if (FcPatternGetBool(match, FC_EMBOLDEN, 0, &embolden) == FcResultMatch) {
                    found.embolden = embolden != FcFalse;
                }
                FcPatternDestroy(match);
            }
            FcPatternDestroy(pattern);
        }
        // A weight the face lacks is made up, as the window system would.
        if (weight >= 600) found.embolden = found.embolden || !found.path.empty();
        resolved_.emplace(key, found);
        return found;
    }

    OpenFont* open(const Font& spec) {
        const auto key = std::make_tuple(spec.face, spec.weight, spec.height);
        if (const auto it = fonts_.find(key); it != fonts_.end()) return it->second.get();
        if (library_ == nullptr) return nullptr;
        const FaceFile file = resolve(spec.face, spec.weight);
        if (file.path.empty()) return nullptr;
        auto font = std::make_unique<OpenFont>();
        if (FT_New_Face(library_, file.path.c_str(), file.index, &font->face) != 0) {
            font->face = nullptr;
            return nullptr;
        }
        FT_Face face = font->face;
        font->embolden = file.embolden && (face->style_flags & FT_STYLE_FLAG_BOLD) == 0;
        if (!setSize(*font, spec.height)) return nullptr;
        if (fonts_.size() >= kMaxOpenFonts) fonts_.clear();
        OpenFont* raw = font.get();
        fonts_.emplace(key, std::move(font));
        return raw;
    }

    const Glyph& glyph(OpenFont& font, char32_t c) {
        const FT_UInt index = FT_Get_Char_Index(font.face, c);
        if (const auto it = font.glyphs.find(index); it != font.glyphs.end()) return it->second;
        Glyph g;
        FT_GlyphSlot slot = font.face->glyph;
        if (FT_Load_Glyph(font.face, index, FT_LOAD_DEFAULT) == 0) {
            if (font.embolden) FT_GlyphSlot_Embolden(slot);
            g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
            if (slot->format == FT_GLYPH_FORMAT_BITMAP || FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0) {
                copyBitmap(slot, g);
            }
        }
        return font.glyphs.emplace(index, std::move(g)).first->second;
    }

private:
    static bool setSize(OpenFont& font, int height) {
        FT_Face face = font.face;
        int cell = height == 0 ? kDefaultCellHeight : height;
        int ppem = 0;
        std::int64_t winAscent = 0, winDescent = 0;
        const std::int64_t unitsPerEm = face->units_per_EM > 0 ? face->units_per_EM : 1000;
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        if (os2 != nullptr && os2->version != 0xFFFFu && os2->usWinAscent + os2->usWinDescent > 0) {
            winAscent = os2->usWinAscent;
            winDescent = os2->usWinDescent;
        } else if (face->ascender - face->descender > 0) {
            winAscent = face->ascender;
            winDescent = -face->descender;
        } else {
            winAscent = unitsPerEm * 8 / 10;
            winDescent = unitsPerEm - winAscent;
        }
        if (cell > 0) {
            cell = std::min(cell, kMaxPixelsPerEm * 4);
            ppem = roundDiv(std::int64_t{cell} * unitsPerEm, winAscent + winDescent);
        } else {
            ppem = cell == std::numeric_limits<int>::min() ? kMaxPixelsPerEm : -cell;
        }
        ppem = std::clamp(ppem, 1, kMaxPixelsPerEm);
        if (FT_IS_SCALABLE(face)) {
            if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(ppem)) != 0) return false;
        } else if (face->num_fixed_sizes > 0) {
            if (FT_Select_Size(face, 0) != 0) return false;
        } else {
            return false;
        }
        font.metrics.pixelsPerEm = ppem;
        font.metrics.ascent = roundDiv(winAscent * ppem, unitsPerEm);
        font.metrics.descent = roundDiv(winDescent * ppem, unitsPerEm);
        font.metrics.lineHeight = font.metrics.ascent + font.metrics.descent;
        return true;
    }

    static void copyBitmap(FT_GlyphSlot slot, Glyph& g) {
        const FT_Bitmap& bm = slot->bitmap;
        if (bm.buffer == nullptr || bm.width == 0 || bm.rows == 0) return;
        g.width = static_cast<int>(bm.width);
        g.rows = static_cast<int>(bm.rows);
        g.left = slot->bitmap_left;
        g.top = slot->bitmap_top;
        g.coverage.assign(static_cast<std::size_t>(g.width) * static_cast<std::size_t>(g.rows), 0);
        const int pitch = bm.pitch < 0 ? -bm.pitch : bm.pitch;
        for (int y = 0; y < g.rows; ++y) {
            const int memRow = bm.pitch < 0 ? g.rows - 1 - y : y;
            const std::uint8_t* src = bm.buffer + static_cast<std::size_t>(memRow) * static_cast<std::size_t>(pitch);
            std::uint8_t* dst = g.coverage.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(g.width);
            for (int x = 0; x < g.width; ++x) {
                switch (bm.pixel_mode) {
                case FT_PIXEL_MODE_MONO:
                    dst[x] = ((src[x >> 3] >> (7 - (x & 7))) & 1) ? 255 : 0;
                    break;
                case FT_PIXEL_MODE_GRAY:
                    dst[x] = bm.num_grays == 256 || bm.num_grays < 2
                                 ? src[x]
                                 : static_cast<std::uint8_t>(src[x] * 255 / (bm.num_grays - 1));
                    break;
                case FT_PIXEL_MODE_BGRA:
                    dst[x] = src[4 * x + 3];
                    break;
                default:
                    dst[x] = 0;
                    break;
                }
            }
        }
    }

    FT_Library library_ = nullptr;
    FcConfig* config_ = nullptr;
    std::map<std::pair<std::string, int>, FaceFile> resolved_;
    std::map<std::tuple<std::string, int, int>, std::unique_ptr<OpenFont>> fonts_;
};

TextEngine& engine() {
    static TextEngine instance;
    return instance;
}

// Lines of the text as code points, split by the line-break rules.
std::vector<std::u32string> splitLines(std::string_view text, bool singleLine) {
    const std::u32string all = decodeUtf8(text);
    std::vector<std::u32string> lines(1);
    for (std::size_t i = 0; i < all.size(); ++i) {
        const char32_t c = all[i];
        if (c == U'\r' || c == U'\n') {
            if (singleLine) continue;
            if (c == U'\r' && i + 1 < all.size() && all[i + 1] == U'\n') ++i;
            lines.emplace_back();
            continue;
        }
        lines.back().push_back(c);
    }
    return lines;
}

void blendPixel(Bitmap& b, int x, int y, Color color, int alpha) {
    if (alpha <= 0) return;
    if (alpha >= 255) {
        setPixel(b, x, y, color);
        return;
    }
    const Color under = pixelAt(b, x, y);
    const auto mix = [alpha](int over, int base) { return (over * alpha + base * (255 - alpha) + 127) / 255; };
    setPixel(
        b, x, y,
        rgb(mix(redOf(color), redOf(under)), mix(greenOf(color), greenOf(under)), mix(blueOf(color), blueOf(under))));
}

// Blends one glyph with its pen position at (penX, baseline), inside clip.
void drawGlyph(Bitmap& b, const Glyph& g, std::int64_t penX, std::int64_t baseline, const Rect& clip, Color color) {
    const std::int64_t x0 = penX + g.left, y0 = baseline - g.top;
    const std::int64_t xa = std::max<std::int64_t>(x0, clip.left),
                       xb = std::min<std::int64_t>(x0 + g.width, clip.right);
    const std::int64_t ya = std::max<std::int64_t>(y0, clip.top), yb = std::min<std::int64_t>(y0 + g.rows, clip.bottom);
    color &= 0xFFFFFFu;
    const bool direct = b.bitsPerPixel == 32;
    for (std::int64_t y = ya; y < yb; ++y) {
        const std::uint8_t* cov =
            g.coverage.data() + static_cast<std::size_t>(y - y0) * static_cast<std::size_t>(g.width);
        std::uint8_t* row = nullptr;
        if (direct) {
            const std::int64_t memRow = b.bottomUp ? b.height - 1 - y : y;
            row = b.bits.data() + static_cast<std::size_t>(memRow) * static_cast<std::size_t>(b.stride);
        }
        for (std::int64_t x = xa; x < xb; ++x) {
            const int alpha = cov[x - x0];
            if (alpha == 0) continue;
            if (!direct) {
                blendPixel(b, static_cast<int>(x), static_cast<int>(y), color, alpha);
                continue;
            }
            std::uint8_t* p = row + 4 * x;
            if (alpha == 255) {
                std::memcpy(p, &color, sizeof color);
                continue;
            }
            const int channels[3] = {blueOf(color), greenOf(color), redOf(color)};
            for (int k = 0; k < 3; ++k) {
                p[k] = static_cast<std::uint8_t>((channels[k] * alpha + p[k] * (255 - alpha) + 127) / 255);
            }
        }
    }
}

}  // namespace

std::string fontFileFor(std::string_view face, int weight) {
    TextEngine& e = engine();
    const std::lock_guard lock(e.mutex);
    return e.resolve(std::string(face), weight).path;
}

std::optional<FontMetrics> fontMetrics(const Font& font) {
    TextEngine& e = engine();
    const std::lock_guard lock(e.mutex);
    const OpenFont* open = e.open(font);
    if (open == nullptr) return std::nullopt;
    return open->metrics;
}

int drawText(Canvas& canvas, std::string_view text, Rect& rect, unsigned flags) {
    if (text.empty()) {
        if (flags & kTextCalcRect) {
            rect.right = rect.left;
            rect.bottom = rect.top;
        }
        return 0;
    }
    TextEngine& e = engine();
    const std::lock_guard lock(e.mutex);
    OpenFont* font = e.open(canvas.font);
    if (font == nullptr) {
        if (flags & kTextCalcRect) {
            rect.right = rect.left;
            rect.bottom = rect.top;
        }
        return 0;
    }
    const std::vector<std::u32string> lines = splitLines(text, (flags & kTextSingleLine) != 0);
    const int lineHeight = font->metrics.lineHeight;
    const std::int64_t textHeight = static_cast<std::int64_t>(lines.size()) * lineHeight;

    if (flags & kTextCalcRect) {
        std::int64_t widest = 0;
        for (const std::u32string& line : lines) {
            std::int64_t width = 0;
            for (const char32_t c : line) width += e.glyph(*font, c).advance;
            widest = std::max(widest, width);
        }
        rect.right = static_cast<int>(std::min<std::int64_t>(rect.left + widest, std::numeric_limits<int>::max()));
        rect.bottom = static_cast<int>(std::min<std::int64_t>(rect.top + textHeight, std::numeric_limits<int>::max()));
        return static_cast<int>(std::min<std::int64_t>(textHeight, std::numeric_limits<int>::max()));
    }

    Bitmap* target = canvas.target;
    if (target == nullptr || !usableBitmap(*target)) {
        return static_cast<int>(std::min<std::int64_t>(textHeight, std::numeric_limits<int>::max()));
    }
    Rect clip{0, 0, target->width, target->height};
    if (!(flags & kTextNoClip)) {
        clip.left = std::max(clip.left, rect.left);
        clip.top = std::max(clip.top, rect.top);
        clip.right = std::min(clip.right, rect.right);
        clip.bottom = std::min(clip.bottom, rect.bottom);
    }
    // A rectangle off the bitmap or inverted leaves nothing to draw, and no range to clamp to.
    if (clip.left >= clip.right || clip.top >= clip.bottom) {
        return static_cast<int>(std::min<std::int64_t>(textHeight, std::numeric_limits<int>::max()));
    }
    std::int64_t lineTop = rect.top;
    for (const std::u32string& line : lines) {
        if (lineTop >= clip.bottom) break;
        if (lineTop + lineHeight > clip.top) {
            if (canvas.backgroundMode == BackgroundMode::Opaque) {
                std::int64_t width = 0;
                for (const char32_t c : line) width += e.glyph(*font, c).advance;
                const Rect extent{
                    static_cast<int>(std::clamp<std::int64_t>(rect.left, clip.left, clip.right)),
                    static_cast<int>(std::clamp<std::int64_t>(lineTop, clip.top, clip.bottom)),
                    static_cast<int>(std::clamp<std::int64_t>(rect.left + width, clip.left, clip.right)),
                    static_cast<int>(std::clamp<std::int64_t>(lineTop + lineHeight, clip.top, clip.bottom))};
                fillRect(*target, extent, canvas.backgroundColor);
            }
            std::int64_t penX = rect.left;
            const std::int64_t baseline = lineTop + font->metrics.ascent;
            for (const char32_t c : line) {
                const Glyph& g = e.glyph(*font, c);
                drawGlyph(*target, g, penX, baseline, clip, canvas.textColor);
                penX += g.advance;
            }
        }
        lineTop += lineHeight;
    }
    return static_cast<int>(std::min<std::int64_t>(textHeight, std::numeric_limits<int>::max()));
}

}  // namespace quorel::platform
