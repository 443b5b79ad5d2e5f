// quorel-make-hostile: hostile files for a headless run (tools/hostile-files).
//
//   quorel-make-hostile DIR [GPX_MEGABYTES]
//   quorel-make-hostile --png-seeds DIR
//
// Writes, with DIR/home as the program directory and device root:
//   home/sdmmc/Maps/std/14/<col>/<row>.png  10,000 corrupt tiles, 100 x 100 round the home
//                                           position, of eight kinds in turn (below)
//   home/setmap.txt                         the home position at the block's top-left corner
//   big/big.gpx                             a well-formed GPX track of GPX_MEGABYTES (200)
//   sweep.scn                               taps that move the view over the whole block,
//                                           row by row, on an 800 x 480 screen
// With --png-seeds, only one corrupt tile of each kind, made from a 16 x 16 tile so that
// they stay small, as DIR/hostile-<kind>.png: the damaged files the PNG fuzz target keeps
// (tests/fuzz/regressions/png). The same arguments always give the same bytes.
#include <zlib.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/format.h"
#include "platform/raster/raster.h"
#include "png/png_writer.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr int kZoom = 14;
constexpr int kFirstCol = 14503;  // the home position's tile is 14553, 6398
constexpr int kFirstRow = 6348;
constexpr int kSide = 100;
constexpr std::size_t kIhdrAt = 8;   // the IHDR chunk follows the signature
constexpr std::size_t kIdatAt = 33;  // and the first chunk after it is IDAT (our encoder)

std::uint32_t nextRandom(std::uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

std::uint32_t readBe32(const Bytes& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) << 24 | static_cast<std::uint32_t>(b[at + 1]) << 16 |
           static_cast<std::uint32_t>(b[at + 2]) << 8 | b[at + 3];
}

void writeBe32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

// The CRC of the chunk at `at` made right again after its data was changed.
void fixCrc(Bytes& b, std::size_t at) {
    const std::uint32_t length = readBe32(b, at);
    const uLong crc = crc32(0, b.data() + at + 4, static_cast<uInt>(length + 4));
    writeBe32(b, at + 8 + length, static_cast<std::uint32_t>(crc));
}

// A real tile of noise, so that its compressed data is long.
Bytes validTile(int side) {
    quorel::platform::Bitmap bitmap = quorel::platform::createBitmap(side, side);
    std::uint32_t state = 7;
    for (auto& byte : bitmap.bits) byte = static_cast<std::uint8_t>(nextRandom(state) % 64);
    return quorel::encodePng(bitmap);
}

// Kind i % 8: a saved HTML error page, an empty file, the signature alone, a tile cut
// short, a tile with a byte of its data flipped (a CRC error), a tile claiming
// 2^31-1 x 2^31-1 pixels (CRC right), random bytes after the signature, and a tile whose
// compressed data is noise (CRC right).
Bytes corruptTile(int i, const Bytes& valid, std::uint32_t& state) {
    const Bytes signature(valid.begin(), valid.begin() + 8);
    Bytes b = valid;
    switch (i % 8) {
    case 0: {
        const std::string html =
            "<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>\n"
            "<body><h1>Not Found</h1><p>The requested tile was not found.</p></body></html>\n";
        return Bytes(html.begin(), html.end());
    }
    case 1:
        return {};
    case 2:
        return signature;
    case 3:
        b.resize(9 + nextRandom(state) % (valid.size() - 10));
        return b;
    case 4:
        b[kIdatAt + 8 + nextRandom(state) % 100] ^= 0x55;
        return b;
    case 5:
        writeBe32(b, kIhdrAt + 8, 0x7FFFFFFF);
        writeBe32(b, kIhdrAt + 12, 0x7FFFFFFF);
        fixCrc(b, kIhdrAt);
        return b;
    case 6:
        b = signature;
        for (int n = 0; n < 2000; ++n) b.push_back(static_cast<std::uint8_t>(nextRandom(state)));
        return b;
    default:
        for (std::size_t at = kIdatAt + 8; at < kIdatAt + 8 + readBe32(b, kIdatAt); ++at) {
            b[at] = static_cast<std::uint8_t>(nextRandom(state));
        }
        fixCrc(b, kIdatAt);
        return b;
    }
}

