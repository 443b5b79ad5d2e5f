#include "gpx/gpx_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/format.h"
#include "platform/scan.h"
#include "platform/utf8.h"

namespace quorel {
namespace {

// What one read produced, held together so that GpxOverlays can refer to it.
struct Loaded {
    GpxPathList tracks;
    GpxPathList routes;
    GpxPath waypoints;
    GpxOverlays out{tracks, routes, waypoints};
    Loaded() = default;
    Loaded(const Loaded&) = delete;
};

std::string points(const GpxPath& path) {
    std::string s;
    for (const GeoPoint& p : path.points.items()) {
        platform::appendFormat(s, "%s%g,%g,%g", s.empty() ? "" : " ", p.lat, p.lon, p.ele);
    }
    return s;
}

// "T(name) 1,2,0 3,4,0 | R(name) ... | W 5,6,0": tracks, routes, then the waypoints.
std::string summary(const Loaded& r) {
    std::vector<std::string> parts;
    for (const GpxPath& p : r.tracks.items()) parts.push_back("T(" + p.name + ")" + (p.pointCount() ? " " : "") + points(p));
    for (const GpxPath& p : r.routes.items()) parts.push_back("R(" + p.name + ")" + (p.pointCount() ? " " : "") + points(p));
    if (r.waypoints.pointCount() > 0) parts.push_back("W " + points(r.waypoints));
    std::string s;
    for (const std::string& p : parts) s += (s.empty() ? "" : " | ") + p;
    return s;
}

// Reads text whole and in chunks of a few bytes; every way must give the same.
std::string readAll(std::string_view text) {
    Loaded whole;
    readGpxText(text, whole.out);
    const std::string expected = summary(whole);
    for (std::size_t chunk : {1, 2, 5, 13}) {
        Loaded pieces;
        readGpxText(text, pieces.out, chunk);
        EXPECT_EQ(summary(pieces), expected) << "in chunks of " << chunk << ": " << text;
    }
    return expected;
}

std::string describe(const GpxToken& t) {
    const std::string text(t.text);
    switch (t.kind) {
        case GpxToken::Kind::Text: return "T[" + text + "]";
        case GpxToken::Kind::Comment: return "C";
        case GpxToken::Kind::CData: return "D[" + text + "]";
        case GpxToken::Kind::Tag:
            return std::string(t.endTag ? "E" : "S") + (t.selfClosing ? "/" : "") + "[" + text + "]";
        case GpxToken::Kind::End: break;
    }
    return "?";
}

std::vector<std::string> tokens(std::string_view text, std::size_t maxChars = kPathTokenChars, std::size_t chunk = 0) {
    GpxStream in(text, chunk);
    GpxToken t;
    std::vector<std::string> out;
    while (readToken(in, t, maxChars)) out.push_back(describe(t));
    return out;
}

TEST(GpxTokens, ALessThanSignAlwaysBeginsATokenAndIsKept) {
    using V = std::vector<std::string>;
    const struct {
        const char* text;
        V expected;
    } cases[] = {
        {"<trk>", {"S[<trk>]"}},
        {"  <trk>", {"T[  ]", "S[<trk>]"}},                        // indentation is a token of its own
        {"    <name>", {"T[    ]", "S[<name>]"}},
        {"0</ele>\n</trkpt>", {"T[0]", "E[</ele>]", "E[</trkpt>]"}},  // short text never runs into a tag
        {"ab</name><x>", {"T[ab]", "E[</name>]", "S[<x>]"}},
        {"x\r\ny\n", {"T[xy]"}},                                   // line breaks vanish from text
        {"\n\r\n<a>", {"S[<a>]"}},                                 // and text left empty is no token
        {"<trkpt\nlat=\"1\"\r\n\tlon=\"2\">", {"S[<trkpt\nlat=\"1\"\r\n\tlon=\"2\">]"}},  // in tags they stay
        {"<trkpt lat='1' lon='2'/>", {"S/[<trkpt lat='1' lon='2'/>]"}},
        {"</trkpt >", {"E[</trkpt >]"}},
        {"<a <b>", {"S[<a ]", "S[<b>]"}},                          // a tag missing its ">"
        {"<trkpt lat=\"1\"", {"S[<trkpt lat=\"1\"]"}},             // the file ends inside a tag
        {"<!-- <trk><trkpt lat=\"1\" lon=\"2\"> -->x", {"C", "T[x]"}},
        {"<!--a-- >-->x", {"C", "T[x]"}},
        {"<!-- never closed <trk>", {"C"}},
        {"<![CDATA[a<b>]c]]d]]>", {"D[a<b>]c]]d]"}},
        {"<![CDATA[]]>", {"D[]"}},
        {"\xEF\xBB\xBF<?xml version=\"1.0\"?>", {"T[\xEF\xBB\xBF]", "S[<?xml version=\"1.0\"?>]"}},
        {"", {}},
    };
    for (const auto& c : cases) {
        for (std::size_t chunk : {0, 1, 3}) EXPECT_EQ(tokens(c.text, kPathTokenChars, chunk), c.expected) << c.text;
    }
}

TEST(GpxTokens, LongTokensAreCutInCharactersAndNeverSpillOver) {
    const std::string longText(300, 'x');
    EXPECT_EQ(tokens(longText + "<a>"), (std::vector<std::string>{"T[" + std::string(255, 'x') + "]", "S[<a>]"}));
    EXPECT_EQ(tokens(longText + "<a>", kTopTokenChars)[0], "T[" + longText + "]");

    std::string accented;  // 300 characters of two bytes each
    for (int i = 0; i < 300; ++i) accented += "\xC3\xA9";
    const std::vector<std::string> t = tokens(accented + "<a>");
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0], "T[" + accented.substr(0, 510) + "]");

