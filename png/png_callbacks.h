#pragma once
// The two callbacks the decoder gives libpng; declared here so that tests can drive
// them directly.
#include <png.h>

namespace quorel {

// Read function for png_set_read_fn: the I/O pointer is a std::FILE*. A short read
// is a libpng error ("Read Error"), never bytes left undefined.
void pngFileReader(png_structp png, png_bytep data, png_size_t length);

// User transform that widens a row of 2-bit pixels to 4-bit pixels in place, keeping
// each value (so palette indices and grey levels keep their meaning). Works from the
// end of the row backwards; the row buffer must hold the widened row. Sets the row
// info to 4 bits per pixel.
void widenTwoBitPixels(png_structp png, png_row_infop rowInfo, png_bytep data);

}  // namespace quorel
