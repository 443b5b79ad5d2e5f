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

TEST(GpxReader, FilesOfOtherProgramsLoad) {
    std::string wide;  // 300 characters of 1 to 4 bytes
    for (int i = 0; i < 300; ++i) wide += i % 3 == 0 ? "\xF0\x9F\x97\xBA" : (i % 3 == 1 ? "\xC3\xA9" : "x");
    const std::string ele = "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"><ele>", end = "</ele></trkpt></trkseg></trk>";
    const std::string pad(260, ' ');
    const struct {
        const char* what;
        std::string text;
        std::string expected;
    } cases[] = {
        {"any indentation; tags span lines; a one-digit ele; self-closing points",
         "<gpx>\n  <trk>\n    <name>Walk</name>\n\t<trkseg>\n      <trkpt lat=\"1\" lon=\"2\">\n        <ele>0</ele>\n"
         "</trkpt> <trkpt\n lat=\"3\"\r\n lon=\"4\"\n>\t\t<ele\n>5</ele\n></trkpt\n>\n<trkpt lat='2' lon='-2'/>\n"
         "    </trkseg>\n  </trk>\n    <wpt lat=\"9\" lon=\"8\">\n        <ele>1</ele>\n    </wpt>\n</gpx>\n",
         "T(Walk) 1,2,0 3,4,5 2,-2,0 | W 9,8,1"},
        {"a two-character name, a point right after it", "<rte><name>ab</name><rtept lat=\"1\" lon=\"2\"/></rte>",
         "R(ab) 1,2,0"},
        {"every segment is a path with the track's name, wherever the name stands",
         "<trk><trkseg><trkpt lat=\"1\" lon=\"1\"/></trkseg>\n<trkseg><trkpt lat=\"2\" lon=\"2\"/>"
         "<trkpt lat=\"3\" lon=\"3\"/></trkseg><trkseg/><name>S</name></trk><trk></trk><trk/><rte/>",
         "T(S) 1,1,0 | T(S) 2,2,0 3,3,0 | T(S) | T() | T() | R()"},
        {"names in CDATA, with white space around; a point's name is passed over",
         "<rte><name>\n   <![CDATA[4]]9B <a>]>]]]>\n   </name><rtept lat=\"1\" lon=\"2\"><name><![CDATA[x]]></name>"
         "</rtept></rte>",
         "R(4]]9B <a>]>]) 1,2,0"},
        {"empty name and ele elements take nothing after them; an ele that is no number is 0",
         "<trk><name></name><trkseg><trkpt lat=\"1\" lon=\"2\"><ele></ele></trkpt></trkseg></trk>"
         "<trk><name/><trkseg><trkpt lat=\"3\" lon=\"4\"><ele/></trkpt><trkpt lat=\"5\" lon=\"6\"><ele>high</ele>"
         "</trkpt><trkpt lat=\"7\" lon=\"8\"><ele>-inf</ele></trkpt></trkseg></trk>",
         "T() 1,2,0 | T() 3,4,0 5,6,0 7,8,0"},
        {"comments, and text or elements that only look like ours",
         "<!-- <trk><trkseg><trkpt lat=\"9\" lon=\"9\"/></trkseg></trk> --><trk><desc>see /gpx> and </trkseg></desc>"
         "<trkseg><!--<trkpt lat=\"8\" lon=\"8\"/>--><trkpt lat=\"1\" lon=\"1\"><!--</trkpt>--><ele>3</ele><extensions>"
         "<x:ele>9</x:ele></extensions></trkpt><trkptx lat=\"5\" lon=\"5\"/></trkseg><x:name>n</x:name></trk>"
         "<wptx lat=\"6\" lon=\"6\"/><!-- <wpt lat=\"7\" lon=\"7\"/> -->",
         "T() 1,1,3"},
        {"lat and lon in any order and quoting; points without a usable position are dropped",
         "<wpt lon=\"135.25\" lat=\"34.5\"/><wpt lat=3 lon=4/><wpt lat = \"5\"  lon= '-6' ><ele>1</ele></wpt>"
         "<wpt lat=\"-90\" lon=\"180\"></wpt><wpt flat=\"1\" lat=\"7\" lon=\"8\"/><wpt lat=\"9\"/>"
         "<wpt lat=\"north\" lon=\"1\"/><wpt lat=\"nan\" lon=\"1\"/><wpt lat=\"90.5\" lon=\"1\"/>"
         "<wpt lat=\"1\" lon=\"-180.1\"/><wpt lat=\"1e999\" lon=\"1\"/><rte><rtept lon=\"1\"/>"
         "<rtept lat=\"\" lon=\"1\"/></rte>",
         "R() | W 34.5,135.25,0 3,4,0 5,-6,1 -90,180,0 7,8,0"},
        {"a missing end tag or '>' costs only that; the file may end inside a point",
         "<trk><trkseg><trkpt lat=\"1\" lon=\"1\"><ele>5</ele><trkpt lat=\"2\" lon=\"2\"></trkpt>"
         "<trkpt lat=\"3\" lon=\"3\"></trkseg><trkseg><trkpt lat=\"4\" lon=\"4\"></trk>"
         "<rte><rtept lat=\"5\" lon=\"5\" <rtept lat=\"6\" lon=\"6\"></rte><trk><trkseg><trkpt lat=\"6\" lon=\"6\"/>"
         "<trk><name>cut</name><trkseg><trkpt lat=\"7\" lon=\"8\"><ele>9",
         "T() 1,1,5 2,2,0 3,3,0 | T() 4,4,0 | T() 6,6,0 | T(cut) 7,8,9 | R() 5,5,0 6,6,0"},
        {"the end of the gpx element ends reading; metadata is not ours",
         "<gpx><metadata><name>meta</name></metadata><wpt lat=\"1\" lon=\"1\"/></gpx><wpt lat=\"2\" lon=\"2\"/>",
         "W 1,1,0"},
        // Limits, in characters: a name's or number's text is a token, white space in front included.
        {"a long name", "<rte><name>  " + wide + "</name></rte>", "R(" + std::string(platform::utf8Prefix(wide, 253)) + ")"},
        {"white space in front of a number is dropped", ele + std::string(240, ' ') + "5 " + end, "T() 1,2,5"},
        {"the ele's token ends before the number", ele + std::string(300, ' ') + "5 " + end, "T() 1,2,0"},
        {"a start tag inside a path loses what stands beyond its limit",
         "<trk><trkseg><trkpt" + pad + "lat=\"1\" lon=\"2\"/><trkpt lat=\"3\" lon=\"4\"/></trkseg></trk>", "T() 3,4,0"},
        {"a waypoint's start tag, read between paths, may be 1279 characters",
         "<wpt" + pad + "lat=\"1\" lon=\"2\"/><wpt" + std::string(1280, ' ') + "lat=\"3\" lon=\"4\"/>", "W 1,2,0"},
        {"a long description", ele + "4</ele><desc>" + std::string(5000, 'd') + "</desc>" + end.substr(6), "T() 1,2,4"},
        {"a number converts from at most 230 characters of its text",
         "<wpt lat=\"" + std::string(228, '0') + "12\" lon=\"0\"/><wpt lat=\"" + std::string(229, '0') + "12\" lon=\"0\"/>",
         "W 12,0,0 1,0,0"},
    };
    for (const auto& c : cases) EXPECT_EQ(readAll(c.text), c.expected) << c.what;
}