    // a tag longer than the limit keeps its start and still ends at its ">"
    const std::string tag = "<trkpt " + std::string(400, ' ') + "lat=\"1\" lon=\"2\">";
    const std::vector<std::string> cut = tokens(tag + "<b>");
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(cut[0], "S[" + tag.substr(0, 255) + "]");
    EXPECT_EQ(cut[1], "S[<b>]");

    // stray continuation bytes cannot grow a token without end
    EXPECT_LE(tokens(std::string(100000, '\x80'))[0].size(), 4 * kPathTokenChars + 3);
}

TEST(GpxLatLon, QuotesSpacesAndOrder) {
    const struct {
        const char* tag;
        bool valid;
        double lat, lon;
    } cases[] = {
        {"<trkpt lat=\"34.5\" lon=\"135.25\">", true, 34.5, 135.25},
        {"<trkpt lon=\"135.25\" lat=\"34.5\">", true, 34.5, 135.25},   // any order
        {"<trkpt lat='34.5' lon='135.25'>", true, 34.5, 135.25},       // single quotes
        {"<trkpt lat=34.5 lon=135.25/>", true, 34.5, 135.25},          // unquoted
        {"<trkpt lat = \"34.5\"  lon= '-135.25' >", true, 34.5, -135.25},
        {"<trkpt   lat=\"-90\" lon=\"180\">", true, -90.0, 180.0},
        {"<wpt flat=\"1\" lat=\"2\" lon=\"3\">", true, 2.0, 3.0},      // "flat" is not "lat"
        {"<trkpt lat=\"34.5\">", false, 34.5, 0.0},                     // no lon
        {"<trkpt lat=\"north\" lon=\"1\">", false, 0.0, 1.0},
        {"<trkpt lat=\"\" lon=\"1\">", false, 0.0, 1.0},
        {"<trkpt lat=\"nan\" lon=\"1\">", false, 0.0, 1.0},
        {"<trkpt lat=\"inf\" lon=\"1\">", false, 0.0, 1.0},
        {"<trkpt lat=\"90.5\" lon=\"1\">", false, 90.5, 1.0},
        {"<trkpt lat=\"1\" lon=\"-180.1\">", false, 1.0, -180.1},
        {"<trkpt lat=\"1e999\" lon=\"1\">", false, 0.0, 1.0},
    };
    for (const auto& c : cases) {
        const LatLon ll = readLatLon(c.tag);
        EXPECT_EQ(ll.valid(), c.valid) << c.tag;
        if (std::isfinite(ll.lat)) {
            EXPECT_DOUBLE_EQ(ll.lat, c.lat) << c.tag;
        }
        if (std::isfinite(ll.lon)) {
            EXPECT_DOUBLE_EQ(ll.lon, c.lon) << c.tag;
        }
    }
}

