// Decoding map tiles: decodePngFile side by side with libpng's simplified API reading
// the same files into a plain buffer, for the four kinds of tile a tile server hands
// out (truecolour, palette, grey, truecolour with alpha). The tiles are map-like
// 256 x 256 pictures drawn with the raster layer at start: areas, rivers, roads with
// casings, labels. The goal is decodePngFile at no more than 1.15 times the simplified
// API's time (compare the pairs of lines with the same tile kind).
#include <benchmark/benchmark.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/raster/canvas.h"
#include "platform/raster/raster.h"
#include "platform/raster/text.h"
#include "png/png_decoder.h"

namespace {

namespace raster = quorel::platform;
using raster::Color;
using raster::rgb;

constexpr int kTilesPerKind = 4;

raster::Bitmap mapTile(unsigned seed) {
    std::mt19937 random(seed);
    const auto coord = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    raster::Bitmap tile = raster::createBitmap(256, 256);
    raster::fillRect(tile, {0, 0, 256, 256}, rgb(242, 239, 233));
    for (int i = 0; i < 5; ++i) {  // parks, woods, built-up blocks
        const Color area = std::array<Color, 3>{rgb(200, 250, 204), rgb(173, 209, 158), rgb(224, 223, 223)}[i % 3];
        std::vector<raster::PointF> shape;
        const int cx = coord(0, 255), cy = coord(0, 255);
        for (int k = 0; k < 7; ++k) {
            const double a = k * 6.283185 / 7;
            const double r = coord(20, 70);
            shape.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
        }
        raster::fillPolygon(tile, shape, area);
    }
    raster::Canvas canvas(tile);
    canvas.pen = raster::Pen{rgb(170, 211, 223), 12};  // a river
    raster::moveTo(canvas, -20, coord(0, 255));
    for (int x = 40; x < 300; x += 60) raster::lineTo(canvas, x, coord(0, 255));
    for (int road = 0; road < 9; ++road) {  // roads with casings
        const int width = road < 3 ? 9 : 5;
        const std::int64_t x0 = coord(-40, 300), y0 = coord(-40, 300), x1 = coord(-40, 300), y1 = coord(-40, 300);
        raster::drawLine(tile, x0, y0, x1, y1, raster::Pen{rgb(190, 180, 170), width + 2});
        raster::drawLine(tile, x0, y0, x1, y1, raster::Pen{road < 3 ? rgb(252, 214, 164) : rgb(255, 255, 255), width});
    }
    canvas.backgroundMode = raster::BackgroundMode::Transparent;
    canvas.textColor = rgb(60, 60, 60);
    for (const char* label : {"本町通り", "Quorel Park", "駅前", "River Side"}) {
        canvas.font.height = coord(12, 18);
        raster::Rect r{coord(0, 200), coord(0, 240), 256, 256};
        raster::drawText(canvas, label, r);
    }
    return tile;
}

enum class Kind { Rgb, Palette, Grey, Rgba };

const char* kindName(Kind kind) {
    switch (kind) {
    case Kind::Rgb:
        return "rgb";
    case Kind::Palette:
        return "palette";
    case Kind::Grey:
        return "grey";
    case Kind::Rgba:
        return "rgba";
    }
    return "";
}

// The tile in the layout libpng's simplified writer takes for each kind.
std::string writeTile(const raster::Bitmap& tile, Kind kind, const std::filesystem::path& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 256;
    image.height = 256;
    std::vector<std::uint8_t> pixels;
    std::vector<std::uint8_t> colormap;
    if (kind == Kind::Palette) {
        // The 256 most frequent colours, every pixel mapped to the nearest of them.
        std::map<Color, int> histogram;
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) ++histogram[raster::pixelAt(tile, x, y)];
        }
        std::vector<std::pair<int, Color>> byCount;
        for (const auto& [c, n] : histogram) byCount.push_back({n, c});
        std::sort(byCount.rbegin(), byCount.rend());
        std::vector<Color> palette;
        for (std::size_t i = 0; i < byCount.size() && i < 256; ++i) palette.push_back(byCount[i].second);
        raster::Bitmap indexed = raster::createDib(256, -256, 8, palette);
        raster::blit(indexed, 0, 0, 256, 256, tile, 0, 0);
        for (int y = 0; y < 256; ++y) {
            const auto* row =
                indexed.bits.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(indexed.stride);
            pixels.insert(pixels.end(), row, row + 256);
        }
        for (const Color c : palette) {
            colormap.insert(colormap.end(), {std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c)});
        }
        image.format = PNG_FORMAT_RGB_COLORMAP;
        image.colormap_entries = static_cast<png_uint_32>(palette.size());
    } else {
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                const Color c = raster::pixelAt(tile, x, y);
                const int r = raster::redOf(c), g = raster::greenOf(c), b = raster::blueOf(c);
                if (kind == Kind::Grey) {
                    pixels.push_back(static_cast<std::uint8_t>((r * 77 + g * 150 + b * 29) >> 8));
                } else {
                    pixels.insert(pixels.end(), {std::uint8_t(r), std::uint8_t(g), std::uint8_t(b)});
                    if (kind == Kind::Rgba) {
                        pixels.push_back(static_cast<std::uint8_t>((x / 32 + y / 32) % 2 ? 255 : 160));
                    }
                }
            }
        }
        image.format = kind == Kind::Grey ? PNG_FORMAT_GRAY : kind == Kind::Rgba ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    }
    if (png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0,
                                colormap.empty() ? nullptr : colormap.data()) == 0) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), image.message);
        std::exit(1);
    }
    return path.string();
}

