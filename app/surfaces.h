#pragma once
// The drawing surfaces of the map screen: created when the window is set up, released
// when it closes. The window's pixels belong to the front end; everything else is
// owned by the MapView.
#include "platform/raster/bitmap.h"
#include "state/map_view.h"

namespace quorel {

// Decodes image resourceId of the program into the surface (as 32-bit pixels); a
// missing or undecodable image leaves the surface invalid and 0 x 0.
void loadSurfaceImage(Surface& surface, int resourceId);

// A black surface of the given size; invalid when the size is not positive or too large.
void createBlankSurface(Surface& surface, int width, int height);

// A button showing image resourceId; its hit rectangle is the image's size at (0, 0).
ImageButton createImageButton(int resourceId);

// Takes the view size from the window (its sides swapped when view.rotation turns it
// on its side), builds the back buffer, the tile mosaic and the
// scratch surfaces, loads the twelve images, lays the controls out and copies the
// splash image into the back buffer at (20, 20). window must outlive the surfaces.
void createSurfaces(MapView& view, platform::Bitmap& window);

// Releases everything createSurfaces made (and the last tile image); mosaicValid and
// frameReady become false and windowBitmap null.
void destroySurfaces(MapView& view);

}  // namespace quorel
