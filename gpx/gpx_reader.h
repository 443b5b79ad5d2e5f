#pragma once
// The two GPX readers. Neither is an XML parser: both are small scanners.
//
// readGpxFile reads GPX from any program (the auto-load folder): a token scanner that
// adds each trk to `tracks` (one path per trkseg), each rte to `routes` and each wpt's
// point to `waypoints`. loadTrackFile reads the program's own files (the track log, the
// current route), written one element per line, with a line scanner into one path.
//
// Both read through a buffer of kReadBufferBytes; the scanning rules stay per character.
// Paths are host paths (callers resolve device paths with platform::nativePath).
//
// The token scanner's rules, as readToken applies them:
//  - A "<" always begins a new token. A tag runs from "<" up to and including the next
//    ">" (or up to the next "<" or the end of the file when its ">" is missing). Inside
//    a tag, line breaks and tabs are white space like spaces, so a tag may span lines
//    ("<trkpt\nlat=...") and indentation never becomes part of a tag.
//  - "<!--" begins a comment that runs to "-->", whatever tags it holds; "<![CDATA["
//    begins character data that runs to "]]>" and is text, its "<" and ">" included.
//  - Everything else is text up to the next "<"; carriage returns and line feeds in it
//    are dropped, and text left empty is no token. So text never runs into a tag, and
//    indentation is a text token of its own that nothing looks at (a UTF-8 byte-order
//    mark in front of the first tag is such a token too).
//  - Tokens are cut at their limit (kPathTokenChars inside trk, rte and points,
//    kTopTokenChars elsewhere), counted in characters; the rest of the token is read and
//    dropped, so a long text never spills into the next token.
// On top of the tokens:
//  - Elements are known by the exact name in a tag ("trk", "rte", "wpt", "trkseg",
//    "trkpt", "rtept", "name", "ele", "gpx"). Text, comments and character data never
//    match, so a description that mentions "/gpx>" or "trkpt" is only text.
//  - Reading stops at "</gpx>".
//  - A self-closing point ("<trkpt .../>") is a whole point; "<trk/>" an empty track.
//  - The value of "<name>" or "<ele>" is the text and character data that follow it up
//    to the next tag (comments passed over), without the white space around it; when
//    that tag is the element's end tag it is consumed, otherwise (an empty or
//    self-closed element) it is read as the next token as usual. A path's name keeps
//    at most GpxPath::kNameChars characters, a point's GpxPointEntry::kNameChars, and a
//    number is converted from at most kNumberChars characters of its text.
//  - A point ends at its end tag, and also, without consuming it, at the start of another
//    point or at the end of its segment, path or file, so a missing end tag costs
//    nothing but that tag.
//  - Every trkseg of a trk is a path of its own with the track's name (the last name
//    met at track level); segments are separate strokes and are never joined. A trk
//    without trkseg is one path.
//  - A point is kept only when its lat and lon convert to numbers within +-90 and +-180
//    (a point at 0, 0 would draw a line across the world). An ele that does not convert
//    to a finite number is 0. Nothing carries over from one point to the next.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "gpx/collections.h"

namespace quorel {

// Limits of the file formats, in characters.
inline constexpr std::size_t kPathTokenChars = 255;   // a token inside trk, rte or a point
inline constexpr std::size_t kTopTokenChars = 1279;   // a token outside them
inline constexpr std::size_t kNumberChars = 230;      // the text of one number
inline constexpr std::size_t kTrackLineChars = 511;   // a line (piece) of loadTrackFile
inline constexpr std::size_t kTrackNameChars = 230;   // a name read by loadTrackFile
inline constexpr std::size_t kReadBufferBytes = 64 * 1024;

// Where readGpxFile puts what it reads; the application passes the map view's lists.
struct GpxOverlays {
    GpxPathList& tracks;
    GpxPathList& routes;
    GpxPath& waypoints;
};

// Clears `tracks`, then reads every *.gpx file of dir (regular files, the suffix in any
// case) with readGpxFile, in name order; returns the number of files read.
int loadAutoLoadFiles(const std::filesystem::path& dir, GpxOverlays& out);

// 0 when the file was opened and read, -1 when it cannot be opened (or is no file).
int readGpxFile(const std::filesystem::path& file, GpxOverlays& out);

// The program's own files, one element per line: the points up to the first "</trkseg>"
// into path (its points cleared first; its name replaced by a "<name>...</name>" line).
// 0 when read; -1 when the file cannot be opened, with the path unchanged.
int loadTrackFile(const std::filesystem::path& file, GpxPath& path);

// The same two readers over text in memory (fuzzing, tests). chunkBytes > 0 hands the
// text over in pieces of that size, as the file readers' buffer does.
void readGpxText(std::string_view text, GpxOverlays& out, std::size_t chunkBytes = 0);
void loadTrackText(std::string_view text, GpxPath& path, std::size_t chunkBytes = 0);

// ---- The pieces of the token scanner, for the readers and their tests ----

// Bytes from a file descriptor or from memory, through a buffer.
class GpxStream {
public:
    explicit GpxStream(std::string_view text, std::size_t chunkBytes = 0);
    explicit GpxStream(int fd);  // reads it; the caller closes it
    GpxStream(const GpxStream&) = delete;
    GpxStream& operator=(const GpxStream&) = delete;

