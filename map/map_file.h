#pragma once
// The MBTiles file beside the tile tree, as the program reads it through a run. The card
// is not the program's alone: a tile tool may hold the file locked while it writes, or
// copy a new file over it, or put the old one back. At every fill the file's identity is
// looked at (one stat), and the file is opened again when it has changed, when it
// appeared, or while the last try found it locked; a file that went is let go.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "map/mbtiles.h"
#include "map/tile_store.h"

namespace quorel {

// What tells one version of a file from another without reading it.
struct FileIdentity {
    bool present = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;  // status change: any write or rename touches it

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

FileIdentity identityOf(const std::filesystem::path& file);

class MapFile final : public TileStore {
public:
    explicit MapFile(std::filesystem::path file) : file_(std::move(file)) {}

    // Missing while the file is not open.
    TileRead read(int zoom, std::int64_t col, std::int64_t row) const override;
    std::optional<TileOrigin> locate(int zoom, std::int64_t col, std::int64_t row) const override;

    // Opens the file again when it needs to (see above), then gives the fill its bound.
    void startFill(std::vector<StoreNote>& notes) override;

    // Opens the file again when it needs to, without a bound on the reads that follow.
    void openIfChanged(std::vector<StoreNote>& notes);

private:
    std::filesystem::path file_;
    bool tried_ = false;
    bool locked_ = false;   // the last try found the file locked: try again next time
    FileIdentity triedAs_;  // the file as it was when last tried
    std::unique_ptr<MbtilesStore> store_;
};

}  // namespace quorel
