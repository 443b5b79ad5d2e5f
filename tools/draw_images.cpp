// Draws the program's twelve images (buttons, gauges, placeholder, splash) with the
// raster layer and writes them as the PNG files of resources/.
//
//   quorel_draw_images DIR [ICON_DIR]   writes DIR/<file>.png for every image, and the
//                                       desktop icon as ICON_DIR/quorel-<size>.png
//
// Shapes are drawn eight times larger and averaged down, which gives smooth edges at
// 20 to 30 pixels; text comes from the text layer in the program's face. The
// placeholder tile is a 16-colour palette image. The pin image keeps a pure white
// background because the map draws it with AND.
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/raster/canvas.h"
#include "platform/raster/raster.h"
#include "platform/raster/text.h"
#include "png/png_writer.h"

namespace {

using quorel::platform::Bitmap;
using quorel::platform::Color;
using quorel::platform::PointF;
using quorel::platform::rgb;
namespace raster = quorel::platform;

constexpr int kSuper = 8;
constexpr double kPi = 3.14159265358979;

const Color kWhite = rgb(255, 255, 255);
const Color kBlack = rgb(0, 0, 0);
const Color kInk = rgb(48, 48, 56);
const Color kFrame = rgb(112, 112, 120);
const Color kFace = rgb(250, 250, 250);

// A picture drawn at kSuper times its size, in the coordinates of the final image.
class Sketch {
public:
    Sketch(int width, int height, Color background)
        : width_(width), height_(height), hi_(raster::createBitmap(width * kSuper, height * kSuper)) {
        raster::fillRect(hi_, {0, 0, width * kSuper, height * kSuper}, background);
    }

    void polygon(std::vector<PointF> points, Color color) {
        for (PointF& p : points) {
            p.x *= kSuper;
            p.y *= kSuper;
        }
        raster::fillPolygon(hi_, points, color);
    }

    void rect(double x0, double y0, double x1, double y1, Color color) {
        polygon({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, color);
    }

    void circle(double cx, double cy, double r, Color color) { polygon(circlePoints(cx, cy, r, false), color); }

    // A ring between radii r - width / 2 and r + width / 2 (outer clockwise, inner
    // counter-clockwise, so the non-zero rule leaves the hole).
    void ring(double cx, double cy, double r, double width, Color color) {
        std::vector<PointF> points = circlePoints(cx, cy, r + width / 2, false);
        const std::vector<PointF> inner = circlePoints(cx, cy, r - width / 2, true);
        points.push_back(points.front());
        points.insert(points.end(), inner.begin(), inner.end());
        points.push_back(inner.front());
        polygon(points, color);
    }

    // A quarter of a disc, from angle a0 to a1 (radians, clockwise on the screen).
    void sector(double cx, double cy, double r, double a0, double a1, Color color) {
        std::vector<PointF> points{{cx, cy}};
        for (int i = 0; i <= 32; ++i) {
            const double a = a0 + (a1 - a0) * i / 32;
            points.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
        }
        polygon(points, color);
    }

    // A line with round ends, width in final pixels.
    void line(double x0, double y0, double x1, double y1, double width, Color color) {
        int w = static_cast<int>(std::lround(width * kSuper));
        w += w % 2;
        raster::drawLine(hi_, std::llround(x0 * kSuper), std::llround(y0 * kSuper), std::llround(x1 * kSuper),
                         std::llround(y1 * kSuper), {color, w});
    }

    // A square button face with a one-pixel frame.
    void buttonFace() {
        rect(0, 0, width_, height_, kFrame);
        rect(1, 1, width_ - 1, height_ - 1, kFace);
    }

    Bitmap finish() const {
        Bitmap out = raster::createBitmap(width_, height_);
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                int r = 0, g = 0, b = 0;
                for (int j = 0; j < kSuper; ++j) {
                    for (int i = 0; i < kSuper; ++i) {
                        const Color c = raster::pixelAt(hi_, x * kSuper + i, y * kSuper + j);
                        r += raster::redOf(c);
                        g += raster::greenOf(c);
                        b += raster::blueOf(c);
                    }
                }
                constexpr int n = kSuper * kSuper;
                raster::setPixel(out, x, y, rgb((r + n / 2) / n, (g + n / 2) / n, (b + n / 2) / n));
            }
        }
        return out;
    }

private:
    static std::vector<PointF> circlePoints(double cx, double cy, double r, bool counterClockwise) {
        std::vector<PointF> points;
        constexpr int n = 96;
        for (int i = 0; i < n; ++i) {
            const double a = 2 * kPi * (counterClockwise ? n - i : i) / n;
            points.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
        }
        return points;
    }

