// Sample input of the token scanner (another program's file):
//   <trk><name>Morning walk</name><trkseg>
//     <trkpt lat="34.482447" lon="135.824178"><ele>12.5</ele></trkpt>
//     <trkpt lat='34.482500' lon='135.824200'/>
//   </trkseg></trk>
// -> one track "Morning walk" with two points (the second at ele 0).
// Sample input of the line scanner (the program's own track log, one element a line):
//   <name>Current</name>
//   <trkpt lat="34.482447" lon="135.824178">
//    <ele>12.500000</ele>
//   </trkpt>
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
#include <tuple>
#include <utility>
#include <vector>

#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/scan.h"
#include "platform/utf8.h"

namespace quorel {
namespace {

// The bytes of a file, or of text in memory, through one buffer of kReadBufferBytes.
// Text in memory is handed over in pieces of at most chunkBytes, as a file's reads may
// end anywhere: the scanners give the same whatever the pieces.
class Source {
public:
    explicit Source(int fd) : fd_(fd) {}
    Source(std::string_view text, std::size_t chunkBytes)
        : text_(text), chunk_(chunkBytes > 0 ? chunkBytes : kReadBufferBytes) {}

    // The bytes buffered now, at least n of them (n is small) unless the input ends first.
    std::string_view window(std::size_t n = 1) {
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
        const std::size_t room = std::min(kReadBufferBytes - end_, chunk_);
        ssize_t got = 0;
        if (fd_ < 0) {
            got = static_cast<ssize_t>(std::min(room, text_.size()));
            std::memcpy(buffer_.get() + end_, text_.data(), static_cast<std::size_t>(got));
            text_.remove_prefix(static_cast<std::size_t>(got));
        } else {
            while ((got = ::read(fd_, buffer_.get() + end_, room)) < 0 && errno == EINTR) {
            }
        }
        if (got <= 0) return false;  // the end, or a read error taken as the end
        end_ += static_cast<std::size_t>(got);
        return true;
    }

    int fd_ = -1;
    std::string_view text_;
    std::size_t chunk_ = kReadBufferBytes;
    std::unique_ptr<char[]> buffer_ = std::make_unique_for_overwrite<char[]>(kReadBufferBytes);
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

// A byte that begins a character: limits count characters, not bytes. A byte that is
// not valid UTF-8 counts as a character of its own, as the text decoder reads it.
bool isCharStart(char c) { return static_cast<unsigned char>(c) < 0x80 || static_cast<unsigned char>(c) >= 0xC0; }
bool isLineBreak(char c) { return c == '\r' || c == '\n'; }

// Appends bytes to a string up to a number of characters, then drops the rest. The byte
// cap keeps a run of stray continuation bytes from growing the string without end.
// Characters are counted only once the bytes could reach the limit.
class Bounded {
public:
    Bounded(std::string& out, std::size_t maxChars) : out_(out), maxChars_(maxChars) {}
    std::size_t limit() const { return maxChars_; }