// The value of every number is the one the C library's "%lf" gives for the same text,
// to the last bit (an ele that does not convert to a finite number is 0).
TEST(GpxReader, NumbersConvertAsTheFormattedScanDoes) {
    std::mt19937 rng(20240607);
    const auto pick = [&rng](std::string_view chars) { return chars[rng() % chars.size()]; };
    for (int i = 0; i < 30000; ++i) {
        std::string value = i % 7 == 0 ? std::string(1, pick(" \t")) : std::string(i % 11 == 0 ? 200 + i % 40 : 0, '0');
        if (i % 3 == 0) value += pick("+-");
        const auto digits = static_cast<int>(rng() % 25);
        for (int k = 0; k < digits; ++k) value += k == digits / 2 && i % 5 != 0 ? '.' : pick("0123456789");
        if (i % 4 == 0) value += pick("eE.x9/: ");
        if (i % 8 == 0) value += std::to_string(i % 400);
        double expected = 0.0;
        if (std::sscanf(value.substr(0, kNumberChars).c_str(), "%lf", &expected) != 1 || !std::isfinite(expected)) {
            expected = 0.0;
        }
        GpxPath path;
        loadTrackText("<trkpt lat=\"1\" lon=\"1\">\n<ele>" + value + "</ele>\n</trkpt>\n", path);
        Loaded r;
        readGpxText("<wpt lat=\"1\" lon=\"1\"><ele>" + value + "</ele></wpt>", r.out);
        for (const GpxPath* p : {&path, &r.waypoints}) {
            ASSERT_EQ(p->pointCount(), 1);
            ASSERT_EQ(std::memcmp(&p->points[0].ele, &expected, sizeof expected), 0) << value << " gave " << p->points[0].ele;
        }
    }
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
        {"any indentation, CR LF, a whole point on one line",
         "  <name>X</name>\r\n\t\t<trkpt lat=\"1\" lon=\"2\">\r\n      <ele>3</ele>\r\n    </trkpt>\r\n"
         "<trkpt lat=\"4\" lon=\"5\"><ele>6</ele></trkpt>",
         "X: 1,2,3 4,5,6"},
        {"an empty name", "<name></name>\n", ":"},
        {"a name line is only a name; a name without its end tag on the line is none",
         "<name>N</name><trkpt lat=\"1\" lon=\"2\"></trkpt>\n<name>Open\n</name>\n", "N:"},
        {"a name is cut to 230 characters", "<name>" + std::string(300, 'a') + "</name>\n", std::string(230, 'a') + ":"},
        {"reading stops at the first segment's end",
         "<trkpt lat=\"1\" lon=\"1\">\n</trkpt>\n</trkseg>\n<trkseg>\n<trkpt lat=\"2\" lon=\"2\">\n</trkpt>\n",
         "before: 1,1,0"},
        {"points without a usable position are dropped, an ele that is no number is 0, nothing carries over",
         "<trkpt lat=\"x\" lon=\"1\">\n</trkpt>\n<trkpt lon=\"1\">\n</trkpt>\n<trkpt lat=\"-95\" lon=\"1\">\n</trkpt>\n"
         "<trkpt lat=\"1\" lon=\"1\">\n<ele>9</ele>\n</trkpt>\n<trkpt lat=\"2\" lon=\"2\">\n</trkpt>\n"
         "<trkpt lat=\"3\" lon=\"3\">\n<ele>\"abc\"</ele>\n</trkpt>\n<trkpt lat=\"4\" lon=\"4\">\n<ele>\"7\"</ele>\n</trkpt>\n"
         "<trkpt lat=\"5\" lon=\"5\">\n<ele>\n6</ele>\n</trkpt>\n",
         "before: 1,1,9 2,2,0 3,3,0 4,4,7 5,5,0"},
        // Lines are read in pieces of 511 characters.
        {"the tag fills the first piece exactly", std::string(488, ' ') + point, "before: 1,2,0"},
        {"the piece ends right after the lon value's digit", std::string(490, ' ') + point, "before: 1,2,0"},
        {"the piece ends before that digit", std::string(491, ' ') + point, "before:"},
        {"the tag lies whole in the second piece", std::string(600, ' ') + point, "before: 1,2,0"},
        {"the limit counts characters, not bytes", wide + point, "before: 1,2,0"},
        {"a CR before the LF is no character", std::string(510, ' ') + "\r\n" + point, "before: 1,2,0"},
        {"a point split over two pieces is dropped whole",
         std::string(505, ' ') + "<trkpt lat=\"1\" lon=\"2\">\n</trkpt>\n<trkpt lat=\"3\" lon=\"4\">\n</trkpt>\n",
         "before: 3,4,0"},
    };
    for (const auto& c : cases) EXPECT_EQ(loadTrack(c.text), c.expected) << c.what;
}