    int width_;
    int height_;
    Bitmap hi_;
};

// Puts cells side by side into one strip.
Bitmap strip(const std::vector<Bitmap>& cells, int pitch, int width, int height, Color background) {
    Bitmap out = raster::createBitmap(width, height);
    raster::fillRect(out, {0, 0, width, height}, background);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        raster::blit(out, static_cast<int>(i) * pitch, 0, cells[i].width, cells[i].height, cells[i], 0, 0);
    }
    return out;
}

std::vector<PointF> starPoints(double cx, double cy, double outer, double inner) {
    std::vector<PointF> points;
    for (int i = 0; i < 10; ++i) {
        const double a = -kPi / 2 + i * kPi / 5;
        const double r = i % 2 == 0 ? outer : inner;
        points.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
    }
    return points;
}

// 128: follow the GPS. Left cell (on) a filled yellow star, right cell (off) a white one.
Bitmap starButton() {
    std::vector<Bitmap> cells;
    for (const bool on : {true, false}) {
        Sketch s(30, 30, kFace);
        s.buttonFace();
        s.polygon(starPoints(15, 16, 13, 5.4), on ? rgb(150, 96, 0) : rgb(120, 120, 128));
        s.polygon(starPoints(15, 16, 10.6, 4.2), on ? rgb(255, 204, 0) : kWhite);
        if (on) s.polygon(starPoints(14, 14.5, 5, 2.1), rgb(255, 236, 128));
        cells.push_back(s.finish());
    }
    return strip(cells, 30, 60, 30, kFace);
}

// 130 and 129: magnifier with a plus or a minus.
Bitmap magnifier(bool plus) {
    Sketch s(30, 30, kFace);
    s.buttonFace();
    s.line(18.5, 18.5, 26, 26, 4.5, kInk);
    s.circle(12.5, 12.5, 8.5, rgb(214, 234, 255));
    s.ring(12.5, 12.5, 8.5, 2.5, kInk);
    s.line(8.5, 12.5, 16.5, 12.5, 2.5, kInk);
    if (plus) s.line(12.5, 8.5, 12.5, 16.5, 2.5, kInk);
    return s.finish();
}

// 131: back home: a house.
Bitmap homeButton() {
    Sketch s(25, 25, kFace);
    s.buttonFace();
    s.rect(6, 11, 19, 21.5, rgb(84, 60, 40));
    s.rect(7.2, 12, 17.8, 20.3, rgb(255, 240, 200));
    s.rect(10.8, 14.5, 14.2, 20.3, rgb(140, 84, 40));
    s.rect(16, 4.5, 18.2, 9.5, rgb(84, 60, 40));
    s.polygon({{2.5, 12.5}, {12.5, 3}, {22.5, 12.5}, {20.6, 12.5}, {12.5, 5.1}, {4.4, 12.5}}, rgb(84, 60, 40));
    s.polygon({{4.4, 12.5}, {12.5, 5.1}, {20.6, 12.5}, {18.4, 12.5}, {12.5, 7.4}, {6.6, 12.5}}, rgb(208, 56, 40));
    return s.finish();
}

// 127: home position at zoom 14: a quartered target.
Bitmap originButton() {
    Sketch s(20, 20, kFace);
    s.buttonFace();
    const double c = 10, r = 7.2;
    for (int q = 0; q < 4; ++q) {
        s.sector(c, c, r, q * kPi / 2, (q + 1) * kPi / 2, q % 2 == 0 ? rgb(220, 32, 32) : kWhite);
    }
    s.ring(c, c, r, 1.4, kInk);
    s.line(c, 1.5, c, 18.5, 1.2, kInk);
    s.line(1.5, c, 18.5, c, 1.2, kInk);
    return s.finish();
}

