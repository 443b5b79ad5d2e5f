#include "png/png_decoder.h"

#include <png.h>
#include <unistd.h>

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

Bytes craft(std::uint32_t width, std::uint32_t height, int bitDepth, int colorType, const Bytes& plte,
            const std::vector<Bytes>& rows) {
    Bytes file = test::pngHeader(width, height, bitDepth, colorType);
    std::vector<Bytes> chunks;
    if (!plte.empty()) chunks.push_back(test::pngChunk("PLTE", plte));
    chunks.push_back(test::pngIdat(rows));
    chunks.push_back(test::pngChunk("IEND", {}));
    for (const Bytes& chunk : chunks) file.insert(file.end(), chunk.begin(), chunk.end());
    return file;
}

// Cases the suite does not hold: a short PLTE padded to 256 entries, a PLTE longer than
// the depth allows (libpng's writer refuses to make one), a 1-bit row of 33 pixels.
TEST(PngDecoder, ColourTablesAndStridesOfCraftedFiles) {
    Bytes sixteen;
    for (int i = 0; i < 16; ++i) sixteen.insert(sixteen.end(), {static_cast<std::uint8_t>(i * 16), 7, 9});
    const PngDecodeResult p = decodePngMemory(craft(3, 1, 8, 3, sixteen, {rowOf({0, 15, 9})}));
    ASSERT_TRUE(p.bitmap);
    ASSERT_EQ(p.bitmap->palette.size(), 256u);
    EXPECT_EQ(p.bitmap->palette[15], rgb(240, 7, 9));
    EXPECT_EQ(std::count(p.bitmap->palette.begin(), p.bitmap->palette.end(), 0u), 240);

    const PngDecodeResult cut = decodePngMemory(craft(9, 1, 1, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, {rowOf({0x80, 0x80})}));
    ASSERT_TRUE(cut.bitmap);
    EXPECT_EQ(cut.bitmap->palette, (std::vector<Color>{rgb(1, 2, 3), rgb(4, 5, 6)}));
    EXPECT_EQ(pixelAt(*cut.bitmap, 8, 0), rgb(4, 5, 6));

    const PngDecodeResult grey = decodePngMemory(craft(33, 2, 1, 0, {}, {rowOf({0x80, 0, 0, 0, 0x80}), Bytes(5, 0)}));
    ASSERT_TRUE(grey.bitmap);
    EXPECT_EQ(grey.bitmap->stride, 8);
    EXPECT_EQ(grey.bitmap->palette, (std::vector<Color>{0, rgb(255, 255, 255)}));
    EXPECT_EQ(pixelAt(*grey.bitmap, 32, 0), rgb(255, 255, 255));
    EXPECT_EQ(pixelAt(*grey.bitmap, 31, 0), 0u);
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

TEST(PngDecoder, DamagedOrHostileDataIsRefusedSafely) {
    const Bytes good = test::readFile((kSuite / "basn2c08.png").string());
    // Truncated anywhere: a libpng error, never garbage from a short read.
    for (const std::size_t keep : {0ul, 4ul, 8ul, 20ul, 33ul, 60ul, good.size() / 2, good.size() - 13, good.size() - 1}) {
        const Bytes cut(good.begin(), good.begin() + static_cast<long>(keep));
        EXPECT_TRUE(decodePngMemory(cut).libpngError) << keep;
        const std::filesystem::path path = std::filesystem::temp_directory_path() / ("quorel_truncated_" + std::to_string(getpid()) + ".png");
        test::writeFile(path.string(), cut);
        const PngDecodeResult fromFile = decodePngFile(path);
        EXPECT_TRUE(fromFile.libpngError) << keep;
        EXPECT_FALSE(fromFile.bitmap) << keep;
        std::filesystem::remove(path);
    }
    // A valid header announcing a picture beyond the decoder's budget: nothing, no error.
    const PngDecodeResult big = decodePngMemory(craft(60000, 60000, 8, 2, {}, {rowOf({1, 2, 3})}));
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
