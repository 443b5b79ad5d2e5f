#pragma once
// PNG files built inside the tests: with libpng's own writer for every colour type and
// depth, and chunk by chunk for the files libpng's writer refuses to make.
#include <cstdint>
#include <string>
#include <vector>

namespace quorel::test {

using Bytes = std::vector<std::uint8_t>;

struct PngSpec {
    int width = 0;
    int height = 0;
    int bitDepth = 8;
    int colorType = 0;            // PNG_COLOR_TYPE_*
    bool interlaced = false;
    std::vector<Bytes> rows;      // packed PNG samples, top row first, big-endian 16-bit
    std::vector<std::uint8_t> palette;  // r, g, b triples for palette images
};

// Encodes with libpng's writer; empty on failure.
Bytes writePng(const PngSpec& spec);

// One chunk: length, type, data, CRC.
Bytes pngChunk(const std::string& type, const Bytes& data);

// The eight signature bytes, an IHDR for the given fields, then nothing.
Bytes pngHeader(std::uint32_t width, std::uint32_t height, int bitDepth, int colorType);

// An IDAT holding the given unfiltered rows (each gets filter byte 0).
Bytes pngIdat(const std::vector<Bytes>& rows);

Bytes readFile(const std::string& path);
void writeFile(const std::string& path, const Bytes& bytes);

}  // namespace quorel::test