// 133: display off and the automatic switch-off. Left cell a bright bulb, right a dim one.
Bitmap bulbButton() {
    std::vector<Bitmap> cells;
    for (const bool bright : {true, false}) {
        Sketch s(25, 25, kFace);
        s.buttonFace();
        const double cx = 12.5, cy = 10;
        if (bright) {
            for (int i = 0; i < 8; ++i) {
                const double a = -kPi / 2 + i * kPi / 4;
                if (i == 4) continue;  // the base is below
                s.line(cx + 8.2 * std::cos(a), cy + 8.2 * std::sin(a), cx + 10.6 * std::cos(a), cy + 10.6 * std::sin(a),
                       1.4, rgb(240, 150, 0));
            }
        }
        const Color glass = bright ? rgb(255, 226, 48) : rgb(150, 150, 156);
        const Color edge = bright ? rgb(176, 120, 0) : rgb(90, 90, 96);
        s.circle(cx, cy, 6.6, edge);
        s.polygon({{cx - 3.4, cy + 4}, {cx + 3.4, cy + 4}, {cx + 2.8, cy + 9}, {cx - 2.8, cy + 9}}, edge);
        s.circle(cx, cy, 5.5, glass);
        s.polygon({{cx - 2.4, cy + 3}, {cx + 2.4, cy + 3}, {cx + 2, cy + 8}, {cx - 2, cy + 8}}, glass);
        if (bright) s.circle(cx - 2, cy - 2, 1.8, rgb(255, 250, 210));
        s.rect(cx - 3, cy + 9, cx + 3, cy + 13.4, rgb(110, 110, 118));
        s.line(cx - 2.6, cy + 10.5, cx + 2.6, cy + 10.5, 0.8, rgb(200, 200, 206));
        s.line(cx - 2.6, cy + 12.2, cx + 2.6, cy + 12.2, 0.8, rgb(200, 200, 206));
        cells.push_back(s.finish());
    }
    return strip(cells, 25, 50, 25, kFace);
}

// 136: point mode, and the pin the map draws at route points with AND. The background
// is pure white (AND keeps the map there); the tip of the needle is the bottom centre
// of each 30-pixel cell.
Bitmap pointButton() {
    std::vector<Bitmap> cells;
    for (const bool on : {true, false}) {
        Sketch s(30, 30, kWhite);
        const Color head = on ? rgb(255, 0, 0) : rgb(160, 160, 160);
        const Color shine = on ? rgb(255, 150, 150) : rgb(216, 216, 216);
        s.line(15, 14, 15, 29.6, 1.6, kBlack);
        s.circle(15, 9.5, 8.4, kBlack);
        s.circle(15, 9.5, 7, head);
        s.circle(12.4, 7, 2.4, shine);
        cells.push_back(s.finish());
    }
    return strip(cells, 30, 60, 30, kWhite);
}

// 137: remove the last route point: an eraser.
Bitmap eraseButton() {
    Sketch s(25, 25, kFace);
    s.buttonFace();
    // A block tilted by 45 degrees: the rubber end at the lower left, the sleeve above.
    const auto at = [](double u, double v) {
        const double c = std::cos(-kPi / 4), d = std::sin(-kPi / 4);
        return PointF{11.5 + u * c - v * d, 13.5 + u * d + v * c};
    };
    s.polygon({at(-9.5, -4.8), at(9.5, -4.8), at(9.5, 4.8), at(-9.5, 4.8)}, kInk);
    s.polygon({at(-8.5, -3.8), at(-1.5, -3.8), at(-1.5, 3.8), at(-8.5, 3.8)}, rgb(255, 140, 160));
    s.polygon({at(-0.5, -3.8), at(8.5, -3.8), at(8.5, 3.8), at(-0.5, 3.8)}, rgb(70, 120, 220));
    s.line(10, 21.5, 21.5, 21.5, 1.2, kInk);
    return s.finish();
}

// 116: battery gauge, five cells 69 pixels apart: four, three green bars, two yellow,
// one red, none. The gauge copies 65 pixels of each cell.
Bitmap batteryStrip() {
    const struct {
        int bars;
        Color color;
    } levels[] = {{4, rgb(32, 176, 48)}, {3, rgb(32, 176, 48)}, {2, rgb(232, 184, 0)}, {1, rgb(224, 32, 32)}, {0, 0}};
    std::vector<Bitmap> cells;
    for (const auto& level : levels) {
        Sketch s(69, 36, kWhite);
        s.rect(3, 5, 57, 31, kInk);
        s.rect(57, 12, 62, 24, kInk);
        s.rect(5.5, 7.5, 54.5, 28.5, kWhite);
        for (int i = 0; i < level.bars; ++i) {
            const double x = 8 + i * 11.75;
            s.rect(x, 10, x + 9.5, 26, level.color);
        }
        cells.push_back(s.finish());
    }
    return strip(cells, 69, 345, 36, kWhite);
}

