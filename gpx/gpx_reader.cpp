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

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/scan.h"
#include "platform/utf8.h"

namespace quorel {
namespace {

// ---- Bytes ----

// The bytes of a file, or of text in memory, through one buffer of kReadBufferBytes.
// Text in memory is handed over in pieces of at most chunkBytes, as a file's reads may
// end anywhere: the scanners give the same whatever the pieces.
class Source {
public:
    explicit Source(int fd) : fd_(fd) {}
    Source(std::string_view text, std::size_t chunkBytes)
        : text_(text), chunk_(chunkBytes == 0 ? kReadBufferBytes : chunkBytes) {}

    // The bytes buffered now: at least one, unless the input has ended.
    std::string_view window() {
        if (begin_ == end_) fill();
        return {buffer_.get() + begin_, end_ - begin_};
    }
    // The same with at least n bytes (n is small), fewer only at the end of the input.
    std::string_view ahead(std::size_t n) {
        while (end_ - begin_ < n && fill()) {
        }
        return {buffer_.get() + begin_, end_ - begin_};
    }
    void skip(std::size_t n) { begin_ += n; }

private:
    // Moves the bytes not yet taken to the front and reads more behind them.
    bool fill() {
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
        char* const to = buffer_.get() + end_;
        const std::size_t room = kReadBufferBytes - end_;
        std::size_t n = 0;
        if (fd_ >= 0) {
            ssize_t got = 0;
            do {
                got = ::read(fd_, to, room);
            } while (got < 0 && errno == EINTR);
            n = got > 0 ? static_cast<std::size_t>(got) : 0;  // a read error is taken as the end
        } else {
            n = std::min({room, chunk_, text_.size()});
            std::memcpy(to, text_.data(), n);
            text_.remove_prefix(n);
        }
        end_ += n;
        return n > 0;
    }

    int fd_ = -1;
    std::string_view text_;
    std::size_t chunk_ = 0;
    std::unique_ptr<char[]> buffer_ = std::make_unique_for_overwrite<char[]>(kReadBufferBytes);
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

// A byte that begins a character: limits count characters, not bytes. A byte that is
// not valid UTF-8 counts as a character of its own, as the text decoder reads it.
bool isCharStart(unsigned char b) { return b < 0x80 || b >= 0xC0; }

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Appends bytes to a string up to a number of characters, then drops the rest. The byte
// cap keeps a run of stray continuation bytes from growing the string without end.
// Characters are counted only once the bytes could reach the limit.
class Bounded {
public:
    Bounded(std::string& out, std::size_t maxChars) : out_(out), maxChars_(maxChars) {}

    void put(char c) {
        if (full_) return;
        if (out_.size() < maxChars_) {  // fewer bytes than the limit: fewer characters too
            out_.push_back(c);
            return;
        }
        if (chars_ == kUncounted) chars_ = static_cast<std::size_t>(std::count_if(out_.begin(), out_.end(), isChar));
        if (isCharStart(static_cast<unsigned char>(c)) && chars_++ == maxChars_) full_ = true;
        if (out_.size() >= 4 * maxChars_) full_ = true;
        if (!full_) out_.push_back(c);
    }
    void append(std::string_view span) {
        if (!full_ && out_.size() + span.size() <= maxChars_) {
            out_.append(span);
            return;
        }
        for (char c : span) put(c);
    }

private:
    static constexpr std::size_t kUncounted = static_cast<std::size_t>(-1);
    static bool isChar(char c) { return isCharStart(static_cast<unsigned char>(c)); }

