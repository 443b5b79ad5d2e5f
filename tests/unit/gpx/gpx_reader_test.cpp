#include "gpx/gpx_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/format.h"
#include "platform/utf8.h"
#include "tests/support/scratch.h"

namespace quorel {
namespace {

// " 1,2,0 3,4,0": lat, lon and ele of each point.
std::string points(const GpxPath& path) {
    std::string s;
    for (const GeoPoint& p : path.points.items()) platform::appendFormat(s, " %g,%g,%g", p.lat, p.lon, p.ele);
    return s;
}

// "T(name) 1,2,0 | R(name) 3,4,0 | W 5,6,0": the tracks, routes and waypoints read.
std::string summary(const GpxPathList& tracks, const GpxPathList& routes, const GpxPath& waypoints) {
    std::string s;
    for (const GpxPath& p : tracks.items()) s += " | T(" + p.name + ")" + points(p);
    for (const GpxPath& p : routes.items()) s += " | R(" + p.name + ")" + points(p);
    if (waypoints.pointCount() > 0) s += " | W" + points(waypoints);
    return s.substr(std::min<std::size_t>(s.size(), 3));
}

// Reads text whole, and checks that reading it in chunks of a few bytes gives the same.
std::string readAll(std::string_view text) {
    const auto read = [text](std::size_t chunkBytes) {
        GpxPathList tracks, routes;
        GpxPath waypoints;
        GpxOverlays out{tracks, routes, waypoints};
        readGpxText(text, out, chunkBytes);
        return summary(tracks, routes, waypoints);
    };
    const std::string whole = read(0);
    for (std::size_t chunk : {1, 2, 5, 13}) EXPECT_EQ(read(chunk), whole) << "in chunks of " << chunk << ": " << text;
    return whole;
}

TEST(GpxReader, FilesOfOtherProgramsLoad) {
    std::string wide;  // 300 characters of 1 to 4 bytes
    for (int i = 0; i < 300; ++i) wide += i % 3 == 0 ? "\xF0\x9F\x97\xBA" : (i % 3 == 1 ? "\xC3\xA9" : "x");
    const std::string ele = "<trk><trkseg><trkpt lat='1' lon='2'><ele>", end = "</ele></trkpt></trkseg></trk>";
    const std::string pad(260, ' ');
    const struct {
        const char* what;
        std::string text, expected;
    } cases[] = {
        {"any indentation; tags span lines; a one-digit ele; self-closing points",
         "<gpx>\n  <trk>\n    <name>Walk</name>\n\t<trkseg>\n      <trkpt lat=\"1\" lon=\"2\">\n        <ele>0</ele>\n"
         "</trkpt> <trkpt\n lat='3'\r\n lon='4'\n>\t\t<ele\n>5</ele\n></trkpt\n>\n<trkpt lat='2' lon='-2'/>\n"
         "    </trkseg>\n  </trk>\n    <wpt lat='9' lon='8'>\n        <ele>1</ele>\n    </wpt>\n</gpx>\n",
         "T(Walk) 1,2,0 3,4,5 2,-2,0 | W 9,8,1"},
        {"every segment is a path with the track's name, wherever it stands; a two-character name",
         "<trk><trkseg><trkpt lat='1' lon='1'/></trkseg>\n<trkseg><trkpt lat='2' lon='2'/><trkpt lat='3' lon='3'/>"
         "</trkseg><trkseg/><name>S</name></trk><trk></trk><trk/><rte><name>ab</name><rtept lat='1' lon='2'/></rte>",
         "T(S) 1,1,0 | T(S) 2,2,0 3,3,0 | T(S) | T() | T() | R(ab) 1,2,0"},
        {"names in CDATA, white space around them dropped; a point's name is passed over",
         "<rte><name>\n   <![CDATA[4]]9B <a>]>]]]>\n   </name><rtept lat='1' lon='2'><name><![CDATA[x]]></name>"
         "</rtept></rte>",
         "R(4]]9B <a>]>]) 1,2,0"},
        {"empty name and ele elements take nothing after them; an ele that is no number is 0",
         "<trk><name></name><trkseg><trkpt lat='1' lon='2'><ele></ele></trkpt></trkseg></trk><trk><name/><trkseg>"
         "<trkpt lat='3' lon='4'><ele/></trkpt><trkpt lat='5' lon='6'><ele>high</ele></trkpt><trkpt lat='7' "
         "lon='8'><ele>-inf</ele></trkpt></trkseg></trk>",
         "T() 1,2,0 | T() 3,4,0 5,6,0 7,8,0"},
        {"comments, metadata, text or elements that only look like ours; reading ends at the gpx end tag",
         "<gpx><metadata><name>m</name></metadata><!-- <trk><trkseg><trkpt lat='9' lon='9'/></trkseg></trk> -->"
         "<trk><desc>see /gpx> and </trkseg></desc><trkseg><!--<trkpt lat='8' lon='8'/>--><trkpt lat='1' lon='1'>"
         "<!--</trkpt>--><ele>3</ele><extensions><x:ele>9</x:ele></extensions></trkpt><trkptx lat='5' lon='5'/>"
         "</trkseg><x:name>n</x:name></trk><wptx lat='6' lon='6'/></gpx><wpt lat='7' lon='7'/>",
         "T() 1,1,3"},
        {"lat and lon in any order and quoting; points without a usable position are dropped",
         "<wpt lon=\"135.25\" lat=\"34.5\"/><wpt lat=3 lon=4/><wpt lat = \"5\"  lon= '-6' ><ele>1</ele></wpt>"
         "<wpt lat='-90' lon='180'></wpt><wpt flat='1' lat='7' lon='8'/><wpt lat='9'/><wpt lat='north' lon='1'/>"
         "<wpt lat='nan' lon='1'/><wpt lat='90.5' lon='1'/><wpt lat='1' lon='-180.1'/><wpt lat='1e999' lon='1'/>"
         "<rte><rtept lon='1'/><rtept lat='' lon='1'/></rte>",
         "R() | W 34.5,135.25,0 3,4,0 5,-6,1 -90,180,0 7,8,0"},
        {"a missing end tag or '>' costs only that; the file may end inside a point",
         "<trk><trkseg><trkpt lat='1' lon='1'><ele>5</ele><trkpt lat='2' lon='2'></trkpt><trkpt lat='3' lon='3'>"
         "</trkseg><trkseg><trkpt lat='4' lon='4'></trk><rte><rtept lat='5' lon='5' <rtept lat='6' lon='6'></rte>"
         "<trk><trkseg><trkpt lat='6' lon='6'/><trk><name>cut</name><trkseg><trkpt lat='7' lon='8'><ele>9",
         "T() 1,1,5 2,2,0 3,3,0 | T() 4,4,0 | T() 6,6,0 | T(cut) 7,8,9 | R() 5,5,0 6,6,0"},
        // Limits, in characters: a name's or number's text is a token, white space in front included.
        {"a long name", "<rte><name>  " + wide + "</name></rte>",
         "R(" + std::string(platform::utf8Prefix(wide, 253)) + ")"},
        {"white space in front of a number is dropped", ele + std::string(240, ' ') + "5 " + end, "T() 1,2,5"},
        {"the ele's token ends before the number", ele + std::string(300, ' ') + "5 " + end, "T() 1,2,0"},
        {"a start tag inside a path loses what stands beyond its limit",
         "<trk><trkseg><trkpt" + pad + "lat='1' lon='2'/><trkpt lat='3' lon='4'/></trkseg></trk>", "T() 3,4,0"},
        {"a waypoint's start tag, read between paths, may be 1279 characters",
         "<wpt" + pad + "lat='1' lon='2'/><wpt" + std::string(1280, ' ') + "lat='3' lon='4'/>", "W 1,2,0"},
        {"a long description", ele + "4</ele><desc>" + std::string(5000, 'd') + "</desc>" + end.substr(6), "T() 1,2,4"},
        {"a number converts from at most 230 characters of its text",
         "<wpt lat='" + std::string(228, '0') + "12' lon='0'/><wpt lat='" + std::string(229, '0') + "12' lon='0'/>",
         "W 12,0,0 1,0,0"},
    };
    for (const auto& c : cases) EXPECT_EQ(readAll(c.text), c.expected) << c.what;
}

// Both readers take a number's value as the C library's "%lf" gives it for the same
// text, to the last bit (an ele that does not convert to a finite number is 0).
TEST(GpxReader, NumbersConvertAsTheFormattedScanDoes) {
    std::mt19937 rng(20240607);
    const auto pick = [&rng](std::string_view chars) { return chars[rng() % chars.size()]; };
    for (int i = 0; i < 30000; ++i) {
        std::string value = i % 7 == 0 ? std::string(1, pick(" \t")) : std::string(i % 11 == 0 ? 200 + i % 40 : 0, '0');
        if (i % 3 == 0) value += pick("+-");
        for (int k = 0, digits = static_cast<int>(rng() % 25); k < digits; ++k) {
            value += k == digits / 2 && i % 5 != 0 ? '.' : pick("0123456789");
        }
        if (i % 4 == 0) value += pick("eE.x9/: ");
        if (i % 8 == 0) value += std::to_string(i % 400);
        double expected = 0.0;
        if (std::sscanf(value.substr(0, kNumberChars).c_str(), "%lf", &expected) != 1 || !std::isfinite(expected)) {
            expected = 0.0;
        }
        GpxPath track, waypoints;
        loadTrackText("<trkpt lat=\"1\" lon=\"1\">\n<ele>" + value + "</ele>\n</trkpt>\n", track);
        GpxPathList tracks, routes;
        GpxOverlays out{tracks, routes, waypoints};
        readGpxText("<wpt lat='1' lon='1'><ele>" + value + "</ele></wpt>", out);
        for (const GpxPath* p : {&track, &waypoints}) {
            ASSERT_EQ(p->pointCount(), 1);
            const double ele = p->points[0].ele;
            ASSERT_EQ(std::memcmp(&ele, &expected, sizeof expected), 0) << value << " gave " << ele;
        }
    }
}

TEST(TrackFile, OneElementPerLineInPiecesOf511Characters) {
    const std::string point = "<trkpt lat=\"1\" lon=\"2\"></trkpt>\n";  // 23 characters to its ">"
    std::string wide;
    for (int i = 0; i < 250; ++i) wide += "\xC3\xA9";
    const struct {
        const char* what;
        std::string text, expected;
    } cases[] = {
        {"any indentation, CR LF, a whole point on one line",
         "  <name>X</name>\r\n\t\t<trkpt lat=\"1\" lon=\"2\">\r\n      <ele>3</ele>\r\n    </trkpt>\r\n"
         "<trkpt lat=\"4\" lon=\"5\"><ele>6</ele></trkpt>",
         "X: 1,2,3 4,5,6"},
        {"a name line is only a name; one without its end tag on the line is none",
         "<name>N</name><trkpt lat=\"1\" lon=\"2\"></trkpt>\n<name>Open\n</name>\n", "N:"},
        {"a name is cut to 230 characters", "<name>" + std::string(300, 'a') + "</name>", std::string(230, 'a') + ":"},
        {"reading stops at the first segment's end",
         "<trkpt lat=\"1\" lon=\"1\">\n</trkpt>\n</trkseg>\n<trkseg>\n<trkpt lat=\"2\" lon=\"2\"></trkpt>",
         "old: 1,1,0"},
        {"points without a usable position are dropped, an ele that is no number is 0, nothing carries over",
         "<trkpt lat=\"x\" lon=\"1\">\n</trkpt>\n<trkpt lon=\"1\">\n</trkpt>\n<trkpt lat=\"-95\" lon=\"1\">\n</trkpt>\n"
         "<trkpt lat=\"1\" lon=\"1\">\n<ele>9</ele>\n</trkpt>\n<trkpt lat=\"2\" lon=\"2\">\n</trkpt>\n<trkpt lat=\"3\" "
         "lon=\"3\">\n<ele>\"abc\"</ele>\n</trkpt>\n<trkpt lat=\"4\" lon=\"4\">\n<ele>\"7\"</ele>\n</trkpt>\n"
         "<trkpt lat=\"5\" lon=\"5\">\n<ele>\n6</ele>\n</trkpt>\n",
         "old: 1,1,9 2,2,0 3,3,0 4,4,7 5,5,0"},
        {"the tag fills the first piece exactly", std::string(488, ' ') + point, "old: 1,2,0"},
        {"the piece ends right after the lon value's digit", std::string(490, ' ') + point, "old: 1,2,0"},
        {"the piece ends before that digit", std::string(491, ' ') + point, "old:"},
        {"the tag lies whole in the second piece", std::string(600, ' ') + point, "old: 1,2,0"},
        {"the limit counts characters, not bytes", wide + point, "old: 1,2,0"},
        {"a CR before the LF is no character", std::string(510, ' ') + "\r\n" + point, "old: 1,2,0"},
        {"a point split over two pieces is dropped whole",
         std::string(505, ' ') + "<trkpt lat=\"1\" lon=\"2\">\n</trkpt>\n<trkpt lat=\"3\" lon=\"4\"></trkpt>",
         "old: 3,4,0"},
    };
    for (const auto& c : cases) {
        std::string whole;
        for (std::size_t chunk : {0, 1, 7}) {
            GpxPath path;
            path.name = "old";
            path.addPoint(GeoPoint{99, 99, 99, 0, 0});
            loadTrackText(c.text, path, chunk);
            if (chunk == 0) whole = path.name + ":" + points(path);
            EXPECT_EQ(path.name + ":" + points(path), whole) << c.what << ", in chunks of " << chunk;
        }
        EXPECT_EQ(whole, c.expected) << c.what;
    }
}

// Files several buffers long read as from memory, by both readers; the auto-load
// folder's *.gpx files are read in name order after the tracks are cleared.
TEST(GpxFiles, AutoLoadReadsEveryGpxFileInNameOrderAndBothReadersAgree) {
    const auto dir = test::scratchFolder("gpx_files");
    std::filesystem::create_directories(dir / "e.gpx");
    ASSERT_EQ(::mkfifo((dir / "fifo.gpx").c_str(), 0600), 0);
    GpxPathList tracks, routes;
    GpxPath waypoints, path;
    GpxOverlays out{tracks, routes, waypoints};
    path.addPoint(GeoPoint{1, 2, 3, 0, 0});
    for (const char* none : {"none.gpx", "e.gpx", "fifo.gpx"}) {  // missing, a folder, a pipe no one writes
        EXPECT_EQ(readGpxFile(dir / none, out), -1) << none;
        EXPECT_EQ(loadTrackFile(dir / none, path), -1) << none;
    }
    EXPECT_EQ(points(path), " 1,2,3");
    std::string big = "<gpx><trk><name>t</name><trkseg>\n";
    for (int i = 0; i < 5000; ++i) {
        platform::appendFormat(big, "<trkpt lat=\"%d.5\" lon=\"-%d.25\">\n <ele>%d</ele>\n</trkpt>\n", i % 90, i, i);
    }
    ASSERT_GT(big.size(), 3 * kReadBufferBytes);
    std::ofstream(dir / "b.gpx") << big;
    std::ofstream(dir / "A.GPX") << "<trk><name>a</name></trk><rte><rtept lat='1' lon='1'/></rte><wpt lat='2' lon='2'>";
    std::ofstream(dir / "c.gpx.txt") << big;
    tracks.append(GpxPath{});
    EXPECT_EQ(loadAutoLoadFiles(dir, out), 2);
    const std::string track = readAll(big);
    EXPECT_EQ(summary(tracks, routes, waypoints), "T(a) | " + track + " | R() 1,1,0 | W 2,2,0");
    ASSERT_EQ(loadTrackFile(dir / "b.gpx", path), 0);
    EXPECT_EQ("T(" + path.name + ")" + points(path), track);
}

}  // namespace
}  // namespace quorel
