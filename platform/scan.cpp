#include "platform/scan.h"

#include <cctype>
#include <charconv>
#include <limits>

namespace quorel::platform {
namespace {

std::size_t skipSpace(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i])) ++i;
    return i;
}

bool startsWithNoCase(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != word[i]) return false;
    }
    return true;
}

}  // namespace

ScanResult scanInt(std::string_view text, std::int32_t& out) {
    std::size_t i = skipSpace(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t digitsStart = i;
    std::int64_t magnitude = 0;
    constexpr std::int64_t cap = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (magnitude < cap) magnitude = magnitude * 10 + (text[i] - '0');
        ++i;
    }
    if (i == digitsStart) return {};
    if (magnitude > cap) magnitude = cap;
    std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max()) value = std::numeric_limits<std::int32_t>::max();
    out = static_cast<std::int32_t>(value);
    return {true, i};
}

ScanResult scanReal(std::string_view text, double& out) {
    std::size_t i = skipSpace(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::string_view rest = text.substr(i);
    double value = 0.0;
    std::size_t used = 0;
    if (startsWithNoCase(rest, "infinity")) {
        value = std::numeric_limits<double>::infinity();
        used = 8;
    } else if (startsWithNoCase(rest, "inf")) {
        value = std::numeric_limits<double>::infinity();
        used = 3;
    } else if (startsWithNoCase(rest, "nan")) {
        value = std::numeric_limits<double>::quiet_NaN();
        used = 3;
    } else if (rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
        const auto r = std::from_chars(rest.data() + 2, rest.data() + rest.size(), value, std::chars_format::hex);
        if (r.ec == std::errc::invalid_argument) {
            value = 0.0;  // "0x" followed by no hex digits scans as the 0 in front
            used = 1;
        } else {
            used = static_cast<std::size_t>(r.ptr - rest.data());
        }
    } else {
        const auto r = std::from_chars(rest.data(), rest.data() + rest.size(), value, std::chars_format::general);
        if (r.ec == std::errc::invalid_argument) return {};
        used = static_cast<std::size_t>(r.ptr - rest.data());
        if (r.ec == std::errc::result_out_of_range) {
            // from_chars leaves the value alone on overflow or underflow; scanf gives
            // +-HUGE_VAL or 0, which is what the callers must see.
            bool tiny = true;
            for (std::size_t k = 0; k < used; ++k) {
                const char c = rest[k];
                if (c == 'e' || c == 'E') break;
                if (c >= '1' && c <= '9') {
                    // a mantissa with a non-zero digit: decide by the exponent's sign
                    const auto e = rest.substr(0, used).find_first_of("eE");
                    tiny = e != std::string_view::npos && e + 1 < used && rest[e + 1] == '-';
                    break;
                }
            }
            value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
        }
    }
    out = negative ? -value : value;
    return {true, i + used};
}

std::optional<std::int32_t> scanIntPrefix(std::string_view text) {
    std::int32_t v = 0;
    if (!scanInt(text, v).ok) return std::nullopt;
    return v;
}

std::optional<double> scanRealPrefix(std::string_view text) {
    double v = 0.0;
    if (!scanReal(text, v).ok) return std::nullopt;
    return v;
}

}  // namespace quorel::platform
