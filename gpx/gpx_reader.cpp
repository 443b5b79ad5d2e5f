// Sample input of the token scanner (from another program, indented, one segment):
//   <trk>
//     <name>Morning walk</name>
//     <trkseg>
//       <trkpt lat="34.482447" lon="135.824178"><ele>12.5</ele></trkpt>
//       <trkpt lat='34.482500' lon='135.824200'/>
//     </trkseg>
//   </trk>
// -> one track "Morning walk" with two points (the second at ele 0).
//
// Sample input of the line scanner (the program's own track log):
//   <name>Current</name>
//   <trkpt lat="34.482447" lon="135.824178">
//    <ele>12.500000</ele>
//    <time>2008-07-18T14:35:14Z</time>
//   </trkpt>
//   </trkseg>
// -> a path named "Current" with one point.
#include "gpx/gpx_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "platform/files.h"
#include "platform/scan.h"
#include "platform/utf8.h"

namespace quorel {
namespace {

// A byte that begins a character: limits count characters, not bytes. A byte that is
// not valid UTF-8 counts as a character of its own, as the text decoder reads it.
bool isCharStart(unsigned char b) { return b < 0x80 || b >= 0xC0; }

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Appends bytes to a string up to a number of characters, then drops the rest. The byte
// cap keeps a run of stray continuation bytes from growing the string without end.
// Characters are counted only once the bytes could reach the limit.
class Cutter {
public:
    Cutter(std::string& out, std::size_t maxChars, bool skipLeadingSpace = false)
        : out_(out), maxChars_(maxChars), skipLeadingSpace_(skipLeadingSpace) {}

    std::size_t limit() const { return maxChars_; }

    void put(char c) {
        if (full_) return;
        if (skipLeadingSpace_ && out_.empty() && (c == ' ' || c == '\t')) return;
        if (out_.size() < maxChars_) {  // fewer bytes than the limit: fewer characters too
            out_.push_back(c);
            return;
        }
        if (chars_ == kUncounted) {
            chars_ = 0;
            for (unsigned char b : out_) chars_ += isCharStart(b) ? 1 : 0;
        }
        if (isCharStart(static_cast<unsigned char>(c))) {
            if (chars_ == maxChars_) {
                full_ = true;
                return;
            }
            ++chars_;
        }
        if (out_.size() >= 4 * maxChars_) {
            full_ = true;
            return;
        }
        out_.push_back(c);
    }

    // Spans without line breaks, in one go when they cannot reach the limit.
    void append(std::string_view span) {
        if (skipLeadingSpace_ && out_.empty()) {
            while (!span.empty() && (span[0] == ' ' || span[0] == '\t')) span.remove_prefix(1);
        }
        if (!full_ && out_.size() + span.size() <= maxChars_) {
            out_.append(span);
            return;
        }
        for (char c : span) put(c);
    }

private:
    static constexpr std::size_t kUncounted = static_cast<std::size_t>(-1);

    std::string& out_;
    std::size_t maxChars_;
    std::size_t chars_ = kUncounted;
    bool full_ = false;
    bool skipLeadingSpace_;
};

// How many bytes of text a Cutter keeps with a limit of maxChars characters.
std::size_t keptBytes(std::string_view text, std::size_t maxChars) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isCharStart(static_cast<unsigned char>(text[i])) && chars++ == maxChars) return i;
        if (i >= 4 * maxChars) return i;
    }
    return text.size();
}

// Text up to the next "<", line breaks dropped. Returns whether any byte was text.
bool readText(GpxStream& in, Cutter& cut) {
    bool any = false;
    for (std::string_view w = in.window(); !w.empty(); w = in.window()) {
        const char* p = w.data();
        const char* const end = p + w.size();
        const char* run = p;  // the start of the bytes since the last line break
        for (; p != end && *p != '<'; ++p) {
            if (*p == '\r' || *p == '\n') {
                if (p != run) cut.append(std::string_view(run, static_cast<std::size_t>(p - run)));
                any = any || p != run;
                run = p + 1;
            }
        }
        if (p != run) cut.append(std::string_view(run, static_cast<std::size_t>(p - run)));
        any = any || p != run;
        in.skip(static_cast<std::size_t>(p - w.data()));
        if (p != end) break;
    }
    return any;
}

