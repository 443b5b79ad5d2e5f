#include "gps/track_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "gps/gps_receiver.h"
#include "gpx/gpx_reader.h"
#include "platform/format.h"
#include "platform/text_file.h"
#include "tests/fakes/fake_clock.h"

namespace quorel {
namespace {

const std::string kFooter = "</trkseg>\n</trk>\n</gpx>\n";

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

std::string readFile(const std::string& path) { return platform::readTextFile(path).value_or("<none>"); }
std::string triple(double lat, double lon, double ele) { return platform::format("%.6f,%.6f,%.1f", lat, lon, ele); }
bool wellFormed(const std::string& path) { return std::system(("xmllint --noout '" + path + "'").c_str()) == 0; }

// "lat,lon,ele" of every point, as the program reads its own files back.
std::vector<std::string> ownPoints(const std::string& file) {
    GpxPath path;
    EXPECT_EQ(loadTrackFile(file, path), 0) << file;
    std::vector<std::string> out;
    for (const GeoPoint& p : path.points.items()) out.push_back(triple(p.lat, p.lon, p.ele));
    return out;
}

// The same by a peer program: gpsbabel (Debian package gpsbabel) reading the file as GPX.
std::vector<std::string> gpsbabelPoints(const std::string& file) {
    const std::string command = "gpsbabel -i gpx -f '" + file + "' -x transform,wpt=trk -o unicsv,utc=0 -F - 2>&1";
    std::FILE* p = ::popen(command.c_str(), "r");
    std::vector<std::string> out;
    char line[512];
    for (bool first = true; p != nullptr && std::fgets(line, sizeof line, p) != nullptr; first = false) {
        double lat = 0, lon = 0, ele = 0;
        if (first && std::string(line).rfind("No,Latitude,Longitude", 0) == 0) continue;  // the column names
        const bool read = std::sscanf(line, "%*d,%lf,%lf,%*[^,],%lf", &lat, &lon, &ele) == 3;
        out.push_back(read ? triple(lat, lon, ele) : line);
    }
    if (p == nullptr || ::pclose(p) != 0) out.push_back("gpsbabel failed (is the gpsbabel package installed?)");
    return out;
}

TEST(GpxWriter, TheFixedShape) {
    EXPECT_EQ(header("Root"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx\n version=\"1.1\"\n"
              "creator=\"Yarrowfen - https://quorel.invalid/\"\n"
              "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
              "xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
              "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1\n"
              "http://www.topografix.com/GPX/1/1/gpx.xsd\"><trk>\n"
              "<name>Root</name>\n<number>1</number>\n<trkseg>\n");
    const std::string untimed = "<trkpt lat=\"1.000000\" lon=\"2.000000\">\n <ele>0.000000</ele>\n</trkpt>\n";
    EXPECT_EQ(point(34.48244666666, 135.82417833333, 12.5, 180708, 143514),
              "<trkpt lat=\"34.482447\" lon=\"135.824178\">\n <ele>12.500000</ele>\n"
              " <time>2008-07-18T14:35:14Z</time>\n</trkpt>\n");
    EXPECT_EQ(point(1, 2, 0, 180708, 0), untimed);  // midnight UTC or no date: no time line
    EXPECT_EQ(point(1, 2, 0, 0, 143514), untimed);
}

TEST(GpxWriter, TheDatedNameIsTheLocalTimeWithTheDateAdvancedPastMidnight) {
    const struct {
        std::int32_t date, time;
        const char* name;
    } cases[] = {
        {180708, 143514, "2008-07-18_23-35-14.gpx"}, {180708, 150000, "2008-07-19_00-00-00.gpx"},
        {180708, 160000, "2008-07-19_01-00-00.gpx"}, {300408, 160000, "2008-05-01_01-00-00.gpx"},
        {311208, 200000, "2009-01-01_05-00-00.gpx"}, {280208, 150000, "2008-02-29_00-00-00.gpx"},
        {290208, 150000, "2008-03-01_00-00-00.gpx"}, {280209, 150000, "2009-03-01_00-00-00.gpx"},
        {280200, 150000, "2000-02-29_00-00-00.gpx"},  // 2000 is a leap year
        {991399, 995999, "2100-01-01_84-59-99.gpx"},  // garbage in: some name out, no fault
    };
    for (const auto& c : cases) {
        EXPECT_EQ(datedTrackName(toLocalTime(decodeStamp(c.date, c.time))), c.name) << c.date << " " << c.time;
    }
}

class TrackLog : public testing::Test {
protected:
    void SetUp() override {
        gps_.storageRootPath = testing::TempDir() + "quorel_log/";
        std::filesystem::remove_all(gps_.storageRootPath);
        std::filesystem::create_directories(gps_.storageRootPath);
    }
    std::string gpx() const { return gps_.storageRootPath + "GPX/"; }
    std::string log() const { return gpx() + "scurrent.gpx"; }
    // The start-up of a run: the previous track is read, then the log is started.
    void start() {
        loadPreviousTrack(gps_);
        openTrackLog(gps_, clock_);
    }
    void killedLog(const std::string& body) {
        std::filesystem::create_directories(gpx());
        platform::writeTextFile(log(), header("Current") + body);
    }
    std::vector<std::string> copies() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(gpx())) names.push_back(e.path().filename().string());
        std::erase(names, "scurrent.gpx");
        std::sort(names.begin(), names.end());
        return names;
    }