TEST(GpxLatLon, NumberTextIsCutAt230Characters) {
    const auto latOf = [](const std::string& value) {
        return readLatLon("<trkpt lat=\"" + value + "\" lon=\"0\">").lat;
    };
    EXPECT_DOUBLE_EQ(latOf(std::string(228, '0') + "12"), 12.0);  // 230 characters: whole
    EXPECT_DOUBLE_EQ(latOf(std::string(229, '0') + "12"), 1.0);   // 231: the last one is cut
}

// The readers convert plain decimals on a fast path of their own; whatever the text,
// the value must be the one "%lf" gives, to the last bit.
TEST(GpxLatLon, NumbersConvertExactlyAsTheFormattedScanDoes) {
    std::mt19937 rng(20240607);
    const auto pick = [&rng](const char* chars) {
        const std::size_t n = std::strlen(chars);
        return chars[std::uniform_int_distribution<std::size_t>(0, n - 1)(rng)];
    };
    std::uniform_int_distribution<int> length(0, 24);
    for (int i = 0; i < 200000; ++i) {
        std::string value;
        if (i % 7 == 0) value += pick(" \t");
        if (i % 3 == 0) value += pick("+-");
        const int digits = length(rng);
        for (int k = 0; k < digits; ++k) value += k == digits / 2 && i % 5 != 0 ? '.' : pick("0123456789");
        if (i % 4 == 0) value += pick("eE.x9/: ");
        if (i % 8 == 0) value += std::to_string(i % 400);
        double expected = 0.0;
        const bool converts = platform::scanReal(value, expected).ok;
        const LatLon ll = readLatLon("<trkpt lat=\"" + value + "\" lon=\"0\">");
        ASSERT_EQ(ll.hasLat, converts) << value;
        if (converts) {
            ASSERT_EQ(std::memcmp(&ll.lat, &expected, sizeof expected), 0)
                << value << " gave " << ll.lat << ", not " << expected;
        }
    }
}

