#include "png/jpeg_decoder.h"

#include <turbojpeg.h>

#include <limits>
#include <new>

#include "png/png_decoder.h"

namespace quorel {

namespace {

struct Decompressor {
    tjhandle handle = tjInitDecompress();
    Decompressor() = default;
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;
    ~Decompressor() {
        if (handle != nullptr) tjDestroy(handle);
    }
};

}  // namespace

JpegDecodeResult decodeJpegMemory(std::span<const std::uint8_t> bytes) {
    JpegDecodeResult result;
    if (bytes.empty() || bytes.size() > std::numeric_limits<unsigned long>::max()) {
        result.rejected = true;
        return result;
    }
    Decompressor d;
    if (d.handle == nullptr) return result;
    const auto size = static_cast<unsigned long>(bytes.size());
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(d.handle, bytes.data(), size, &width, &height, &subsampling, &colourspace) != 0 ||
        width <= 0 || height <= 0 || colourspace == TJCS_CMYK || colourspace == TJCS_YCCK) {
        result.rejected = true;
        return result;
    }
    const std::uint64_t stride = (std::uint64_t(width) * 24 + 31) / 32 * 4;
    if (stride * std::uint64_t(height) > kMaxPngPixelBytes) return result;

    platform::Bitmap bitmap;
    try {
        bitmap.bits.assign(static_cast<std::size_t>(stride * std::uint64_t(height)), 0);
    } catch (const std::bad_alloc&) {
        return result;
    }
    bitmap.width = width;
    bitmap.height = height;
    bitmap.bitsPerPixel = 24;
    bitmap.stride = static_cast<int>(stride);
    bitmap.bottomUp = true;
    if (tjDecompress2(d.handle, bytes.data(), size, bitmap.bits.data(), width, bitmap.stride, height, TJPF_BGR,
                      TJFLAG_BOTTOMUP | TJFLAG_STOPONWARNING) != 0) {
        result.rejected = true;
        return result;
    }
    result.bitmap = std::move(bitmap);
    return result;
}

}  // namespace quorel
