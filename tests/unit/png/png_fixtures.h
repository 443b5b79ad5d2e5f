#pragma once
// PNG files built chunk by chunk inside the tests, also ones libpng's writer refuses
// to make.
#include <cstdint>
#include <string>
#include <vector>

namespace quorel::test {

using Bytes = std::vector<std::uint8_t>;

// One chunk: length, type, data, CRC.
Bytes pngChunk(const std::string& type, const Bytes& data);

// The eight signature bytes, an IHDR for the given fields, then nothing.
Bytes pngHeader(std::uint32_t width, std::uint32_t height, int bitDepth, int colorType);

// An IDAT holding the given unfiltered rows (each gets filter byte 0).
Bytes pngIdat(const std::vector<Bytes>& rows);

Bytes readFile(const std::string& path);
void writeFile(const std::string& path, const Bytes& bytes);

}  // namespace quorel::test