    std::string& out_;
    std::size_t maxChars_;
    std::size_t chars_ = kUncounted;
    bool full_ = false;
};

// ---- Tokens ----

// The elements the readers act on, known by the exact name in a tag.
enum class Element : unsigned char { Other, Gpx, Trk, Rte, Wpt, Trkseg, Trkpt, Rtept, Name, Ele };

Element elementNamed(std::string_view n) {
    switch (n.size()) {
        case 3:
            if (n == "ele") return Element::Ele;
            if (n == "trk") return Element::Trk;
            if (n == "rte") return Element::Rte;
            if (n == "wpt") return Element::Wpt;
            if (n == "gpx") return Element::Gpx;
            break;
        case 4: return n == "name" ? Element::Name : Element::Other;
        case 5:
            if (n == "trkpt") return Element::Trkpt;
            if (n == "rtept") return Element::Rtept;
            break;
        case 6: return n == "trkseg" ? Element::Trkseg : Element::Other;
        default: break;
    }
    return Element::Other;
}

// What a byte means to the scanner.
enum ByteClass : unsigned char { kOpen = 1, kClose = 2, kLineBreak = 4, kSpace = 8, kNameEnd = 16 };
constexpr auto kByteClass = [] {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c <= ' '; ++c) table[static_cast<std::size_t>(c)] = kSpace | kNameEnd;  // and control characters
    table['/'] = kNameEnd;
    table['<'] = kOpen | kNameEnd;
    table['>'] = kClose | kNameEnd;
    table['\r'] = table['\n'] = kLineBreak | kSpace | kNameEnd;
    return table;
}();
bool is(char c, unsigned char classes) { return (kByteClass[static_cast<unsigned char>(c)] & classes) != 0; }

// Where c first occurs in w from `from` on, or w.size(). The first bytes are looked at one
// by one: between tags there is mostly a line break and a little indentation.
[[gnu::always_inline]] inline std::size_t findByte(std::string_view w, std::size_t from, char c) {
    for (const std::size_t near = std::min(w.size(), from + 4); from < near; ++from) {
        if (w[from] == c) return from;
    }
    const void* found = from < w.size() ? std::memchr(w.data() + from, c, w.size() - from) : nullptr;
    return found == nullptr ? w.size() : static_cast<std::size_t>(static_cast<const char*>(found) - w.data());
}

struct Token {
    enum class Kind { End, Text, Tag, Comment, CData };
    Kind kind = Kind::End;
    // A tag from "<" through ">"; text and CDATA their characters. The bytes in the
    // buffer when they lie there whole and uncut, else a copy in storage.
    std::string_view text;
    std::string storage;
    Element element = Element::Other;
    bool endTag = false;       // a tag that begins with "</"
    bool selfClosing = false;  // a tag that ends in "/>"

    bool isStart(Element e) const { return kind == Kind::Tag && !endTag && element == e; }
    bool isEnd(Element e) const { return kind == Kind::Tag && endTag && element == e; }
};

// The token scanner: every rule of the header comment is applied here, on the buffer.
class Scanner {
public:
    explicit Scanner(Source& in) : in_(in) {}

    // The next token, cut to maxChars characters, valid until the next call; nullptr at
    // the end of the input.
    const Token* next(std::size_t maxChars) { return take<true>(maxChars); }
    // The next tag: text, comments and CDATA before it are passed over unkept.
    const Token* nextTag(std::size_t maxChars) { return take<false>(maxChars); }
    // The next call returns the token last returned once more.
    void putBack() { again_ = true; }

private:
    template <bool all>
    const Token* take(std::size_t maxChars) {
        if (again_) {
            again_ = false;
            if (t_.kind == Token::Kind::End) return nullptr;
            if (all || t_.kind == Token::Kind::Tag) return &t_;
        }
        for (;;) {
            std::string_view w = in_.ahead(9);  // enough to tell comments and CDATA from tags
            for (; !all && !w.empty() && w[0] != '<'; w = in_.ahead(9)) in_.skip(findByte(w, 0, '<'));
            t_.storage.clear();
            if (w.empty()) {
                t_.kind = Token::Kind::End;
                t_.text = {};
                return nullptr;
            }
            const bool bang = w.size() > 1 && w[1] == '!';
            if (w[0] != '<') {
                if (readText(maxChars)) return &t_;
            } else if (bang && w.starts_with("<!--")) {
                in_.skip(4);
                skipComment();
                if (all) return &t_;
            } else if (bang && w.starts_with("<![CDATA[")) {
                in_.skip(9);
                readCData(maxChars, all);
                if (all) return &t_;
            } else {
                readTag(maxChars);
                return &t_;
            }
        }
    }