// The body of a comment, after "<!--": everything up to and including "-->".
void skipComment(GpxStream& in) {
    int dashes = 0;
    for (int c = in.get(); c >= 0; c = in.get()) {
        if (c == '>' && dashes >= 2) return;
        dashes = c == '-' ? dashes + 1 : 0;
    }
}

// The body of a CDATA section, after "<![CDATA[": its characters up to "]]>".
void readCData(GpxStream& in, Cutter& cut) {
    int brackets = 0;  // "]" held back: they may begin the end
    for (int c = in.get(); c >= 0; c = in.get()) {
        if (c == '>' && brackets >= 2) {
            for (int i = 2; i < brackets; ++i) cut.put(']');
            return;
        }
        if (c == ']') {
            ++brackets;
            continue;
        }
        for (; brackets > 0; --brackets) cut.put(']');
        if (c == '\r' || c == '\n') continue;
        cut.put(static_cast<char>(c));
    }
    for (; brackets > 0; --brackets) cut.put(']');
}

// The rest of a tag after its "<", in bulk: up to and including ">", or up to the next
// "<" or the end.
void readTagBody(GpxStream& in, GpxToken& t, Cutter& cut) {
    t.kind = GpxToken::Kind::Tag;
    char prev = '<';
    for (std::string_view w = in.window(); !w.empty(); w = in.window()) {
        const char* p = w.data();
        const char* const end = p + w.size();
        while (p != end && *p != '<' && *p != '>') ++p;
        const auto n = static_cast<std::size_t>(p - w.data());
        if (n > 0) {
            cut.append(w.substr(0, n));
            prev = p[-1];
        }
        in.skip(n);
        if (p == end) continue;
        if (*p == '>') {
            in.skip(1);
            cut.put('>');
            t.selfClosing = prev == '/';
        }
        break;
    }
}

// The same for a tag whose first bytes may not be buffered yet; also finds comments and
// CDATA sections there.
void readTagBodyByteByByte(GpxStream& in, GpxToken& t, Cutter& cut) {
    t.kind = GpxToken::Kind::Tag;
    int prev = 0;
    std::size_t read = 1;
    for (int c = in.peek(); c >= 0 && c != '<'; c = in.peek()) {
        in.skip(1);
        cut.put(static_cast<char>(c));
        if (c == '>') {
            t.selfClosing = prev == '/';
            return;
        }
        prev = c;
        if (++read == 4 && t.storage == "<!--") {
            skipComment(in);
            t.kind = GpxToken::Kind::Comment;
            return;
        }
        if (read == 9 && t.storage == "<![CDATA[") {
            t.storage.clear();
            Cutter body(t.storage, cut.limit());
            readCData(in, body);
            t.kind = GpxToken::Kind::CData;
            return;
        }
    }
}

// What a byte means in a tag: it ends the element name (white space, control
// characters, "/"), ends the tag (">"), or breaks it off ("<").
enum class TagByte : unsigned char { Plain, NameEnd, Close, Open };
constexpr auto kTagBytes = [] {
    std::array<TagByte, 256> table{};
    for (int c = 0; c <= ' '; ++c) table[static_cast<std::size_t>(c)] = TagByte::NameEnd;
    table['/'] = TagByte::NameEnd;
    table['>'] = TagByte::Close;
    table['<'] = TagByte::Open;
    return table;
}();

void setName(GpxToken& t) {
    t.endTag = t.text.size() > 1 && t.text[1] == '/';
    t.nameStart = t.endTag ? 2 : 1;
    std::size_t end = t.nameStart;
    while (end < t.text.size() && kTagBytes[static_cast<unsigned char>(t.text[end])] == TagByte::Plain) ++end;
    t.nameLength = end - t.nameStart;
    t.element = gpxElement(t.name());
}