    void put(char c) {
        if (!full_ && out_.size() >= maxChars_) {  // below that, fewer bytes than the limit: fewer characters
            if (chars_ == kUncounted) chars_ = static_cast<std::size_t>(std::ranges::count_if(out_, isCharStart));
            full_ = (isCharStart(c) && chars_++ == maxChars_) || out_.size() >= 4 * maxChars_;
        }
        if (!full_) out_.push_back(c);
    }
    void append(std::string_view span) {
        if (full_ || out_.size() + span.size() > maxChars_) {
            for (char c : span) put(c);
        } else {
            out_.append(span);
        }
    }

private:
    static constexpr std::size_t kUncounted = static_cast<std::size_t>(-1);
    std::string& out_;
    std::size_t maxChars_;
    std::size_t chars_ = kUncounted;
    bool full_ = false;
};

// The elements the readers act on, known by the exact name in a tag.
enum class Element : unsigned char { Other, Gpx, Trk, Rte, Wpt, Trkseg, Trkpt, Rtept, Name, Ele };

Element elementNamed(std::string_view n) {
    switch (n.size()) {
    case 3:
        return n == "ele"   ? Element::Ele
               : n == "trk" ? Element::Trk
               : n == "rte" ? Element::Rte
               : n == "wpt" ? Element::Wpt
               : n == "gpx" ? Element::Gpx
                            : Element::Other;
    case 4:
        return n == "name" ? Element::Name : Element::Other;
    case 5:
        return n == "trkpt" ? Element::Trkpt : n == "rtept" ? Element::Rtept : Element::Other;
    case 6:
        return n == "trkseg" ? Element::Trkseg : Element::Other;
    default:
        return Element::Other;
    }
}

// The bytes that end an element name: white space (and any control character), "/",
// ">", and "<", which breaks a tag off.
constexpr auto kEndsName = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c <= ' '; ++c) table[static_cast<std::size_t>(c)] = true;
    table['/'] = table['>'] = table['<'] = true;
    return table;
}();

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
        if (std::exchange(again_, false) && t_.kind != Token::Kind::End && (all || t_.kind == Token::Kind::Tag)) {
            return &t_;
        }
        for (std::string_view w = in_.window(9);; w = in_.window(9)) {  // 9 bytes tell comments and CDATA
            if (!all && !w.empty() && w[0] != '<') {
                in_.skip(findByte(w, 0, '<'));
                continue;
            }
            t_.storage.clear();
            Bounded out(t_.storage, maxChars);
            if (w.empty()) {
                t_.kind = Token::Kind::End;
                return nullptr;
            }
            if (w[0] != '<') {
                if (readText(w, out)) return &t_;
            } else if (w.starts_with("<!--") || w.starts_with("<![CDATA[")) {
                t_.kind = w[2] == '-' ? Token::Kind::Comment : Token::Kind::CData;
                in_.skip(w[2] == '-' ? 4 : 9);
                readSection(w[2] == '-' ? '-' : ']', all && w[2] != '-' ? &out : nullptr);
                t_.text = t_.storage;
                if (all) return &t_;
            } else {
                readTag(w, out);
                return &t_;
            }
        }
    }

    // Text up to the next "<", line breaks dropped. Whether any byte of it was text.
    bool readText(std::string_view w, Bounded& out) {
        t_.kind = Token::Kind::Text;
        std::size_t n = 0;
        while (n < w.size() && w[n] != '<' && !isLineBreak(w[n])) ++n;
        if (n < w.size() && w[n] == '<' && n <= out.limit()) {  // whole and uncut in the buffer
            in_.skip(n);
            t_.text = w.substr(0, n);
            return true;
        }
        bool any = false;
        for (; !w.empty(); w = in_.window()) {
            n = findByte(w, 0, '<');
            for (std::size_t run = 0, i = 0; i <= n; ++i) {  // runs between line breaks
                if (i < n && !isLineBreak(w[i])) continue;
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
    void readTag(std::string_view w, Bounded& out) {
        t_.kind = Token::Kind::Tag;
        // The element name: after "<" or "</", up to white space (or any control
        // character), "/" or ">". Ours have at most 6 characters: 9 bytes tell them.
        t_.endTag = w.size() > 1 && w[1] == '/';
        const std::size_t begin = t_.endTag ? 2 : 1;
        std::size_t n = begin;
        while (n < w.size() && !kEndsName[static_cast<unsigned char>(w[n])]) ++n;
        t_.element = n - begin <= 6 ? elementNamed(w.substr(begin, n - begin)) : Element::Other;
        if (n < w.size() && w[n] != '<' && w[n] != '>') n = findByte(w.substr(0, findByte(w, n, '>')), n, '<');
        if (n < w.size() && w[n] == '>' && n < out.limit()) {  // whole and uncut in the buffer
            t_.selfClosing = w[n - 1] == '/';
            t_.text = w.substr(0, n + 1);
            in_.skip(n + 1);
            return;
        }
        for (char last = '<';;) {
            const bool closed = n < w.size() && w[n] == '>';
            last = n > 0 ? w[n - 1] : last;
            t_.selfClosing = closed && last == '/';
            out.append(w.substr(0, n + (closed ? 1 : 0)));
            in_.skip(n + (closed ? 1 : 0));
            if (n < w.size() || (w = in_.window()).empty()) break;
            n = findByte(w.substr(0, findByte(w, 0, '>')), 0, '<');
        }
        t_.text = t_.storage;
    }

    // The rest of a comment (mark "-") or a CDATA section (mark "]"): up to two or more
    // marks and ">". CDATA keeps its characters into out, line breaks dropped.
    void readSection(char mark, Bounded* out) {
        int marks = 0;  // held back: they may begin the end
        const auto put = [out](char c, int times) {
            for (; out != nullptr && times > 0; --times) out->put(c);
        };
        for (std::string_view w = in_.window(); !w.empty(); w = in_.window()) {
            for (std::size_t i = 0; i < w.size(); ++i) {
                if (w[i] == '>' && marks >= 2) {
                    put(mark, marks - 2);
                    in_.skip(i + 1);
                    return;
                }
                if (w[i] == mark) {
                    ++marks;
                    continue;
                }
                put(mark, std::exchange(marks, 0));
                if (!isLineBreak(w[i])) put(w[i], 1);
            }
            in_.skip(w.size());
        }
        put(mark, marks);
    }

    Source& in_;
    Token t_;
    bool again_ = false;
};

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
            digits = digits * 10 + static_cast<unsigned>(*from - '0');
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
    if (count == 0 || count > 15 || (p != end && (*p == 'e' || *p == 'E' || *p == 'x' || *p == 'X'))) {
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

    // Both converted to numbers within +-90 and +-180 (so not NaN): the point may be drawn.
    bool valid() const { return hasLat && hasLon && std::fabs(lat) <= 90.0 && std::fabs(lon) <= 180.0; }
};

// The attributes lat and lon: names preceded by white space, "=" with optional white
// space around it, values in double or single quotes or unquoted. The first attribute
// of each name decides. A value runs to its closing quote, ">", or white space or "/";
// a number holds none of those, so converting the text from its start reads just it.
LatLon readLatLon(std::string_view tag) {
    LatLon ll;
    bool latSeen = false;
    bool lonSeen = false;
    for (auto eq = tag.find('='); eq != std::string_view::npos && !(latSeen && lonSeen); eq = tag.find('=', eq + 1)) {
        std::size_t end = eq;
        while (end > 0 && platform::isSpace(tag[end - 1])) --end;
        if (end < 4 || !platform::isSpace(tag[end - 4]) || tag[end - 3] != 'l') continue;  // "flat=" is not "lat="
        const bool lat = !latSeen && tag[end - 2] == 'a' && tag[end - 1] == 't';
        if (!lat && (lonSeen || tag[end - 2] != 'o' || tag[end - 1] != 'n')) continue;
        std::size_t v = eq + 1;
        while (v < tag.size() && platform::isSpace(tag[v])) ++v;
        if (v < tag.size() && (tag[v] == '"' || tag[v] == '\'')) ++v;
        (lat ? latSeen : lonSeen) = true;
        (lat ? ll.hasLat : ll.hasLon) = scanNumber(tag.substr(v), lat ? ll.lat : ll.lon);
    }
    return ll;
}

// The value of a name or ele element whose start tag was just read: text and CDATA up
// to the next tag (comments passed over), white space around it dropped, cut to
// maxChars characters. The element's end tag is consumed; any other tag is read again.
void readValue(Scanner& in, const Token& start, std::size_t maxChars, std::string& value) {
    value.clear();
    if (start.selfClosing) return;
    const Element element = start.element;  // start is the scanner's token: overwritten below
    Bounded out(value, maxChars);
    while (const Token* t = in.next(kPathTokenChars)) {
        if (t->kind == Token::Kind::Tag) {
            if (!t->isEnd(element)) in.putBack();
            break;
        }
        std::string_view text = t->text;  // empty for a comment
        if (value.empty()) text.remove_prefix(std::min(text.find_first_not_of(" \t"), text.size()));
        out.append(text);
    }
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
}

// A tag that cannot stand inside a point: the point ends before it.
bool endsPoint(const Token& t) {
    switch (t.element) {
    case Element::Trkseg:
    case Element::Trk:
    case Element::Rte:
        return true;
    case Element::Gpx:
        return t.endTag;
    case Element::Trkpt:
    case Element::Rtept:
    case Element::Wpt:
        return !t.endTag;
    default:
        return false;
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
    for (const Token* t = nullptr; !ended && (t = in.nextTag(kPathTokenChars)) != nullptr;) {
        if (t->isStart(Element::Ele)) {
            readValue(in, *t, kNumberChars, value);
            point.ele = elevationOf(value);
        } else if (t->isEnd(element) || endsPoint(*t)) {
            if (!t->isEnd(element)) in.putBack();
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
    std::vector<GpxPath> segments(1);
    int segmentsSeen = 0;
    std::string name;
    while (const Token* t = in.nextTag(kPathTokenChars)) {
        if (t->isStart(track ? Element::Trkpt : Element::Rtept)) {
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

// The next piece of a line as a line-reading call with a buffer of kTrackLineChars + 1
// gives it: up to a line feed, at most kTrackLineChars characters; CR LF is read as LF.
// The line end is not part of the piece. False at the end of the input.
bool nextPiece(Source& in, std::string& storage, std::string_view& piece) {
    storage.clear();
    std::string_view w = in.window();
    if (w.empty()) return false;
    std::size_t chars = 0;
    bool heldCr = false;  // a carriage return taken, dropped when a line feed follows
    for (; !w.empty(); w = in.window()) {
        // While no more bytes than characters still fit, the limit cannot come before a
        // line feed among them.
        const void* lf = heldCr ? nullptr : std::memchr(w.data(), '\n', std::min(w.size(), kTrackLineChars - chars));
        if (lf != nullptr) {
            std::string_view line = w.substr(0, static_cast<std::size_t>(static_cast<const char*>(lf) - w.data()));
            in.skip(line.size() + 1);
            if (line.ends_with('\r')) line.remove_suffix(1);
            piece = storage.empty() ? line : std::string_view(storage.append(line));
            return true;
        }
        for (std::size_t i = 0; i < w.size(); ++i) {
            const char c = w[i];
            if (std::exchange(heldCr, false) && c != '\n') {
                ++chars;
                storage.push_back('\r');
            }
            const bool full = isCharStart(c) && chars == kTrackLineChars;  // c begins the next piece
            if (full || c == '\n') {
                in.skip(full ? i : i + 1);
                piece = storage;
                return true;
            }
            heldCr = c == '\r';
            if (!heldCr) {
                chars += isCharStart(c) ? 1 : 0;
                storage.push_back(c);
            }
        }
        in.skip(w.size());
    }
    if (heldCr) storage.push_back('\r');  // the input ended after it
    piece = storage;
    return true;
}

// A point's time as the track log writes it, "2008-07-18T14:35:14Z", as NMEA's ddmmyy
// and hhmmss; both 0 for anything else, years outside 2000 to 2099 among them.
struct Stamp {
    std::int32_t date = 0;
    std::int32_t time = 0;
};

Stamp stampOf(std::string_view text) {
    const auto field = [text](std::size_t at, std::size_t digits, int low, int high) {
        int v = 0;
        for (std::size_t i = at; i < at + digits; ++i) {
            if (i >= text.size() || text[i] < '0' || text[i] > '9') return -1;
            v = v * 10 + (text[i] - '0');
        }
        return v >= low && v <= high ? v : -1;
    };
    const int year = field(0, 4, 2000, 2099), month = field(5, 2, 1, 12), day = field(8, 2, 1, 31);
    const int hour = field(11, 2, 0, 23), minute = field(14, 2, 0, 59), second = field(17, 2, 0, 60);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0 || text.size() < 19 ||
        text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':')
        return {};
    return {day * 10000 + month * 100 + year % 100, hour * 10000 + minute * 100 + second};
}

// Where a line of our own files holds each tag that matters; one pass over its "<".
struct LineTags {
    std::size_t name = std::string_view::npos;  // "<name>"
    std::size_t ele = std::string_view::npos;   // "<ele>"
    std::size_t time = std::string_view::npos;  // "<time>"
    bool trkpt = false;                         // "<trkpt"
    bool trkptEnd = false;                      // "</trkpt>"
    bool trksegEnd = false;                     // "</trkseg>"
};

LineTags findLineTags(std::string_view line) {
    LineTags tags;
    for (auto lt = line.find('<'); lt != std::string_view::npos; lt = line.find('<', lt + 1)) {
        const std::string_view rest = line.substr(lt + 1);
        if (rest.starts_with("name>")) {
            tags.name = std::min(tags.name, lt);
        } else if (rest.starts_with("ele>")) {
            tags.ele = std::min(tags.ele, lt);
        } else if (rest.starts_with("time>")) {
            tags.time = std::min(tags.time, lt);
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
    Stamp stamp;
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
            if (ll.hasLat) std::tie(point.lat, point.hasLat) = std::tuple(ll.lat, true);
            if (ll.hasLon) std::tie(point.lon, point.hasLon) = std::tuple(ll.lon, true);
        }
        if (tags.ele != std::string_view::npos) {
            std::string_view value = line.substr(tags.ele + 5);
            if (value.starts_with('"')) value.remove_prefix(1);
            ele = elevationOf(value);  // a number ends before any '"' or "<"
        }
        if (tags.time != std::string_view::npos) stamp = stampOf(line.substr(tags.time + 6));
        if (tags.trkptEnd) {
            if (point.valid()) path.addPoint(GeoPoint{point.lat, point.lon, ele, stamp.time, stamp.date});
            point = LatLon{};
            ele = 0.0;
            stamp = Stamp{};
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
    for (const std::string& name : names) count += readGpxFile(dir / name, out) == 0 ? 1 : 0;
    return count;
}

}  // namespace quorel
