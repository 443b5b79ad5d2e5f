#include "png/png_decoder.h"

#include <png.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/raster/raster.h"
#include "png/png_callbacks.h"
#include "tests/unit/png/png_fixtures.h"

namespace quorel {
namespace {

using platform::Bitmap;
using platform::Color;
using platform::pixelAt;
using platform::rgb;
using test::Bytes;

const std::filesystem::path kSuite = std::filesystem::path(QUOREL_CORPUS_DIR) / "png";

std::vector<std::filesystem::path> suiteFiles(bool corrupted) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(kSuite)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".png") continue;
        if ((name[0] == 'x') == corrupted) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// What the decoder's format table says a file must become, from its IHDR.
struct ExpectedFormat {
    int depth;
    std::size_t tableEntries;
    int stride;
};

ExpectedFormat expectedFormat(std::uint32_t width, int bitDepth, int colorType) {
    int depth = 0;
    if (colorType == 2 || colorType == 6) {
        depth = 24;
    } else {
        depth = bitDepth == 2 ? 4 : bitDepth == 16 ? 8 : bitDepth;
    }
    const std::size_t entries = depth == 24 ? 0 : std::size_t{1} << depth;
    return {depth, entries, static_cast<int>((width * static_cast<std::uint32_t>(depth) + 31) / 32 * 4)};
}

std::uint32_t be32(const Bytes& b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

// The chunks of a file, skipping the colour-management ones (gAMA, sRGB, iCCP, cHRM),
// so that libpng's simplified API, which would apply them, reads the samples as stored.
Bytes withoutColourChunks(const Bytes& file, std::vector<Color>* plte) {
    Bytes out(file.begin(), file.begin() + 8);
    std::size_t at = 8;
    while (at + 12 <= file.size()) {
        const std::uint32_t length = be32(file, at);
        const std::string type(file.begin() + static_cast<long>(at) + 4, file.begin() + static_cast<long>(at) + 8);
        const std::size_t end = at + 12 + length;
        if (end > file.size()) break;
        if (type == "PLTE" && plte != nullptr) {
            for (std::uint32_t i = 0; i + 2 < length; i += 3) {
                plte->push_back(rgb(file[at + 8 + i], file[at + 9 + i], file[at + 10 + i]));
            }
        }
        if (type != "gAMA" && type != "sRGB" && type != "iCCP" && type != "cHRM") {
            out.insert(out.end(), file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(end));
        }
        at = end;
    }
    return out;
}

// libpng's simplified API, as an independent decoding: RGBA of 8 bits for files of up
// to 8 bits, linear (16-bit, premultiplied) RGBA for 16-bit files.
struct Reference {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool sixteen = false;
    std::vector<std::uint16_t> rgba;

    std::uint16_t at(std::uint32_t x, std::uint32_t y, int channel) const { return rgba[(y * width + x) * 4 + static_cast<std::uint32_t>(channel)]; }
};

std::optional<Reference> simplifiedDecode(const Bytes& bytes) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()) == 0) return std::nullopt;
    Reference ref;
    ref.sixteen = (image.format & PNG_FORMAT_FLAG_LINEAR) != 0;
    image.format = ref.sixteen ? PNG_FORMAT_LINEAR_RGB_ALPHA : PNG_FORMAT_RGBA;
    ref.width = image.width;
    ref.height = image.height;
    const std::size_t samples = std::size_t{image.width} * image.height * 4;
    bool ok = false;
    if (ref.sixteen) {
        ref.rgba.resize(samples);
        ok = png_image_finish_read(&image, nullptr, ref.rgba.data(), 0, nullptr) != 0;
    } else {
        std::vector<std::uint8_t> eight(samples);
        ok = png_image_finish_read(&image, nullptr, eight.data(), 0, nullptr) != 0;
        ref.rgba.assign(eight.begin(), eight.end());
    }
    png_image_free(&image);
    if (!ok) return std::nullopt;
    return ref;
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
    int decoded = 0, basic = 0;
    for (const auto& file : suiteFiles(false)) {
        SCOPED_TRACE(file.filename().string());
        const Bytes bytes = test::readFile(file.string());
        ASSERT_GT(bytes.size(), 33u);
        const std::uint32_t width = be32(bytes, 16), height = be32(bytes, 20);
        const int bitDepth = bytes[24], colorType = bytes[25];

        const PngDecodeResult result = decodePngFile(file);
        ASSERT_FALSE(result.libpngError);
        ASSERT_TRUE(result.bitmap.has_value());
        const Bitmap& b = *result.bitmap;
        const ExpectedFormat want = expectedFormat(width, bitDepth, colorType);
        EXPECT_EQ(b.width, static_cast<int>(width));
        EXPECT_EQ(b.height, static_cast<int>(height));
        EXPECT_EQ(b.bitsPerPixel, want.depth);
        EXPECT_EQ(b.stride, want.stride);
        EXPECT_TRUE(b.bottomUp);
        EXPECT_EQ(b.bits.size(), static_cast<std::size_t>(want.stride) * height);
        ASSERT_EQ(b.palette.size(), want.tableEntries);

        std::vector<Color> plte;
        const Bytes plain = withoutColourChunks(bytes, &plte);
        if (colorType == 3) {
            for (std::size_t i = 0; i < b.palette.size(); ++i) {
                EXPECT_EQ(b.palette[i], i < plte.size() ? plte[i] : 0u) << "entry " << i;
            }
        } else if (want.tableEntries > 0) {
            const int levels = (1 << (bitDepth == 16 ? 8 : bitDepth)) - 1;
            for (int i = 0; i < static_cast<int>(b.palette.size()); ++i) {
                const int grey = i <= levels ? i * 255 / levels : 0;
                EXPECT_EQ(b.palette[static_cast<std::size_t>(i)], rgb(grey, grey, grey)) << "entry " << i;
            }
        }

        // The memory path gives the same bitmap.
        const PngDecodeResult fromMemory = decodePngMemory(bytes);
        ASSERT_TRUE(fromMemory.bitmap.has_value());
        EXPECT_EQ(fromMemory.bitmap->bits, b.bits);
        EXPECT_EQ(fromMemory.bitmap->palette, b.palette);

        const auto ref = simplifiedDecode(plain);
        ASSERT_TRUE(ref.has_value());
        int mismatches = 0;
        for (std::uint32_t y = 0; y < height; ++y) {
            for (std::uint32_t x = 0; x < width; ++x) {
                const Color ours = pixelAt(b, static_cast<int>(x), static_cast<int>(y));
                const int channel[3] = {platform::redOf(ours), platform::greenOf(ours), platform::blueOf(ours)};
                for (int c = 0; c < 3; ++c) {
                    const bool same = ref->sixteen ? consistentWithPremultiplied(channel[c], ref->at(x, y, c), ref->at(x, y, 3))
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
        basic += file.filename().string().rfind("bas", 0) == 0;
    }
    EXPECT_EQ(basic, 30);
    EXPECT_GE(decoded, 120);
}

TEST(PngSuite, EveryCorruptedImageIsALibpngErrorWithNoBitmap) {
    int files = 0;
    for (const auto& file : suiteFiles(true)) {
        SCOPED_TRACE(file.filename().string());
        const PngDecodeResult result = decodePngFile(file);
        EXPECT_TRUE(result.libpngError);
        EXPECT_FALSE(result.bitmap.has_value());
        const PngDecodeResult fromMemory = decodePngMemory(test::readFile(file.string()));
        EXPECT_TRUE(fromMemory.libpngError);
        ++files;
    }
    EXPECT_EQ(files, 14);
}

Bytes rowOf(std::initializer_list<int> bytes) {
    Bytes row;
    for (const int b : bytes) row.push_back(static_cast<std::uint8_t>(b));
    return row;
}

PngDecodeResult decodeSpec(const test::PngSpec& spec) {
    const Bytes bytes = test::writePng(spec);
    EXPECT_FALSE(bytes.empty());
    return decodePngMemory(bytes);
}

TEST(PngDecoder, TruecolourTileBecomesBottomUpBgrWithStride768) {
    test::PngSpec spec{256, 256, 8, PNG_COLOR_TYPE_RGB, false, {}, {}};
    for (int y = 0; y < 256; ++y) {
        Bytes row;
        for (int x = 0; x < 256; ++x) {
            row.push_back(static_cast<std::uint8_t>(x));
            row.push_back(static_cast<std::uint8_t>(y));
            row.push_back(static_cast<std::uint8_t>(x ^ y));
        }
        spec.rows.push_back(row);
    }
    const PngDecodeResult r = decodeSpec(spec);
    ASSERT_TRUE(r.bitmap);
    const Bitmap& b = *r.bitmap;
    EXPECT_EQ(b.bitsPerPixel, 24);
    EXPECT_EQ(b.stride, 768);
    EXPECT_TRUE(b.palette.empty());
    // The PNG's first row is the last in memory; pixel (3, 0) holds B, G, R.
    const std::size_t at = 255u * 768u + 3u * 3u;
    EXPECT_EQ(b.bits[at], 3 ^ 0);
    EXPECT_EQ(b.bits[at + 1], 0);
    EXPECT_EQ(b.bits[at + 2], 3);
    EXPECT_EQ(pixelAt(b, 200, 100), rgb(200, 100, 200 ^ 100));
}

TEST(PngDecoder, AlphaIsDroppedNotBlended) {
    const test::PngSpec rgba{2, 1, 8, PNG_COLOR_TYPE_RGB_ALPHA, false, {rowOf({10, 20, 30, 0, 200, 100, 50, 128})}, {}};
    const PngDecodeResult a = decodeSpec(rgba);
    ASSERT_TRUE(a.bitmap);
    EXPECT_EQ(a.bitmap->bitsPerPixel, 24);
    EXPECT_EQ(pixelAt(*a.bitmap, 0, 0), rgb(10, 20, 30));
    EXPECT_EQ(pixelAt(*a.bitmap, 1, 0), rgb(200, 100, 50));
    const test::PngSpec greyAlpha{2, 1, 16, PNG_COLOR_TYPE_GRAY_ALPHA, false, {rowOf({0x80, 0xFF, 0, 0, 0x12, 0x34, 0xFF, 0xFF})}, {}};
    const PngDecodeResult g = decodeSpec(greyAlpha);
    ASSERT_TRUE(g.bitmap);
    EXPECT_EQ(g.bitmap->bitsPerPixel, 8);
    EXPECT_EQ(pixelAt(*g.bitmap, 0, 0), rgb(0x80, 0x80, 0x80));
    EXPECT_EQ(pixelAt(*g.bitmap, 1, 0), rgb(0x12, 0x12, 0x12));
}

TEST(PngDecoder, SixteenBitSamplesKeepTheirHighByte) {
    // 0x12FF would round to 0x13; the decoder strips, so it reads 0x12.
    const test::PngSpec grey{2, 1, 16, PNG_COLOR_TYPE_GRAY, false, {rowOf({0x12, 0xFF, 0xFE, 0x80})}, {}};
    const PngDecodeResult g = decodeSpec(grey);
    ASSERT_TRUE(g.bitmap);
    EXPECT_EQ(g.bitmap->bitsPerPixel, 8);
    EXPECT_EQ(g.bitmap->palette.size(), 256u);
    EXPECT_EQ(g.bitmap->palette[200], rgb(200, 200, 200));
    EXPECT_EQ(pixelAt(*g.bitmap, 0, 0), rgb(0x12, 0x12, 0x12));
    EXPECT_EQ(pixelAt(*g.bitmap, 1, 0), rgb(0xFE, 0xFE, 0xFE));
    const test::PngSpec colour{1, 1, 16, PNG_COLOR_TYPE_RGB, false, {rowOf({0x12, 0xFF, 0x00, 0x01, 0xAB, 0xCD})}, {}};
    const PngDecodeResult c = decodeSpec(colour);
    ASSERT_TRUE(c.bitmap);
    EXPECT_EQ(pixelAt(*c.bitmap, 0, 0), rgb(0x12, 0x00, 0xAB));
}

TEST(PngDecoder, PaletteTablesArePaddedWithBlackAndCutToTheDepth) {
    std::vector<std::uint8_t> sixteen;
    for (int i = 0; i < 16; ++i) {
        sixteen.insert(sixteen.end(), {static_cast<std::uint8_t>(i * 16), 7, static_cast<std::uint8_t>(255 - i)});
    }
    const test::PngSpec eightBit{3, 1, 8, PNG_COLOR_TYPE_PALETTE, false, {rowOf({0, 15, 9})}, sixteen};
    const PngDecodeResult p = decodeSpec(eightBit);
    ASSERT_TRUE(p.bitmap);
    ASSERT_EQ(p.bitmap->palette.size(), 256u);
    EXPECT_EQ(p.bitmap->palette[15], rgb(240, 7, 240));
    EXPECT_EQ(std::count(p.bitmap->palette.begin(), p.bitmap->palette.end(), 0u), 240);
    EXPECT_EQ(pixelAt(*p.bitmap, 2, 0), rgb(144, 7, 246));

    // A 1-bit file whose PLTE holds four entries (libpng's writer will not make one).
    Bytes file = test::pngHeader(9, 1, 1, 3);
    for (const Bytes& chunk : {test::pngChunk("PLTE", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}),
                               test::pngIdat({rowOf({0x80, 0x80})}), test::pngChunk("IEND", {})}) {
        file.insert(file.end(), chunk.begin(), chunk.end());
    }
    const PngDecodeResult cut = decodePngMemory(file);
    ASSERT_TRUE(cut.bitmap);
    EXPECT_EQ(cut.bitmap->palette, (std::vector<Color>{rgb(1, 2, 3), rgb(4, 5, 6)}));
    EXPECT_EQ(cut.bitmap->stride, 4);
    EXPECT_EQ(pixelAt(*cut.bitmap, 0, 0), rgb(4, 5, 6));
    EXPECT_EQ(pixelAt(*cut.bitmap, 8, 0), rgb(4, 5, 6));
    EXPECT_EQ(pixelAt(*cut.bitmap, 1, 0), rgb(1, 2, 3));
}

// Two-bit rows of every width from 1 to 9, grey and palette, plain and interlaced:
// widened to four bits with every index kept and the stride of a 4-bit row.
TEST(PngDecoder, TwoBitPixelsWidenToFourBitsKeepingTheirValues) {
    for (const int colorType : {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_PALETTE}) {
        for (const bool interlaced : {false, true}) {
            for (int width = 1; width <= 9; ++width) {
                SCOPED_TRACE("type " + std::to_string(colorType) + " width " + std::to_string(width) +
                             (interlaced ? " interlaced" : ""));
                test::PngSpec spec{width, 3, 2, colorType, interlaced, {}, {}};
                if (colorType == PNG_COLOR_TYPE_PALETTE) spec.palette = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};
                const auto value = [](int x, int y) { return (x * 3 + y) % 4; };
                for (int y = 0; y < 3; ++y) {
                    Bytes row(static_cast<std::size_t>((width + 3) / 4), 0);
                    for (int x = 0; x < width; ++x) {
                        row[static_cast<std::size_t>(x / 4)] |= static_cast<std::uint8_t>(value(x, y) << (6 - 2 * (x % 4)));
                    }
                    spec.rows.push_back(row);
                }
                const PngDecodeResult r = decodeSpec(spec);
                ASSERT_TRUE(r.bitmap);
                const Bitmap& b = *r.bitmap;
                EXPECT_EQ(b.bitsPerPixel, 4);
                EXPECT_EQ(b.stride, (width * 4 + 31) / 32 * 4);
                ASSERT_EQ(b.palette.size(), 16u);
                for (int y = 0; y < 3; ++y) {
                    const std::uint8_t* memRow = b.bits.data() + static_cast<std::size_t>(2 - y) * static_cast<std::size_t>(b.stride);
                    for (int x = 0; x < width; ++x) {
                        const int nibble = (x % 2 == 0) ? memRow[x / 2] >> 4 : memRow[x / 2] & 15;
                        EXPECT_EQ(nibble, value(x, y)) << x << "," << y;
                    }
                }
                if (colorType == PNG_COLOR_TYPE_GRAY) {
                    EXPECT_EQ(b.palette[1], rgb(85, 85, 85));
                    EXPECT_EQ(b.palette[2], rgb(170, 170, 170));
                    EXPECT_EQ(b.palette[4], 0u);
                } else {
                    EXPECT_EQ(b.palette[3], rgb(9, 9, 9));
                }
            }
        }
    }
}

