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
class Cutter {
public:
    Cutter(std::string& out, std::size_t maxChars, bool skipLeadingSpace = false)
        : out_(out), maxChars_(maxChars), skipLeadingSpace_(skipLeadingSpace) {
        for (unsigned char b : out) chars_ += isCharStart(b) ? 1 : 0;
    }

    void put(char c) {
        if (full_) return;
        if (skipLeadingSpace_ && out_.empty() && (c == ' ' || c == '\t')) return;
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

    // Whole spans without line breaks, in one go when they fit in any case.
    void append(std::string_view span) {
        if (!full_ && !(skipLeadingSpace_ && out_.empty()) && chars_ + span.size() <= maxChars_ &&
            out_.size() + span.size() <= 4 * maxChars_) {
            for (unsigned char b : span) chars_ += isCharStart(b) ? 1 : 0;
            out_.append(span);
            return;
        }
        for (char c : span) put(c);
    }

private:
    std::string& out_;
    std::size_t maxChars_;
    std::size_t chars_ = 0;
    bool full_ = false;
    bool skipLeadingSpace_;
};

// Text up to the next "<", line breaks dropped. Returns whether any byte was text.
bool readText(GpxStream& in, Cutter& cut) {
    bool any = false;
    for (;;) {
        const std::string_view w = in.window();
        if (w.empty()) return any;
        const auto lt = w.find('<');
        std::string_view span = w.substr(0, lt);
        in.skip(span.size());
        while (!span.empty()) {
            const auto br = span.find_first_of("\r\n");
            if (br != 0) any = true;
            cut.append(span.substr(0, br));
            if (br == std::string_view::npos) break;
            span.remove_prefix(br + 1);
        }
        if (lt != std::string_view::npos) return any;
    }
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

void setName(GpxToken& t) {
    t.endTag = t.text.size() > 1 && t.text[1] == '/';
    t.nameStart = t.endTag ? 2 : 1;
    const auto end = t.text.find_first_of(" />", t.nameStart);
    t.nameLength = (end == std::string::npos ? t.text.size() : end) - t.nameStart;
}

bool isPointElement(std::string_view name) { return name == "trkpt" || name == "rtept" || name == "wpt"; }

// A tag that cannot stand inside a point: the point ends before it.
bool endsPoint(const GpxToken& t) {
    if (!t.isTag()) return false;
    const std::string_view n = t.name();
    if (t.endTag) return n == "trkseg" || n == "trk" || n == "rte" || n == "gpx";
    return isPointElement(n) || n == "trkseg" || n == "trk" || n == "rte";
}

// The value of a name or ele element whose start tag was just read: text and CDATA up
// to the next tag, cut to maxChars characters, white space around it dropped. The
// element's end tag is consumed; any other tag is left to be read again.
void readValue(GpxScanner& in, const GpxToken& startTag, std::size_t maxChars, std::string& out) {
    out.clear();
    if (startTag.selfClosing) return;
    const std::string element(startTag.name());
    Cutter cut(out, maxChars, true);
    while (const GpxToken* t = in.next(kPathTokenChars)) {
        if (t->kind == GpxToken::Kind::Text || t->kind == GpxToken::Kind::CData) {
            cut.append(t->text);
            continue;
        }
        if (t->kind == GpxToken::Kind::Comment) continue;
        if (!t->isEnd(element)) in.putBack();
        break;
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
}

// "%lf" on at most kNumberChars characters; nothing when it does not convert.
bool scanNumber(std::string_view text, double& out) {
    return platform::scanReal(text.substr(0, kNumberChars), out).ok;
}

double elevationOf(std::string_view text) {
    double v = 0.0;
    if (!scanNumber(text, v) || !std::isfinite(v)) return 0.0;
    return v;
}

// The value of attribute `name` in a start tag, when it converts.
bool attributeNumber(std::string_view tag, std::string_view name, double& out) {
    for (auto pos = tag.find(name); pos != std::string_view::npos; pos = tag.find(name, pos + 1)) {
        if (pos == 0 || !isSpace(tag[pos - 1])) continue;  // "flat=" is not "lat="
        std::size_t i = pos + name.size();
        while (i < tag.size() && isSpace(tag[i])) ++i;
        if (i >= tag.size() || tag[i] != '=') continue;
        ++i;
        while (i < tag.size() && isSpace(tag[i])) ++i;
        std::string_view value = tag.substr(i);
        if (!value.empty() && (value[0] == '"' || value[0] == '\'')) {
            value.remove_prefix(1);
            value = value.substr(0, value.find_first_of("\"'>"));
        } else {
            value = value.substr(0, value.find_first_of(" \t\r\n/>\"'"));
        }
        return scanNumber(value, out);
    }
    return false;
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
    while (const GpxToken* t = in.next(kTopTokenChars)) {
        if (!t->isTag()) continue;
        if (t->isEnd("gpx")) break;
        if (t->isStart("trk") || t->isStart("rte")) {
            const PathKind kind = t->isStart("trk") ? PathKind::Track : PathKind::Route;
            GpxPathList& list = kind == PathKind::Track ? out.tracks : out.routes;
            if (t->selfClosing) {
                list.append(GpxPath{});
            } else {
                readPath(in, kind, list);
            }
        } else if (t->isStart("wpt")) {
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

void loadTrackStream(GpxStream& stream, GpxPath& path) {
    path.clearPoints();
    LineReader lines(stream);
    std::string_view line;
    GeoPoint point;
    bool hasLat = false;
    bool hasLon = false;
    const auto has = [&line](std::string_view s) { return line.find(s) != std::string_view::npos; };
    while (lines.next(line)) {
        if (const auto open = line.find("<name>"); open != std::string_view::npos) {
            const auto start = open + 6;
            const auto close = line.find("</name>", start);
            if (close != std::string_view::npos) {
                path.name = std::string(platform::utf8Prefix(line.substr(start, close - start), kTrackNameChars));
            }
            continue;
        }
        if (has("<trkpt")) {
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
        if (const auto ele = line.find("<ele>"); ele != std::string_view::npos) {
            std::string_view value = line.substr(ele + 5);
            if (!value.empty() && value[0] == '"') value.remove_prefix(1);
            point.ele = elevationOf(value.substr(0, value.find_first_of("\"<")));
        }
        if (has("</trkpt>")) {
            const LatLon ll{point.lat, point.lon, hasLat, hasLon};
            if (ll.valid()) path.addPoint(point);
            point = GeoPoint{};
            hasLat = hasLon = false;
        }
        if (has("</trkseg>")) break;
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

bool readToken(GpxStream& in, GpxToken& t, std::size_t maxChars) {
    t.text.clear();
    t.selfClosing = t.endTag = false;
    t.nameStart = t.nameLength = 0;
    Cutter cut(t.text, maxChars);
    if (readText(in, cut)) {
        t.kind = GpxToken::Kind::Text;
        return true;
    }
    if (in.get() < 0) {  // the "<" that ended the text, if any
        t.kind = GpxToken::Kind::End;
        return false;
    }
    t.kind = GpxToken::Kind::Tag;
    cut.put('<');
    int prev = 0;
    std::size_t read = 1;
    for (int c = in.peek(); c >= 0 && c != '<'; c = in.peek()) {
        in.skip(1);
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
        cut.put(static_cast<char>(c));
        if (c == '>') {
            t.selfClosing = prev == '/';
            break;
        }
        prev = c;
        if (++read == 4 && t.text == "<!--") {
            skipComment(in);
            t.kind = GpxToken::Kind::Comment;
            return true;
        }
        if (read == 9 && t.text == "<![CDATA[") {
            t.text.clear();
            Cutter body(t.text, maxChars);
            readCData(in, body);
            t.kind = GpxToken::Kind::CData;
            return true;
        }
    }
    setName(t);
    return true;
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
    ll.hasLat = attributeNumber(tag, "lat", ll.lat);
    if (!ll.hasLat) ll.lat = 0.0;
    ll.hasLon = attributeNumber(tag, "lon", ll.lon);
    if (!ll.hasLon) ll.lon = 0.0;
    return ll;
}

int readPoint(GpxScanner& in, const GpxToken& startTag, GpxPointEntry& entry, LatLon& position) {
    entry.reset();
    position = readLatLon(startTag.text);
    entry.point.lat = position.lat;
    entry.point.lon = position.lon;
    if (startTag.selfClosing) return 1;
    const std::string element(startTag.name());  // startTag is overwritten from here on
    std::string value;
    while (const GpxToken* t = in.next(kPathTokenChars)) {
        if (!t->isTag()) continue;
        if (t->isEnd(element)) return 1;
        if (t->isStart("name")) {
            readValue(in, *t, GpxPointEntry::kNameChars, entry.name);
        } else if (t->isStart("ele")) {
            readValue(in, *t, kNumberChars, value);
            entry.point.ele = elevationOf(value);
        } else if (endsPoint(*t)) {
            in.putBack();
            return 1;
        }
    }
    return 0;
}

void readPath(GpxScanner& in, PathKind kind, GpxPathList& out) {
    const std::string_view container = kind == PathKind::Track ? "trk" : "rte";
    const std::string_view pointName = kind == PathKind::Track ? "trkpt" : "rtept";
    std::vector<GpxPath> segments(1);
    int segmentsSeen = 0;
    std::string name;
    GpxPointEntry entry;
    LatLon position;
    while (const GpxToken* t = in.next(kPathTokenChars)) {
        if (!t->isTag()) continue;
        if (t->isStart(pointName)) {
            const int ended = readPoint(in, *t, entry, position);
            if (position.valid()) segments.back().addPoint(entry.point);
            if (ended == 0) break;
        } else if (t->isStart("name")) {
            readValue(in, *t, GpxPath::kNameChars, name);
        } else if (kind == PathKind::Track && t->isStart("trkseg")) {
            if (segmentsSeen++ > 0) segments.emplace_back();
        } else if (t->isEnd(container)) {
            break;
        } else if (t->isEnd("gpx") || t->isStart("trk") || t->isStart("rte")) {
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