// A tag that lies whole in w (w[0] is its "<"), as a view of w with its name; false
// when it runs past w or breaks off at a "<", or is longer than maxChars.
[[gnu::always_inline]] inline bool viewTag(std::string_view w, GpxToken& t, std::size_t maxChars) {
    const std::size_t nameStart = w.size() > 1 && w[1] == '/' ? 2 : 1;
    std::size_t p = nameStart;
    while (p < w.size() && kTagBytes[static_cast<unsigned char>(w[p])] == TagByte::Plain) ++p;
    const std::size_t nameEnd = p;
    if (p < w.size() && kTagBytes[static_cast<unsigned char>(w[p])] == TagByte::NameEnd) {
        // Attributes: long enough to look for the end in bulk.
        const auto* gt = static_cast<const char*>(std::memchr(w.data() + p, '>', w.size() - p));
        if (gt == nullptr) return false;
        const auto close = static_cast<std::size_t>(gt - w.data());
        if (std::memchr(w.data() + p, '<', close - p) != nullptr) return false;
        p = close;
    }
    if (p >= w.size() || w[p] != '>' || p + 1 > maxChars) return false;
    t.kind = GpxToken::Kind::Tag;
    t.text = w.substr(0, p + 1);
    t.selfClosing = w[p - 1] == '/';
    t.endTag = nameStart == 2;
    t.nameStart = nameStart;
    t.nameLength = nameEnd - nameStart;
    t.element = gpxElement(t.name());
    return true;
}

// A tag that cannot stand inside a point: the point ends before it.
bool endsPoint(const GpxToken& t) {
    if (!t.isTag()) return false;
    switch (t.element) {
        case GpxElement::Trkseg:
        case GpxElement::Trk:
        case GpxElement::Rte: return true;
        case GpxElement::Gpx: return t.endTag;
        case GpxElement::Trkpt:
        case GpxElement::Rtept:
        case GpxElement::Wpt: return !t.endTag;
        default: return false;
    }
}

// A start tag's element, to match its end tag by: the id when it is one of ours.
struct ElementOf {
    GpxElement id;
    std::string name;  // short names stay in the string itself
    explicit ElementOf(const GpxToken& startTag) : id(startTag.element), name(startTag.name()) {}
    bool endedBy(const GpxToken& t) const { return id != GpxElement::Other ? t.isEnd(id) : t.isEnd(name); }
};

// The value of a text read whole, as readValue takes it: cut as its token would be, then
// to maxChars characters, white space around it dropped.
void valueOfText(std::string_view text, std::size_t maxChars, std::string& out) {
    out.clear();
    Cutter cut(out, maxChars, true);
    cut.append(text.substr(0, keptBytes(text, kPathTokenChars)));
    while (!out.empty() && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
}

// The value of a name or ele element whose start tag was just read: text and CDATA up
// to the next tag, cut to maxChars characters, white space around it dropped. The
// element's end tag is consumed; any other tag is left to be read again.
void readValue(GpxScanner& in, const GpxToken& startTag, std::size_t maxChars, std::string& out) {
    out.clear();
    if (startTag.selfClosing) return;
    const ElementOf element(startTag);
    Cutter cut(out, maxChars, true);
    std::string_view direct;
    if (in.valueBeforeEnd(element.name, direct)) {
        valueOfText(direct, maxChars, out);
        return;
    } else {
        while (const GpxToken* t = in.next(kPathTokenChars)) {
            if (t->kind == GpxToken::Kind::Text || t->kind == GpxToken::Kind::CData) {
                cut.append(t->text);
                continue;
            }
            if (t->kind == GpxToken::Kind::Comment) continue;
            if (!element.endedBy(*t)) in.putBack();
            break;
        }
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
}

// The run of decimal digits among the 8 bytes at p: how many lead (0 to 8) and their
// value. On little-endian machines without a loop: a bit mask finds the first byte that
// is no digit, the run is padded in front with '0' digits to eight, and the eight are
// combined pairwise within one 64-bit word.
[[gnu::always_inline]] inline int digitRun8(const char* p, std::uint64_t& value) {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t kHigh = 0xF0F0F0F0F0F0F0F0u;
        constexpr std::uint64_t kZeros = 0x3030303030303030u;
        std::uint64_t v = 0;
        std::memcpy(&v, p, 8);
        // A byte is a digit when its high nibble is 3, also after adding 6 (0x3A-0x3F
        // are not). Carries from a byte at 0xFA or above only reach later bytes.
        const std::uint64_t notDigit = ((v & kHigh) ^ kZeros) | (((v + 0x0606060606060606u) & kHigh) ^ kZeros);
        const int n = notDigit == 0 ? 8 : std::countr_zero(notDigit) / 8;
        if (n == 0) {
            value = 0;
            return 0;
        }
        if (n < 8) v = (v << (8 * (8 - n))) | (kZeros >> (8 * n));
        v -= kZeros;
        v = v * 10 + (v >> 8);  // two-digit values in every other byte
        v = (((v & 0x000000FF000000FFu) * 0x000F424000000064u) + (((v >> 16) & 0x000000FF000000FFu) * 0x0000271000000001u)) >> 32;
        value = v;
        return n;
    } else {
        int n = 0;
        value = 0;
        for (; n < 8; ++n) {
            const auto d = static_cast<unsigned>(static_cast<unsigned char>(p[n])) - '0';
            if (d > 9) break;
            value = value * 10 + d;
        }
        return n;
    }
}

// Appends the run of digits at p to digits; returns where the run ends.
[[gnu::always_inline]] inline const char* readDigits(const char* p, const char* end, std::uint64_t& digits) {
    static constexpr std::uint64_t kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
    while (end - p >= 8) {
        std::uint64_t run = 0;
        const int n = digitRun8(p, run);
        digits = digits * kScale[n] + run;
        p += n;
        if (n < 8) return p;
    }
    for (; p != end; ++p) {
        const auto d = static_cast<unsigned>(static_cast<unsigned char>(*p)) - '0';
        if (d > 9) break;
        digits = digits * 10 + d;
    }
    return p;
}

// Plain decimals ("35.123456", "-12.5") without an exponent, when the digits fit in 53
// bits and there are at most 22 decimals: both the digits and the power of ten are then
// exact doubles, and one division rounds correctly, so the result is what "%lf" gives.
// Anything else is left to the full conversion.
bool scanPlainDecimal(std::string_view text, double& out) {
    static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p != end && (*p == ' ' || *p == '\t')) ++p;
    const bool negative = p != end && *p == '-';
    if (p != end && (*p == '-' || *p == '+')) ++p;
    std::uint64_t digits = 0;  // wraps when there are more than 19 digits: then not used
    const char* const first = p;
    p = readDigits(p, end, digits);
    const auto whole = static_cast<std::size_t>(p - first);
    std::size_t decimals = 0;
    if (p != end && *p == '.') {
        const char* const fraction = ++p;
        p = readDigits(p, end, digits);
        decimals = static_cast<std::size_t>(p - fraction);
    }
    if (whole + decimals == 0 || whole + decimals > 15) return false;  // 15 digits stay below 2^53
    if (p != end && (*p == 'e' || *p == 'E' || *p == 'x' || *p == 'X')) return false;
    const double v = static_cast<double>(digits) / kPow10[decimals];
    out = negative ? -v : v;
    return true;
}

