#include "tests/unit/tools/demo_support.h"

#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/scan.h"

namespace quorel::demo::test {
namespace {

struct TempTree {
    Generated g;
    TempTree() {
        g.root = std::filesystem::temp_directory_path() / ("quorel-demo-test-" + std::to_string(::getpid()));
        std::filesystem::remove_all(g.root);
        g.maps = g.root / "sdmmc" / "Maps" / "std";
        g.status = run(std::string(QUOREL_MAKE_DEMO) + " " + quoted(g.root) + " --zooms " + std::to_string(kZoomMin) +
                       "-" + std::to_string(kZoomMax) + " --radius-km " + std::to_string(kRadius / 1000.0) +
                       " > /dev/null");
    }
    ~TempTree() {
        std::error_code ec;
        std::filesystem::remove_all(g.root, ec);
    }
};

std::optional<std::int64_t> wholeNumber(const std::string& text) {
    const auto v = platform::scanIntPrefix(text);
    if (!v || text.empty() || std::to_string(*v) != text) return std::nullopt;
    return *v;
}

}  // namespace

const Generated& generated() {
    static const TempTree tree;
    return tree.g;
}

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

std::string readBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

Png readPng(const std::filesystem::path& file) {
    Png out;
    const std::string bytes = readBytes(file);
    if (bytes.size() < 33) return out;
    auto be32 = [&bytes](std::size_t at) {
        return static_cast<int>(static_cast<std::uint8_t>(bytes[at]) << 24 | static_cast<std::uint8_t>(bytes[at + 1]) << 16 |
                                static_cast<std::uint8_t>(bytes[at + 2]) << 8 | static_cast<std::uint8_t>(bytes[at + 3]));
    };
    out.width = be32(16);
    out.height = be32(20);
    out.bitDepth = static_cast<std::uint8_t>(bytes[24]);
    out.colourType = static_cast<std::uint8_t>(bytes[25]);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return out;
    image.format = PNG_FORMAT_RGBA;
    out.rgba.resize(PNG_IMAGE_SIZE(image));
    out.ok = png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return out;
}

bool listTiles(const std::filesystem::path& maps, std::vector<TileId>& tiles, std::vector<std::string>& strays) {
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(maps, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        const std::filesystem::path rel = std::filesystem::relative(it->path(), maps);
        std::vector<std::string> parts;
        for (const auto& p : rel) parts.push_back(p.string());
        const auto z = parts.size() == 3 ? wholeNumber(parts[0]) : std::nullopt;
        const auto col = parts.size() == 3 ? wholeNumber(parts[1]) : std::nullopt;
        const bool png = parts.size() == 3 && rel.extension() == ".png";
        const auto row = png ? wholeNumber(rel.stem().string()) : std::nullopt;
        if (z && col && row) {
            tiles.push_back({static_cast<int>(*z), *col, *row});
        } else {
            strays.push_back(rel.string());
        }
    }
    return !ec;
}

}  // namespace quorel::demo::test
