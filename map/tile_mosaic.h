#pragma once
// The tile mosaic: the one tile cache of the map. A block of mosaicCols x mosaicRows
// tiles around the tile that holds the view centre, from which every frame cuts its
// background. It is filled from the map under the storage root, shifted by whole
// tiles when the centre leaves its centre tile, and refilled at any other zoom.
//
// Cell (i, j) holds tile (mosaicTileX + i - mosaicCols / 2, mosaicTileY + j - mosaicRows / 2)
// at pixel (i * tileWidth, j * tileHeight). A missing tile is replaced by the enlarged
// part of a tile one, two or three levels coarser that covers it, and failing that by
// the placeholder image. At night (view.night) each cell is darkened as it is placed, and
// mosaicNight records it.
#include <cstdint>

#include "map/tile_loader.h"
#include "state/map_view.h"

namespace quorel {

// Looks for the tile of zoom - levelsUp that covers (zoom, col, row) and leaves the part
// of it over the wanted tile, enlarged to 256 x 256, in view.tileBitmap. levelsUp 0
// tries the wanted tile itself once more. False when that tile is missing, or when the
// wanted tile lies west or north of the world (no coarser tile covers it).
bool loadTileFromCoarser(MapView& view, TileLoader& tiles, int zoom, std::int64_t col, std::int64_t row, int levelsUp);

// The tile itself, else a coarser substitute (levels 0 to 3). True when view.tileBitmap
// holds something to show.
bool loadTile(MapView& view, TileLoader& tiles, int zoom, std::int64_t col, std::int64_t row);

// Reloads every cell around the view centre's tile at the current zoom; sets
// mosaicTileX/Y, mosaicZoom and mosaicValid.
void fillMosaic(MapView& view, TileLoader& tiles);

// Moves the mosaic to the view centre's tile: the cells still wanted keep their pixels
// (moved by whole tiles), only the uncovered columns and rows are loaded. At another
// zoom than the mosaic's, or without a valid mosaic, it refills instead.
void scrollMosaic(MapView& view, TileLoader& tiles);

// Red 2-pixel lines along the left and top edge of every cell, burnt into the mosaic.
void drawTileGrid(MapView& view);

}  // namespace quorel
