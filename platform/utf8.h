#pragma once
// UTF-8 text inside the program. The limits that the file formats count in characters
// (19 characters of a storage root, 255 of a name) are counted in code points here.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorel::platform {

// Decodes UTF-8 into code points. A byte that does not start a valid sequence becomes
// one code point of the same value (so Latin-1 text survives as Latin-1 characters).
std::u32string decodeUtf8(std::string_view bytes);
std::string encodeUtf8(std::u32string_view text);
void appendUtf8(std::string& out, char32_t c);

// The first maxChars characters of text (whole code points, never a broken sequence).
std::string_view utf8Prefix(std::string_view text, std::size_t maxChars);
std::size_t utf8Length(std::string_view text);

}  // namespace quorel::platform
