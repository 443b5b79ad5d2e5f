#include "png/png_decoder.h"

#include <png.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/raster/raster.h"
#include "png/png_writer.h"
#include "tests/support/scratch.h"

namespace quorel {
namespace {

using platform::Bitmap;
using platform::Color;
using platform::pixelAt;
using platform::rgb;
using Bytes = std::vector<std::uint8_t>;

const std::filesystem::path kSuite = std::filesystem::path(QUOREL_CORPUS_DIR) / "png";

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::uint32_t be32(const Bytes& b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) |
           b[at + 3];
}

// The file without its colour-management chunks (gAMA, sRGB, iCCP, cHRM), so that libpng's
// simplified API, which would apply them, reads the samples as stored; and its PLTE.
Bytes withoutColourChunks(const Bytes& file, std::vector<Color>& plte) {
    Bytes out(file.begin(), file.begin() + 8);
    for (std::size_t at = 8, end = 0; at + 12 <= file.size(); at = end) {
        const std::uint32_t length = be32(file, at);
        const std::string type(file.begin() + static_cast<long>(at) + 4, file.begin() + static_cast<long>(at) + 8);
        end = at + 12 + length;
        if (end > file.size()) break;
        for (std::uint32_t i = 0; type == "PLTE" && i + 2 < length; i += 3) {
            plte.push_back(rgb(file[at + 8 + i], file[at + 9 + i], file[at + 10 + i]));
        }
        if (type != "gAMA" && type != "sRGB" && type != "iCCP" && type != "cHRM") {
            out.insert(out.end(), file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(end));
        }
    }
    return out;
}

// libpng's simplified API as an independent decoding: 8-bit RGBA for files of up to 8
// bits, linear (16-bit, premultiplied) RGBA for 16-bit files.
struct Reference {
    std::uint32_t width = 0;
    bool sixteen = false;
    std::vector<std::uint16_t> rgba;
    std::uint16_t at(std::uint32_t x, std::uint32_t y, int c) const {
        return rgba[(y * width + x) * 4 + static_cast<std::uint32_t>(c)];
    }
};

std::optional<Reference> simplifiedDecode(const Bytes& bytes) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()) == 0) return std::nullopt;
    Reference ref{image.width, (image.format & PNG_FORMAT_FLAG_LINEAR) != 0, {}};
    image.format = ref.sixteen ? PNG_FORMAT_LINEAR_RGB_ALPHA : PNG_FORMAT_RGBA;
    ref.rgba.resize(std::size_t{image.width} * image.height * 4);
    std::vector<std::uint8_t> eight(ref.sixteen ? 0 : ref.rgba.size());
    const bool ok =
        png_image_finish_read(&image, nullptr, ref.sixteen ? static_cast<void*>(ref.rgba.data()) : eight.data(), 0,
                              nullptr) != 0;
    png_image_free(&image);
    if (!ref.sixteen) std::copy(eight.begin(), eight.end(), ref.rgba.begin());
    return ok ? std::optional(ref) : std::nullopt;
}

// Our 8-bit sample h (the high byte of the file's 16-bit sample c) against the
// reference's premultiplied c * a / 65535.
bool consistentWithPremultiplied(int h, std::uint16_t premultiplied, std::uint16_t alpha) {
    if (alpha == 65535) return premultiplied >> 8 == h;
    if (alpha == 0) return true;  // the colour of a transparent pixel is lost in the reference
    const double lo = h * 256.0 * alpha / 65535.0 - 1.0, hi = (h * 256.0 + 255.0) * alpha / 65535.0 + 1.0;
    return premultiplied >= lo && premultiplied <= hi;
}