TEST(PngDecoder, WideningWorksBackwardsInPlace) {
    const struct {
        png_uint_32 width;
        Bytes in;
        Bytes out;
    } cases[] = {
        {1, {0xC0}, {0x30}},
        {4, {0x1B}, {0x01, 0x23}},
        {5, {0x1B, 0x80}, {0x01, 0x23, 0x20}},  // the odd last group
        {8, {0xE4, 0x1B}, {0x32, 0x10, 0x01, 0x23}},
    };
    for (const auto& c : cases) {
        Bytes row = c.in;
        row.resize(c.out.size() + 2, 0xEE);
        png_row_info info{};
        info.width = c.width;
        info.bit_depth = 2;
        info.pixel_depth = 2;
        info.channels = 1;
        info.rowbytes = c.in.size();
        widenTwoBitPixels(nullptr, &info, row.data());
        EXPECT_EQ(Bytes(row.begin(), row.begin() + static_cast<long>(c.out.size())), c.out) << c.width;
        EXPECT_EQ(row[c.out.size()], 0xEE);  // nothing written past the widened row
        EXPECT_EQ(info.bit_depth, 4);
        EXPECT_EQ(info.pixel_depth, 4);
        EXPECT_EQ(info.rowbytes, c.out.size());
    }
}

TEST(PngDecoder, OneBitGreyOfWidth33HasAStrideOfEightBytes) {
    Bytes row(5, 0);
    row[0] = 0x80;  // pixel 0 white
    row[4] = 0x80;  // pixel 32 white
    const test::PngSpec spec{33, 2, 1, PNG_COLOR_TYPE_GRAY, false, {row, Bytes(5, 0)}, {}};
    const PngDecodeResult r = decodeSpec(spec);
    ASSERT_TRUE(r.bitmap);
    EXPECT_EQ(r.bitmap->stride, 8);
    EXPECT_EQ(r.bitmap->palette, (std::vector<Color>{0, rgb(255, 255, 255)}));
    EXPECT_EQ(pixelAt(*r.bitmap, 32, 0), rgb(255, 255, 255));
    EXPECT_EQ(pixelAt(*r.bitmap, 31, 0), 0u);
    EXPECT_EQ(pixelAt(*r.bitmap, 0, 1), 0u);
}