bool writeFile(const fs::path& file, const void* data, std::size_t size) {
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (f == nullptr) return false;
    const bool written = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && written;
}

bool writeBigGpx(const fs::path& file, std::int64_t megabytes) {
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (f == nullptr) return false;
    std::fputs(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"hostile\">\n"
        "<trk><name>big</name><trkseg>\n",
        f);
    std::uint32_t state = 11;
    for (std::int64_t written = 0, n = 0; written < megabytes * 1'000'000; ++n) {
        const double lat = 36.0 + (nextRandom(state) % 1000000) / 1e6;
        const double lon = 139.0 + (nextRandom(state) % 1000000) / 1e6;
        if (n % 5000 == 4999) std::fputs("</trkseg><trkseg>\n", f);
        written += std::fprintf(f, "<trkpt lat=\"%.6f\" lon=\"%.6f\"><ele>%lld</ele></trkpt>\n", lat, lon,
                                static_cast<long long>(n % 3000));
    }
    std::fputs("</trkseg></trk>\n</gpx>\n", f);
    return std::ferror(f) == 0 && std::fclose(f) == 0;
}

// The top-left corner of tile (col, row) at kZoom.
std::array<double, 2> tileCorner(int col, int row) {
    const double n = std::pow(2.0, kZoom);
    const double lon = col / n * 360.0 - 180.0;
    const double lat = std::atan(std::sinh(3.14159265358979 * (1.0 - 2.0 * row / n))) * 180.0 / 3.14159265358979;
    return {lat, lon};
}

// Right taps move the view 390 pixels, left ones 330, the bottom one 230 down, clear of
// every button of an 800 x 480 screen.
std::string sweepScript() {
    std::string s = "tick 6\n";
    const int width = kSide * 256;
    for (int row = 0; row * 230 < width; ++row) {
        const bool right = row % 2 == 0;
        for (int moved = 0; moved < width; moved += right ? 390 : 330) s += right ? "tap 790 240\n" : "tap 70 240\n";
        s += "tap 400 470\n";
    }
    return s + "dump sweep.dump\n";
}

}  // namespace

int main(int argc, char** argv) {
    const bool seeds = argc == 3 && std::string(argv[1]) == "--png-seeds";
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: quorel-make-hostile DIR [GPX_MEGABYTES] | --png-seeds DIR\n");
        return 2;
    }
    const fs::path dir = argv[seeds ? 2 : 1];
    const std::int64_t megabytes = argc == 3 ? std::atoll(argv[2]) : 200;
    const Bytes valid = validTile(seeds ? 16 : 256);
    if (valid.size() < 200 || std::string(valid.begin() + kIdatAt + 4, valid.begin() + kIdatAt + 8) != "IDAT") {
        std::fprintf(stderr, "quorel-make-hostile: the encoder's tile has an unexpected layout\n");
        return 1;
    }
    std::uint32_t state = 3;
    for (int kind = 0; seeds && kind < 8; ++kind) {
        const Bytes tile = corruptTile(kind, valid, state);
        if (!writeFile(dir / quorel::platform::format("hostile-%d.png", kind), tile.data(), tile.size())) return 1;
    }
    if (seeds) return 0;
    for (int i = 0; i < kSide * kSide; ++i) {
        const fs::path folder =
            dir / "home/sdmmc/Maps/std" / std::to_string(kZoom) / std::to_string(kFirstCol + i / kSide);
        std::error_code ec;
        fs::create_directories(folder, ec);
        const Bytes tile = corruptTile(i, valid, state);
        if (!writeFile(folder / (std::to_string(kFirstRow + i % kSide) + ".png"), tile.data(), tile.size())) return 1;
    }
    const auto corner = tileCorner(kFirstCol, kFirstRow);
    const std::string settings =
        quorel::platform::format("DefaultLat %.6f\nDefaultLon %.6f\nZoomLevel 14\n", corner[0], corner[1]);
    const std::string script = sweepScript();
    std::error_code ec;
    fs::create_directories(dir / "big", ec);
    if (!writeFile(dir / "home/setmap.txt", settings.data(), settings.size()) ||
        !writeFile(dir / "sweep.scn", script.data(), script.size()) || !writeBigGpx(dir / "big/big.gpx", megabytes)) {
        return 1;
    }
    return 0;
}