    // Text up to the next "<", line breaks dropped. Whether any byte of it was text.
    bool readText(std::size_t maxChars) {
        t_.kind = Token::Kind::Text;
        std::string_view w = in_.window();
        std::size_t n = 0;
        while (n < w.size() && !is(w[n], kOpen | kLineBreak)) ++n;
        if (n < w.size() && w[n] == '<' && n <= maxChars) {  // whole and uncut in the buffer
            in_.skip(n);
            t_.text = w.substr(0, n);
            return true;
        }
        Bounded out(t_.storage, maxChars);
        bool any = false;
        for (; !w.empty(); w = in_.window()) {
            n = findByte(w, 0, '<');
            for (std::size_t run = 0, i = 0; i <= n; ++i) {  // runs between line breaks
                if (i < n && !is(w[i], kLineBreak)) continue;
                out.append(w.substr(run, i - run));
                any = any || i > run;
                run = i + 1;
            }
            in_.skip(n);
            if (n < w.size()) break;
        }
        t_.text = t_.storage;
        return any;
    }

    // A tag from its "<" up to and including ">", or up to the next "<" or the end.
    void readTag(std::size_t maxChars) {
        t_.kind = Token::Kind::Tag;
        std::string_view w = in_.window();  // at least 9 bytes, or all that is left
        // The element name: after "<" or "</", up to white space (or any control
        // character), "/" or ">". Ours have at most 6 characters: 9 bytes tell them.
        t_.endTag = w.size() > 1 && w[1] == '/';
        const std::size_t begin = t_.endTag ? 2 : 1;
        std::size_t n = begin;
        while (n < w.size() && !is(w[n], kNameEnd)) ++n;
        t_.element = n - begin <= 6 ? elementNamed(w.substr(begin, n - begin)) : Element::Other;
        if (n < w.size() && !is(w[n], kOpen | kClose)) n = findByte(w.substr(0, findByte(w, n, '>')), n, '<');
        if (n < w.size() && w[n] == '>' && n < maxChars) {  // whole and uncut in the buffer
            t_.selfClosing = w[n - 1] == '/';
            t_.text = w.substr(0, n + 1);
            in_.skip(n + 1);
            return;
        }
        Bounded out(t_.storage, maxChars);
        char last = '<';
        bool closed = false;
        for (;;) {
            closed = n < w.size() && w[n] == '>';
            if (n > 0) last = w[n - 1];
            const std::size_t length = n + (closed ? 1 : 0);
            out.append(w.substr(0, length));
            in_.skip(length);
            if (n < w.size() || (w = in_.window()).empty()) break;
            n = findByte(w.substr(0, findByte(w, 0, '>')), 0, '<');
        }
        t_.selfClosing = closed && last == '/';
        t_.text = t_.storage;
    }

    // A comment after its "<!--": everything up to and including "-->".
    void skipComment() {
        t_.kind = Token::Kind::Comment;
        t_.text = {};
        int dashes = 0;
        for (std::string_view w = in_.window(); !w.empty(); w = in_.window()) {
            for (std::size_t i = 0; i < w.size(); ++i) {
                if (w[i] == '>' && dashes >= 2) {
                    in_.skip(i + 1);
                    return;
                }
                dashes = w[i] == '-' ? dashes + 1 : 0;
            }
            in_.skip(w.size());
        }
    }

    // A CDATA section after its "<![CDATA[": its characters up to "]]>", line breaks
    // dropped; kept when keep is set.
    void readCData(std::size_t maxChars, bool keep) {
        t_.kind = Token::Kind::CData;
        Bounded out(t_.storage, maxChars);
        const auto put = [&out, keep](char c) {
            if (keep) out.put(c);
        };
        int brackets = 0;  // "]" held back: they may begin the end
        for (std::string_view w = in_.window(); !w.empty(); w = in_.window()) {
            for (std::size_t i = 0; i < w.size(); ++i) {
                const char c = w[i];
                if (c == '>' && brackets >= 2) {
                    for (; brackets > 2; --brackets) put(']');
                    in_.skip(i + 1);
                    t_.text = t_.storage;
                    return;
                }
                if (c == ']') {
                    ++brackets;
                    continue;
                }
                for (; brackets > 0; --brackets) put(']');
                if (!is(c, kLineBreak)) put(c);
            }
            in_.skip(w.size());
        }
        for (; brackets > 0; --brackets) put(']');
        t_.text = t_.storage;
    }