TEST(PngDecoder, DamagedOrHostileDataIsRefusedSafely) {
    const Bytes good = test::readFile((kSuite / "basn2c08.png").string());
    // Truncated anywhere: a libpng error, never garbage from a short read.
    for (const std::size_t keep : {0ul, 4ul, 8ul, 20ul, 33ul, 60ul, good.size() / 2, good.size() - 13, good.size() - 1}) {
        const Bytes cut(good.begin(), good.begin() + static_cast<long>(keep));
        EXPECT_TRUE(decodePngMemory(cut).libpngError) << keep;
        const std::filesystem::path path = std::filesystem::temp_directory_path() / "quorel_truncated.png";
        test::writeFile(path.string(), cut);
        const PngDecodeResult fromFile = decodePngFile(path);
        EXPECT_TRUE(fromFile.libpngError) << keep;
        EXPECT_FALSE(fromFile.bitmap) << keep;
        std::filesystem::remove(path);
    }
    // A valid header announcing a picture beyond the decoder's budget: nothing, no error.
    Bytes huge = test::pngHeader(60000, 60000, 8, 2);
    for (const Bytes& chunk : {test::pngIdat({rowOf({1, 2, 3})}), test::pngChunk("IEND", {})}) {
        huge.insert(huge.end(), chunk.begin(), chunk.end());
    }
    const PngDecodeResult big = decodePngMemory(huge);
    EXPECT_FALSE(big.bitmap);
    EXPECT_FALSE(big.libpngError);
    // Text, an empty span, a directory, a missing file.
    const std::string text = "this is not a picture\n";
    EXPECT_TRUE(decodePngMemory(Bytes(text.begin(), text.end())).libpngError);
    EXPECT_TRUE(decodePngMemory({}).libpngError);
    const PngDecodeResult dir = decodePngFile(std::filesystem::temp_directory_path());
    EXPECT_FALSE(dir.bitmap);
    EXPECT_FALSE(dir.libpngError);
    const PngDecodeResult missing = decodePngFile("/nonexistent/quorel/14/1/2.png");
    EXPECT_FALSE(missing.bitmap);
    EXPECT_FALSE(missing.libpngError);
}

}  // namespace
}  // namespace quorel
