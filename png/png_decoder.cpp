#include "png/png_decoder.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "platform/file_handle.h"
#include "platform/raster/raster.h"
#include "png/png_callbacks.h"

namespace quorel {

namespace {

// Widening lookup: a nibble holding two 2-bit pixels p, q becomes the byte p * 16 + q.
constexpr std::array<png_byte, 16> kWidenLookup = {0x00, 0x01, 0x02, 0x03, 0x10, 0x11, 0x12, 0x13,
                                                   0x20, 0x21, 0x22, 0x23, 0x30, 0x31, 0x32, 0x33};

struct MemorySource {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position;
};

void memoryReader(png_structp png, png_bytep out, png_size_t length) {
    auto* source = static_cast<MemorySource*>(png_get_io_ptr(png));
    if (length > source->size - source->position) png_error(png, "Read Error");
    std::memcpy(out, source->data + source->position, length);
    source->position += length;
}

// libpng's three structures, destroyed together whatever happened.
struct ReadStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_infop endInfo = nullptr;

    ReadStructs() = default;
    ReadStructs(const ReadStructs&) = delete;
    ReadStructs& operator=(const ReadStructs&) = delete;
    ~ReadStructs() {
        if (png != nullptr) png_destroy_read_struct(&png, &info, &endInfo);
    }
};

struct Header {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = 0;
    int interlace = 0;
};

// Rows decoded at a time into the strip that a picture in the 32-bit layout is made
// from: small enough to stay in the processor's cache, large enough that the
// conversion's own set-up is nothing beside it.
constexpr png_uint_32 kStripRows = 16;

// The steps that run under libpng's error recovery. A libpng error long-jumps back
// into the step, which returns false; only trivially destructible objects live in these
// frames, and everything they touch is owned by the caller.

bool readHeader(png_structp png, png_infop info, png_rw_ptr reader, void* io, Header* header) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, io, reader);
    png_read_info(png, info);
    png_get_IHDR(png, info, &header->width, &header->height, &header->bitDepth, &header->colorType, &header->interlace,
                 nullptr, nullptr);
    return true;
}

// Sets the transforms of the format table and fills the colour table.
bool setUpTransforms(png_structp png, png_infop info, const Header* header, png_colorp table, int tableEntries) {
    if (setjmp(png_jmpbuf(png))) return false;
    if (header->colorType & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(png);
    if (header->bitDepth == 2) {
        png_set_read_user_transform_fn(png, widenTwoBitPixels);
        // Declares the widened output so that libpng's row buffer holds it.
        png_set_user_transform_info(png, nullptr, 4, 1);
    } else if (header->bitDepth == 16) {
        png_set_strip_16(png);
    }
    if (header->colorType == PNG_COLOR_TYPE_RGB || header->colorType == PNG_COLOR_TYPE_RGB_ALPHA) png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (tableEntries > 0) {
        std::memset(table, 0, sizeof(png_color) * static_cast<std::size_t>(tableEntries));
        if (header->colorType == PNG_COLOR_TYPE_PALETTE) {
            png_colorp palette = nullptr;
            int count = 0;
            if (png_get_PLTE(png, info, &palette, &count) != 0 && palette != nullptr) {
                if (count > tableEntries) count = tableEntries;
                if (count > 0) std::memcpy(table, palette, sizeof(png_color) * static_cast<std::size_t>(count));
            }
        } else {
            png_build_grayscale_palette(header->bitDepth == 16 ? 8 : header->bitDepth, table);
        }
    }
    return true;
}

bool readImage(png_structp png, png_infop endInfo, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, endInfo);
    return true;
}

// The next count rows of an image that is not interlaced.
bool readRows(png_structp png, png_bytepp rows, png_uint_32 count) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_rows(png, rows, nullptr, count);
    return true;
}

bool readEnd(png_structp png, png_infop endInfo) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_end(png, endInfo);
    return true;
}

