#include "gpx/gpx_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/format.h"
#include "platform/scan.h"
#include "platform/utf8.h"

namespace quorel {
namespace {

struct Loaded {
    GpxPathList tracks, routes;
    GpxPath waypoints;
    GpxOverlays out{tracks, routes, waypoints};
};

// " 1,2,0 3,4,0": lat, lon and ele of each point.
std::string points(const GpxPath& path) {
    std::string s;
    for (const GeoPoint& p : path.points.items()) platform::appendFormat(s, " %g,%g,%g", p.lat, p.lon, p.ele);
    return s;
}

// "T(name) 1,2,0 3,4,0 | R(name) ... | W 5,6,0": tracks, routes, then the waypoints.
std::string summary(const Loaded& r) {
    std::string s;
    const auto add = [&s](const std::string& part) { s += (s.empty() ? "" : " | ") + part; };
    for (const GpxPath& p : r.tracks.items()) add("T(" + p.name + ")" + points(p));
    for (const GpxPath& p : r.routes.items()) add("R(" + p.name + ")" + points(p));
    if (r.waypoints.pointCount() > 0) add("W" + points(r.waypoints));
    return s;
}

// Reads text whole and in chunks of a few bytes; every way must give the same.
std::string readAll(std::string_view text) {
    Loaded whole;
    readGpxText(text, whole.out);
    for (std::size_t chunk : {1, 2, 5, 13}) {
        Loaded pieces;
        readGpxText(text, pieces.out, chunk);
        EXPECT_EQ(summary(pieces), summary(whole)) << "in chunks of " << chunk << ": " << text;
    }
    return summary(whole);
}

// "S[<a>]", "E[</a>]", "S/[<a/>]" for tags, "T[text]", "D[cdata]", "C[]" for a comment.
std::string describe(const GpxToken& t) {
    static const char* const kKinds[] = {"?", "T", "S", "C", "D"};  // in the order of GpxToken::Kind
    const std::string kind = t.endTag ? "E" : kKinds[static_cast<int>(t.kind)];
    return kind + (t.selfClosing ? "/" : "") + "[" + std::string(t.kind == GpxToken::Kind::Comment ? "" : t.text) + "]";
}

std::vector<std::string> tokens(std::string_view text, std::size_t maxChars = kPathTokenChars, std::size_t chunk = 0) {
    GpxStream in(text, chunk);
    GpxToken t;
    std::vector<std::string> out;
    while (readToken(in, t, maxChars)) out.push_back(describe(t));
    return out;
}

TEST(GpxTokens, ALessThanSignAlwaysBeginsATokenAndTextNeverRunsIntoATag) {
    const std::string longTag = "<trkpt " + std::string(400, ' ') + "lat=\"1\" lon=\"2\">";
    const struct {
        std::string text;
        std::vector<std::string> expected;
    } cases[] = {
        {"  <name>ab</name>", {"T[  ]", "S[<name>]", "T[ab]", "E[</name>]"}},  // indentation is a token of its own
        {"0</ele>\n</trkpt >", {"T[0]", "E[</ele>]", "E[</trkpt >]"}},
        {"x\r\ny\n<a>\n\r\n<b>", {"T[xy]", "S[<a>]", "S[<b>]"}},  // line breaks vanish; empty text is no token
        {"<trkpt\nlat=\"1\"\r\n\tlon=\"2\">", {"S[<trkpt\nlat=\"1\"\r\n\tlon=\"2\">]"}},  // in tags they stay
        {"<a <b>", {"S[<a ]", "S[<b>]"}},               // a tag missing its ">"
        {"<trkpt lat=\"1\"", {"S[<trkpt lat=\"1\"]"}},  // the file ends inside a tag
        {"<!-- <trk> a-> -- >-->x<!-- never closed <trk>", {"C[]", "T[x]", "C[]"}},
        {"<![CDATA[a<b>]>c]]d]]><![CDATA[]]>", {"D[a<b>]>c]]d]", "D[]"}},
        {"\xEF\xBB\xBF<?xml version=\"1.0\"?>", {"T[\xEF\xBB\xBF]", "S[<?xml version=\"1.0\"?>]"}},
        // long tokens are cut, and a tag still ends at its ">"
        {std::string(300, 'x') + "<a/>", {"T[" + std::string(255, 'x') + "]", "S/[<a/>]"}},
        {longTag + "<b>", {"S[" + longTag.substr(0, 255) + "]", "S[<b>]"}},
    };
    for (const auto& c : cases) {
        for (std::size_t chunk : {0, 1, 3}) EXPECT_EQ(tokens(c.text, kPathTokenChars, chunk), c.expected) << c.text;
    }
    EXPECT_EQ(tokens(std::string(300, 'x'), kTopTokenChars)[0], "T[" + std::string(300, 'x') + "]");
    // stray continuation bytes cannot grow a token without end
    EXPECT_LE(tokens(std::string(100000, '\x80'))[0].size(), 4 * kPathTokenChars + 3);
}

// The readers convert plain decimals on a fast path of their own; whatever the text,
// the value must be the one "%lf" gives, to the last bit.
TEST(GpxLatLon, NumbersConvertExactlyAsTheFormattedScanDoes) {
    std::mt19937 rng(20240607);
    const auto pick = [&rng](std::string_view chars) { return chars[rng() % chars.size()]; };
    for (int i = 0; i < 200000; ++i) {
        std::string value;
        if (i % 7 == 0) value += pick(" \t");
        if (i % 3 == 0) value += pick("+-");
        const auto digits = static_cast<int>(rng() % 25);
        for (int k = 0; k < digits; ++k) value += k == digits / 2 && i % 5 != 0 ? '.' : pick("0123456789");
        if (i % 4 == 0) value += pick("eE.x9/: ");
        if (i % 8 == 0) value += std::to_string(i % 400);
        double expected = 0.0;
        const bool converts = platform::scanReal(value, expected).ok;
        const LatLon ll = readLatLon("<trkpt lat=\"" + value + "\" lon=\"0\">");
        ASSERT_EQ(ll.hasLat, converts) << value;
        if (converts) {
            ASSERT_EQ(std::memcmp(&ll.lat, &expected, sizeof expected), 0) << value << " gave " << ll.lat;
        }
    }
}

TEST(GpxReader, FilesOfOtherProgramsLoad) {
    std::string wide;  // 300 characters of 1 to 4 bytes
    for (int i = 0; i < 300; ++i) wide += i % 3 == 0 ? "\xF0\x9F\x97\xBA" : (i % 3 == 1 ? "\xC3\xA9" : "x");
    const std::string ele = "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"><ele>", pad(260, ' ');
    const struct {
        const char* what;
        std::string text;
        std::string expected;
    } cases[] = {
        {"any indentation; tags may span lines",
         "<gpx>\n  <trk>\n    <name>Walk</name>\n\t<trkseg>\n      <trkpt lat=\"1\" lon=\"2\">\n"
         "        <ele>7.5</ele>\n      </trkpt> <trkpt\n lat=\"3\"\r\n lon=\"4\"\n>\t\t<ele\n>5</ele\n></trkpt\n>\n"
         "    </trkseg>\n  </trk>\n    <wpt lat=\"9\" lon=\"8\">\n        <ele>1</ele>\n    </wpt>\n</gpx>\n",
         "T(Walk) 1,2,7.5 3,4,5 | W 9,8,1"},
        {"a one-digit ele then the point's end tag on the next line",
         "<trk><trkseg>\n<trkpt lat=\"1\" lon=\"1\">\n<ele>0</ele>\n</trkpt>\n<trkpt lat=\"2\" lon=\"2\">\n"
         "<ele>4</ele>\n</trkpt>\n</trkseg></trk>",
         "T() 1,1,0 2,2,4"},
        {"a two-character route name, a point right after it", "<rte><name>ab</name><rtept lat=\"1\" lon=\"2\"/></rte>",
         "R(ab) 1,2,0"},
        {"self-closing points are whole points",
         "<trk><trkseg>\n      <trkpt lat=\"1\" lon=\"-1\"/>\n      <trkpt lat='2' lon='-2'/>\n"
         "      <trkpt lat=\"3\" lon=\"-3\" />\n</trkseg></trk>\n<wpt lat=\"5\" lon=\"5\"/>",
         "T() 1,-1,0 2,-2,0 3,-3,0 | W 5,5,0"},
        {"every segment is a path with the track's name, wherever the name stands",
         "<trk><trkseg><trkpt lat=\"1\" lon=\"1\"/></trkseg>\n<trkseg><trkpt lat=\"2\" lon=\"2\"/>"
         "<trkpt lat=\"3\" lon=\"3\"/></trkseg><trkseg/><name>S</name></trk><trk></trk><trk/><rte/>",
         "T(S) 1,1,0 | T(S) 2,2,0 3,3,0 | T(S) | T() | T() | R()"},
        {"names in CDATA, with white space around",
         "<rte><name>\n   <![CDATA[49B <a>]]>\n   </name><rtept lat=\"1\" lon=\"2\"><name><![CDATA[x]]></name>"
         "</rtept></rte>",
         "R(49B <a>) 1,2,0"},
        {"empty name and ele elements take nothing after them; an ele that is no number is 0",
         "<trk><name></name><trkseg><trkpt lat=\"1\" lon=\"2\"><ele></ele></trkpt></trkseg></trk>"
         "<trk><name/><trkseg><trkpt lat=\"3\" lon=\"4\"><ele/></trkpt><trkpt lat=\"5\" lon=\"6\"><ele>high</ele>"
         "</trkpt><trkpt lat=\"7\" lon=\"8\"><ele>-inf</ele></trkpt></trkseg></trk>",
         "T() 1,2,0 | T() 3,4,0 5,6,0 7,8,0"},
        {"comments, and text or elements that only look like ours",
         "<!-- <trk><trkseg><trkpt lat=\"9\" lon=\"9\"/></trkseg></trk> --><trk><desc>see /gpx> and </trkseg></desc>"
         "<trkseg><!--<trkpt lat=\"8\" lon=\"8\"/>--><trkpt lat=\"1\" lon=\"1\"><!--</trkpt>--><ele>3</ele><extensions>"
         "<x:ele>9</x:ele></extensions></trkpt><trkptx lat=\"5\" lon=\"5\"/></trkseg><x:name>n</x:name></trk>"
         "<wptx lat=\"6\" lon=\"6\"/>",
         "T() 1,1,3"},
        {"lat and lon in any order and quoting; points without a usable position are dropped",
         "<wpt lon=\"135.25\" lat=\"34.5\"/><wpt lat=3 lon=4/><wpt lat = \"5\"  lon= '-6' ><ele>1</ele></wpt>"
         "<wpt lat=\"-90\" lon=\"180\"></wpt><wpt flat=\"1\" lat=\"7\" lon=\"8\"/><wpt lat=\"9\"/>"
         "<wpt lat=\"north\" lon=\"1\"/><wpt lat=\"nan\" lon=\"1\"/><wpt lat=\"90.5\" lon=\"1\"/>"
         "<wpt lat=\"1\" lon=\"-180.1\"/><wpt lat=\"1e999\" lon=\"1\"/><rte><rtept lon=\"1\"/>"
         "<rtept lat=\"\" lon=\"1\"/></rte>",
         "R() | W 34.5,135.25,0 3,4,0 5,-6,1 -90,180,0 7,8,0"},
        {"a missing end tag costs only that tag; the file may end inside a point",
         "<trk><trkseg><trkpt lat=\"1\" lon=\"1\"><ele>5</ele><trkpt lat=\"2\" lon=\"2\"></trkpt>"
         "<trkpt lat=\"3\" lon=\"3\"></trkseg><trkseg><trkpt lat=\"4\" lon=\"4\"></trk>"
         "<rte><rtept lat=\"5\" lon=\"5\"></rte><trk><trkseg><trkpt lat=\"6\" lon=\"6\"/>"
         "<trk><name>cut</name><trkseg><trkpt lat=\"7\" lon=\"8\"><ele>9",
         "T() 1,1,5 2,2,0 3,3,0 | T() 4,4,0 | T() 6,6,0 | T(cut) 7,8,9 | R() 5,5,0"},
        {"the end of the gpx element ends reading; metadata is not ours",
         "<gpx><metadata><name>meta</name></metadata><wpt lat=\"1\" lon=\"1\"/></gpx><wpt lat=\"2\" lon=\"2\"/>",
         "W 1,1,0"},
        // Limits: a name's text is a token, and the white space in front of it counts to
        // the token's limit, in characters.
        {"a long name", "<rte><name>  " + wide + "</name></rte>",
         "R(" + std::string(platform::utf8Prefix(wide, 253)) + ")"},
        {"white space in front of a number is dropped", ele + std::string(240, ' ') + "5 </ele></trkpt></trkseg></trk>",
         "T() 1,2,5"},
        {"the ele's token ends before the number", ele + std::string(300, ' ') + "5 </ele></trkpt></trkseg></trk>",
         "T() 1,2,0"},
        {"a start tag inside a path loses what stands beyond its limit",
         "<trk><trkseg><trkpt" + pad + "lat=\"1\" lon=\"2\"/><trkpt lat=\"3\" lon=\"4\"/></trkseg></trk>", "T() 3,4,0"},
        {"a waypoint's start tag, read between paths, may be 1279 characters",
         "<wpt" + pad + "lat=\"1\" lon=\"2\"/><wpt" + std::string(1280, ' ') + "lat=\"3\" lon=\"4\"/>", "W 1,2,0"},
        {"a long description", "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"><desc>" + std::string(5000, 'd') +
         "</desc><ele>4</ele></trkpt></trkseg></trk>", "T() 1,2,4"},
        {"a number converts from at most 230 characters of its text",
         "<wpt lat=\"" + std::string(228, '0') + "12\" lon=\"0\"/><wpt lat=\"" + std::string(229, '0') +
             "12\" lon=\"0\"/>",
         "W 12,0,0 1,0,0"},
    };
    for (const auto& c : cases) EXPECT_EQ(readAll(c.text), c.expected) << c.what;
}

// ---- loadTrackFile ----

std::string loadTrack(std::string_view text) {
    GpxPath path;
    path.name = "before";
    path.addPoint(GeoPoint{99, 99, 99, 0, 0});
    loadTrackText(text, path);
    const std::string expected = path.name + ":" + points(path);
    for (std::size_t chunk : {1, 7}) {
        GpxPath pieces;
        pieces.name = "before";
        loadTrackText(text, pieces, chunk);
        EXPECT_EQ(pieces.name + ":" + points(pieces), expected) << "in chunks of " << chunk;
    }
    return expected;
}

TEST(TrackFile, OneElementPerLine) {
    const std::string point = "<trkpt lat=\"1\" lon=\"2\"></trkpt>\n";  // 23 characters to its ">"
    std::string wide;
    for (int i = 0; i < 250; ++i) wide += "\xC3\xA9";
    const struct {
        const char* what;
        std::string text;
        std::string expected;
    } cases[] = {
        {"any indentation, CR LF",
         "  <name>X</name>\r\n\t\t<trkpt lat=\"1\" lon=\"2\">\r\n      <ele>3</ele>\r\n    </trkpt>\r\n", "X: 1,2,3"},
        {"a whole point on one line", "<trkpt lat=\"1\" lon=\"2\"><ele>3</ele></trkpt>", "before: 1,2,3"},
        {"an empty name", "<name></name>\n", ":"},
        {"a name line is only a name; a name without its end tag on the line is none",
         "<name>N</name><trkpt lat=\"1\" lon=\"2\"></trkpt>\n<name>Open\n</name>\n", "N:"},
        {"a name is cut to 230 characters", "<name>" + std::string(300, 'a') + "</name>\n",
         std::string(230, 'a') + ":"},
        {"reading stops at the first segment's end",
         "<trkpt lat=\"1\" lon=\"1\">\n</trkpt>\n</trkseg>\n<trkseg>\n<trkpt lat=\"2\" lon=\"2\">\n</trkpt>\n",
         "before: 1,1,0"},
        {"points without a usable position are dropped, an ele that is no number is 0, nothing carries over",
         "<trkpt lat=\"x\" lon=\"1\">\n</trkpt>\n<trkpt lon=\"1\">\n</trkpt>\n<trkpt lat=\"-95\" lon=\"1\">\n</trkpt>\n"
         "<trkpt lat=\"1\" lon=\"1\">\n<ele>9</ele>\n</trkpt>\n<trkpt lat=\"2\" lon=\"2\">\n</trkpt>\n"
         "<trkpt lat=\"3\" lon=\"3\">\n<ele>\"abc\"</ele>\n</trkpt>\n"
         "<trkpt lat=\"4\" lon=\"4\">\n<ele>\"7\"</ele>\n</trkpt>\n"
         "<trkpt lat=\"5\" lon=\"5\">\n<ele>\n6</ele>\n</trkpt>\n",
         "before: 1,1,9 2,2,0 3,3,0 4,4,7 5,5,0"},
        // Lines are read in pieces of 511 characters.
        {"the tag fills the first piece exactly", std::string(488, ' ') + point, "before: 1,2,0"},
        {"the piece ends right after the lon value's digit", std::string(490, ' ') + point, "before: 1,2,0"},
        {"the piece ends before that digit", std::string(491, ' ') + point, "before:"},
        {"the tag lies whole in the second piece", std::string(600, ' ') + point, "before: 1,2,0"},
        {"the limit counts characters, not bytes", wide + point, "before: 1,2,0"},
        {"a point split over two pieces is dropped whole",
         std::string(505, ' ') + "<trkpt lat=\"1\" lon=\"2\">\n</trkpt>\n<trkpt lat=\"3\" lon=\"4\">\n</trkpt>\n",
         "before: 3,4,0"},
    };
    for (const auto& c : cases) EXPECT_EQ(loadTrack(c.text), c.expected) << c.what;
}

// ---- Files and folders ----

class GpxFiles : public testing::Test {
protected:
    void SetUp() override { std::filesystem::remove_all(dir_); std::filesystem::create_directories(dir_); }
    void write(const std::string& name, const std::string& text) { std::ofstream(dir_ / name) << text; }
    const std::filesystem::path dir_ = std::filesystem::path(testing::TempDir()) /
        ("quorel_gpx_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
};

std::string trackFile(int first, int count) {
    std::string s = "<gpx><trk><name>t" + std::to_string(first) + "</name><trkseg>\n";
    for (int i = first; i < first + count; ++i) {
        platform::appendFormat(s, "<trkpt lat=\"%d.5\" lon=\"%d.25\">\n <ele>%d</ele>\n</trkpt>\n", i % 90, i % 180, i);
    }
    return s + "</trkseg></trk></gpx>\n";
}

// A file as the program writes its track log and route: both readers read the same.
TEST_F(GpxFiles, OurOwnFilesReadTheSameByBothReaders) {
    write("own.gpx",
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx\n version=\"1.1\"\ncreator=\"Quorel\"\n"
          "xmlns=\"http://www.topografix.com/GPX/1/1\"><trk>\n<name>Root</name>\n<number>1</number>\n<trkseg>\n"
          "<trkpt lat=\"34.482400\" lon=\"135.824100\">\n <ele>12.500000</ele>\n <time>2008-07-18T14:35:14Z</time>\n"
          "</trkpt>\n<trkpt lat=\"34.500000\" lon=\"135.800000\">\n <ele>0.000000</ele>\n</trkpt>\n"
          "<trkpt lat=\"-1.000000\" lon=\"-2.000000\">\n <ele>-3.250000</ele>\n</trkpt>\n</trkseg>\n</trk>\n</gpx>\n");
    Loaded r;
    ASSERT_EQ(readGpxFile(dir_ / "own.gpx", r.out), 0);
    EXPECT_EQ(summary(r), "T(Root) 34.4824,135.824,12.5 34.5,135.8,0 -1,-2,-3.25");
    GpxPath own;
    ASSERT_EQ(loadTrackFile(dir_ / "own.gpx", own), 0);
    EXPECT_EQ("T(" + own.name + ")" + points(own), summary(r));
    for (const GpxPath* path : {&r.tracks.at(0), &own}) {
        for (const GeoPoint& p : path->points.items()) EXPECT_EQ(p.utcTime + p.utcDate, 0);
    }

    const std::string big = trackFile(0, 5000);  // about 250 KB: several buffer loads
    ASSERT_GT(big.size(), 3 * kReadBufferBytes);
    write("big.gpx", big);
    Loaded fromFile, fromMemory;
    ASSERT_EQ(readGpxFile(dir_ / "big.gpx", fromFile.out), 0);
    readGpxText(big, fromMemory.out);
    EXPECT_EQ(fromMemory.tracks.at(0).pointCount(), 5000);
    EXPECT_EQ(summary(fromFile), summary(fromMemory));
    ASSERT_EQ(loadTrackFile(dir_ / "big.gpx", own), 0);
    EXPECT_EQ(points(own), points(fromMemory.tracks[0]));
}

TEST_F(GpxFiles, AutoLoadReadsEveryGpxFileInNameOrderAndClearsTracksFirst) {
    Loaded r;
    EXPECT_EQ(readGpxFile(dir_ / "none.gpx", r.out), -1);
    EXPECT_EQ(readGpxFile(dir_, r.out), -1);  // a folder is no file
    GpxPath path;
    path.name = "kept";
    path.addPoint(GeoPoint{1, 2, 3, 0, 0});
    EXPECT_EQ(loadTrackFile(dir_ / "none.gpx", path), -1);
    EXPECT_EQ(path.name + points(path), "kept 1,2,3");

    write("c.gpx.txt", trackFile(9, 1));
    std::filesystem::create_directory(dir_ / "e.gpx");
    for (const std::filesystem::path& folder : {dir_ / "missing", dir_}) {  // no *.gpx file in either
        r.tracks.append(GpxPath{});
        EXPECT_EQ(loadAutoLoadFiles(folder, r.out), 0);
        EXPECT_EQ(r.tracks.count(), 0);
    }
    write("b.gpx", trackFile(2, 1));
    write("A.GPX", trackFile(1, 1));
    write("d.gpx", "<gpx><rte><rtept lat=\"1\" lon=\"1\"/></rte><wpt lat=\"2\" lon=\"2\"/></gpx>");
    r.tracks.append(GpxPath{});
    EXPECT_EQ(loadAutoLoadFiles(dir_, r.out), 3);
    EXPECT_EQ(summary(r), "T(t1) 1.5,1.25,1 | T(t2) 2.5,2.25,2 | R() 1,1,0 | W 2,2,0");
}

}  // namespace
}  // namespace quorel
