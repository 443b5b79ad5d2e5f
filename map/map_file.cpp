#include "map/map_file.h"

#include <sys/stat.h>

#include "platform/file_handle.h"

namespace quorel {

FileIdentity identityOf(const std::filesystem::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return {};
    return FileIdentity{true,
                        static_cast<std::uint64_t>(st.st_dev),
                        static_cast<std::uint64_t>(st.st_ino),
                        static_cast<std::uint64_t>(st.st_size),
                        platform::modifiedNs(st),
                        static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec};
}

TileRead MapFile::read(int zoom, std::int64_t col, std::int64_t row) const {
    return store_ ? store_->read(zoom, col, row) : TileRead{};
}

std::optional<TileOrigin> MapFile::locate(int zoom, std::int64_t col, std::int64_t row) const {
    return store_ ? store_->locate(zoom, col, row) : std::nullopt;
}

void MapFile::openIfChanged(std::vector<StoreNote>& notes) {
    const FileIdentity now = identityOf(file_);
    if (tried_ && !locked_ && now == triedAs_) return;
    tried_ = true;
    triedAs_ = now;
    locked_ = false;
    store_.reset();
    if (!now.present) return;  // no map file (yet), as on most cards: nothing to say
    std::string error;
    store_ = MbtilesStore::open(file_, error, &locked_);
    const std::string name = file_.string();
    if (locked_) {
        notes.push_back({StoreNote::Kind::Locked, name, name + ": locked by another program; read once it lets go"});
    } else if (!store_) {
        notes.push_back({StoreNote::Kind::Unreadable, name, name + ": " + error});
    } else if (store_->lacksIndex()) {
        notes.push_back({StoreNote::Kind::Slow, name,
                         name + ": no index on zoom_level, tile_column and tile_row; tiles that take too long to "
                                "find are left out until the map moves"});
    }
}

void MapFile::startFill(std::vector<StoreNote>& notes) {
    openIfChanged(notes);
    if (store_) store_->startFill(notes);
}

}  // namespace quorel
