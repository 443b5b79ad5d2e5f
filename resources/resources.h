#pragma once
// The program's images, embedded at build time from resources/*.png (see
// resources/CMakeLists.txt for the table of ids and files).
#include <cstdint>
#include <span>
#include <vector>

namespace quorel {

// The PNG file of an image; empty for an id the program does not have.
std::span<const std::uint8_t> resourcePng(int id);

// Every id, in the order of the table.
std::vector<int> resourceIds();

}  // namespace quorel