// 138: satellites in use, ten cells of 25 pixels with 0 to 9 rising bars lit.
Bitmap signalStrip() {
    std::vector<Bitmap> cells;
    for (int lit = 0; lit <= 9; ++lit) {
        Sketch s(25, 20, kWhite);
        for (int i = 0; i < 9; ++i) {
            const double x = 0.5 + i * 24.0 / 9;
            const double top = 17.5 - 2 * (i + 1);
            s.rect(x, top, x + 1.9, 19, i < lit ? rgb(24, 96, 208) : rgb(208, 212, 220));
        }
        cells.push_back(s.finish());
    }
    return strip(cells, 25, 250, 20, kWhite);
}

// 126: drawn where no tile could be loaded: a cyan square with red words, kept as a
// 16-colour image whose table runs from cyan to red (the text's smoothed edges fall
// on that line).
Bitmap noTileImage() {
    Bitmap full = raster::createBitmap(256, 256);
    const Color cyan = rgb(0, 255, 255), red = rgb(255, 0, 0);
    raster::fillRect(full, {0, 0, 256, 256}, cyan);
    raster::Canvas canvas(full);
    canvas.font.height = 30;
    canvas.font.weight = 700;
    canvas.textColor = red;
    canvas.backgroundMode = raster::BackgroundMode::Transparent;
    const std::string text = "not load image";
    raster::Rect measure{0, 0, 256, 256};
    raster::drawText(canvas, text, measure, raster::kTextCalcRect);
    const int w = measure.right, h = measure.bottom;
    raster::Rect place{(256 - w) / 2, (256 - h) / 2, (256 - w) / 2 + w, (256 - h) / 2 + h};
    raster::drawText(canvas, text, place);

    std::vector<Color> palette;
    for (int i = 0; i < 16; ++i) palette.push_back(rgb(255 * i / 15, 255 - 255 * i / 15, 255 - 255 * i / 15));
    Bitmap out = raster::createDib(256, 256, 4, palette);
    raster::blit(out, 0, 0, 256, 256, full, 0, 0);
    return out;
}

// 139: shown while the program starts: its name over a piece of map.
Bitmap splash() {
    Sketch s(512, 256, rgb(242, 238, 228));
    s.polygon({{0, 150}, {90, 120}, {170, 160}, {150, 256}, {0, 256}}, rgb(200, 228, 184));
    s.polygon({{380, 0}, {512, 0}, {512, 90}, {430, 110}, {370, 60}}, rgb(200, 228, 184));
    s.line(-10, 60, 120, 90, 14, rgb(150, 196, 236));
    s.line(120, 90, 260, 40, 14, rgb(150, 196, 236));
    s.line(260, 40, 530, 70, 14, rgb(150, 196, 236));
    for (const auto& [x0, y0, x1, y1] :
         {std::array<double, 4>{0, 210, 512, 180}, {300, 0, 340, 256}, {60, 0, 110, 256}, {0, 120, 512, 140}}) {
        s.line(x0, y0, x1, y1, 9, rgb(190, 180, 160));
        s.line(x0, y0, x1, y1, 6.5, kWhite);
    }
    const PointF track[] = {{70, 230}, {130, 200}, {190, 214}, {250, 176}, {330, 190}, {400, 150}, {460, 160}};
    for (std::size_t i = 1; i < std::size(track); ++i) {
        s.line(track[i - 1].x, track[i - 1].y, track[i].x, track[i].y, 4, rgb(0, 200, 220));
    }
    s.line(460, 160, 460, 140, 2, kBlack);
    s.circle(460, 136, 7, kBlack);
    s.circle(460, 136, 5.6, rgb(255, 0, 0));
    s.rect(96, 60, 416, 170, rgb(40, 56, 88));
    s.rect(99, 63, 413, 167, rgb(252, 250, 244));
    Bitmap out = s.finish();

    raster::Canvas canvas(out);
    canvas.backgroundMode = raster::BackgroundMode::Transparent;
    const auto centred = [&](const std::string& text, int height, int weight, int top, Color color) {
        canvas.font.height = height;
        canvas.font.weight = weight;
        canvas.textColor = color;
        raster::Rect measure{0, 0, 512, 256};
        raster::drawText(canvas, text, measure, raster::kTextCalcRect);
        raster::Rect place{(512 - measure.right) / 2, top, (512 - measure.right) / 2 + measure.right,
                           top + measure.bottom};
        raster::drawText(canvas, text, place);
    };
    centred("Quorel", 64, 700, 68, rgb(40, 56, 88));
    centred("offline map & GPS track logger", 20, 400, 136, rgb(70, 70, 80));
    return out;
}