// libpng would print its own line for every damaged file, from whichever thread decodes it;
// the program reports a damaged tile itself, once, by name, so the library stays quiet.
[[noreturn]] void failQuietly(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void ignoreWarning(png_structp, png_const_charp) {}

// The table's layout, or (for images that are not interlaced) the 32-bit one.
enum class Layout { Table, ThirtyTwoBits };

PngDecodeResult decodeWith(png_rw_ptr reader, void* io, Layout layout, std::vector<std::uint8_t> storage) {
    PngDecodeResult result;
    ReadStructs s;
    s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, failQuietly, ignoreWarning);
    if (s.png == nullptr) return result;
    s.info = png_create_info_struct(s.png);
    if (s.info == nullptr) return result;
    s.endInfo = png_create_info_struct(s.png);
    if (s.endInfo == nullptr) return result;

    Header header;
    if (!readHeader(s.png, s.info, reader, io, &header)) {
        result.libpngError = true;
        return result;
    }

    int depth = 0;
    int tableEntries = 0;
    if (header.colorType == PNG_COLOR_TYPE_RGB || header.colorType == PNG_COLOR_TYPE_RGB_ALPHA) {
        depth = 24;
    } else {
        depth = header.bitDepth == 2 ? 4 : header.bitDepth == 16 ? 8 : header.bitDepth;
        tableEntries = 1 << depth;
    }
    // Sizes in 64 bits; a picture too large for a Bitmap or for the budget is refused.
    const std::uint64_t stride = (std::uint64_t{header.width} * static_cast<std::uint64_t>(depth) + 31) / 32 * 4;
    const std::uint64_t bytes = stride * header.height;
    constexpr auto intMax = static_cast<std::uint64_t>(std::numeric_limits<int>::max());
    if (header.width == 0 || header.height == 0 || header.width > intMax || header.height > intMax || stride > intMax ||
        bytes > kMaxPngPixelBytes) {
        return result;
    }
    const int width = static_cast<int>(header.width);
    const int height = static_cast<int>(header.height);

    // The image in the table's layout, or a strip of it on its way into the 32-bit picture.
    platform::Bitmap bitmap;
    platform::Bitmap picture;
    std::vector<png_bytep> rows;
    std::vector<png_color> table;
    try {
        if (layout == Layout::ThirtyTwoBits && header.interlace == PNG_INTERLACE_NONE) {
            picture = platform::createBitmap(width, height, std::move(storage));
        }
        const png_uint_32 bitmapRows = picture.valid() ? std::min(header.height, kStripRows) : header.height;
        bitmap.bits.assign(static_cast<std::size_t>(stride) * bitmapRows, 0);
        rows.resize(bitmapRows);
        table.resize(static_cast<std::size_t>(tableEntries));
    } catch (const std::bad_alloc&) {
        return result;
    }
    bitmap.width = width;
    bitmap.height = static_cast<int>(rows.size());
    bitmap.bitsPerPixel = depth;
    bitmap.stride = static_cast<int>(stride);
    // The whole image bottom-up: the PNG's first row is the last row in memory.
    bitmap.bottomUp = !picture.valid();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::size_t row = bitmap.bottomUp ? rows.size() - 1 - i : i;
        rows[i] = bitmap.bits.data() + row * static_cast<std::size_t>(stride);
    }
    if (!setUpTransforms(s.png, s.info, &header, table.data(), tableEntries)) {
        result.libpngError = true;
        return result;
    }
    bitmap.palette.reserve(table.size());
    for (const png_color& c : table) {
        bitmap.palette.push_back((std::uint32_t{c.red} << 16) | (std::uint32_t{c.green} << 8) | c.blue);
    }

    if (!picture.valid()) {
        if (!readImage(s.png, s.endInfo, rows.data())) {
            result.libpngError = true;
            return result;
        }
        result.bitmap = std::move(bitmap);
        return result;
    }
    for (png_uint_32 y = 0; y < header.height; y += kStripRows) {
        const png_uint_32 count = std::min(kStripRows, header.height - y);
        if (!readRows(s.png, rows.data(), count)) {
            result.libpngError = true;
            return result;
        }
        platform::blit(picture, 0, static_cast<int>(y), width, static_cast<int>(count), bitmap, 0, 0);
    }
    if (!readEnd(s.png, s.endInfo)) {
        result.libpngError = true;
        return result;
    }
    result.bitmap = std::move(picture);
    return result;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

void pngFileReader(png_structp png, png_bytep data, png_size_t length) {
    auto* file = static_cast<std::FILE*>(png_get_io_ptr(png));
    if (std::fread(data, 1, length, file) != length) png_error(png, "Read Error");
}

void widenTwoBitPixels(png_structp /*png*/, png_row_infop rowInfo, png_bytep data) {
    if (rowInfo == nullptr || data == nullptr || rowInfo->bit_depth != 2) return;
    const png_size_t outBytes = (static_cast<png_size_t>(rowInfo->width) + 1) / 2;
    const png_size_t inWhole = outBytes / 2;
    png_bytep out = data + outBytes;
    png_bytep in = data + inWhole;
    if (outBytes % 2 == 1) {
        *--out = kWidenLookup[*in >> 4];
    }
    while (in > data) {
        const png_byte b = *--in;
        *--out = kWidenLookup[b & 15];
        *--out = kWidenLookup[b >> 4];
    }
    rowInfo->bit_depth = 4;
    rowInfo->pixel_depth = 4;
    rowInfo->rowbytes = outBytes;
}

PngDecodeResult decodePngFile(const std::filesystem::path& path) {
    // A FIFO or a device in a tile's place is refused without waiting, as a missing tile.
    platform::UniqueFd fd = platform::openRegularFile(path);
    if (!fd) return {};
    const std::unique_ptr<std::FILE, FileCloser> file(::fdopen(fd.get(), "rb"));
    if (!file) return {};
    fd.release();  // the stream owns it now
    return decodeWith(pngFileReader, file.get(), Layout::Table, {});
}

namespace {

PngDecodeResult decodeMemory(std::span<const std::uint8_t> bytes, Layout layout, std::vector<std::uint8_t> storage) {
    MemorySource source{bytes.data(), bytes.size(), 0};
    if (source.data == nullptr) source.size = 0;
    static constexpr std::uint8_t kEmpty[1] = {0};
    if (source.data == nullptr) source.data = kEmpty;
    return decodeWith(memoryReader, &source, layout, std::move(storage));
}

}  // namespace

PngDecodeResult decodePngMemory(std::span<const std::uint8_t> bytes) { return decodeMemory(bytes, Layout::Table, {}); }

PngDecodeResult decodePngMemory32(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t> storage) {
    return decodeMemory(bytes, Layout::ThirtyTwoBits, std::move(storage));
}

}  // namespace quorel