// "%lf" on at most kNumberChars characters; nothing when it does not convert.
bool scanNumber(std::string_view text, double& out) {
    text = text.substr(0, kNumberChars);
    return scanPlainDecimal(text, out) || platform::scanReal(text, out).ok;
}

double elevationOf(std::string_view text) {
    double v = 0.0;
    if (!scanNumber(text, v) || !std::isfinite(v)) return 0.0;
    return v;
}

// The text of an attribute value whose name ends before `at`: white space, "=", white
// space, then the value, after its opening quote when it has one. The value runs to
// its closing quote (double or single), ">", or for an unquoted value to white space or
// "/"; a number cannot hold any of those, so converting the text from its start reads
// just the value. False without an "=".
bool attributeValue(std::string_view tag, std::size_t at, std::string_view& value) {
    std::size_t i = at;
    while (i < tag.size() && isSpace(tag[i])) ++i;
    if (i >= tag.size() || tag[i] != '=') return false;
    ++i;
    while (i < tag.size() && isSpace(tag[i])) ++i;
    if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) ++i;
    value = tag.substr(i);
    return true;
}

class FileDescriptor {
public:
    explicit FileDescriptor(const std::filesystem::path& file) {
        fd_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_ = -1;
};

void readGpxStream(GpxStream& stream, GpxOverlays& out) {
    GpxScanner in(stream);
    GpxPointEntry entry;
    LatLon position;
    while (const GpxToken* t = in.nextTag(kTopTokenChars)) {
        if (!t->isTag()) continue;
        if (t->isEnd(GpxElement::Gpx)) break;
        if (t->isStart(GpxElement::Trk) || t->isStart(GpxElement::Rte)) {
            const PathKind kind = t->isStart(GpxElement::Trk) ? PathKind::Track : PathKind::Route;
            GpxPathList& list = kind == PathKind::Track ? out.tracks : out.routes;
            if (t->selfClosing) {
                list.append(GpxPath{});
            } else {
                readPath(in, kind, list);
            }
        } else if (t->isStart(GpxElement::Wpt)) {
            readPoint(in, *t, entry, position);
            if (position.valid()) out.waypoints.addPoint(entry.point);
        }
    }
}

// Pieces of lines as a line-reading call with a buffer of kTrackLineChars + 1 gives
// them: up to and including a line feed, at most kTrackLineChars characters; CR LF is
// read as LF. The line end itself is not part of the returned text.
class LineReader {
public:
    explicit LineReader(GpxStream& in) : in_(in) {}