// The desktop icon: a square of map with a road, a river, a recorded track and the
// route pin at its end, framed so that it stands out on light and dark panels alike.
// Drawn on a 48-unit grid and scaled, so the three sizes show the same picture; the
// strokes are thick enough to survive 48 pixels.
Bitmap appIcon(int size) {
    const double k = size / 48.0;
    Sketch s(size, size, rgb(242, 238, 228));
    const auto scaled = [k](std::vector<PointF> points) {
        for (PointF& p : points) {
            p.x *= k;
            p.y *= k;
        }
        return points;
    };
    const auto line = [&](double x0, double y0, double x1, double y1, double width, Color color) {
        s.line(x0 * k, y0 * k, x1 * k, y1 * k, width * k, color);
    };
    s.polygon(scaled({{0, 30}, {12, 27}, {22, 34}, {20, 48}, {0, 48}}), rgb(196, 226, 178));
    line(-2, 12, 16, 16, 5, rgb(140, 188, 234));
    line(16, 16, 50, 6, 5, rgb(140, 188, 234));
    line(30, -2, 36, 50, 5.5, rgb(176, 166, 146));
    line(30, -2, 36, 50, 3.5, kWhite);
    const PointF track[] = {{7, 41}, {15, 36}, {22, 39}, {29, 30}, {34, 27}};
    for (std::size_t i = 1; i < std::size(track); ++i) {
        line(track[i - 1].x, track[i - 1].y, track[i].x, track[i].y, 4.2, rgb(0, 96, 112));
    }
    for (std::size_t i = 1; i < std::size(track); ++i) {
        line(track[i - 1].x, track[i - 1].y, track[i].x, track[i].y, 2.6, rgb(0, 214, 232));
    }
    line(34, 27, 34, 17, 1.6, kBlack);
    s.circle(34 * k, 13 * k, 7.6 * k, kBlack);
    s.circle(34 * k, 13 * k, 6.2 * k, rgb(232, 24, 24));
    s.circle(31.8 * k, 10.8 * k, 2.1 * k, rgb(255, 160, 160));
    const double f = 2 * k;  // the frame
    const Color frame = rgb(40, 56, 88);
    s.rect(0, 0, size, f, frame);
    s.rect(0, size - f, size, size, frame);
    s.rect(0, 0, f, size, frame);
    s.rect(size - f, 0, size, size, frame);
    return s.finish();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR [ICON_DIR]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    const struct {
        const char* file;
        Bitmap image;
    } images[] = {
        {"battery_strip.png", batteryStrip()},   {"origin_button.png", originButton()},
        {"star_button.png", starButton()},       {"zoom_out_button.png", magnifier(false)},
        {"zoom_in_button.png", magnifier(true)}, {"home_button.png", homeButton()},
        {"bulb_button.png", bulbButton()},       {"point_button.png", pointButton()},
        {"erase_button.png", eraseButton()},     {"signal_strip.png", signalStrip()},
        {"no_tile.png", noTileImage()},          {"splash.png", splash()},
    };
    int failures = 0;
    for (const auto& image : images) {
        if (!quorel::writePngFile(image.image, dir / image.file)) {
            std::fprintf(stderr, "cannot write %s\n", (dir / image.file).c_str());
            ++failures;
        }
    }
    if (argc == 3) {
        const std::filesystem::path iconDir = argv[2];
        for (const int size : {48, 128, 256}) {
            const auto file = iconDir / ("quorel-" + std::to_string(size) + ".png");
            if (!quorel::writePngFile(appIcon(size), file)) {
                std::fprintf(stderr, "cannot write %s\n", file.c_str());
                ++failures;
            }
        }
    }
    return failures == 0 ? 0 : 1;
}
