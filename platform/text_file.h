#pragma once
// Text files as the program's files are: UTF-8, written with LF line ends; read with
// CR LF or LF line ends alike (CR LF becomes LF) and a leading byte-order mark dropped.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quorel::platform {

std::optional<std::string> readTextFile(const std::filesystem::path& file);

// Replaces the file's content; false when it cannot be created or written.
bool writeTextFile(const std::filesystem::path& file, std::string_view content);

// CR LF to LF and no byte-order mark, as readTextFile returns text.
std::string normalizeText(std::string_view bytes);

}  // namespace quorel::platform