    bool next(std::string_view& line) {
        const std::string_view w = in_.window();
        if (w.empty()) return false;
        // Most lines lie whole in the buffer and are short enough to count bytes.
        const std::size_t limit = std::min(w.size(), kTrackLineChars);
        const void* nl = std::memchr(w.data(), '\n', limit);
        if (nl != nullptr) {
            const auto len = static_cast<std::size_t>(static_cast<const char*>(nl) - w.data());
            line = w.substr(0, len);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            in_.skip(len + 1);
            return true;
        }
        piece_.clear();
        std::size_t chars = 0;
        for (int c = in_.peek(); c >= 0; c = in_.peek()) {
            const bool starts = isCharStart(static_cast<unsigned char>(c));
            if (starts && chars == kTrackLineChars) break;  // the next piece begins here
            in_.skip(1);
            if (c == '\r' && in_.peek() == '\n') continue;
            if (starts) ++chars;
            if (c == '\n') break;
            piece_.push_back(static_cast<char>(c));
        }
        line = piece_;
        return true;
    }

private:
    GpxStream& in_;
    std::string piece_;
};

// The tags a line of our own files may hold; each begins with "<", so one pass over the
// line's "<" finds them all where a search for each would.
struct LineTags {
    std::size_t name = std::string_view::npos;  // where "<name>" begins
    std::size_t ele = std::string_view::npos;   // where "<ele>" begins
    bool trkpt = false;                          // "<trkpt"
    bool trkptEnd = false;                       // "</trkpt>"
    bool trksegEnd = false;                      // "</trkseg>"
};

LineTags findLineTags(std::string_view line) {
    LineTags tags;
    for (auto lt = line.find('<'); lt != std::string_view::npos; lt = line.find('<', lt + 1)) {
        const std::string_view rest = line.substr(lt + 1);
        if (rest.starts_with("name>")) {
            if (tags.name == std::string_view::npos) tags.name = lt;
        } else if (rest.starts_with("ele>")) {
            if (tags.ele == std::string_view::npos) tags.ele = lt;
        } else if (rest.starts_with("trkpt")) {
            tags.trkpt = true;
        } else if (rest.starts_with("/trkpt>")) {
            tags.trkptEnd = true;
        } else if (rest.starts_with("/trkseg>")) {
            tags.trksegEnd = true;
        }
    }
    return tags;
}

void loadTrackStream(GpxStream& stream, GpxPath& path) {
    path.clearPoints();
    LineReader lines(stream);
    std::string_view line;
    GeoPoint point;
    bool hasLat = false;
    bool hasLon = false;
    while (lines.next(line)) {
        const LineTags tags = findLineTags(line);
        if (tags.name != std::string_view::npos) {
            const auto start = tags.name + 6;
            const auto close = line.find("</name>", start);
            if (close != std::string_view::npos) {
                path.name = std::string(platform::utf8Prefix(line.substr(start, close - start), kTrackNameChars));
            }
            continue;
        }
        if (tags.trkpt) {
            const LatLon ll = readLatLon(line);
            if (ll.hasLat) {
                point.lat = ll.lat;
                hasLat = true;
            }
            if (ll.hasLon) {
                point.lon = ll.lon;
                hasLon = true;
            }
        }
        if (tags.ele != std::string_view::npos) {
            std::string_view value = line.substr(tags.ele + 5);
            if (!value.empty() && value[0] == '"') value.remove_prefix(1);
            point.ele = elevationOf(value);  // a number ends before any '"' or "<"
        }
        if (tags.trkptEnd) {
            const LatLon ll{point.lat, point.lon, hasLat, hasLon};
            if (ll.valid()) path.addPoint(point);
            point = GeoPoint{};
            hasLat = hasLon = false;
        }
        if (tags.trksegEnd) break;
    }
}

}  // namespace