    // The next byte, or -1 at the end.
    int peek() {
        if (cur_ == end_ && !refill()) return -1;
        return static_cast<unsigned char>(*cur_);
    }
    int get() {
        if (cur_ == end_ && !refill()) return -1;
        return static_cast<unsigned char>(*cur_++);
    }
    // The bytes buffered now: at least one, unless the stream has ended.
    std::string_view window() {
        if (cur_ == end_) refill();
        return {cur_, static_cast<std::size_t>(end_ - cur_)};
    }
    void skip(std::size_t n) { cur_ += n; }  // n <= window().size()

private:
    bool refill();

    int fd_ = -1;
    std::string_view memory_;  // what is still to be handed over in chunks
    std::size_t chunk_ = 0;
    std::vector<char> buffer_;
    const char* cur_ = nullptr;
    const char* end_ = nullptr;
};

// The elements the readers act on, known by the exact name in a tag.
enum class GpxElement : unsigned char { Other, Gpx, Trk, Rte, Wpt, Trkseg, Trkpt, Rtept, Name, Ele };
GpxElement gpxElement(std::string_view name);

struct GpxToken {
    enum class Kind { End, Text, Tag, Comment, CData };
    Kind kind = Kind::End;
    // A tag from "<" through ">"; text and CDATA their characters. Valid until the next
    // token is read: it may lie in the stream's buffer, or in storage.
    std::string_view text;
    std::string storage;
    bool selfClosing = false;  // a tag that ends in "/>"
    bool endTag = false;       // a tag that begins with "</"

    bool isTag() const { return kind == Kind::Tag; }
    // The element name of a tag: after "<" or "</", up to white space (or any control
    // character), "/" or ">".
    std::string_view name() const { return std::string_view(text).substr(nameStart, nameLength); }
    bool isStart(std::string_view elementName) const { return isTag() && !endTag && name() == elementName; }
    bool isEnd(std::string_view elementName) const { return isTag() && endTag && name() == elementName; }
    bool isStart(GpxElement e) const { return isTag() && !endTag && element == e; }
    bool isEnd(GpxElement e) const { return isTag() && endTag && element == e; }

    std::size_t nameStart = 0;
    std::size_t nameLength = 0;
    GpxElement element = GpxElement::Other;  // of a tag
};

// One token by the rules above, cut to maxChars characters; false at the end of the stream.
bool readToken(GpxStream& in, GpxToken& token, std::size_t maxChars);
// The next tag: the text, comments and CDATA before it are passed over as readToken
// reads them, without keeping them. Where only tags matter this is the fast way.
bool readTag(GpxStream& in, GpxToken& token, std::size_t maxChars);

// Tokens of one stream, with room to read the last one again.
class GpxScanner {
public:
    explicit GpxScanner(GpxStream& in) : in_(in) {}
    // The next token, valid until the next call; nullptr at the end of the stream.
    const GpxToken* next(std::size_t maxChars);
    // The same, passing over every token that is not a tag.
    const GpxToken* nextTag(std::size_t maxChars);
    // The next call to next() returns the token last returned once more.
    void putBack() { again_ = true; }
    // When the buffer holds, from here, text without line breaks and then the end tag
    // "</element>": that text, with the end tag consumed. Otherwise false, nothing read.
    bool valueBeforeEnd(std::string_view element, std::string_view& value);

private:
    GpxStream& in_;
    GpxToken token_;
    bool again_ = false;
};

// lat and lon of a point's start tag; each is taken only when it converts.
struct LatLon {
    double lat = 0.0;
    double lon = 0.0;
    bool hasLat = false;
    bool hasLon = false;
    // Both converted to numbers within +-90 and +-180: the point may be drawn.
    bool valid() const;
};
// The attributes lat and lon (names preceded by white space, "=" with optional white
// space around it), their values in double or single quotes or unquoted; at most
// kNumberChars characters of each value are converted with "%lf". The first attribute
// of each name decides.
LatLon readLatLon(std::string_view startTag);

// Reads the point that startTag begins (startTag may be the scanner's own token): lat
// and lon into position, ele and name into entry (both reset first). 1 when the point
// ended, 0 when the stream ended inside it.
int readPoint(GpxScanner& in, const GpxToken& startTag, GpxPointEntry& entry, LatLon& position);

enum class PathKind { Track, Route };
// Reads one trk (or rte) whose start tag was just read: appends its paths to out, one
// per trkseg for a track, with the points that have a valid position.
void readPath(GpxScanner& in, PathKind kind, GpxPathList& out);

}  // namespace quorel
