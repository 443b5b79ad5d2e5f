#include "map/tile_store.h"

#include <sys/stat.h>

#include "map/map_file.h"
#include "platform/file_handle.h"
#include "platform/format.h"

namespace quorel {

std::string TileOrigin::describe() const {
    if (!inMapFile) return file;
    return platform::format("%s %d/%lld/%lld", file.c_str(), zoom, static_cast<long long>(col),
                            static_cast<long long>(row));
}

std::filesystem::path treeTilePath(const std::filesystem::path& dir, int zoom, std::int64_t col, std::int64_t row,
                                   std::string_view extension) {
    return dir / std::to_string(zoom) / std::to_string(col) / (std::to_string(row) + std::string(extension));
}

TileRead TileTree::read(int zoom, std::int64_t col, std::int64_t row) const {
    TileRead result;
    for (const std::string_view extension : kTreeExtensions) {
        const std::filesystem::path file = treeTilePath(dir_, zoom, col, row, extension);
        const platform::UniqueFd fd = platform::openRegularFile(file);
        struct stat st {};
        if (!fd || ::fstat(fd.get(), &st) != 0) continue;
        result.origin = TileOrigin{
            file.string(), false, zoom, col, row, static_cast<std::uint64_t>(st.st_size), platform::modifiedNs(st)};
        if (static_cast<std::uint64_t>(st.st_size) > kMaxTileBytes) {
            result.status = TileReadStatus::Damaged;
            result.reason = "larger than any tile";
            return result;
        }
        result.bytes.resize(static_cast<std::size_t>(st.st_size));
        std::size_t got = 0;
        while (got < result.bytes.size()) {
            const std::int64_t n = platform::readAt(fd.get(), result.bytes.data() + got, result.bytes.size() - got,
                                                    static_cast<std::int64_t>(got));
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        // A file that shrank while it was read is taken as it ended; one that cannot be
        // read at all is missing, as it always was.
        if (got == 0 && !result.bytes.empty()) return TileRead{};
        result.bytes.resize(got);
        result.status = TileReadStatus::Found;
        return result;
    }
    return result;
}

std::optional<TileOrigin> TileTree::locate(int zoom, std::int64_t col, std::int64_t row) const {
    for (const std::string_view extension : kTreeExtensions) {
        const std::filesystem::path file = treeTilePath(dir_, zoom, col, row, extension);
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;  // as read: missing
        return TileOrigin{file.string(),           false, zoom, col, row, static_cast<std::uint64_t>(st.st_size),
                          platform::modifiedNs(st)};
    }
    return std::nullopt;
}

TileRead LayeredTileStore::read(int zoom, std::int64_t col, std::int64_t row) const {
    for (const auto& layer : layers_) {
        TileRead r = layer->read(zoom, col, row);
        if (r.status != TileReadStatus::Missing) return r;
    }
    return {};
}

std::optional<TileOrigin> LayeredTileStore::locate(int zoom, std::int64_t col, std::int64_t row) const {
    for (const auto& layer : layers_) {
        if (std::optional<TileOrigin> origin = layer->locate(zoom, col, row)) return origin;
    }
    return std::nullopt;
}

void LayeredTileStore::startFill(std::vector<StoreNote>& notes) {
    for (const auto& layer : layers_) layer->startFill(notes);
}

std::filesystem::path mbtilesBeside(const std::filesystem::path& treeDir) {
    std::string name = treeDir.string();
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    return name + ".mbtiles";
}

std::unique_ptr<LayeredTileStore> mapStore(const std::filesystem::path& treeDir) {
    std::vector<std::unique_ptr<TileStore>> layers;
    layers.push_back(std::make_unique<TileTree>(treeDir));
    layers.push_back(std::make_unique<MapFile>(mbtilesBeside(treeDir)));
    return std::make_unique<LayeredTileStore>(std::move(layers));
}

std::unique_ptr<LayeredTileStore> openMapStore(const std::filesystem::path& treeDir, std::vector<std::string>& notes) {
    auto file = std::make_unique<MapFile>(mbtilesBeside(treeDir));
    std::vector<StoreNote> said;
    file->openIfChanged(said);
    for (const StoreNote& note : said) {
        if (note.kind != StoreNote::Kind::Slow) notes.push_back(note.what);
    }
    std::vector<std::unique_ptr<TileStore>> layers;
    layers.push_back(std::make_unique<TileTree>(treeDir));
    layers.push_back(std::move(file));
    return std::make_unique<LayeredTileStore>(std::move(layers));
}

}  // namespace quorel
