#include "png/tile_image.h"

#include "platform/files.h"
#include "platform/message_box.h"
#include "png/png_decoder.h"

namespace quorel {

bool loadTileImage(MapView& view, const std::filesystem::path& path) {
    view.tileBitmap.reset();
    if (!platform::fileExists(path)) return false;
    PngDecodeResult decoded = decodePngFile(path);
    if (decoded.libpngError) {
        platform::showMessage(kNotPngMessage);
        return false;
    }
    if (!decoded.bitmap) return false;
    view.tileBitmap = std::move(decoded.bitmap);
    return true;
}

}  // namespace quorel
