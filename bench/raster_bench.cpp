// The copies every frame makes: the view cut out of the tile mosaic into the back
// buffer (800 x 480), and presenting the back buffer on the window plainly and
// mirrored for the head-up display, and turned a quarter or a half (the second argument,
// degrees) for a screen mounted on its side, each against a memcpy of the same bytes. Also a
// frame's worth of overlay drawing: a recorded track with a 4-pixel pen and the text
// read-outs.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "map/present.h"
#include "platform/raster/canvas.h"
#include "platform/raster/raster.h"
#include "platform/raster/text.h"
#include "state/map_view.h"

namespace {

namespace raster = quorel::platform;

constexpr int kViewWidth = 800;
constexpr int kViewHeight = 480;
constexpr std::size_t kViewBytes = std::size_t{kViewWidth} * kViewHeight * 4;

raster::Bitmap patterned(int w, int h) {
    raster::Bitmap b = raster::createBitmap(w, h);
    for (int y = 0; y < h; y += 7) raster::fillRect(b, {0, y, w, y + 3}, raster::rgb(y & 255, 120, 200));
    return b;
}

void BM_MemcpyViewBytes(benchmark::State& state) {
    std::vector<std::uint8_t> from(kViewBytes, 7), to(kViewBytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), kViewBytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kViewBytes));
}

// The view window out of an 8 x 5 tile mosaic at an unaligned offset.
void BM_ViewOutOfMosaic(benchmark::State& state) {
    const raster::Bitmap mosaic = patterned(8 * 256, 5 * 256);
    raster::Bitmap frame = raster::createBitmap(kViewWidth, kViewHeight);
    for (auto _ : state) {
        raster::blit(frame, 0, 0, kViewWidth, kViewHeight, mosaic, 613, 389);
        benchmark::DoNotOptimize(frame.bits.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kViewBytes));
}

void BM_PresentFrame(benchmark::State& state) {
    quorel::MapView view;
    view.viewWidth = kViewWidth;
    view.viewHeight = kViewHeight;
    view.frameBitmap = patterned(kViewWidth, kViewHeight);
    view.hudMode = static_cast<int>(state.range(0));
    view.rotation = static_cast<int>(state.range(1));
    const bool sideways = quorel::turnsSideways(view.rotation);
    raster::Bitmap window =
        raster::createBitmap(sideways ? kViewHeight : kViewWidth, sideways ? kViewWidth : kViewHeight);
    view.windowBitmap = &window;
    for (auto _ : state) {
        quorel::presentFrame(view);
        benchmark::DoNotOptimize(window.bits.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::string(view.hudMode == 0   ? "plain"
                               : view.hudMode == 1 ? "mirrored left-right"
                                                   : "mirrored top-bottom") +
                   ", turned " + std::to_string(view.rotation));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kViewBytes));
}

void BM_TrackWithWidePen(benchmark::State& state) {
    raster::Bitmap frame = patterned(kViewWidth, kViewHeight);
    raster::Canvas canvas(frame);
    canvas.pen = raster::Pen{raster::rgb(0, 255, 255), 4};
    const int points = static_cast<int>(state.range(0));
    for (auto _ : state) {
        raster::moveTo(canvas, 10, 240);
        for (int i = 1; i < points; ++i) raster::lineTo(canvas, 10 + i * 780 / points, 240 + (i % 7) * 20 - 60);
        benchmark::DoNotOptimize(frame.bits.data());
    }
    state.SetItemsProcessed(state.iterations() * points);
}

void BM_StatusText(benchmark::State& state) {
    raster::Bitmap frame = patterned(kViewWidth, kViewHeight);
    raster::Canvas canvas(frame);
    canvas.font.height = 22;
    canvas.textColor = raster::rgb(0, 0, 255);
    canvas.backgroundMode = raster::BackgroundMode::Transparent;
    for (auto _ : state) {
        raster::Rect r{kViewWidth - 400, 20, kViewWidth, 38};
        raster::drawText(canvas, "lat36.62159 lon139.77150 wx14553wy6451", r);
        benchmark::DoNotOptimize(frame.bits.data());
    }
}

}  // namespace

BENCHMARK(BM_MemcpyViewBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ViewOutOfMosaic)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PresentFrame)->ArgsProduct({{0, 1, 2}, {0, 90, 180, 270}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TrackWithWidePen)->Arg(200)->Arg(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StatusText)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
