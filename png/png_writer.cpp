#include "png/png_writer.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/raster/raster.h"

namespace quorel {

namespace {

struct WriteStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;

    WriteStructs() = default;
    WriteStructs(const WriteStructs&) = delete;
    WriteStructs& operator=(const WriteStructs&) = delete;
    ~WriteStructs() {
        if (png != nullptr) png_destroy_write_struct(&png, &info);
    }
};

void appendToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    bool stored = true;
    try {
        out->insert(out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        stored = false;
    }
    if (!stored) png_error(png, "out of memory");  // outside the handler: it long-jumps
}

void flushNothing(png_structp) {}

struct Layout {
    png_uint_32 width;
    png_uint_32 height;
    int bitDepth;
    int colorType;
    const png_color* palette;
    int paletteEntries;
    int zlibLevel;
};

// Runs under libpng's error recovery; only trivially destructible locals.
bool writeImage(png_structp png, png_infop info, std::vector<std::uint8_t>* out, const Layout* layout,
                png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, out, appendToVector, flushNothing);
    png_set_IHDR(png, info, layout->width, layout->height, layout->bitDepth, layout->colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (layout->paletteEntries > 0) png_set_PLTE(png, info, layout->palette, layout->paletteEntries);
    png_set_compression_level(png, layout->zlibLevel);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

}  // namespace

std::vector<std::uint8_t> encodePng(const platform::Bitmap& bitmap, int zlibLevel) {
    std::vector<std::uint8_t> out;
    if (!platform::usableBitmap(bitmap)) return out;
    const bool indexed = bitmap.bitsPerPixel <= 8;
    const std::size_t rowBytes =
        indexed ? (static_cast<std::size_t>(bitmap.width) * static_cast<std::size_t>(bitmap.bitsPerPixel) + 7) / 8
                : static_cast<std::size_t>(bitmap.width) * 3;
    std::vector<png_byte> pixels;
    std::vector<png_bytep> rows;
    std::vector<png_color> palette;
    try {
        pixels.resize(rowBytes * static_cast<std::size_t>(bitmap.height));
        rows.resize(static_cast<std::size_t>(bitmap.height));
        if (indexed) {
            palette.resize(std::size_t{1} << bitmap.bitsPerPixel);
            for (std::size_t i = 0; i < palette.size() && i < bitmap.palette.size(); ++i) {
                const std::uint32_t c = bitmap.palette[i];
                palette[i] =
                    png_color{static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8), static_cast<png_byte>(c)};
            }
        }
    } catch (const std::bad_alloc&) {
        return out;
    }
    for (int y = 0; y < bitmap.height; ++y) {
        png_bytep row = pixels.data() + static_cast<std::size_t>(y) * rowBytes;
        rows[static_cast<std::size_t>(y)] = row;
        if (indexed) {
            const int memRow = bitmap.bottomUp ? bitmap.height - 1 - y : y;
            std::memcpy(row,
                        bitmap.bits.data() + static_cast<std::size_t>(memRow) * static_cast<std::size_t>(bitmap.stride),
                        rowBytes);
        } else {
            for (int x = 0; x < bitmap.width; ++x) {
                const platform::Color c = platform::pixelAt(bitmap, x, y);
                row[3 * x] = static_cast<png_byte>(platform::redOf(c));
                row[3 * x + 1] = static_cast<png_byte>(platform::greenOf(c));
                row[3 * x + 2] = static_cast<png_byte>(platform::blueOf(c));
            }
        }
    }
    WriteStructs s;
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (s.png == nullptr) return out;
    s.info = png_create_info_struct(s.png);
    if (s.info == nullptr) return out;
    const Layout layout{static_cast<png_uint_32>(bitmap.width),
                        static_cast<png_uint_32>(bitmap.height),
                        indexed ? bitmap.bitsPerPixel : 8,
                        indexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB,
                        palette.data(),
                        static_cast<int>(palette.size()),
                        std::clamp(zlibLevel, 0, 9)};
    if (!writeImage(s.png, s.info, &out, &layout, rows.data())) out.clear();
    return out;
}

bool writePngFile(const platform::Bitmap& bitmap, const std::filesystem::path& path) {
    const std::vector<std::uint8_t> bytes = encodePng(bitmap);
    if (bytes.empty()) return false;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace quorel
