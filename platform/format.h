#pragma once
// printf-style formatting into std::string, checked by the compiler, never truncated.
// The program never changes the C locale, so "%f" always writes a decimal point.
#include <string>
#include <string_view>

namespace quorel::platform {

[[gnu::format(printf, 1, 2)]] std::string format(const char* fmt, ...);
[[gnu::format(printf, 2, 3)]] void appendFormat(std::string& out, const char* fmt, ...);

// text with &, <, > and " written as XML entities.
void appendXmlEscaped(std::string& out, std::string_view text);

}  // namespace quorel::platform