GpxStream::GpxStream(std::string_view text, std::size_t chunkBytes) {
    if (chunkBytes == 0) {
        cur_ = text.data();
        end_ = text.data() + text.size();
    } else {
        memory_ = text;
        chunk_ = chunkBytes;
    }
}

GpxStream::GpxStream(int fd) : fd_(fd), buffer_(kReadBufferBytes) {
    cur_ = end_ = buffer_.data();
}

bool GpxStream::refill() {
    if (fd_ >= 0) {
        for (;;) {
            const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
            if (n > 0) {
                cur_ = buffer_.data();
                end_ = cur_ + n;
                return true;
            }
            if (n < 0 && errno == EINTR) continue;
            return false;  // the end, or a read error taken as the end
        }
    }
    if (memory_.empty()) return false;
    const std::size_t n = std::min(chunk_, memory_.size());
    cur_ = memory_.data();
    end_ = cur_ + n;
    memory_.remove_prefix(n);
    return true;
}

// A token that lies whole in the buffer, needs no change and is within its limit (in
// bytes, so in characters too) is a view of the buffer; the others are copied.
bool viewToken(std::string_view w, GpxToken& t, std::size_t maxChars, std::size_t& length) {
    if (w[0] != '<') {
        std::size_t p = 0;
        while (p < w.size() && w[p] != '<' && w[p] != '\r' && w[p] != '\n') ++p;
        if (p == w.size() || w[p] != '<' || p > maxChars) return false;
        t.kind = GpxToken::Kind::Text;
        length = p;
        return true;
    }
    if (w.size() < 9 || w[1] == '!') return false;  // a comment or CDATA may begin here
    if (!viewTag(w, t, maxChars)) return false;
    length = t.text.size();
    return true;
}

bool readToken(GpxStream& in, GpxToken& t, std::size_t maxChars) {
    t.text = {};
    t.storage.clear();
    t.selfClosing = t.endTag = false;
    t.nameStart = t.nameLength = 0;
    const std::string_view w = in.window();
    if (w.empty()) {
        t.kind = GpxToken::Kind::End;
        return false;
    }
    std::size_t length = 0;
    if (viewToken(w, t, maxChars, length)) {
        if (!t.isTag()) t.text = w.substr(0, length);
        in.skip(length);
        return true;
    }

    Cutter cut(t.storage, maxChars);
    if (readText(in, cut)) {
        t.kind = GpxToken::Kind::Text;
        t.text = t.storage;
        return true;
    }
    if (in.get() < 0) {  // the "<" that ended the text, if any
        t.kind = GpxToken::Kind::End;
        return false;
    }
    cut.put('<');
    const std::string_view ahead = in.window();
    if (ahead.size() >= 8) {
        // What kind of token this is shows in the next bytes, which lie in the buffer.
        if (ahead[0] == '!' && ahead.substr(0, 3) == "!--") {
            in.skip(3);
            skipComment(in);
            t.kind = GpxToken::Kind::Comment;
            t.text = t.storage;
            return true;
        }
        if (ahead[0] == '!' && ahead.substr(0, 8) == "![CDATA[") {
            in.skip(8);
            t.storage.clear();
            Cutter body(t.storage, maxChars);
            readCData(in, body);
            t.kind = GpxToken::Kind::CData;
            t.text = t.storage;
            return true;
        }
        readTagBody(in, t, cut);
    } else {
        readTagBodyByteByByte(in, t, cut);  // near the end of a buffer: the same, one byte at a time
    }
    t.text = t.storage;
    if (t.isTag()) setName(t);
    return true;
}

bool readTag(GpxStream& in, GpxToken& t, std::size_t maxChars) {
    for (;;) {
        std::string_view w = in.window();
        if (w.empty()) {
            t.kind = GpxToken::Kind::End;
            t.text = {};
            return false;
        }
        // Text up to the next "<" is passed over; between tags it is mostly a line
        // break and some indentation.
        std::size_t lt = 0;
        while (lt < w.size() && lt < 4 && w[lt] != '<') ++lt;
        if (lt == 4) {
            const void* found = std::memchr(w.data() + lt, '<', w.size() - lt);
            lt = found == nullptr ? w.size() : static_cast<std::size_t>(static_cast<const char*>(found) - w.data());
        }
        in.skip(lt);
        if (lt == w.size()) continue;
        w.remove_prefix(lt);
        // Most tags lie whole in the buffer: a view, as readToken would give it.
        if (w.size() >= 9 && w[1] != '!' && viewTag(w, t, maxChars)) {
            t.storage.clear();
            in.skip(t.text.size());
            return true;
        }
        if (!readToken(in, t, maxChars)) return false;
        if (t.isTag()) return true;  // else a comment or CDATA: read on
    }
}