    Source& in_;
    Token t_;
    bool again_ = false;
};

// ---- Numbers ----

// "%lf" on at most kNumberChars characters; false when it does not convert. Plain
// decimals of at most 15 digits ("35.123456", "-12.5"), the numbers of nearly every file,
// are converted here at a fraction of the cost: their digits and the power of ten are
// exact doubles, so one division rounds as "%lf" does. Anything else is left to it.
bool scanNumber(std::string_view text, double& out) {
    static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    text = text.substr(0, kNumberChars);
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p != end && (*p == ' ' || *p == '\t')) ++p;
    const bool negative = p != end && *p == '-';
    if (p != end && (*p == '-' || *p == '+')) ++p;
    std::uint64_t digits = 0;  // wraps past 19 digits: then not used
    const auto readDigits = [&digits, end](const char* from) {
        for (; from != end && static_cast<unsigned char>(*from - '0') <= 9; ++from) {
            digits = digits * 10 + static_cast<unsigned char>(*from - '0');
        }
        return from;
    };
    const char* const whole = p;
    p = readDigits(p);
    std::size_t count = static_cast<std::size_t>(p - whole);
    std::size_t decimals = 0;
    if (p != end && *p == '.') {
        const char* const fraction = p + 1;
        p = readDigits(fraction);
        decimals = static_cast<std::size_t>(p - fraction);
        count += decimals;
    }
    const char next = p != end ? *p : '\0';
    if (count == 0 || count > 15 || next == 'e' || next == 'E' || next == 'x' || next == 'X') {
        return platform::scanReal(text, out).ok;
    }
    const double v = static_cast<double>(digits) / kPow10[decimals];
    out = negative ? -v : v;
    return true;
}

double elevationOf(std::string_view text) {
    double v = 0.0;
    return scanNumber(text, v) && std::isfinite(v) ? v : 0.0;
}

// lat and lon of a point's start tag (or of a line of our own files).
struct LatLon {
    double lat = 0.0;
    double lon = 0.0;
    bool hasLat = false;
    bool hasLon = false;