// ---- Files and folders ----

class GpxFiles : public testing::Test {
protected:
    void SetUp() override {
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
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

// A file of our own shape, several buffers long: both readers read the same points
// from the file as from memory.
TEST_F(GpxFiles, OurOwnFilesReadTheSameByBothReaders) {
    const std::string big = trackFile(0, 5000);
    ASSERT_GT(big.size(), 3 * kReadBufferBytes);
    write("big.gpx", big);
    Loaded fromFile, fromMemory;
    ASSERT_EQ(readGpxFile(dir_ / "big.gpx", fromFile.out), 0);
    readGpxText(big, fromMemory.out);
    EXPECT_EQ(fromMemory.tracks.at(0).pointCount(), 5000);
    EXPECT_EQ(summary(fromFile), summary(fromMemory));
    GpxPath own;
    ASSERT_EQ(loadTrackFile(dir_ / "big.gpx", own), 0);
    EXPECT_EQ("T(" + own.name + ")" + points(own), summary(fromMemory));
}

TEST_F(GpxFiles, AutoLoadReadsEveryGpxFileInNameOrderAndClearsTracksFirst) {
    ASSERT_EQ(::mkfifo((dir_ / "fifo.gpx").c_str(), 0600), 0);
    std::filesystem::create_directory(dir_ / "e.gpx");
    write("c.gpx.txt", trackFile(9, 1));
    Loaded r;
    GpxPath path;
    path.name = "kept";
    path.addPoint(GeoPoint{1, 2, 3, 0, 0});
    for (const char* none : {"none.gpx", "e.gpx", "fifo.gpx"}) {  // missing, a folder, a pipe no one writes
        EXPECT_EQ(readGpxFile(dir_ / none, r.out), -1) << none;
        EXPECT_EQ(loadTrackFile(dir_ / none, path), -1) << none;
    }
    EXPECT_EQ(path.name + points(path), "kept 1,2,3");
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
