#pragma once
// The number scanning of the formatted-input family ("%d", "%lf"), on text in memory.
//
// Settings files, NMEA fields and GPX attributes were all read with scanf-style
// conversions; these functions reproduce what those conversions accept, with two
// differences that matter: they never depend on the C locale, and an integer out of
// range saturates instead of being undefined.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quorel::platform {

// White space as the C locale's isspace has it: space, \t, \n, \v, \f and \r.
constexpr bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

struct ScanResult {
    bool ok = false;           // a number was converted
    std::size_t consumed = 0;  // characters used, leading white space included; 0 when !ok
};

// "%d": skips leading white space, optional sign, decimal digits; stops at the first
// other character ("143514.00" gives 143514). Out-of-range values saturate.
ScanResult scanInt(std::string_view text, std::int32_t& out);

// "%lf": skips leading white space, optional sign, then a decimal or hexadecimal
// floating-point number, "inf", "infinity" or "nan" (any case).
ScanResult scanReal(std::string_view text, double& out);

// Convenience forms for whole tokens: the value when the text starts with a number.
std::optional<std::int32_t> scanIntPrefix(std::string_view text);
std::optional<double> scanRealPrefix(std::string_view text);

}  // namespace quorel::platform