TEST(PngSuite, EveryGoodImageDecodesToTheTableFormatWithTheReferencePixels) {
    int decoded = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kSuite)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".png" || name[0] == 'x') continue;
        SCOPED_TRACE(name);
        const Bytes bytes = readFile(entry.path());
        ASSERT_GT(bytes.size(), 33u);
        const std::uint32_t width = be32(bytes, 16), height = be32(bytes, 20);
        const int bitDepth = bytes[24], colorType = bytes[25];
        const PngDecodeResult result = decodePngFile(entry.path());
        EXPECT_FALSE(result.libpngError);
        ASSERT_TRUE(result.bitmap.has_value());
        const Bitmap& b = *result.bitmap;

        // The format table: truecolour to 24 bits; 2 bits widened to 4, 16 cut to 8;
        // a colour table of 2^depth entries (PLTE then black, or a grey ramp).
        const int depth = colorType == 2 || colorType == 6 ? 24 : bitDepth == 2 ? 4 : bitDepth == 16 ? 8 : bitDepth;
        const int stride = static_cast<int>((width * static_cast<std::uint32_t>(depth) + 31) / 32 * 4);
        EXPECT_EQ(std::tuple(b.width, b.height, b.bitsPerPixel, b.stride, b.bottomUp),
                  std::tuple(static_cast<int>(width), static_cast<int>(height), depth, stride, true));
        EXPECT_EQ(b.bits.size(), static_cast<std::size_t>(stride) * height);
        ASSERT_EQ(b.palette.size(), depth == 24 ? 0u : std::size_t{1} << depth);
        std::vector<Color> plte;
        const Bytes plain = withoutColourChunks(bytes, plte);
        const int levels = (1 << (bitDepth == 16 ? 8 : bitDepth)) - 1;
        for (std::size_t i = 0; i < b.palette.size(); ++i) {
            const int grey = static_cast<int>(i) <= levels ? static_cast<int>(i) * 255 / levels : 0;
            EXPECT_EQ(b.palette[i], colorType == 3 ? (i < plte.size() ? plte[i] : 0u) : rgb(grey, grey, grey)) << i;
        }
        const PngDecodeResult fromMemory = decodePngMemory(bytes);  // the embedded images' path
        ASSERT_TRUE(fromMemory.bitmap.has_value());
        EXPECT_EQ(fromMemory.bitmap->bits, b.bits);
        EXPECT_EQ(fromMemory.bitmap->palette, b.palette);
        // The map's layout: the same pixels as blit's conversion of the table's layout
        // (strips of 16 rows for files that are not interlaced, the whole image for the rest).
        Bitmap converted = platform::createBitmap(b.width, b.height);
        platform::blit(converted, 0, 0, b.width, b.height, b, 0, 0);
        const PngDecodeResult direct = decodePngMemory32(bytes);
        ASSERT_TRUE(direct.bitmap.has_value());
        const Bitmap& d = bytes[28] != 0 ? b : converted;  // byte 28: the interlace method
        EXPECT_EQ(std::tuple(direct.bitmap->bitsPerPixel, direct.bitmap->bottomUp, direct.bitmap->bits),
                  std::tuple(d.bitsPerPixel, d.bottomUp, d.bits));

        const auto ref = simplifiedDecode(plain);
        ASSERT_TRUE(ref.has_value());
        int mismatches = 0;
        for (std::uint32_t y = 0; y < height; ++y) {
            for (std::uint32_t x = 0; x < width; ++x) {
                const Color ours = pixelAt(b, static_cast<int>(x), static_cast<int>(y));
                const int channel[3] = {platform::redOf(ours), platform::greenOf(ours), platform::blueOf(ours)};
                for (int c = 0; c < 3; ++c) {
                    const bool same = ref->sixteen
                                          ? consistentWithPremultiplied(channel[c], ref->at(x, y, c), ref->at(x, y, 3))
                                          : channel[c] == ref->at(x, y, c);
                    if (!same && mismatches++ < 3) {
                        ADD_FAILURE() << "pixel " << x << "," << y << " channel " << c << ": " << channel[c]
                                      << " against reference " << ref->at(x, y, c) << " alpha " << ref->at(x, y, 3);
                    }
                }
            }
        }
        EXPECT_EQ(mismatches, 0);
        ++decoded;
    }
    EXPECT_EQ(decoded, 121);
}

// A short read is a libpng error, never garbage; a picture beyond the budget is nothing,
// without an error.
TEST(PngDecoder, TruncatedAndOversizedFilesAreRefused) {
    const Bytes good = readFile(kSuite / "basn2c08.png");
    const std::filesystem::path path = test::scratchFolder("truncated") / "cut.png";
    for (const std::size_t keep : {0ul, 8ul, 33ul, 60ul, good.size() / 2, good.size() - 13, good.size() - 1}) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(good.data()), static_cast<long>(keep));
        const PngDecodeResult fromFile = decodePngFile(path);
        EXPECT_TRUE(fromFile.libpngError) << keep;
        EXPECT_FALSE(fromFile.bitmap) << keep;
        const Bytes cut(good.begin(), good.begin() + static_cast<long>(keep));
        EXPECT_TRUE(decodePngMemory(cut).libpngError) << keep;
        EXPECT_TRUE(decodePngMemory32(cut).libpngError) << keep;
    }
    std::filesystem::remove(path);
    Bytes big = good;                          // announcing 60000 x 60000 pixels, with the header's CRC made right
    for (const std::size_t at : {18u, 22u}) {  // the low halves of width and height: 32 becomes 0xEA60
        big[at] = 0xEA;
        big[at + 1] = 0x60;
    }
    const uLong crc = crc32(0, &big[12], 17);
    for (int i = 0; i < 4; ++i) big[29 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    const PngDecodeResult refused = decodePngMemory(big);
    EXPECT_FALSE(refused.bitmap);
    EXPECT_FALSE(refused.libpngError);
}

}  // namespace
}  // namespace quorel