struct TileFiles {
    std::filesystem::path dir;
    std::map<Kind, std::vector<std::string>> files;

    TileFiles() {
        dir = std::filesystem::temp_directory_path() / ("quorel_png_bench_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        for (int i = 0; i < kTilesPerKind; ++i) {
            const raster::Bitmap tile = mapTile(static_cast<unsigned>(1000 + i));
            for (const Kind kind : {Kind::Rgb, Kind::Palette, Kind::Grey, Kind::Rgba}) {
                files[kind].push_back(
                    writeTile(tile, kind, dir / (std::string(kindName(kind)) + std::to_string(i) + ".png")));
            }
        }
    }
    ~TileFiles() { std::filesystem::remove_all(dir); }
};

const TileFiles& tiles() {
    static const TileFiles instance;
    return instance;
}

void BM_DecodePngFile(benchmark::State& state) {
    const auto& files = tiles().files.at(static_cast<Kind>(state.range(0)));
    std::size_t i = 0;
    for (auto _ : state) {
        const quorel::PngDecodeResult result = quorel::decodePngFile(files[i++ % files.size()]);
        if (!result.bitmap) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(result.bitmap->bits.data());
    }
    state.SetLabel(kindName(static_cast<Kind>(state.range(0))));
    state.SetItemsProcessed(state.iterations());
}

// The simplified API into a plain buffer of the same information: BGR, indices with
// their colour map, grey, BGRA.
void BM_SimplifiedApi(benchmark::State& state) {
    const Kind kind = static_cast<Kind>(state.range(0));
    const auto& files = tiles().files.at(kind);
    std::vector<std::uint8_t> buffer(256 * 256 * 4);
    std::vector<std::uint8_t> colormap(256 * 3);
    std::size_t i = 0;
    for (auto _ : state) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (png_image_begin_read_from_file(&image, files[i++ % files.size()].c_str()) == 0) {
            state.SkipWithError("read failed");
            break;
        }
        switch (kind) {
        case Kind::Rgb:
            image.format = PNG_FORMAT_BGR;
            break;
        case Kind::Palette:
            image.format = PNG_FORMAT_BGR_COLORMAP;
            break;
        case Kind::Grey:
            image.format = PNG_FORMAT_GRAY;
            break;
        case Kind::Rgba:
            image.format = PNG_FORMAT_BGRA;
            break;
        }
        png_image_finish_read(&image, nullptr, buffer.data(), 0, kind == Kind::Palette ? colormap.data() : nullptr);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetLabel(kindName(kind));
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

// In pairs, one tile kind after the other.
BENCHMARK(BM_DecodePngFile)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SimplifiedApi)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodePngFile)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SimplifiedApi)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodePngFile)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SimplifiedApi)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodePngFile)->Arg(3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SimplifiedApi)->Arg(3)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
