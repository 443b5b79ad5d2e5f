#pragma once
// The state of the map screen: one MapView and one DisplayIdle exist for the whole
// run. The application builds them and passes references down; tests build their own.
// A new record holds the start values of every field: they are written here only.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "gpx/collections.h"
#include "platform/raster/bitmap.h"

namespace quorel {

// A bitmap of the program's resources or a blank scratch bitmap.
struct Surface {
    platform::Bitmap bitmap;
    int width = 0;
    int height = 0;
    bool valid = false;            // a bitmap exists; drawing an invalid surface copies nothing
    platform::Bitmap nightBitmap;  // the picture darkened for night, made once when first needed
};

struct ImageButton {
    Surface image;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    // Strictly inside: a tap on the rectangle's edge is not a hit.
    bool hitTest(int x, int y) const { return left < x && x < left + width && top < y && y < top + height; }
};

// x and y of a control in design pixels of a 480-pixel-wide screen; negative values
// count from the right or bottom edge.
using DesignPos = std::array<int, 2>;

struct MapView {
    // View geometry
    int viewWidth = 0;
    int viewHeight = 0;
    int screenWidth = 0;
    int screenHeight = 0;
    double uiScale = 1.0;
    int mosaicWidth = 0;
    int mosaicHeight = 0;
    int mosaicCols = 0;
    int mosaicRows = 0;
    int tileWidth = 256;
    int tileHeight = 256;

    // Pen, zoom, centre
    int tapX = 0;
    int tapY = 0;
    int zoomLevel = 14;
    int zoomMax = 20;
    int zoomMin = 5;
    std::int64_t mosaicTileX = 0;  // tile numbers are 64-bit: world pixels overflow 32 bits from zoom 23
    std::int64_t mosaicTileY = 0;
    double centerLat = kDefaultLat;
    double centerLon = kDefaultLon;
    double defaultLat = kDefaultLat;
    double defaultLon = kDefaultLon;

    // Controls (design values until the layout scales buttonWidth/Height and the close corner)
    int buttonWidth = 30;
    int buttonHeight = 30;
    int closeCornerX = 25;
    int closeCornerY = 22;
    DesignPos starButtonPos{5, 25};
    DesignPos zoomUpButtonPos{5, 80};
    DesignPos zoomDownButtonPos{5, 120};
    DesignPos homeButtonPos{5, 160};
    DesignPos originButtonPos{5, 200};
    DesignPos bulbButtonPos{-35, 30};
    DesignPos pointButtonPos{-35, 70};
    DesignPos eraseButtonPos{-35, -40};

    int drawTimerMs = 500;
    int mosaicOffsetX = 0;
    int mosaicOffsetY = 0;

    // Run-time switches
    bool loading = true;
    int loadStep = 0;
    bool drawing = false;
    bool frameReady = false;
    bool showTileGrid = false;
    bool mosaicValid = false;
    bool followGps = false;
    bool showTapPosition = false;
    int hudMode = 0;  // 0 plain, 1 mirrored left-right, 2 mirrored top-bottom
    // Degrees clockwise the finished frame is turned onto the display: 0, 90, 180 or 270.
    // The view is laid out for the display's size turned the same way.
    int rotation = 0;
    int nightMode = 0;          // 0 day colours, 1 night colours, 2 night from dusk to dawn
    bool night = false;         // night colours in force for the next frame
    bool mosaicNight = false;   // the mosaic's tiles were darkened for night
    bool showTrip = false;      // the trip panel is drawn and answers taps
    bool tripShowsLog = false;  // the panel shows the totals since the log's first point, not the run's
    bool pointMode = false;
    int framesComposed = 0;     // frames composed so far (a dropped request is not one)
    bool tileShown = false;     // a tile (or a coarser one enlarged) has been placed in the mosaic
    std::string startHint;      // where maps and settings go, shown over the map until tileShown
    bool hasHeading = false;    // the heading arrow has had a direction
    double headingAngle = 0.0;  // its last direction, radians, 0 east, clockwise on screen

    // View bounds, recomputed for every frame
    double viewBottomRightLat = 0.0;
    double viewTopLeftLon = 0.0;
    double viewTopLeftLat = 0.0;
    double viewBottomRightLon = 0.0;
    std::int64_t viewOriginX = 0;
    std::int64_t viewOriginY = 0;

    // Files. mapDir is in the device grammar, relative to the storage root; the other
    // paths are host paths, formed from the storage root at dialog initialisation.
    std::string mapDir = "Maps\\std";
    std::string storageRootPath;  // host directory of the storage root, with a trailing '/'
    std::string currentRoutePath;
    std::string autoLoadDir;

    // Overlays
    GpxPath currentRoute;
    GpxPath waypoints;
    GpxPathList tracks;
    GpxPathList routes;

    // Drawing. The window's pixels belong to the front end; everything else is owned
    // here, created at dialog set-up and released at teardown.
    platform::Bitmap* windowBitmap = nullptr;  // what the window shows
    platform::Bitmap frameBitmap;              // back buffer, viewWidth x viewHeight
    platform::Bitmap mosaicBitmap;             // tile mosaic, mosaicWidth x mosaicHeight
    // The tile loaded last, if any; shared with the tile cache, never changed.
    std::shared_ptr<const platform::Bitmap> tileBitmap;
    int mosaicZoom = -1;  // zoom the mosaic was filled at
    std::optional<Surface> noTileImage;
    std::optional<Surface> mosaicSurface;
    std::optional<Surface> splashImage;
    std::optional<ImageButton> starButton;
    std::optional<ImageButton> zoomUpButton;
    std::optional<ImageButton> zoomDownButton;
    std::optional<ImageButton> homeButton;
    std::optional<ImageButton> originButton;
    std::optional<ImageButton> bulbButton;
    std::optional<ImageButton> statusImage;
    std::optional<ImageButton> pointButton;
    std::optional<ImageButton> eraseButton;
    std::optional<ImageButton> legendImage;

    static constexpr double kDefaultLat = 36.62158993;
    static constexpr double kDefaultLon = 139.7714996;
};

struct DisplayIdle {
    int waitTapTimeMs = 2000;
    int displayOffTimeMs = 10000;
    int displayOnWidth = 30;
    bool penDown = false;
    bool autoOffEnabled = false;
    bool displayIsOff = false;
    int idleMs = 0;
    int displayOffMode = 0;
    int displayOnMode = 0;
};

// Back to the start position: zoom 14 at home, switches off. Leaves the settings
// values, the overlays and the drawing resources alone.
void resetView(MapView& view);

// Releases the overlay collections (routes, tracks, waypoints, current route).
void destroyMapView(MapView& view);

}  // namespace quorel
