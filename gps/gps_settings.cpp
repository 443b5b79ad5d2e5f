#include "gps/gps_settings.h"

#include <string_view>

#include "platform/format.h"
#include "platform/scan.h"
#include "platform/text_file.h"
#include "platform/utf8.h"

namespace quorel {
namespace {

constexpr std::size_t kMaxLineChars = 511;

// The file as a character stream: lines of at most 511 characters (a longer line comes
// in pieces, each read as a line) and single characters.
struct CharStream {
    std::u32string_view text;
    std::size_t pos = 0;

    bool atEnd() const { return pos >= text.size(); }

    std::u32string_view line() {
        const std::size_t start = pos;
        while (pos < text.size() && pos - start < kMaxLineChars) {
            if (text[pos++] == U'\n') break;
        }
        std::u32string_view l = text.substr(start, pos - start);
        const auto nul = l.find(U'\0');  // the line ends for the key search at a zero
        return nul == std::u32string_view::npos ? l : l.substr(0, nul);
    }
};

// "%d" at offset characters from the start of the key; a value that does not scan, or a
// line that ends before the offset, leaves the setting unchanged.
void scanAfterKey(std::u32string_view line, std::size_t keyPos, std::size_t offset, std::int32_t& out) {
    if (keyPos + offset > line.size()) return;
    const std::string rest = platform::encodeUtf8(line.substr(keyPos + offset));
    std::int32_t value = 0;
    if (platform::scanInt(rest, value).ok) out = value;
}

// The storage root on the line after "RootDir": at most kStorageRootChars characters,
// ending at a line feed or a zero from the fourth character on; the first three are kept
// whatever they are. An empty remainder of the file leaves the root unchanged.
void readStorageRoot(CharStream& in, std::string& root) {
    std::u32string value;
    for (std::size_t i = 0; i < GpsSettings::kStorageRootChars && !in.atEnd(); ++i) {
        const char32_t c = in.text[in.pos++];
        if (i >= 3 && (c == U'\n' || c == U'\0')) break;
        value.push_back(c);
    }
    if (!value.empty()) root = platform::encodeUtf8(value);
}

}  // namespace

bool loadGpsSettings(GpsSettings& s, const std::filesystem::path& programDir) {
    const auto bytes = platform::readTextFile(programDir / kGpsSettingsFile);
    if (!bytes) return false;
    const std::u32string text = platform::decodeUtf8(*bytes);
    CharStream in{text};
    while (!in.atEnd()) {
        const std::u32string_view line = in.line();
        std::size_t at = 0;
        if (line.find(U"RootDir") != std::u32string_view::npos) {
            readStorageRoot(in, s.storageRoot);
        } else if ((at = line.find(U"AutoOpen")) != std::u32string_view::npos) {
            scanAfterKey(line, at, 9, s.autoOpen);
        } else if ((at = line.find(U"CommPort")) != std::u32string_view::npos) {
            scanAfterKey(line, at, 9, s.commPort);
        } else if ((at = line.find(U"Baudrate")) != std::u32string_view::npos) {
            scanAfterKey(line, at, 9, s.baudRate);
        } else if ((at = line.find(U"Bit")) != std::u32string_view::npos) {
            scanAfterKey(line, at, 4, s.byteSize);
        }
    }
    return true;
}

bool saveGpsSettings(const GpsSettings& s, const std::filesystem::path& programDir) {
    const std::string text = platform::format("AutoOpen %d\nCommPort %d\nBaudrate %d\nBit %d\nRootDir\n%s\n",
                                              s.autoOpen, s.commPort, s.baudRate, s.byteSize, s.storageRoot.c_str());
    return platform::writeTextFile(programDir / kGpsSettingsFile, text);
}

}  // namespace quorel