GpxElement gpxElement(std::string_view n) {
    const auto is = [n](const char* word) { return n == std::string_view(word); };
    switch (n.size()) {
        case 3:
            if (is("trk")) return GpxElement::Trk;
            if (is("rte")) return GpxElement::Rte;
            if (is("wpt")) return GpxElement::Wpt;
            if (is("ele")) return GpxElement::Ele;
            if (is("gpx")) return GpxElement::Gpx;
            break;
        case 4:
            if (is("name")) return GpxElement::Name;
            break;
        case 5:
            if (is("trkpt")) return GpxElement::Trkpt;
            if (is("rtept")) return GpxElement::Rtept;
            break;
        case 6:
            if (is("trkseg")) return GpxElement::Trkseg;
            break;
        default: break;
    }
    return GpxElement::Other;
}

bool GpxScanner::valueBeforeEnd(std::string_view element, std::string_view& value) {
    if (again_) return false;
    const std::string_view w = in_.window();
    std::size_t lt = 0;
    while (lt < w.size() && w[lt] != '<' && w[lt] != '\r' && w[lt] != '\n') ++lt;
    const std::size_t tagLength = element.size() + 3;
    if (lt == w.size() || w[lt] != '<' || w.size() - lt < tagLength || w[lt + 1] != '/' ||
        w.substr(lt + 2, element.size()) != element || w[lt + tagLength - 1] != '>') {
        return false;
    }
    value = w.substr(0, lt);
    in_.skip(lt + tagLength);
    return true;
}

const GpxToken* GpxScanner::nextTag(std::size_t maxChars) {
    if (again_) {
        again_ = false;
        if (token_.kind == GpxToken::Kind::End) return nullptr;
        if (token_.isTag()) return &token_;
    }
    return readTag(in_, token_, maxChars) ? &token_ : nullptr;
}

const GpxToken* GpxScanner::next(std::size_t maxChars) {
    if (again_) {
        again_ = false;
        return token_.kind == GpxToken::Kind::End ? nullptr : &token_;
    }
    return readToken(in_, token_, maxChars) ? &token_ : nullptr;
}

bool LatLon::valid() const {
    return hasLat && hasLon && std::isfinite(lat) && std::isfinite(lon) && std::fabs(lat) <= 90.0 &&
           std::fabs(lon) <= 180.0;
}

LatLon readLatLon(std::string_view tag) {
    LatLon ll;
    bool latSeen = false;
    bool lonSeen = false;
    // Each "=" ends an attribute name, after optional white space; the name must follow
    // white space itself ("flat=" is not "lat="). The first of each name decides.
    for (std::size_t eq = tag.find('='); eq != std::string_view::npos && !(latSeen && lonSeen);
         eq = tag.find('=', eq + 1)) {
        std::size_t end = eq;
        while (end > 0 && isSpace(tag[end - 1])) --end;
        if (end < 4 || !isSpace(tag[end - 4]) || tag[end - 3] != 'l') continue;
        const bool lat = !latSeen && tag[end - 2] == 'a' && tag[end - 1] == 't';
        const bool lon = !lonSeen && tag[end - 2] == 'o' && tag[end - 1] == 'n';
        if (!lat && !lon) continue;
        std::string_view value;
        attributeValue(tag, end, value);
        if (lat) {
            latSeen = true;
            ll.hasLat = scanNumber(value, ll.lat);
        } else {
            lonSeen = true;
            ll.hasLon = scanNumber(value, ll.lon);
        }
    }
    if (!ll.hasLat) ll.lat = 0.0;
    if (!ll.hasLon) ll.lon = 0.0;
    return ll;
}

