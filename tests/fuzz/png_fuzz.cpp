// Any bytes as a tile file: the decoder must not crash, leak or read undefined memory,
// the file path and the memory path must agree on the result, and the map's 32-bit
// pictures must be what blit makes of the table's layout.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/raster/raster.h"
#include "png/png_decoder.h"
#include "tests/support/scratch.h"

namespace {

const std::string& scratchFile() {
    static const quorel::test::ScratchFolder folder("png_fuzz");
    static const std::string file = (folder.path / "input.png").string();
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(scratchFile().c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);

    const quorel::PngDecodeResult fromFile = quorel::decodePngFile(scratchFile());
    const quorel::PngDecodeResult fromMemory = quorel::decodePngMemory({data, size});
    if (fromFile.libpngError != fromMemory.libpngError) std::abort();
    if (fromFile.bitmap.has_value() != fromMemory.bitmap.has_value()) std::abort();
    const quorel::PngDecodeResult direct = quorel::decodePngMemory32({data, size});
    if (direct.libpngError != fromMemory.libpngError || direct.bitmap.has_value() != fromMemory.bitmap.has_value()) {
        std::abort();
    }
    if (fromFile.bitmap) {
        const quorel::platform::Bitmap& b = *fromFile.bitmap;
        if (!quorel::platform::usableBitmap(b) || b.bits != fromMemory.bitmap->bits ||
            b.palette != fromMemory.bitmap->palette) {
            std::abort();
        }
        if (direct.bitmap->bitsPerPixel == 32) {
            quorel::platform::Bitmap converted = quorel::platform::createBitmap(b.width, b.height);
            quorel::platform::blit(converted, 0, 0, b.width, b.height, b, 0, 0);
            if (converted.bits != direct.bitmap->bits) std::abort();
        }
        // Every decoded layout must also copy safely into a screen bitmap.
        quorel::platform::Bitmap screen = quorel::platform::createBitmap(64, 64);
        quorel::platform::blit(screen, -3, -3, b.width, b.height, b, 0, 0);
        quorel::platform::stretchBlit(screen, 64, 0, -64, 64, b, 0, 0, b.width, b.height);
    }
    return 0;
}
