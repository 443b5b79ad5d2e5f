#include "app/state/map_view.h"

#include <gtest/gtest.h>

namespace quorel {
namespace {

TEST(MapView, ResetViewKeepsSettingsAndOverlays) {
    MapView v;
    v.defaultLat = 10;
    v.defaultLon = 20;
    v.zoomLevel = 17;
    v.followGps = v.showTileGrid = v.mosaicValid = v.frameReady = true;
    v.hudMode = 2;
    v.zoomMax = 18;
    v.tracks.append(GpxPath{});
    resetView(v);
    EXPECT_EQ(v.zoomLevel, 14);
    EXPECT_EQ(v.centerLat, 10);
    EXPECT_EQ(v.centerLon, 20);
    EXPECT_FALSE(v.followGps || v.showTileGrid || v.mosaicValid || v.frameReady);
    EXPECT_EQ(v.hudMode, 0);
    EXPECT_EQ(v.zoomMax, 18);
    EXPECT_EQ(v.tracks.count(), 1);
    destroyMapView(v);
    EXPECT_EQ(v.tracks.count(), 0);
}

TEST(ImageButton, HitTestIsStrictOnAllFourEdges) {
    ImageButton star;
    star.left = 5;
    star.top = 25;
    star.width = 30;
    star.height = 30;
    const struct {
        int x, y;
        bool hit;
    } cases[] = {
        {20, 40, true}, {5, 40, false}, {6, 40, true}, {35, 40, false}, {34, 40, true},
        {20, 25, false}, {20, 26, true}, {20, 55, false}, {20, 54, true},
    };
    for (const auto& c : cases) EXPECT_EQ(star.hitTest(c.x, c.y), c.hit) << c.x << "," << c.y;
}

TEST(DisplayIdle, StartValues) {
    const DisplayIdle idle;
    EXPECT_EQ(idle.waitTapTimeMs, 2000);
    EXPECT_EQ(idle.displayOffTimeMs, 10000);
    EXPECT_EQ(idle.displayOnWidth, 30);
    EXPECT_FALSE(idle.penDown || idle.autoOffEnabled || idle.displayIsOff);
    EXPECT_EQ(idle.displayOffMode, 0);
    EXPECT_EQ(idle.displayOnMode, 0);
}

}  // namespace
}  // namespace quorel