int readPoint(GpxScanner& in, const GpxToken& startTag, GpxPointEntry& entry, LatLon& position) {
    entry.reset();
    position = readLatLon(startTag.text);
    entry.point.lat = position.lat;
    entry.point.lon = position.lon;
    if (startTag.selfClosing) return 1;
    const ElementOf element(startTag);  // startTag is overwritten from here on
    std::string value;
    while (const GpxToken* t = in.nextTag(kPathTokenChars)) {
        if (!t->isTag()) continue;
        if (element.endedBy(*t)) return 1;
        if (t->isStart(GpxElement::Name)) {
            readValue(in, *t, GpxPointEntry::kNameChars, entry.name);
        } else if (t->isStart(GpxElement::Ele)) {
            std::string_view direct;
            if (!t->selfClosing && in.valueBeforeEnd("ele", direct)) {
                // A number's text within the limits converts as it stands: the conversion
                // passes over the white space that the value would lose.
                if (direct.size() > kNumberChars) {
                    valueOfText(direct, kNumberChars, value);
                    direct = value;
                }
                entry.point.ele = elevationOf(direct);
            } else {
                readValue(in, *t, kNumberChars, value);
                entry.point.ele = elevationOf(value);
            }
        } else if (endsPoint(*t)) {
            in.putBack();
            return 1;
        } else if (t->element == GpxElement::Other && !t->endTag && !t->selfClosing && t->nameLength < 16) {
            // An element of no interest that holds only text (a time, a hdop): its text
            // and end tag would be passed over one by one; pass them over at once.
            char name[16];
            std::memcpy(name, t->name().data(), t->nameLength);
            std::string_view ignored;
            in.valueBeforeEnd(std::string_view(name, t->nameLength), ignored);
        }
    }
    return 0;
}

void readPath(GpxScanner& in, PathKind kind, GpxPathList& out) {
    const GpxElement container = kind == PathKind::Track ? GpxElement::Trk : GpxElement::Rte;
    const GpxElement pointName = kind == PathKind::Track ? GpxElement::Trkpt : GpxElement::Rtept;
    std::vector<GpxPath> segments(1);
    int segmentsSeen = 0;
    std::string name;
    GpxPointEntry entry;
    LatLon position;
    while (const GpxToken* t = in.nextTag(kPathTokenChars)) {
        if (!t->isTag()) continue;
        if (t->isStart(pointName)) {
            const int ended = readPoint(in, *t, entry, position);
            if (position.valid()) segments.back().addPoint(entry.point);
            if (ended == 0) break;
        } else if (t->isStart(GpxElement::Name)) {
            readValue(in, *t, GpxPath::kNameChars, name);
        } else if (kind == PathKind::Track && t->isStart(GpxElement::Trkseg)) {
            if (segmentsSeen++ > 0) segments.emplace_back();
        } else if (t->isEnd(container)) {
            break;
        } else if (t->isEnd(GpxElement::Gpx) || t->isStart(GpxElement::Trk) || t->isStart(GpxElement::Rte)) {
            in.putBack();  // this path's end tag is missing
            break;
        }
    }
    for (GpxPath& segment : segments) {
        segment.name = name;
        out.append(std::move(segment));
    }
}

void readGpxText(std::string_view text, GpxOverlays& out, std::size_t chunkBytes) {
    GpxStream stream(text, chunkBytes);
    readGpxStream(stream, out);
}

void loadTrackText(std::string_view text, GpxPath& path, std::size_t chunkBytes) {
    GpxStream stream(text, chunkBytes);
    loadTrackStream(stream, path);
}

int readGpxFile(const std::filesystem::path& file, GpxOverlays& out) {
    const FileDescriptor fd(file);
    if (fd.get() < 0) return -1;
    GpxStream stream(fd.get());
    readGpxStream(stream, out);
    return 0;
}

int loadTrackFile(const std::filesystem::path& file, GpxPath& path) {
    const FileDescriptor fd(file);
    if (fd.get() < 0) return -1;
    GpxStream stream(fd.get());
    loadTrackStream(stream, path);
    return 0;
}

int loadAutoLoadFiles(const std::filesystem::path& dir, GpxOverlays& out) {
    out.tracks.clear();
    std::vector<std::string> names = platform::listFiles(dir, ".gpx");
    std::sort(names.begin(), names.end());
    int count = 0;
    for (const std::string& name : names) {
        if (readGpxFile(dir / name, out) == 0) ++count;
    }
    return count;
}

}  // namespace quorel
