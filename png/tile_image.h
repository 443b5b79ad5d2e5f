#pragma once
// The tile decoder's entry point for the map: the bytes of one tile, as a tile store
// gives them, to a bitmap; and the one place where a tile that cannot be shown is
// reported to the user.
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/raster/bitmap.h"

namespace quorel {

// Shown (through the platform message box) for a tile that cannot be decoded.
inline constexpr std::string_view kNotPngMessage = "PNGﾌｧｲﾙでありません";

// The side of a tile as the map shows it. A tile of twice the side is halved; one of
// any other size is rejected.
inline constexpr int kTilePixels = 256;

struct TileDecodeResult {
    std::optional<platform::Bitmap> bitmap;  // the image, or nothing
    bool rejected = false;                   // not a PNG or JPEG, or a damaged one
    std::string_view reason;                 // why, when rejected
};

// PNG bytes (and anything that is neither PNG nor JPEG, which libpng then rejects) go
// to the PNG decoder, which gives the map's 32-bit layout where it can
// (decodePngMemory32); bytes that open as a JPEG go to the JPEG decoder, which gives the
// truecolour layout of png/png_decoder.h. A pure function of the bytes: worker threads
// may call it. An image too large to decode gives nothing without rejection. storage:
// a buffer a PNG's picture may be made in (createBitmap).
TileDecodeResult decodeTileImage(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t> storage = {});

// The tiles (by file) already reported in this run. A bad file is read again for every
// fallback that covers it and at every refill; the user hears of it once.
struct TileReports {
    std::set<std::string> reported;
};

// The first time for file: writes "quorel: <what>" on standard error and shows the
// text shown in a message box (the PNG-file message unless a map file that cannot be
// read gives its own reason). Messages belong to
// the main thread. True when it reported.
bool reportBadTile(TileReports& reports, const std::string& file, const std::string& what,
                   std::string_view shown = kNotPngMessage);

}  // namespace quorel
