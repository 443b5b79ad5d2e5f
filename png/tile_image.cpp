#include "png/tile_image.h"

#include <cstdio>

#include "platform/files.h"
#include "platform/message_box.h"
#include "png/png_decoder.h"

namespace quorel {

bool loadTileImage(MapView& view, const std::filesystem::path& path, TileReports& reports) {
    view.tileBitmap.reset();
    if (!platform::fileExists(path)) return false;
    PngDecodeResult decoded = decodePngFile(path);
    if (decoded.libpngError) {
        if (reports.reported.insert(path.string()).second) {
            std::fprintf(stderr, "quorel: tile %s is not a PNG file\n", path.c_str());
            platform::showMessage(kNotPngMessage);
        }
        return false;
    }
    if (!decoded.bitmap) return false;
    view.tileBitmap = std::move(decoded.bitmap);
    return true;
}

}  // namespace quorel
