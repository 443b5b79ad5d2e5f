#include "map/night.h"

#include <optional>

#include "map/sun_position.h"

namespace quorel {
namespace {

// Night keeps about a third of the light, less of the blue than of the red, so that
// white paper turns a dim warm grey and the map's colours stay told apart.
constexpr int kRedKeep = 100;  // of 256
constexpr int kGreenKeep = 84;
constexpr int kBlueKeep = 68;

constexpr platform::ChannelTables makeNightTables() {
    platform::ChannelTables t{};
    for (int v = 0; v < 256; ++v) {
        t.red[v] = static_cast<std::uint8_t>(v * kRedKeep / 256);
        t.green[v] = static_cast<std::uint8_t>(v * kGreenKeep / 256);
        t.blue[v] = static_cast<std::uint8_t>(v * kBlueKeep / 256);
    }
    return t;
}

constexpr platform::ChannelTables kNightTables = makeNightTables();

void prepare(std::optional<ImageButton>& button) {
    if (!button) return;
    Surface& image = button->image;
    if (!image.valid || image.nightBitmap.valid()) return;
    image.nightBitmap = image.bitmap;
    darkenForNight(image.nightBitmap, {0, 0, image.nightBitmap.width, image.nightBitmap.height});
}

}  // namespace

platform::Color nightColorOf(platform::Color day) {
    return platform::rgb(kNightTables.red[platform::redOf(day)], kNightTables.green[platform::greenOf(day)],
                         kNightTables.blue[platform::blueOf(day)]);
}

void darkenForNight(platform::Bitmap& bitmap, const platform::Rect& rect) {
    platform::recolorRect(bitmap, rect, kNightTables);
}

void prepareNightImages(MapView& view) {
    // The pin sprite is ANDed onto the map from the day picture, so its white stays
    // clear over a darkened map; the point button itself is drawn darkened.
    for (auto* button :
         {&view.starButton, &view.zoomUpButton, &view.zoomDownButton, &view.homeButton, &view.originButton,
          &view.bulbButton, &view.statusImage, &view.pointButton, &view.eraseButton, &view.legendImage}) {
        prepare(*button);
    }
}

const platform::Bitmap& pictureOf(const Surface& surface, bool night) {
    return night && surface.nightBitmap.valid() ? surface.nightBitmap : surface.bitmap;
}

std::int64_t fixUtcSeconds(std::int32_t ddmmyy, std::int32_t hhmmss, std::int64_t systemUtcSeconds) {
    const int hh = hhmmss / 10000, mm = hhmmss / 100 % 100, ss = hhmmss % 100;
    const int secondsOfDay = hh * 3600 + mm * 60 + ss;
    const int day = ddmmyy / 10000, month = ddmmyy / 100 % 100, year = 2000 + ddmmyy % 100;
    if (ddmmyy > 0 && day >= 1 && day <= 31 && month >= 1 && month <= 12) {
        return utcSecondsOf(year, month, day, secondsOfDay);
    }
    std::int64_t dayStart = systemUtcSeconds - systemUtcSeconds % 86400;
    if (systemUtcSeconds % 86400 < 0) dayStart -= 86400;
    return dayStart + secondsOfDay;
}

bool nightWanted(const MapView& view, const GpsReceiver& gps, std::int64_t systemUtcSeconds) {
    if (view.nightMode == 1) return true;
    if (view.nightMode != 2) return false;
    if (!gps.hasFix) {
        return sunElevationDegrees(view.defaultLat, view.defaultLon, systemUtcSeconds) < kCivilTwilightDegrees;
    }
    const std::int64_t at = fixUtcSeconds(gps.fixDate, gps.fixTime, systemUtcSeconds);
    return sunElevationDegrees(gps.latitude, gps.longitude, at) < kCivilTwilightDegrees;
}

}  // namespace quorel