    // Both converted to numbers within +-90 and +-180: the point may be drawn.
    bool valid() const {
        return hasLat && hasLon && std::fabs(lat) <= 90.0 && std::fabs(lon) <= 180.0;  // false for NaN too
    }
};

// The attributes lat and lon: names preceded by white space, "=" with optional white
// space around it, values in double or single quotes or unquoted. The first attribute
// of each name decides. A value runs to its closing quote, ">", or white space or "/";
// a number holds none of those, so converting the text from its start reads just it.
LatLon readLatLon(std::string_view tag) {
    LatLon ll;
    bool latSeen = false;
    bool lonSeen = false;
    for (std::size_t eq = tag.find('='); eq != std::string_view::npos && !(latSeen && lonSeen);
         eq = tag.find('=', eq + 1)) {
        std::size_t end = eq;
        while (end > 0 && isSpace(tag[end - 1])) --end;
        if (end < 4 || !isSpace(tag[end - 4]) || tag[end - 3] != 'l') continue;  // "flat=" is not "lat="
        const bool lat = !latSeen && tag[end - 2] == 'a' && tag[end - 1] == 't';
        const bool lon = !lonSeen && tag[end - 2] == 'o' && tag[end - 1] == 'n';
        if (!lat && !lon) continue;
        std::size_t v = eq + 1;
        while (v < tag.size() && isSpace(tag[v])) ++v;
        if (v < tag.size() && (tag[v] == '"' || tag[v] == '\'')) ++v;
        (lat ? latSeen : lonSeen) = true;
        (lat ? ll.hasLat : ll.hasLon) = scanNumber(tag.substr(v), lat ? ll.lat : ll.lon);
    }
    if (!ll.hasLat) ll.lat = 0.0;
    if (!ll.hasLon) ll.lon = 0.0;
    return ll;
}

// ---- The token scanner's reader ----

// The value of a name or ele element whose start tag was just read: text and CDATA up
// to the next tag (comments passed over), white space around it dropped, cut to
// maxChars characters. The element's end tag is consumed; any other tag is read again.
void readValue(Scanner& in, const Token& start, std::size_t maxChars, std::string& value) {
    value.clear();
    if (start.selfClosing) return;
    const Element element = start.element;  // start is the scanner's token: overwritten below
    Bounded out(value, maxChars);
    while (const Token* t = in.next(kPathTokenChars)) {
        if (t->kind == Token::Kind::Comment) continue;
        if (t->kind == Token::Kind::Tag) {
            if (!t->isEnd(element)) in.putBack();
            break;
        }
        std::string_view text = t->text;
        if (value.empty()) text.remove_prefix(std::min(text.find_first_not_of(" \t"), text.size()));
        out.append(text);
    }
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
}

// A tag that cannot stand inside a point: the point ends before it.
bool endsPoint(const Token& t) {
    if (t.kind != Token::Kind::Tag) return false;
    switch (t.element) {
        case Element::Trkseg:
        case Element::Trk:
        case Element::Rte: return true;
        case Element::Gpx: return t.endTag;
        case Element::Trkpt:
        case Element::Rtept:
        case Element::Wpt: return !t.endTag;
        default: return false;
    }
}

// Reads the point that start begins and adds it to path when its position is valid
// (a point's name is passed over: only paths keep names). False when the input ended
// inside the point.
bool readPoint(Scanner& in, const Token& start, GpxPath& path) {
    const LatLon ll = readLatLon(start.text);
    GeoPoint point{ll.lat, ll.lon};
    bool ended = start.selfClosing;
    const Element element = start.element;
    std::string value;
    while (!ended) {
        const Token* t = in.nextTag(kPathTokenChars);
        if (t == nullptr) break;
        if (t->isStart(Element::Ele)) {
            readValue(in, *t, kNumberChars, value);
            point.ele = elevationOf(value);
        } else if (t->isEnd(element)) {
            ended = true;
        } else if (endsPoint(*t)) {
            in.putBack();
            ended = true;
        }
    }
    if (ll.valid()) path.addPoint(point);
    return ended;
}

// Reads one trk or rte whose start tag was just read: appends its paths to out, one per
// trkseg for a track.
void readPath(Scanner& in, Element container, GpxPathList& out) {
    const bool track = container == Element::Trk;
    const Element pointElement = track ? Element::Trkpt : Element::Rtept;
    std::vector<GpxPath> segments(1);
    int segmentsSeen = 0;
    std::string name;
    while (const Token* t = in.nextTag(kPathTokenChars)) {
        if (t->isStart(pointElement)) {
            if (!readPoint(in, *t, segments.back())) break;
        } else if (t->isStart(Element::Name)) {
            readValue(in, *t, GpxPath::kNameChars, name);
        } else if (track && t->isStart(Element::Trkseg)) {
            if (segmentsSeen++ > 0) segments.emplace_back();
        } else if (t->isEnd(container)) {
            break;
        } else if (t->isEnd(Element::Gpx) || t->isStart(Element::Trk) || t->isStart(Element::Rte)) {
            in.putBack();  // this path's end tag is missing
            break;
        }
    }
    for (GpxPath& segment : segments) {
        segment.name = name;
        out.append(std::move(segment));
    }
}

void readGpx(Source& source, GpxOverlays& out) {
    Scanner in(source);
    while (const Token* t = in.nextTag(kTopTokenChars)) {
        if (t->isEnd(Element::Gpx)) break;
        if (t->isStart(Element::Trk) || t->isStart(Element::Rte)) {
            GpxPathList& list = t->element == Element::Trk ? out.tracks : out.routes;
            if (t->selfClosing) {
                list.append(GpxPath{});
            } else {
                readPath(in, t->element, list);
            }
        } else if (t->isStart(Element::Wpt)) {
            readPoint(in, *t, out.waypoints);
        }
    }
}

// ---- The line scanner ----

// The next piece of a line as a line-reading call with a buffer of kTrackLineChars + 1
// gives it: up to and including a line feed, at most kTrackLineChars characters; CR LF
// is read as LF. The line end is not part of the piece. False at the end of the input.
bool nextPiece(Source& in, std::string& storage, std::string_view& piece) {
    storage.clear();
    std::size_t chars = 0;
    bool heldCr = false;  // a carriage return taken, to be dropped if a line feed follows
    bool any = false;
    for (std::string_view w = in.window(); !w.empty(); w = in.window()) {
        any = true;
        std::size_t i = 0;
        if (!heldCr) {
            // No more bytes than characters still fit: the limit cannot be met before a
            // line feed among them.
            const std::size_t span = std::min(w.size(), kTrackLineChars - chars);
            if (const auto* lf = static_cast<const char*>(std::memchr(w.data(), '\n', span))) {
                std::string_view line = w.substr(0, static_cast<std::size_t>(lf - w.data()));
                in.skip(line.size() + 1);
                if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
                piece = storage.empty() ? line : std::string_view(storage.append(line));
                return true;
            }
        }
        for (; i < w.size(); ++i) {
            const char c = w[i];
            if (heldCr) {
                heldCr = false;
                if (c == '\n') {
                    in.skip(i + 1);
                    piece = storage;
                    return true;
                }
                ++chars;
                storage.push_back('\r');
            }
            const bool starts = isCharStart(static_cast<unsigned char>(c));
            if (starts && chars == kTrackLineChars) {
                in.skip(i);
                piece = storage;
                return true;
            }
            if (c == '\n') {
                in.skip(i + 1);
                piece = storage;
                return true;
            }
            if (c == '\r') {
                heldCr = true;
                continue;
            }
            chars += starts ? 1 : 0;
            storage.push_back(c);
        }
        in.skip(w.size());
    }
    if (heldCr) storage.push_back('\r');
    piece = storage;
    return any;
}

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
            tags.name = std::min(tags.name, lt);
        } else if (rest.starts_with("ele>")) {
            tags.ele = std::min(tags.ele, lt);
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

void loadTrack(Source& in, GpxPath& path) {
    path.clearPoints();
    std::string storage;
    std::string_view line;
    LatLon point;
    double ele = 0.0;
    while (nextPiece(in, storage, line)) {
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
                point.hasLat = true;
            }
            if (ll.hasLon) {
                point.lon = ll.lon;
                point.hasLon = true;
            }
        }
        if (tags.ele != std::string_view::npos) {
            std::string_view value = line.substr(tags.ele + 5);
            if (!value.empty() && value[0] == '"') value.remove_prefix(1);
            ele = elevationOf(value);  // a number ends before any '"' or "<"
        }
        if (tags.trkptEnd) {
            if (point.valid()) path.addPoint(GeoPoint{point.lat, point.lon, ele});
            point = LatLon{};
            ele = 0.0;
        }
        if (tags.trksegEnd) break;
    }
}

template <typename Read>
int readFile(const std::filesystem::path& file, Read read) {
    const platform::UniqueFd fd = platform::openRegularFile(file);
    if (!fd) return -1;
    Source source(fd.get());
    read(source);
    return 0;
}

}  // namespace

void readGpxText(std::string_view text, GpxOverlays& out, std::size_t chunkBytes) {
    Source source(text, chunkBytes);
    readGpx(source, out);
}

void loadTrackText(std::string_view text, GpxPath& path, std::size_t chunkBytes) {
    Source source(text, chunkBytes);
    loadTrack(source, path);
}

int readGpxFile(const std::filesystem::path& file, GpxOverlays& out) {
    return readFile(file, [&out](Source& source) { readGpx(source, out); });
}

int loadTrackFile(const std::filesystem::path& file, GpxPath& path) {
    return readFile(file, [&path](Source& source) { loadTrack(source, path); });
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
