#include "tests/unit/png/png_fixtures.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <fstream>
#include <iterator>

namespace quorel::test {

namespace {

void append(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void noFlush(png_structp) {}

bool encode(png_structp png, png_infop info, const PngSpec* spec, Bytes* out, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, out, append, noFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(spec->width), static_cast<png_uint_32>(spec->height),
                 spec->bitDepth, spec->colorType, spec->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!spec->palette.empty()) {
        png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(spec->palette.data()),
                     static_cast<int>(spec->palette.size() / 3));
    }
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

void putU32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

}  // namespace

Bytes writePng(const PngSpec& spec) {
    Bytes out;
    std::vector<Bytes> rows = spec.rows;
    std::vector<png_bytep> pointers;
    for (Bytes& row : rows) pointers.push_back(row.data());
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (!encode(png, info, &spec, &out, pointers.data())) out.clear();
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes pngChunk(const std::string& type, const Bytes& data) {
    Bytes out;
    putU32(out, static_cast<std::uint32_t>(data.size()));
    Bytes body(type.begin(), type.end());
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    putU32(out, static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
    return out;
}

Bytes pngHeader(std::uint32_t width, std::uint32_t height, int bitDepth, int colorType) {
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr;
    putU32(ihdr, width);
    putU32(ihdr, height);
    ihdr.push_back(static_cast<std::uint8_t>(bitDepth));
    ihdr.push_back(static_cast<std::uint8_t>(colorType));
    ihdr.push_back(0);
    ihdr.push_back(0);
    ihdr.push_back(0);
    const Bytes chunk = pngChunk("IHDR", ihdr);
    out.insert(out.end(), chunk.begin(), chunk.end());
    return out;
}

Bytes pngIdat(const std::vector<Bytes>& rows) {
    Bytes raw;
    for (const Bytes& row : rows) {
        raw.push_back(0);
        raw.insert(raw.end(), row.begin(), row.end());
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes packed(size);
    compress(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
    packed.resize(size);
    return pngChunk("IDAT", packed);
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace quorel::test