    GpsReceiver gps_;
    fakes::FakeClock clock_;
};

TEST_F(TrackLog, EachRunWithPointsGetsOneCopyNamedAfterItsFirstTimedPoint) {
    start();  // a run without points: header and footer, no copy
    ASSERT_TRUE(gps_.trackFile.isOpen());  // the GPX folder was made
    EXPECT_TRUE(closeTrackLog(gps_));
    EXPECT_EQ(readFile(log()), header("Current") + kFooter);
    EXPECT_TRUE(copies().empty());

    start();
    const std::string points = point(1, 1, 0, 180708, 0) + point(34.4824466, 135.8241783, 12.5, 180708, 143514) +
                               point(3, 3, 0, 190708, 10000);
    writeTrackPoint(gps_, 1, 1, 0, 180708, 0);
    writeTrackPoint(gps_, 34.4824466, 135.8241783, 12.5, 180708, 143514);
    writeTrackPoint(gps_, 3, 3, 0, 190708, 10000);
    EXPECT_EQ(gps_.datedTrackPath, gpx() + "2008-07-18_23-35-14.gpx");
    EXPECT_TRUE(closeTrackLog(gps_));
    EXPECT_EQ(readFile(gps_.datedTrackPath), header("Current") + points + kFooter);

    start();  // the next run draws the previous track and does not copy it again
    EXPECT_EQ(gps_.track.pointCount(), 3);
    closeTrackLog(gps_);
    EXPECT_EQ(copies(), std::vector<std::string>{"2008-07-18_23-35-14.gpx"});
}

TEST_F(TrackLog, IsCompleteGpxAfterEveryPointAndReadByOthers) {
    start();
    std::string expected = header("Current");
    const double pts[][3] = {{34.48244666, 135.82417833, 12.5}, {-33.9, -70.6, -4.5}, {89.999999, 179.999999, 8848}};
    std::vector<std::string> read;
    for (const auto& p : pts) {
        const int time = 143514 + static_cast<int>(read.size());
        writeTrackPoint(gps_, p[0], p[1], p[2], 180708, time);
        expected += point(p[0], p[1], p[2], 180708, time);
        read.push_back(triple(p[0], p[1], p[2]));
        ASSERT_EQ(readFile(log()), expected + kFooter);
        EXPECT_TRUE(wellFormed(log()));
    }
    EXPECT_EQ(ownPoints(log()), read);
    EXPECT_EQ(gpsbabelPoints(log()), read);
    // A position that is no number is not written; an elevation that is none is 0.
    writeTrackPoint(gps_, std::nan(""), 139, 0, 180708, 143520);
    writeTrackPoint(gps_, 35, 139, std::nan(""), 180708, 143521);
    EXPECT_EQ(readFile(log()), expected + point(35, 139, 0, 180708, 143521) + kFooter);
}

TEST_F(TrackLog, SyncsAtLeastEveryTenSecondsOfRecordingAndRetriesASyncThatFailed) {
    clock_.now = 1'000'000;
    start();
    const int afterOpen = gps_.trackFile.syncCount;
    const struct {
        std::int64_t atMs;
        bool point;     // a point is written, or only the tick's check runs
        bool cardFails; // the card refuses the sync
        int syncs;      // since the log was opened
    } steps[] = {
        {1'001'000, true, false, 0},  {1'009'999, true, false, 0},  {1'010'000, true, false, 1},  // 10 s after the start
        {1'015'000, true, false, 1},  {1'019'999, false, false, 1},
        {1'020'000, false, false, 2},  // the tick syncs what stands unsynced
        {1'030'000, false, false, 2},  // nothing new: no sync
        {1'100'000, true, false, 3},   // the first point after a stop goes at once
        {1'105'000, true, false, 3},  {1'110'000, false, true, 3},  // still unsynced:
        {1'119'999, false, false, 3}, {1'120'000, false, false, 4},  // tried again an interval later
    };
    for (const auto& s : steps) {
        clock_.now = s.atMs;
        if (s.point) writeTrackPoint(gps_, 35, 139, 0, 180708, 143514);
        // /dev/full refuses every write and every sync.
        platform::UniqueFd real;
        if (s.cardFails) real = std::exchange(gps_.trackFile.fd, platform::UniqueFd(::open("/dev/full", O_RDWR)));
        if (!s.point) syncTrackLogIfDue(gps_);
        if (s.cardFails) gps_.trackFile.fd = std::move(real);
        EXPECT_EQ(gps_.trackFile.syncCount - afterOpen, s.syncs) << "at " << s.atMs;
    }
    // A card that refuses even the repair of a failed write: the log ends where it was
    // whole, and the next start copies its points.
    gps_.trackFile.fd = platform::UniqueFd(::open("/dev/full", O_RDWR));
    writeTrackPoint(gps_, 36, 140, 0, 180708, 143515);
    EXPECT_FALSE(gps_.trackFile.isOpen());
    start();
    EXPECT_EQ(ownPoints(gpx() + "2008-07-18_23-35-14.gpx").size(), 6u);
}

// A card of 64 KiB: a tmpfs mounted in a mount namespace of this process alone.
bool mountSmallCard(const std::string& dir) {
    return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") == 0;
}

// Fills the card with file until nothing more fits.
void fillCard(const std::string& file) {
    const platform::UniqueFd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    const std::string block(4096, 'f');
    for (std::int64_t at = 0; platform::writeAll(fd.get(), block, at);) at += 4096;
}

TEST_F(TrackLog, AFullCardNeitherStartsALogWithoutHeaderNorLeavesHalfAPoint) {
    const std::string card = testing::TempDir() + "quorel_card";
    std::filesystem::create_directories(card);
    if (!mountSmallCard(card)) GTEST_SKIP() << "a tmpfs card needs root";
    gps_.storageRootPath = card + "/";
    std::filesystem::create_directories(gpx());
    fillCard(card + "/filler");
    start();  // the header does not fit: no log, and no point goes anywhere
    EXPECT_FALSE(gps_.trackFile.isOpen());
    writeTrackPoint(gps_, 35, 139, 0, 180708, 143514);
    EXPECT_EQ(std::filesystem::file_size(log()), 0u);

    std::filesystem::remove(card + "/filler");
    start();
    ASSERT_TRUE(gps_.trackFile.isOpen());
    fillCard(card + "/filler");  // the log keeps the room it has
    std::string expected = header("Current");
    for (int i = 0; i < 100; ++i) {  // untimed points, until the card refuses them
        writeTrackPoint(gps_, 35 + i / 1000.0, 139, i, 180708, 0);
        if (gps_.trackFile.pointsWritten == i + 1) expected += point(35 + i / 1000.0, 139, i, 180708, 0);
    }
    ASSERT_GT(gps_.trackFile.pointsWritten, 0);
    ASSERT_LT(gps_.trackFile.pointsWritten, 100);
    writeTrackPoint(gps_, 40, 140, 0, 180708, 143514);  // a refused point names no copy
    EXPECT_EQ(readFile(log()), expected + kFooter);

    std::filesystem::remove(card + "/filler");  // room again: recording goes on
    writeTrackPoint(gps_, 36, 140, 1, 180708, 150000);
    EXPECT_EQ(readFile(log()), expected + point(36, 140, 1, 180708, 150000) + kFooter);
    EXPECT_TRUE(closeTrackLog(gps_));
    EXPECT_EQ(readFile(gpx() + "2008-07-19_00-00-00.gpx"), readFile(log()));
}

TEST_F(TrackLog, AKilledRunsLogIsCopiedAtTheNextStart) {
    const std::string p1 = point(35.1, 139.1, 1, 180708, 143514);
    const std::string p2 = point(35.2, 139.2, 2, 180708, 143515);
    const struct {
        const char* what;
        std::string body;
        std::size_t points;
    } cases[] = {
        {"killed between points: complete", p1 + p2 + kFooter, 2},
        {"the closing lines never written", p1 + p2, 2},
        {"half a point at the end", p1 + p2 + p1.substr(0, 30), 2},
        {"zeros after the last point (power loss)", p1 + std::string(5000, '\0'), 1},
        {"the last end tag without its line feed", p1 + p2.substr(0, p2.size() - 1), 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(gpx());
        killedLog(c.body);
        gps_.trackFile = TrackLogFile{};
        start();
        ASSERT_TRUE(gps_.trackFile.isOpen());
        EXPECT_EQ(gps_.track.pointCount(), static_cast<int>(c.points));  // the previous track is on the map
        ASSERT_EQ(copies(), std::vector<std::string>{"2008-07-18_23-35-14.gpx"});
        EXPECT_TRUE(wellFormed(gpx() + copies()[0]));
        EXPECT_EQ(ownPoints(gpx() + copies()[0]).size(), c.points);
        EXPECT_EQ(readFile(log()), header("Current") + kFooter);  // the new run's log
    }
}

TEST_F(TrackLog, ALogThatCannotBeCopiedIsNotEmptied) {
    const std::string body = point(1, 2, 3, 180708, 143514);
    killedLog(body);
    std::filesystem::create_directory(gpx() + "2008-07-18_23-35-14.gpx.tmp");  // the copy cannot be made
    start();
    EXPECT_FALSE(gps_.trackFile.isOpen());
    EXPECT_EQ(readFile(log()), header("Current") + body);
    EXPECT_FALSE(std::filesystem::exists(gpx() + "2008-07-18_23-35-14.gpx"));

    std::filesystem::remove(gpx() + "2008-07-18_23-35-14.gpx.tmp");
    start();  // once the card takes it, the copy is made and the log starts
    EXPECT_TRUE(gps_.trackFile.isOpen());
    EXPECT_EQ(copies(), std::vector<std::string>{"2008-07-18_23-35-14.gpx"});
}

TEST_F(TrackLog, ARecoveredCopyIsNamedAfterItsFirstTimeOrLastWriteAndNeverReplacesAnother) {
    EXPECT_EQ(recoverTrackLog(gps_), SaveResult::NothingToSave);  // no log at all
    killedLog(point(1, 2, 3, 180708, 143514).substr(0, 50));        // not one complete point
    EXPECT_EQ(recoverTrackLog(gps_), SaveResult::NothingToSave);
    killedLog(point(1, 1, 0, 0, 0) + point(2, 2, 0, 180708, 0));
    const utimbuf times{1582920000, 1582920000};  // 2020-02-28 20:00:00 UTC
    ASSERT_EQ(::utime(log().c_str(), &times), 0);
    EXPECT_EQ(recoverTrackLog(gps_), SaveResult::Saved);
    EXPECT_EQ(copies(), std::vector<std::string>{"2020-02-29_05-00-00.gpx"});

    // A receiver that starts with the same bogus time gives two runs the same name.
    const std::string older = header("Current") + point(1, 1, 0, 180708, 143514) + kFooter;
    killedLog(point(9, 9, 0, 180708, 143514));
    platform::writeTextFile(gpx() + "2008-07-18_23-35-14.gpx", older);
    EXPECT_EQ(recoverTrackLog(gps_), SaveResult::Saved);
    EXPECT_EQ(recoverTrackLog(gps_), SaveResult::AlreadySaved);
    EXPECT_EQ(readFile(gpx() + "2008-07-18_23-35-14.gpx"), older);
    EXPECT_EQ(ownPoints(gpx() + "2008-07-18_23-35-14_2.gpx"), std::vector<std::string>{"9.000000,9.000000,0.0"});
}

TEST_F(TrackLog, ARouteSaveReplacesTheWholeFileAndLeavesTheLogsName) {
    start();
    GpxPath route;
    route.addPoint(GeoPoint{34.5, 135.5, 0, 0, 0});
    route.addPoint(GeoPoint{-34.7, -135.7, -5, 0, 0});
    const std::string file = gpx() + "crntroot.gpx";
    ASSERT_EQ(saveCurrentRoute(file, GpxPath{}), 0);
    ASSERT_EQ(::link(file.c_str(), (gpx() + "reader").c_str()), 0);  // a reader holding the old route
    ASSERT_EQ(saveCurrentRoute(file, route), 0);
    EXPECT_EQ(readFile(gpx() + "reader"), header("Root") + kFooter);
    EXPECT_EQ(readFile(file), header("Root") + point(34.5, 135.5, 0, 0, 0) + point(-34.7, -135.7, -5, 0, 0) + kFooter);
    EXPECT_EQ(gpsbabelPoints(file), ownPoints(file));
    EXPECT_TRUE(gps_.datedNamePending);  // still waiting for the log's first point

    EXPECT_EQ(saveCurrentRoute(gpx() + "no/such/folder.gpx", route), -1);
    std::filesystem::create_directory(file + ".tmp");  // a save that fails keeps the route there was
    EXPECT_EQ(saveCurrentRoute(file, GpxPath{}), -1);
    EXPECT_EQ(ownPoints(file).size(), 2u);
}

}  // namespace
}  // namespace quorel
