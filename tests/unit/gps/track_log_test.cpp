#include "gps/track_log.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gps/gps_receiver.h"
#include "gpx/gpx_reader.h"
#include "platform/format.h"

namespace quorel {
namespace {

struct FakeClock final : platform::Clock {
    std::int64_t now = 0;
    std::int64_t nowMs() override { return now; }
    void sleepMs(int ms) override { now += ms; }
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

bool wellFormed(const std::string& path) {
    return std::system(("xmllint --noout '" + path + "' 2>/dev/null").c_str()) == 0;
}

std::string header(const char* name) {
    std::string s;
    writeGpxHeader(s, name);
    return s;
}

std::string point(double lat, double lon, double ele, std::int32_t date, std::int32_t time) {
    std::string s;
    writeTrackPoint(s, lat, lon, ele, date, time);
    return s;
}

const std::string kFooterText = "</trkseg>\n</trk>\n</gpx>\n";

// "lat,lon,ele" of every point, as the line scanner reads them.
std::vector<std::string> ownPoints(const std::string& file) {
    GpxPath path;
    EXPECT_EQ(loadTrackFile(file, path), 0) << file;
    std::vector<std::string> out;
    for (const GeoPoint& p : path.points.items()) out.push_back(platform::format("%.6f,%.6f,%.1f", p.lat, p.lon, p.ele));
    return out;
}

// The same through the token scanner: every path of tracks, in order.
std::vector<std::string> tokenPoints(const std::string& file, std::string* name = nullptr) {
    GpxPathList tracks;
    GpxPathList routes;
    GpxPath waypoints;
    GpxOverlays out{tracks, routes, waypoints};
    EXPECT_EQ(readGpxFile(file, out), 0) << file;
    std::vector<std::string> pts;
    for (const GpxPath& path : tracks.items()) {
        if (name != nullptr) *name = path.name;
        for (const GeoPoint& p : path.points.items()) pts.push_back(platform::format("%.6f,%.6f,%.1f", p.lat, p.lon, p.ele));
    }
    EXPECT_EQ(routes.count() + waypoints.pointCount(), 0);
    return pts;
}

// The same by a peer program: gpsbabel (Debian package gpsbabel) reading the file as GPX.
std::vector<std::string> gpsbabelPoints(const std::string& file) {
    const std::string command = "gpsbabel -i gpx -f '" + file + "' -x transform,wpt=trk -o unicsv,utc=0 -F - 2>&1";
    std::FILE* p = ::popen(command.c_str(), "r");
    std::vector<std::string> out;
    if (p == nullptr) return {"popen failed"};
    char line[512];
    bool first = true;
    while (std::fgets(line, sizeof line, p) != nullptr) {
        if (first) {  // the column names
            first = false;
            if (std::string(line).rfind("No,Latitude,Longitude", 0) != 0) out.push_back(line);
            continue;
        }
        double lat = 0;
        double lon = 0;
        double ele = 0;
        char name[64] = {};
        if (std::sscanf(line, "%*d,%lf,%lf,%63[^,],%lf", &lat, &lon, name, &ele) == 4) {
            out.push_back(platform::format("%.6f,%.6f,%.1f", lat, lon, ele));
        } else {
            out.push_back(line);
        }
    }
    if (::pclose(p) != 0) out.push_back("gpsbabel failed (is the gpsbabel package installed?)");
    return out;
}

class TrackLog : public testing::Test {
protected:
    void SetUp() override {
        const std::filesystem::path dir =
            std::filesystem::path(testing::TempDir()) /
            ("quorel_log_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        gps_.storageRootPath = dir.string() + "/";
    }
    void TearDown() override {
        if (gps_.trackFile.isOpen()) ::close(gps_.trackFile.fd);
    }

    std::string gpxDir() const { return gps_.storageRootPath + "GPX/"; }
    std::string logPath() const { return gpxDir() + "scurrent.gpx"; }

    // The start-up path of a run: the previous track is read, then the log is started.
    void start() {
        loadPreviousTrack(gps_);
        openTrackLog(gps_, clock_);
    }

    std::vector<std::string> datedCopies() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(gpxDir())) {
            const std::string n = e.path().filename().string();
            if (n != "scurrent.gpx") names.push_back(n);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    void killedLog(const std::string& body) {
        std::filesystem::create_directories(gpxDir());
        writeFile(logPath(), header("Current") + body);
    }

    GpsReceiver gps_;
    FakeClock clock_;
};

TEST(GpxWriter, PointLinesAndTheirTimeElement) {
    const struct {
        double lat, lon, ele;
        std::int32_t date, time;
        const char* text;
    } cases[] = {
        {34.48244666666, 135.82417833333, 12.5, 180708, 143514,
         "<trkpt lat=\"34.482447\" lon=\"135.824178\">\n <ele>12.500000</ele>\n"
         " <time>2008-07-18T14:35:14Z</time>\n</trkpt>\n"},
        {-1.0, -2.0, -3.25, 10100, 10203,
         "<trkpt lat=\"-1.000000\" lon=\"-2.000000\">\n <ele>-3.250000</ele>\n"
         " <time>2000-01-01T01:02:03Z</time>\n</trkpt>\n"},
        {1, 2, 0, 180708, 0, "<trkpt lat=\"1.000000\" lon=\"2.000000\">\n <ele>0.000000</ele>\n</trkpt>\n"},
        {1, 2, 0, 0, 143514, "<trkpt lat=\"1.000000\" lon=\"2.000000\">\n <ele>0.000000</ele>\n</trkpt>\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(point(c.lat, c.lon, c.ele, c.date, c.time), c.text);
}

TEST(GpxWriter, HeaderAndFooterAreOneFixedShape) {
    EXPECT_EQ(header("Root"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx\n version=\"1.1\"\n"
              "creator=\"Yarrowfen - https://quorel.invalid/\"\n"
              "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
              "xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
              "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1\n"
              "http://www.topografix.com/GPX/1/1/gpx.xsd\"><trk>\n"
              "<name>Root</name>\n<number>1</number>\n<trkseg>\n");
    EXPECT_EQ(header("a<&>\""), header("x").replace(header("x").find("<name>x"), 7,
                                                     "<name>a&lt;&amp;&gt;&quot;"));
    std::string footer;
    writeGpxFooter(footer);
    EXPECT_EQ(footer, kFooterText);
}

TEST(GpxWriter, TheDatedNameIsTheLocalTimeWithTheDateAdvancedPastMidnight) {
    const struct {
        std::int32_t date, time;
        const char* name;
    } cases[] = {
        {180708, 143514, "2008-07-18_23-35-14.gpx"},
        {180708, 145959, "2008-07-18_23-59-59.gpx"},
        {180708, 150000, "2008-07-19_00-00-00.gpx"},
        {180708, 153000, "2008-07-19_00-30-00.gpx"},
        {180708, 160000, "2008-07-19_01-00-00.gpx"},
        {180708, 235959, "2008-07-19_08-59-59.gpx"},
        {300408, 160000, "2008-05-01_01-00-00.gpx"},  // 30-day month
        {310708, 150000, "2008-08-01_00-00-00.gpx"},
        {311208, 200000, "2009-01-01_05-00-00.gpx"},  // year end
        {280208, 150000, "2008-02-29_00-00-00.gpx"},  // leap year
        {290208, 150000, "2008-03-01_00-00-00.gpx"},
        {280209, 150000, "2009-03-01_00-00-00.gpx"},  // common year
        {280200, 150000, "2000-02-29_00-00-00.gpx"},  // 2000 is a leap year
        {10100, 0, "2000-01-01_09-00-00.gpx"},
        {991399, 995999, "2100-01-01_84-59-99.gpx"},  // garbage in: some name out, no fault
    };
    for (const auto& c : cases) {
        EXPECT_EQ(datedTrackName(toLocalTime(decodeStamp(c.date, c.time))), c.name) << c.date << " " << c.time;
    }
}

TEST_F(TrackLog, LivesUnderTheStorageRoot) {
    start();
    ASSERT_TRUE(gps_.trackFile.isOpen());  // the GPX folder was made
    EXPECT_EQ(gps_.trackFilePath, gps_.storageRootPath + "GPX/scurrent.gpx");
    writeTrackPoint(gps_, 34.48244666, 135.82417833, 12.5, 180708, 143514);
    EXPECT_EQ(gps_.datedTrackPath, gps_.storageRootPath + "GPX/2008-07-18_23-35-14.gpx");
    EXPECT_FALSE(gps_.datedNamePending);
    closeTrackLog(gps_);
    EXPECT_FALSE(gps_.trackFile.isOpen());
    EXPECT_EQ(datedCopies(), std::vector<std::string>{"2008-07-18_23-35-14.gpx"});
    EXPECT_EQ(readFile(gps_.datedTrackPath), readFile(logPath()));

    // a storage root that is not there (a card not mounted) is not made
    GpsReceiver missing;
    missing.storageRootPath = gps_.storageRootPath + "card/";
    loadPreviousTrack(missing);
    openTrackLog(missing, clock_);
    EXPECT_FALSE(missing.trackFile.isOpen());
    EXPECT_FALSE(std::filesystem::exists(missing.storageRootPath));
}

TEST_F(TrackLog, IsCompleteGpxAfterEveryPoint) {
    start();
    std::string expected = header("Current");
    EXPECT_EQ(readFile(logPath()), expected + kFooterText);
    for (int i = 0; i < 5; ++i) {
        writeTrackPoint(gps_, 35 + i * 0.001, 139, i, 180708, 143514 + i);
        expected += point(35 + i * 0.001, 139, i, 180708, 143514 + i);
        ASSERT_EQ(readFile(logPath()), expected + kFooterText) << i;
        EXPECT_TRUE(wellFormed(logPath())) << i;
        EXPECT_EQ(ownPoints(logPath()).size(), static_cast<std::size_t>(i + 1));
    }
    EXPECT_EQ(gps_.trackFile.pointsWritten, 5);
}

TEST_F(TrackLog, PositionsThatAreNoNumbersAreNotWritten) {
    start();
    writeTrackPoint(gps_, std::nan(""), 139, 0, 180708, 143514);
    writeTrackPoint(gps_, 35, HUGE_VAL, 0, 180708, 143514);
    EXPECT_EQ(gps_.trackFile.pointsWritten, 0);
    EXPECT_TRUE(gps_.datedNamePending);
    writeTrackPoint(gps_, 35, 139, std::nan(""), 180708, 143514);
    EXPECT_EQ(readFile(logPath()), header("Current") + point(35, 139, 0, 180708, 143514) + kFooterText);
}

TEST_F(TrackLog, TheFirstTimedPointNamesTheCopy) {
    start();
    writeTrackPoint(gps_, 1, 1, 0, 180708, 0);  // midnight UTC or no date: no time element
    writeTrackPoint(gps_, 2, 2, 0, 0, 143514);
    EXPECT_TRUE(gps_.datedNamePending);
    EXPECT_EQ(gps_.datedTrackPath, "");
    writeTrackPoint(gps_, 3, 3, 0, 180708, 153001);
    writeTrackPoint(gps_, 4, 4, 0, 190708, 10000);
    EXPECT_EQ(gps_.datedTrackPath, gpxDir() + "2008-07-19_00-30-01.gpx");
    closeTrackLog(gps_);
    EXPECT_EQ(datedCopies(), std::vector<std::string>{"2008-07-19_00-30-01.gpx"});
    EXPECT_EQ(ownPoints(gps_.datedTrackPath).size(), 4u);
}

TEST_F(TrackLog, ARunWithoutPointsMakesNoCopy) {
    start();
    closeTrackLog(gps_);
    EXPECT_EQ(readFile(logPath()), header("Current") + kFooterText);
    EXPECT_TRUE(datedCopies().empty());
    closeTrackLog(gps_);  // closing twice does nothing
    EXPECT_TRUE(datedCopies().empty());
}

TEST_F(TrackLog, SyncsAtLeastEveryTenSecondsOfRecording) {
    clock_.now = 1'000'000;
    start();
    const int afterOpen = gps_.trackFile.syncCount;
    struct Step {
        std::int64_t atMs;
        bool point;  // a point is written, or only the tick's check runs
        int syncs;   // syncs since the log was opened
    };
    const Step steps[] = {
        {1'001'000, true, 0}, {1'005'000, true, 0}, {1'009'999, true, 0},
        {1'010'000, true, 1},                          // 10 s after the start
        {1'015'000, true, 1}, {1'019'999, false, 1},
        {1'020'000, false, 2},                         // the tick syncs what stands unsynced
        {1'030'000, false, 2},                         // nothing new: no sync
        {1'100'000, true, 3},                          // the first point after a stop goes at once
        {1'101'000, true, 3}, {1'150'000, false, 4},
    };
    int second = 0;
    for (const Step& s : steps) {
        clock_.now = s.atMs;
        if (s.point) {
            writeTrackPoint(gps_, 35, 139, 0, 180708, 143514 + second++);
        } else {
            syncTrackLogIfDue(gps_);
        }
        EXPECT_EQ(gps_.trackFile.syncCount - afterOpen, s.syncs) << "at " << s.atMs;
    }
}

// ---- A log left behind by a run that did not end cleanly ----

TEST_F(TrackLog, AKilledRunsLogIsCopiedAtTheNextStart) {
    const std::string p1 = point(35.1, 139.1, 1, 180708, 143514);
    const std::string p2 = point(35.2, 139.2, 2, 180708, 143515);
    const std::string p3 = point(35.3, 139.3, 3, 180708, 143516);
    const std::string overFooter = p3 + kFooterText;
    const struct {
        const char* what;
        std::string body;
        std::size_t points;
    } cases[] = {
        {"killed between points: complete", p1 + p2 + kFooterText, 2},
        {"the closing lines never written", p1 + p2, 2},
        {"half a point at the end", p1 + p2 + p3.substr(0, 30), 2},
        {"a point torn over the old closing lines", p1 + p2 + overFooter.substr(0, 9) + kFooterText.substr(9), 2},
        {"a point whole, its closing lines torn", p1 + p2 + p3 + kFooterText.substr(0, 12), 3},
        {"zeros after the last point (power loss)", p1 + std::string(5000, '\0'), 1},
        {"the last end tag without its line feed", p1 + p2.substr(0, p2.size() - 1), 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(gpxDir());
        killedLog(c.body);
        start();
        ASSERT_TRUE(gps_.trackFile.isOpen());
        EXPECT_EQ(gps_.track.pointCount(), static_cast<int>(c.points));  // the previous track is on the map
        ASSERT_EQ(datedCopies(), std::vector<std::string>{"2008-07-18_23-35-14.gpx"});
        const std::string copy = gpxDir() + "2008-07-18_23-35-14.gpx";
        EXPECT_TRUE(wellFormed(copy));
        EXPECT_EQ(ownPoints(copy).size(), c.points);
        EXPECT_EQ(tokenPoints(copy).size(), c.points);
        EXPECT_EQ(readFile(logPath()), header("Current") + kFooterText);  // the new run's log
        ::close(gps_.trackFile.fd);
        gps_.trackFile = TrackLogFile{};
    }
}

TEST_F(TrackLog, ACleanlyClosedLogIsNotCopiedAgain) {
    start();
    for (int i = 0; i < 3; ++i) writeTrackPoint(gps_, 35, 139 + i * 0.01, 0, 180708, 143514 + i);
    closeTrackLog(gps_);
    const std::vector<std::string> copies = datedCopies();
    ASSERT_EQ(copies.size(), 1u);

    start();  // the next run
    EXPECT_EQ(gps_.track.pointCount(), 3);
    EXPECT_EQ(datedCopies(), copies);
    writeTrackPoint(gps_, 36, 140, 0, 190708, 10000);
    closeTrackLog(gps_);
    EXPECT_EQ(datedCopies(), (std::vector<std::string>{"2008-07-18_23-35-14.gpx", "2008-07-19_10-00-00.gpx"}));
}

TEST_F(TrackLog, AnExistingDifferentCopyIsNeverReplaced) {
    // A receiver that starts with the same bogus time gives two runs the same name.
    const std::string older = header("Current") + point(1, 1, 0, 180708, 143514) + point(2, 2, 0, 180708, 143515) +
                              point(3, 3, 0, 180708, 143516) + kFooterText;
    killedLog(point(9, 9, 0, 180708, 143514));
    writeFile(gpxDir() + "2008-07-18_23-35-14.gpx", older);
    EXPECT_EQ(recoverTrackLog(gps_), SaveResult::Saved);
    EXPECT_EQ(recoverTrackLog(gps_), SaveResult::AlreadySaved);
    EXPECT_EQ(datedCopies(), (std::vector<std::string>{"2008-07-18_23-35-14.gpx", "2008-07-18_23-35-14_2.gpx"}));
    EXPECT_EQ(readFile(gpxDir() + "2008-07-18_23-35-14.gpx"), older);
    EXPECT_EQ(ownPoints(gpxDir() + "2008-07-18_23-35-14_2.gpx"), std::vector<std::string>{"9.000000,9.000000,0.0"});
}

TEST_F(TrackLog, ALogWithoutTimesIsNamedAfterItsLastWrite) {
    killedLog(point(1, 1, 0, 0, 0) + point(2, 2, 0, 180708, 0));
    // 2020-02-28 20:00:00 UTC: 05:00 of the leap day in the log's local time
    const utimbuf times{1582920000, 1582920000};
    ASSERT_EQ(::utime(logPath().c_str(), &times), 0);
    EXPECT_EQ(recoverTrackLog(gps_), SaveResult::Saved);
    EXPECT_EQ(datedCopies(), std::vector<std::string>{"2020-02-29_05-00-00.gpx"});

    killedLog(point(1, 1, 0, 0, 0) + point(2, 2, 0, 10100, 235959));  // the first timed point decides
    EXPECT_EQ(recoverTrackLog(gps_), SaveResult::Saved);
    EXPECT_EQ(datedCopies(), (std::vector<std::string>{"2000-01-02_08-59-59.gpx", "2020-02-29_05-00-00.gpx"}));
}

TEST_F(TrackLog, NothingToSaveIsNoCopy) {
    EXPECT_EQ(recoverTrackLog(gps_), SaveResult::NothingToSave);  // no log at all
    killedLog("");
    EXPECT_EQ(recoverTrackLog(gps_), SaveResult::NothingToSave);
    killedLog(point(1, 2, 3, 180708, 143514).substr(0, 50));  // not one complete point
    EXPECT_EQ(recoverTrackLog(gps_), SaveResult::NothingToSave);
    EXPECT_TRUE(datedCopies().empty());
}

TEST_F(TrackLog, ALogThatCannotBeSavedIsNotEmptied) {
    const std::string body = point(1, 2, 3, 180708, 143514);
    killedLog(body);
    std::filesystem::create_directory(gpxDir() + "2008-07-18_23-35-14.gpx.tmp");  // the copy cannot be made
    start();
    EXPECT_FALSE(gps_.trackFile.isOpen());
    EXPECT_EQ(readFile(logPath()), header("Current") + body);
    EXPECT_EQ(gps_.track.pointCount(), 1);
    EXPECT_FALSE(std::filesystem::exists(gpxDir() + "2008-07-18_23-35-14.gpx"));

    std::filesystem::remove(gpxDir() + "2008-07-18_23-35-14.gpx.tmp");
    start();  // once the card takes it, the copy is made and the log starts
    EXPECT_TRUE(gps_.trackFile.isOpen());
    EXPECT_EQ(ownPoints(gpxDir() + "2008-07-18_23-35-14.gpx").size(), 1u);
}

// ---- The current route ----

TEST_F(TrackLog, ARouteSavedTwiceGivesTwoIdenticalFiles) {
    std::filesystem::create_directories(gpxDir());
    GpxPath route;
    route.addPoint(GeoPoint{34.5, 135.5, 0, 0, 0});
    route.addPoint(GeoPoint{34.6, 135.6, 10, 0, 0});
    route.addPoint(GeoPoint{-34.7, -135.7, -5, 0, 0});
    const std::string a = gpxDir() + "crntroot.gpx";
    const std::string b = gpxDir() + "copy.gpx";
    ASSERT_EQ(saveCurrentRoute(a, route), 0);
    ASSERT_EQ(saveCurrentRoute(b, route), 0);
    EXPECT_EQ(readFile(a), readFile(b));
    EXPECT_EQ(readFile(a), header("Root") + point(34.5, 135.5, 0, 0, 0) + point(34.6, 135.6, 10, 0, 0) +
                               point(-34.7, -135.7, -5, 0, 0) + kFooterText);
    EXPECT_EQ(readFile(a).find("<time>"), std::string::npos);

    EXPECT_EQ(saveCurrentRoute(gpxDir() + "no/such/folder.gpx", route), -1);
    std::filesystem::create_directory(a + ".tmp");  // a save that fails keeps the route there was
    EXPECT_EQ(saveCurrentRoute(a, GpxPath{}), -1);
    EXPECT_EQ(readFile(a), readFile(b));
}

TEST_F(TrackLog, SavingTheRouteLeavesTheLogsDatedName) {
    start();
    GpxPath route;
    route.addPoint(GeoPoint{1, 2, 0, 0, 0});
    ASSERT_EQ(saveCurrentRoute(gpxDir() + "crntroot.gpx", route), 0);
    EXPECT_TRUE(gps_.datedNamePending);  // still waiting for the log's first point
    writeTrackPoint(gps_, 35, 139, 0, 180708, 143514);
    ASSERT_EQ(saveCurrentRoute(gpxDir() + "crntroot.gpx", route), 0);
    writeTrackPoint(gps_, 35, 139, 0, 180708, 143600);
    EXPECT_FALSE(gps_.datedNamePending);
    EXPECT_EQ(gps_.datedTrackPath, gpxDir() + "2008-07-18_23-35-14.gpx");
    closeTrackLog(gps_);
    EXPECT_EQ(datedCopies(), (std::vector<std::string>{"2008-07-18_23-35-14.gpx", "crntroot.gpx"}));
}

// ---- What we write, others read ----

TEST_F(TrackLog, BothReadersAndGpsbabelReadWhatWeWrite) {
    start();
    const double pts[][3] = {{34.48244666, 135.82417833, 12.5}, {34.4825, 135.8242, 13}, {-33.9, -70.6, -4.5},
                             {89.999999, 179.999999, 8848}, {0, 0, 0}};
    std::vector<std::string> expected;
    int second = 0;
    for (const auto& p : pts) {
        writeTrackPoint(gps_, p[0], p[1], p[2], 180708, second == 2 ? 0 : 143514 + second);
        ++second;
        expected.push_back(platform::format("%.6f,%.6f,%.1f", p[0], p[1], p[2]));
    }
    // the working log while recording, then its dated copy
    EXPECT_EQ(ownPoints(logPath()), expected);
    EXPECT_EQ(tokenPoints(logPath()), expected);
    EXPECT_EQ(gpsbabelPoints(logPath()), expected);
    closeTrackLog(gps_);
    EXPECT_EQ(gpsbabelPoints(gps_.datedTrackPath), expected);

    GpxPath route;
    for (const auto& p : pts) route.addPoint(GeoPoint{p[0], p[1], p[2], 0, 0});
    const std::string routeFile = gpxDir() + "crntroot.gpx";
    ASSERT_EQ(saveCurrentRoute(routeFile, route), 0);
    GpxPath back;
    ASSERT_EQ(loadTrackFile(routeFile, back), 0);
    EXPECT_EQ(back.name, "Root");
    for (const GeoPoint& p : back.points.items()) {
        EXPECT_EQ(p.utcTime, 0);
        EXPECT_EQ(p.utcDate, 0);
    }
    std::string name;
    EXPECT_EQ(ownPoints(routeFile), expected);
    EXPECT_EQ(tokenPoints(routeFile, &name), expected);
    EXPECT_EQ(name, "Root");
    EXPECT_EQ(gpsbabelPoints(routeFile), expected);
}

}  // namespace
}  // namespace quorel
