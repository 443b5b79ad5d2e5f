#include "platform/message_box.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/raster/canvas.h"
#include "platform/raster/text.h"

namespace quorel::platform {

namespace {

MessageHandler& currentHandler() {
    static MessageHandler handler;
    return handler;
}

constexpr Color kInk = rgb(0, 0, 0);
constexpr Color kPaper = rgb(255, 255, 255);
constexpr Color kButtonFace = rgb(212, 208, 200);
constexpr int kSmallestFont = 10;

int scaled(double scale, int pixels) { return std::max(1, static_cast<int>(pixels * scale + 0.5)); }

Rect measured(Canvas& canvas, std::string_view text) {
    Rect r{0, 0, 0, 0};
    drawText(canvas, text, r, kTextCalcRect);
    return r;
}

void drawFrame(Bitmap& b, const Rect& r, int width, Color color) {
    fillRect(b, {r.left, r.top, r.right, r.top + width}, color);
    fillRect(b, {r.left, r.bottom - width, r.right, r.bottom}, color);
    fillRect(b, {r.left, r.top, r.left + width, r.bottom}, color);
    fillRect(b, {r.right - width, r.top, r.right, r.bottom}, color);
}

// Text centred in rect, or from its left edge when it is wider.
void drawCentred(Canvas& canvas, std::string_view text, const Rect& rect) {
    const Rect size = measured(canvas, text);
    const int left = rect.left + std::max(0, (rect.width() - size.right) / 2);
    const int top = rect.top + std::max(0, (rect.height() - size.bottom) / 2);
    Rect r{left, top, rect.right, rect.bottom};
    drawText(canvas, text, r);
}

Rect moved(const Rect& r, int dx, int dy) { return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }

}  // namespace

MessageHandler setMessageHandler(MessageHandler handler) { return std::exchange(currentHandler(), std::move(handler)); }

void showMessage(std::string_view utf8) {
    if (const MessageHandler& handler = currentHandler()) {
        handler(utf8);
        return;
    }
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

bool queueMessage(PendingMessages& pending, std::string_view utf8) {
    if (pending.texts.size() >= kMaxPendingMessages) return false;
    if (std::find(pending.texts.begin(), pending.texts.end(), utf8) != pending.texts.end()) return false;
    pending.texts.emplace_back(utf8);
    return true;
}

MessageBoxImage drawMessageBox(std::string_view utf8, int clientWidth, int clientHeight) {
    MessageBoxImage image;
    if (clientWidth <= 0 || clientHeight <= 0) return image;
    const double scale = std::min(clientWidth / 480.0, clientHeight / 272.0);
    const int pad = scaled(scale, 12);
    const int border = scaled(scale, 2);

    // A text too wide for the area gets a smaller font, down to the smallest readable one.
    Bitmap none;
    Canvas canvas(none);
    canvas.font.height = std::max(kSmallestFont, scaled(scale, 20));
    Rect text = measured(canvas, utf8);
    const int widest = clientWidth - 2 * pad - 2 * scaled(scale, 16);
    if (text.right > widest && widest > 0) {
        const auto fitting = static_cast<long long>(canvas.font.height) * widest / text.right;
        canvas.font.height = std::max(kSmallestFont, static_cast<int>(fitting));
        text = measured(canvas, utf8);
    }
    const Rect okText = measured(canvas, "OK");
    const int okWidth = std::max(scaled(scale, 88), okText.right + 2 * pad);
    const int okHeight = std::max(scaled(scale, 36), okText.bottom + pad);
    const int boxWidth = std::min(clientWidth, std::max(text.right, okWidth) + 2 * pad);
    const int boxHeight = std::min(clientHeight, text.bottom + okHeight + 3 * pad);

    image.pixels = createBitmap(boxWidth, boxHeight);
    if (!image.pixels.valid()) return image;
    const Rect local{0, 0, boxWidth, boxHeight};
    const Rect ok{(boxWidth - okWidth) / 2, boxHeight - pad - okHeight, (boxWidth - okWidth) / 2 + okWidth,
                  boxHeight - pad};
    fillRect(image.pixels, local, kPaper);
    drawFrame(image.pixels, local, border, kInk);
    fillRect(image.pixels, ok, kButtonFace);
    drawFrame(image.pixels, ok, scaled(scale, 1), kInk);
    canvas.target = &image.pixels;
    canvas.textColor = kInk;
    canvas.backgroundMode = BackgroundMode::Transparent;
    drawCentred(canvas, utf8, {pad, pad, boxWidth - pad, pad + text.bottom});
    drawCentred(canvas, "OK", ok);

    const int left = (clientWidth - boxWidth) / 2;
    const int top = (clientHeight - boxHeight) / 2;
    image.box = moved(local, left, top);
    image.ok = moved(ok, left, top);
    return image;
}

}  // namespace quorel::platform
