#include "platform/format.h"

#include <cstdarg>
#include <cstdio>

namespace quorel::platform {
namespace {

void appendV(std::string& out, const char* fmt, std::va_list args) {
    std::va_list probe;
    va_copy(probe, args);
    const int n = std::vsnprintf(nullptr, 0, fmt, probe);
    va_end(probe);
    if (n <= 0) return;
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(n) + 1);
    std::vsnprintf(out.data() + start, static_cast<std::size_t>(n) + 1, fmt, args);
    out.pop_back();  // the terminator
}

}  // namespace

std::string format(const char* fmt, ...) {
    std::string out;
    std::va_list args;
    va_start(args, fmt);
    appendV(out, fmt, args);
    va_end(args);
    return out;
}

void appendFormat(std::string& out, const char* fmt, ...) {
    std::va_list args;
    va_start(args, fmt);
    appendV(out, fmt, args);
    va_end(args);
}

void appendXmlEscaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out.push_back(c);
        }
    }
}

}  // namespace quorel::platform
