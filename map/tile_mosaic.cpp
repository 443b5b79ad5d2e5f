#include "map/tile_mosaic.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "map/colours.h"
#include "map/night.h"
#include "map/projection.h"
#include "platform/numeric.h"
#include "platform/raster/canvas.h"
#include "platform/raster/raster.h"

namespace quorel {
namespace {

// The coarser levels tried for a missing tile; level 0 is the tile itself once more.
constexpr int kCoarserLevels = 4;

std::int64_t magnitude(std::int64_t v) { return v < 0 ? -v : v; }

// Copies the picture into cell (i, j). A picture smaller than the cell (an odd file, or
// no placeholder image at all) leaves no stale pixels of an earlier tile behind.
void placeCell(MapView& view, std::int64_t i, std::int64_t j) {
    const int x = platform::clampToInt(i * view.tileWidth);
    const int y = platform::clampToInt(j * view.tileHeight);
    const platform::Bitmap* picture = nullptr;
    if (view.tileBitmap) {
        picture = &*view.tileBitmap;
    } else if (view.noTileImage && view.noTileImage->valid) {
        picture = &view.noTileImage->bitmap;
    }
    if (picture == nullptr || picture->width < view.tileWidth || picture->height < view.tileHeight) {
        const platform::Rect cell{x, y, platform::saturatingAdd(x, view.tileWidth),
                                  platform::saturatingAdd(y, view.tileHeight)};
        platform::fillRect(view.mosaicBitmap, cell, platform::rgb(0, 0, 0));
    }
    if (picture != nullptr) platform::blit(view.mosaicBitmap, x, y, view.tileWidth, view.tileHeight, *picture, 0, 0);
    // Darkened here, once as the tile comes in, so that a night frame costs no more than a day one.
    if (view.night) {
        darkenForNight(view.mosaicBitmap,
                       {x, y, platform::saturatingAdd(x, view.tileWidth), platform::saturatingAdd(y, view.tileHeight)});
    }
}

TileKey cellTile(const MapView& view, std::int64_t i, std::int64_t j) {
    return {view.zoomLevel, view.mosaicTileX + i - view.mosaicCols / 2, view.mosaicTileY + j - view.mosaicRows / 2};
}

void loadCell(MapView& view, TileLoader& tiles, std::int64_t i, std::int64_t j) {
    const TileKey tile = cellTile(view, i, j);
    if (loadTile(view, tiles, tile.zoom, tile.col, tile.row)) view.tileShown = true;
    placeCell(view, i, j);
}

// The cells in the order given (corner cells of a scroll come twice), their tiles made
// ready all at once first.
void loadCells(MapView& view, TileLoader& tiles, const std::vector<std::pair<std::int64_t, std::int64_t>>& cells) {
    std::vector<TileKey> wanted;
    for (const auto& [i, j] : cells) wanted.push_back(cellTile(view, i, j));
    tiles.prepare(view, wanted);
    for (const auto& [i, j] : cells) loadCell(view, tiles, i, j);
    tiles.prepare(view, {});
}

void finishMosaic(MapView& view) {
    if (view.showTileGrid) drawTileGrid(view);
    view.mosaicZoom = view.zoomLevel;
    view.mosaicNight = view.night;
    view.mosaicValid = true;
}

}  // namespace

bool loadTileFromCoarser(MapView& view, TileLoader& tiles, int zoom, std::int64_t col, std::int64_t row, int levelsUp) {
    if (levelsUp < 0 || levelsUp >= kCoarserLevels) return false;
    if (levelsUp == 0) {  // the whole tile at its own size: nothing to enlarge
        if (tiles.load(view, zoom, col, row) && view.tileBitmap) return true;
        view.tileBitmap.reset();
        return false;
    }
    // Truncating division would put tiles -1 .. -(f-1) under tile 0, which lies on the
    // other side of the edge of the world.
    if (col < 0 || row < 0) return false;
    return tiles.loadEnlarged(view, zoom, col, row, levelsUp);
}

bool loadTile(MapView& view, TileLoader& tiles, int zoom, std::int64_t col, std::int64_t row) {
    if (tiles.load(view, zoom, col, row) && view.tileBitmap) return true;
    view.tileBitmap.reset();
    for (int d = 0; d < kCoarserLevels; ++d) {
        if (loadTileFromCoarser(view, tiles, zoom, col, row, d)) return true;
    }
    return false;
}

void fillMosaic(MapView& view, TileLoader& tiles) {
    const WorldPosition centre = projectToWorld(view, view.centerLat, view.centerLon);
    view.mosaicTileX = centre.col;
    view.mosaicTileY = centre.row;
    // Without a mosaic bitmap (a screen too large for one) there is nothing to load into.
    if (view.mosaicBitmap.valid()) {
        std::vector<std::pair<std::int64_t, std::int64_t>> cells;
        for (std::int64_t i = 0; i < view.mosaicCols; ++i) {
            for (std::int64_t j = 0; j < view.mosaicRows; ++j) cells.emplace_back(i, j);
        }
        loadCells(view, tiles, cells);
    }
    finishMosaic(view);
}

void scrollMosaic(MapView& view, TileLoader& tiles) {
    if (!view.mosaicValid || view.mosaicZoom != view.zoomLevel || view.mosaicNight != view.night ||
        !view.mosaicBitmap.valid()) {
        fillMosaic(view, tiles);
        return;
    }
    const WorldPosition centre = projectToWorld(view, view.centerLat, view.centerLon);
    const std::int64_t dx = centre.col - view.mosaicTileX;
    const std::int64_t dy = centre.row - view.mosaicTileY;
    view.mosaicTileX = centre.col;
    view.mosaicTileY = centre.row;
    const std::int64_t bandCols = std::min<std::int64_t>(magnitude(dx), view.mosaicCols);
    const std::int64_t bandRows = std::min<std::int64_t>(magnitude(dy), view.mosaicRows);

    // The tiles still wanted move by whole cells through the scratch surface, which then
    // takes the mosaic's place; the uncovered band is reloaded below.
    if (bandCols < view.mosaicCols && bandRows < view.mosaicRows) {
        const int sx = platform::clampToInt(dx * view.tileWidth);
        const int sy = platform::clampToInt(dy * view.tileHeight);
        platform::Bitmap& mosaic = view.mosaicBitmap;
        if (view.mosaicSurface && view.mosaicSurface->valid && view.mosaicSurface->bitmap.width == mosaic.width &&
            view.mosaicSurface->bitmap.height == mosaic.height && view.mosaicSurface->bitmap.bitsPerPixel == 32) {
            platform::blit(view.mosaicSurface->bitmap, 0, 0, mosaic.width, mosaic.height, mosaic, sx, sy);
            std::swap(view.mosaicSurface->bitmap, mosaic);
        } else {
            platform::blit(mosaic, 0, 0, mosaic.width, mosaic.height, mosaic, sx, sy);
        }
    }

    std::vector<std::pair<std::int64_t, std::int64_t>> cells;
    for (std::int64_t n = 0; n < bandCols; ++n) {
        const std::int64_t i = dx > 0 ? view.mosaicCols - 1 - n : n;
        for (std::int64_t j = 0; j < view.mosaicRows; ++j) cells.emplace_back(i, j);
    }
    for (std::int64_t n = 0; n < bandRows; ++n) {
        const std::int64_t j = dy > 0 ? view.mosaicRows - 1 - n : n;
        for (std::int64_t i = 0; i < view.mosaicCols; ++i) cells.emplace_back(i, j);
    }
    loadCells(view, tiles, cells);
    finishMosaic(view);
}

void drawTileGrid(MapView& view) {
    platform::Canvas canvas(view.mosaicBitmap);
    canvas.pen = platform::Pen{paletteOf(view).track, 2};
    const std::int64_t bottom = std::int64_t{view.tileHeight} * view.mosaicRows;
    const std::int64_t right = std::int64_t{view.tileWidth} * view.mosaicCols;
    for (std::int64_t i = 0; i < view.mosaicCols; ++i) {
        platform::moveTo(canvas, i * kTileSide, 0);
        platform::lineTo(canvas, i * kTileSide, bottom);
    }
    for (std::int64_t i = 0; i < view.mosaicRows; ++i) {
        platform::moveTo(canvas, 0, i * kTileSide);
        platform::lineTo(canvas, right, i * kTileSide);
    }
}

}  // namespace quorel