TEST(GpxReader, FilesOfOtherProgramsLoadAtAnyIndentation) {
    const struct {
        const char* what;
        const char* text;
        const char* expected;
    } cases[] = {
        {"our own shape",
         "<gpx>\n<trk>\n<name>Root</name>\n<number>1</number>\n<trkseg>\n"
         "<trkpt lat=\"1.5\" lon=\"2.5\">\n <ele>3.000000</ele>\n</trkpt>\n"
         "<trkpt lat=\"4\" lon=\"5\">\n <ele>6</ele>\n</trkpt>\n</trkseg>\n</trk>\n</gpx>\n",
         "T(Root) 1.5,2.5,3 4,5,6"},
        {"two spaces per level: the name and the ele are read",
         "<gpx>\n  <trk>\n    <name>Walk</name>\n    <trkseg>\n      <trkpt lat=\"1\" lon=\"2\">\n"
         "        <ele>7.5</ele>\n      </trkpt>\n    </trkseg>\n  </trk>\n</gpx>\n",
         "T(Walk) 1,2,7.5"},
        {"four spaces per level",
         "<gpx>\n    <wpt lat=\"9\" lon=\"8\">\n        <ele>1</ele>\n    </wpt>\n    <rte>\n"
         "        <name>R</name>\n        <rtept lat=\"1\" lon=\"1\"></rtept>\n    </rte>\n"
         "    <trk>\n        <trkseg>\n            <trkpt lat=\"2\" lon=\"2\"/>\n        </trkseg>\n    </trk>\n</gpx>",
         "T() 2,2,0 | R(R) 1,1,0 | W 9,8,1"},
        {"tabs",
         "<trk>\n\t<name>Tabbed</name>\n\t<trkseg>\n\t\t<trkpt lat=\"1\" lon=\"2\">\n\t\t\t<ele>3</ele>\n"
         "\t\t</trkpt>\n\t</trkseg>\n</trk>",
         "T(Tabbed) 1,2,3"},
        {"point tags behind one or two spaces", "<trk><trkseg> <trkpt lat=\"1\" lon=\"1\"></trkpt>  <trkpt "
         "lat=\"2\" lon=\"2\"><ele>5</ele></trkpt></trkseg></trk>",
         "T() 1,1,0 2,2,5"},
        {"a one-digit ele then the point's end tag on the next line",
         "<trk><trkseg>\n<trkpt lat=\"1\" lon=\"1\">\n<ele>0</ele>\n</trkpt>\n<trkpt lat=\"2\" lon=\"2\">\n"
         "<ele>4</ele>\n</trkpt>\n</trkseg></trk>",
         "T() 1,1,0 2,2,4"},
        {"a two-character route name, a point right after it",
         "<rte><name>ab</name><rtept lat=\"1\" lon=\"2\"/></rte>", "R(ab) 1,2,0"},
        {"one-character values", "<trk><name>a</name><trkseg><trkpt lat=\"1\" lon=\"2\"><ele>.5</ele></trkpt>"
         "</trkseg></trk>", "T(a) 1,2,0.5"},
        {"single quotes", "<trk><trkseg><trkpt lat='48.79' lon='2.34'><ele>35</ele></trkpt></trkseg></trk>",
         "T() 48.79,2.34,35"},
        {"self-closing points are whole points",
         "<trk><trkseg>\n      <trkpt lat=\"1\" lon=\"-1\"/>\n      <trkpt lat=\"2\" lon=\"-2\"/>\n"
         "      <trkpt lat=\"3\" lon=\"-3\" />\n</trkseg></trk>\n<wpt lat=\"5\" lon=\"5\"/>",
         "T() 1,-1,0 2,-2,0 3,-3,0 | W 5,5,0"},
        {"every segment is a path with the track's name",
         "<trk><name>S</name><trkseg><trkpt lat=\"1\" lon=\"1\"/></trkseg>\n<trkseg><trkpt lat=\"2\" lon=\"2\"/>"
         "<trkpt lat=\"3\" lon=\"3\"/></trkseg><trkseg/></trk><trk><trkseg><trkpt lat=\"4\" lon=\"4\"/></trkseg></trk>",
         "T(S) 1,1,0 | T(S) 2,2,0 3,3,0 | T(S) | T() 4,4,0"},
        {"a name after the segments names them all",
         "<trk><trkseg><trkpt lat=\"1\" lon=\"1\"/></trkseg><trkseg/><name>late</name></trk>",
         "T(late) 1,1,0 | T(late)"},
        {"empty tracks and routes", "<trk/><trk></trk><rte/>", "T() | T() | R()"},
        {"the whole file on one line",
         "<?xml version=\"1.0\"?><gpx><trk><name>One</name><trkseg><trkpt lat=\"1\" lon=\"2\"><ele>3</ele>"
         "<time>2020-01-01T00:00:00Z</time></trkpt><trkpt lat=\"4\" lon=\"5\"><ele>6</ele></trkpt></trkseg>"
         "</trk></gpx>",
         "T(One) 1,2,3 4,5,6"},
        {"tags spanning lines", "<trk\n><name\n>N</name\n><trkseg><trkpt\nlat=\"1\"\nlon=\"2\"\n><ele\n>3</ele\n>"
         "</trkpt\n></trkseg></trk\n>", "T(N) 1,2,3"},
        {"names in CDATA, with white space around",
         "<rte><name>\n   <![CDATA[49B <a>]]>\n   </name><rtept lat=\"1\" lon=\"2\"><name><![CDATA[x]]></name>"
         "</rtept></rte>",
         "R(49B <a>) 1,2,0"},
        {"empty names consume nothing more",
         "<trk><name></name><trkseg><trkpt lat=\"1\" lon=\"2\"/></trkseg></trk>"
         "<trk><name/><trkseg><trkpt lat=\"3\" lon=\"4\"/></trkseg></trk>",
         "T() 1,2,0 | T() 3,4,0"},
        {"empty ele", "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"><ele></ele></trkpt><trkpt lat=\"3\" lon=\"4\">"
         "<ele/></trkpt></trkseg></trk>", "T() 1,2,0 3,4,0"},
        {"comments holding tags are skipped",
         "<!-- <trk><trkseg><trkpt lat=\"9\" lon=\"9\"/></trkseg></trk> --><trk><trkseg><!--<trkpt lat=\"8\" "
         "lon=\"8\"/>--><trkpt lat=\"1\" lon=\"2\"><!--</trkpt>--><ele>3</ele></trkpt></trkseg></trk>",
         "T() 1,2,3"},
        {"text that mentions tags is only text",
         "<trk><desc>see /gpx> and trkpt and </trkseg></desc><trkseg><trkpt lat=\"1\" lon=\"2\"><desc>a trkpt "
         "</trkpt> b</desc></trkpt></trkseg></trk>",
         "T() 1,2,0"},
        {"the end of the gpx element ends reading",
         "<gpx><wpt lat=\"1\" lon=\"1\"/></gpx><wpt lat=\"2\" lon=\"2\"/>", "W 1,1,0"},
        {"points without a usable position are dropped",
         "<trk><trkseg><trkpt lon=\"1\"/><trkpt lat=\"x\" lon=\"1\"/><trkpt lat=\"91\" lon=\"1\"/>"
         "<trkpt lat=\"nan\" lon=\"1\"/><trkpt lat=\"1\" lon=\"1\"/></trkseg></trk><wpt lat=\"1\"></wpt>",
         "T() 1,1,0"},
        {"an ele that is no number is 0",
         "<trk><trkseg><trkpt lat=\"1\" lon=\"1\"><ele>high</ele></trkpt><trkpt lat=\"2\" lon=\"2\">"
         "<ele>nan</ele></trkpt><trkpt lat=\"3\" lon=\"3\"><ele>-inf</ele></trkpt></trkseg></trk>",
         "T() 1,1,0 2,2,0 3,3,0"},
        {"a waypoint's ele does not carry over to the next",
         "<wpt lat=\"1\" lon=\"1\"><ele>100</ele></wpt><wpt lat=\"2\" lon=\"2\"></wpt>", "W 1,1,100 2,2,0"},
        {"a missing point end tag costs only that tag",
         "<trk><trkseg><trkpt lat=\"1\" lon=\"1\"><ele>5</ele><trkpt lat=\"2\" lon=\"2\"></trkpt>"
         "<trkpt lat=\"3\" lon=\"3\"></trkseg><trkseg><trkpt lat=\"4\" lon=\"4\"></trk>"
         "<rte><rtept lat=\"5\" lon=\"5\"></rte>",
         "T() 1,1,5 2,2,0 3,3,0 | T() 4,4,0 | R() 5,5,0"},
        {"a missing track end tag", "<trk><trkseg><trkpt lat=\"1\" lon=\"1\"/><trk><trkseg><trkpt lat=\"2\" "
         "lon=\"2\"/></trkseg></trk>", "T() 1,1,0 | T() 2,2,0"},
        {"the file ends inside a point", "<trk><name>cut</name><trkseg><trkpt lat=\"1\" lon=\"2\"><ele>3",
         "T(cut) 1,2,3"},
        {"prefixed and look-alike elements are not ours",
         "<trk><trkseg><trkpt lat=\"1\" lon=\"1\"><extensions><x:ele>9</x:ele><x:name>n</x:name></extensions>"
         "</trkpt><trkptx lat=\"5\" lon=\"5\"/></trkseg><x:name>not the name</x:name></trk><wptx lat=\"6\" lon=\"6\"/>",
         "T() 1,1,0"},
        {"a UTF-8 byte-order mark, CR LF line ends",
         "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<gpx>\r\n<trk>\r\n<name>\xE6\x9D\xB1</name>\r\n<trkseg>\r\n"
         "<trkpt lat=\"35\" lon=\"139\">\r\n<ele>1</ele>\r\n</trkpt>\r\n</trkseg>\r\n</trk>\r\n</gpx>\r\n",
         "T(\xE6\x9D\xB1) 35,139,1"},
        {"nothing of ours", "<gpx><metadata><name>meta</name></metadata></gpx>", ""},
        {"not GPX at all", "\x89PNG\r\n\x1a\n\0\0<<>>>", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(readAll(c.text), c.expected) << c.what;
}

TEST(GpxReader, NamesAndTokensAreCutAtTheirLimits) {
    const std::string longName(300, 'n');
    EXPECT_EQ(readAll("<trk><name>" + longName + "</name><trkseg><trkpt lat=\"1\" lon=\"2\"/></trkseg></trk>"),
              "T(" + std::string(255, 'n') + ") 1,2,0");

    // the name's text is a token: white space in front of it counts to the token's limit
    EXPECT_EQ(readAll("<trk><name>\t" + longName + "</name></trk>"), "T(" + std::string(254, 'n') + ")");
    std::string wide;  // 300 characters of 1 to 4 bytes
    for (int i = 0; i < 300; ++i) wide += i % 3 == 0 ? "\xF0\x9F\x97\xBA" : (i % 3 == 1 ? "\xC3\xA9" : "x");
    const std::string wideCut = readAll("<rte><name>  " + wide + "</name></rte>");
    EXPECT_EQ(wideCut, "R(" + std::string(platform::utf8Prefix(wide, 253)) + ")");

    // an ele's text is a token too; white space in front of the number is dropped first
    const auto eleAfter = [](std::size_t spaces) {
        return readAll("<trk><trkseg><trkpt lat=\"1\" lon=\"2\"><ele>" + std::string(spaces, ' ') +
                       "5 </ele></trkpt></trkseg></trk>");
    };
    EXPECT_EQ(eleAfter(2), "T() 1,2,5");
    EXPECT_EQ(eleAfter(240), "T() 1,2,5");
    EXPECT_EQ(eleAfter(300), "T() 1,2,0");  // the token ends before the number

    // a start tag longer than a token inside a path loses what stands beyond the limit ...
    const std::string pad(260, ' ');
    EXPECT_EQ(readAll("<trk><trkseg><trkpt" + pad + "lat=\"1\" lon=\"2\"/><trkpt lat=\"3\" lon=\"4\"/></trkseg></trk>"),
              "T() 3,4,0");
    // ... while a waypoint's start tag, read between paths, may be up to 1279 characters
    EXPECT_EQ(readAll("<wpt" + pad + "lat=\"1\" lon=\"2\"/>"), "W 1,2,0");
    EXPECT_EQ(readAll("<wpt" + std::string(1280, ' ') + "lat=\"1\" lon=\"2\"/>"), "");

    // the point's own name is cut to 127 characters
    const std::string named = "<trkpt lat=\"1\" lon=\"2\"><name>" + std::string(200, 'p') + "</name></trkpt>";
    GpxStream in(named);
    GpxScanner scanner(in);
    const GpxToken* start = scanner.next(kPathTokenChars);
    ASSERT_NE(start, nullptr);
    GpxPointEntry entry;
    LatLon position;
    EXPECT_EQ(readPoint(scanner, *start, entry, position), 1);
    EXPECT_EQ(entry.name, std::string(127, 'p'));
    EXPECT_TRUE(position.valid());

    // a long description between points changes nothing
    EXPECT_EQ(readAll("<trk><trkseg><trkpt lat=\"1\" lon=\"2\"><desc>" + std::string(5000, 'd') +
                      "</desc><ele>4</ele></trkpt></trkseg></trk>"),
              "T() 1,2,4");
}

TEST(GpxReader, ReadPointReportsTheEndOfTheStream) {
    const struct {
        const char* text;
        int result;
        double ele;
    } cases[] = {
        {"<trkpt lat=\"1\" lon=\"2\"><ele>3</ele></trkpt>", 1, 3.0},
        {"<trkpt lat=\"1\" lon=\"2\"/>", 1, 0.0},
        {"<trkpt lat=\"1\" lon=\"2\"><ele>3</ele>", 0, 3.0},
        {"<trkpt lat=\"1\" lon=\"2\"><ele>3</ele></trkseg>", 1, 3.0},
    };
    for (const auto& c : cases) {
        GpxStream in(c.text);
        GpxScanner scanner(in);
        const GpxToken* start = scanner.next(kPathTokenChars);
        ASSERT_NE(start, nullptr);
        GpxPointEntry entry;
        LatLon position;
        EXPECT_EQ(readPoint(scanner, *start, entry, position), c.result) << c.text;
        EXPECT_EQ(entry.point.ele, c.ele) << c.text;
        EXPECT_EQ(entry.point.utcTime, 0);
        EXPECT_EQ(entry.point.utcDate, 0);
    }
}

// ---- loadTrackFile ----

std::string loadTrack(std::string_view text, std::string name = "before") {
    GpxPath path;
    path.name = name;
    path.addPoint(GeoPoint{99, 99, 99, 0, 0});
    loadTrackText(text, path);
    const std::string expected = path.name + ":" + points(path);
    for (std::size_t chunk : {1, 7}) {
        GpxPath pieces;
        pieces.name = name;
        loadTrackText(text, pieces, chunk);
        EXPECT_EQ(pieces.name + ":" + points(pieces), expected) << "in chunks of " << chunk;
    }
    return expected;
}

TEST(TrackFile, OneElementPerLine) {
    const struct {
        const char* what;
        std::string text;
        std::string expected;
    } cases[] = {
        {"our own shape",
         "<trk>\n<name>Root</name>\n<trkseg>\n<trkpt lat=\"1.5\" lon=\"2.5\">\n <ele>3.000000</ele>\n"
         " <time>2008-07-18T14:35:14Z</time>\n</trkpt>\n<trkpt lat=\"4\" lon=\"5\">\n <ele>6</ele>\n</trkpt>\n"
         "</trkseg>\n</trk>\n</gpx>\n",
         "Root:1.5,2.5,3 4,5,6"},
        {"any indentation, CR LF", "  <name>X</name>\r\n\t\t<trkpt lat=\"1\" lon=\"2\">\r\n      <ele>3</ele>\r\n"
         "    </trkpt>\r\n", "X:1,2,3"},
        {"a whole point on one line", "<trkpt lat=\"1\" lon=\"2\"><ele>3</ele></trkpt>", "before:1,2,3"},
        {"an empty name", "<name></name>\n", ":"},
        {"a name without its end tag on the line leaves the name", "<name>Open\n</name>\n", "before:"},
        {"a name line is only a name", "<name>N</name><trkpt lat=\"1\" lon=\"2\"></trkpt>\n", "N:"},
        {"reading stops at the first segment's end",
         "<trkpt lat=\"1\" lon=\"1\">\n</trkpt>\n</trkseg>\n<trkseg>\n<trkpt lat=\"2\" lon=\"2\">\n</trkpt>\n",
         "before:1,1,0"},
        {"single quotes, as in the token scanner", "<trkpt lat='1' lon='2'>\n</trkpt>\n", "before:1,2,0"},
        {"points without a usable position are dropped",
         "<trkpt lat=\"x\" lon=\"1\">\n</trkpt>\n<trkpt lon=\"1\">\n</trkpt>\n<trkpt lat=\"-95\" lon=\"1\">\n</trkpt>\n"
         "<trkpt lat=\"2\" lon=\"2\">\n</trkpt>\n",
         "before:2,2,0"},
        {"nothing carries over", "<trkpt lat=\"1\" lon=\"1\">\n<ele>9</ele>\n</trkpt>\n<trkpt lat=\"2\" lon=\"2\">\n"
         "</trkpt>\n", "before:1,1,9 2,2,0"},
        {"an ele that is no number is 0", "<trkpt lat=\"1\" lon=\"1\">\n<ele>\"abc\"</ele>\n</trkpt>\n"
         "<trkpt lat=\"2\" lon=\"2\">\n<ele>\"7\"</ele>\n</trkpt>\n", "before:1,1,0 2,2,7"},
        {"the line after an ele line", "<trkpt lat=\"1\" lon=\"1\">\n<ele>\n5</ele>\n</trkpt>\n", "before:1,1,0"},
        {"a name is cut to 230 characters", "<name>" + std::string(300, 'a') + "</name>\n",
         std::string(230, 'a') + ":"},
    };
    for (const auto& c : cases) EXPECT_EQ(loadTrack(c.text), c.expected) << c.what;
}

TEST(TrackFile, LongLinesAreReadInPiecesOf511Characters) {
    // "<trkpt lat="1" lon="2">" is 23 characters: behind 488 spaces it fills the first
    // piece exactly; behind 490 the piece ends right after the lon value's digit, behind
    // 491 before it; behind 600 spaces the whole tag lies in the second piece.
    const struct {
        std::size_t spaces;
        const char* expected;
    } cases[] = {{488, "before:1,2,0"}, {490, "before:1,2,0"}, {491, "before:"}, {600, "before:1,2,0"}};
    for (const auto& c : cases) {
        EXPECT_EQ(loadTrack(std::string(c.spaces, ' ') + "<trkpt lat=\"1\" lon=\"2\"></trkpt>\n"), c.expected)
            << c.spaces;
    }
    // the limit counts characters: 255 two-byte characters and a point fit in one piece
    std::string wide;
    for (int i = 0; i < 244; ++i) wide += "\xC3\xA9";
    EXPECT_EQ(loadTrack(wide + "<trkpt lat=\"1\" lon=\"2\"></trkpt>\n"), "before:1,2,0");
    // a point split over two pieces is dropped whole, the next one is read
    EXPECT_EQ(loadTrack(std::string(505, ' ') + "<trkpt lat=\"1\" lon=\"2\">\n</trkpt>\n<trkpt lat=\"3\" lon=\"4\">\n"
                        "</trkpt>\n"),
              "before:3,4,0");
}

// ---- Files and folders ----

class GpxFiles : public testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::path(testing::TempDir()) /
               ("quorel_gpx_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    std::filesystem::path dir_;
};

std::string trackFile(int first, int count) {
    std::string s = "<gpx><trk><name>t" + std::to_string(first) + "</name><trkseg>\n";
    for (int i = first; i < first + count; ++i) {
        platform::appendFormat(s, "<trkpt lat=\"%d.5\" lon=\"%d.25\">\n <ele>%d</ele>\n</trkpt>\n", i % 90, i % 180, i);
    }
    return s + "</trkseg></trk></gpx>\n";
}

TEST_F(GpxFiles, MissingFilesAndFoldersAreSkipped) {
    Loaded r;
    EXPECT_EQ(readGpxFile(dir_ / "none.gpx", r.out), -1);
    EXPECT_EQ(readGpxFile(dir_, r.out), -1);  // a folder is no file
    GpxPath path;
    path.name = "kept";
    path.addPoint(GeoPoint{1, 2, 3, 0, 0});
    EXPECT_EQ(loadTrackFile(dir_ / "none.gpx", path), -1);
    EXPECT_EQ(path.name, "kept");
    EXPECT_EQ(path.pointCount(), 1);

    r.tracks.append(GpxPath{});
    EXPECT_EQ(loadAutoLoadFiles(dir_ / "missing", r.out), 0);
    EXPECT_EQ(r.tracks.count(), 0);  // tracks are cleared even so
}

TEST_F(GpxFiles, AutoLoadReadsEveryGpxFileInNameOrder) {
    write("b.gpx", trackFile(2, 1));
    write("A.GPX", trackFile(1, 1));
    write("c.gpx.txt", trackFile(9, 1));
    write("d.gpx", "<gpx><rte><rtept lat=\"1\" lon=\"1\"/></rte><wpt lat=\"2\" lon=\"2\"/></gpx>");
    std::filesystem::create_directory(dir_ / "e.gpx");
    Loaded r;
    r.tracks.append(GpxPath{});  // left from before: cleared
    EXPECT_EQ(loadAutoLoadFiles(dir_, r.out), 3);
    EXPECT_EQ(summary(r), "T(t1) 1.5,1.25,1 | T(t2) 2.5,2.25,2 | R() 1,1,0 | W 2,2,0");

    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    EXPECT_EQ(loadAutoLoadFiles(dir_, r.out), 0);
    EXPECT_EQ(r.tracks.count(), 0);
}

TEST_F(GpxFiles, FilesLargerThanTheBufferReadAsTextInMemoryDoes) {
    const std::string text = trackFile(0, 5000);  // about 250 KB: several buffer loads
    ASSERT_GT(text.size(), 3 * kReadBufferBytes);
    write("big.gpx", text);
    Loaded fromFile;
    ASSERT_EQ(readGpxFile(dir_ / "big.gpx", fromFile.out), 0);
    Loaded fromMemory;
    readGpxText(text, fromMemory.out);
    ASSERT_EQ(fromFile.tracks.count(), 1);
    EXPECT_EQ(fromFile.tracks[0].pointCount(), 5000);
    EXPECT_EQ(summary(fromFile), summary(fromMemory));

    GpxPath own;
    ASSERT_EQ(loadTrackFile(dir_ / "big.gpx", own), 0);
    EXPECT_EQ(points(own), points(fromMemory.tracks[0]));
}

}  // namespace
}  // namespace quorel
