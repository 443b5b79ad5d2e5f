#pragma once
// The two GPX readers. Neither is an XML parser: both are small scanners.
//
// readGpxFile reads GPX from any program (the auto-load folder): a token scanner that
// adds each trk to `tracks` (one path per trkseg), each rte to `routes` and each wpt's
// point to `waypoints`. loadTrackFile reads the program's own files (the track log, the
// current route), written one element per line, with a line scanner into one path.
//
// Both read through one buffer of kReadBufferBytes, whatever size the reads come in.
// Paths are host paths (callers resolve device paths with platform::nativePath).
//
// The token scanner's rules:
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
//    at most GpxPath::kNameChars characters, and a number is converted from at most
//    kNumberChars characters of its text. A point's name is passed over.
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
#include <filesystem>
#include <string_view>

#include "gpx/collections.h"

namespace quorel {

// Limits of the file formats, in characters.
inline constexpr std::size_t kPathTokenChars = 255;  // a token inside trk, rte or a point
inline constexpr std::size_t kTopTokenChars = 1279;  // a token outside them
inline constexpr std::size_t kNumberChars = 230;     // the text of one number
inline constexpr std::size_t kTrackLineChars = 511;  // a line (piece) of loadTrackFile
inline constexpr std::size_t kTrackNameChars = 230;  // a name read by loadTrackFile
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
// into path (its points cleared first; its name replaced by a "<name>...</name>" line),
// each with its elevation and, from a "<time>" line as the log writes it, its UTC date
// and time (0 when missing or of another form).
// 0 when read; -1 when the file cannot be opened, with the path unchanged.
int loadTrackFile(const std::filesystem::path& file, GpxPath& path);

// The same two readers over text in memory (fuzzing, tests). chunkBytes > 0 hands the
// text over in pieces of that size, as the file readers' buffer does.
void readGpxText(std::string_view text, GpxOverlays& out, std::size_t chunkBytes = 0);
void loadTrackText(std::string_view text, GpxPath& path, std::size_t chunkBytes = 0);

}  // namespace quorel
