#pragma once
// What the demo data tests share: one small demo tree made by the real command, and a
// PNG reader that is not the generator's writer.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/demo_tiles.h"

namespace quorel::demo::test {

// The command's output for zooms kZoomMin..kZoomMax within kRadius metres of home,
// made once per test run in a temporary directory.
inline constexpr int kZoomMin = 14;
inline constexpr int kZoomMax = 17;
inline constexpr double kRadius = 500.0;

struct Generated {
    std::filesystem::path root;   // OUTDIR
    std::filesystem::path maps;   // OUTDIR/sdmmc/Maps/std
    int status = -1;              // the command's exit status
};
const Generated& generated();

// Runs a shell command; its exit status, or -1 when it did not exit normally.
int run(const std::string& command);
std::string quoted(const std::filesystem::path& p);
std::string readBytes(const std::filesystem::path& file);

struct Png {
    bool ok = false;
    int width = 0;
    int height = 0;
    int bitDepth = 0;
    int colourType = -1;             // as stored in the file's header
    std::vector<std::uint8_t> rgba;  // decoded, 4 bytes a pixel
};
Png readPng(const std::filesystem::path& file);

// Every tile file under the tree, parsed from its path; false for any other file.
bool listTiles(const std::filesystem::path& maps, std::vector<TileId>& tiles, std::vector<std::string>& strays);

}  // namespace quorel::demo::test
