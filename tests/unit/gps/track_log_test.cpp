#include "gps/track_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "gps/gps_receiver.h"
#include "gps/gpx_writer.h"
#include "gpx/gpx_reader.h"
#include "platform/format.h"
#include "platform/headless/virtual_clock.h"
#include "platform/text_file.h"
#include "tests/support/scratch.h"

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
    writeTrackPointText(s, lat, lon, ele, date, time);
    return s;
}

std::string readFile(const std::string& path) { return platform::readTextFile(path).value_or("<none>"); }
std::string triple(double lat, double lon, double ele) { return platform::format("%.6f,%.6f,%.1f", lat, lon, ele); }

// "lat,lon,ele" of every point, as the program reads its own files back.
std::vector<std::string> ownPoints(const std::string& file) {
    GpxPath path;
    EXPECT_EQ(loadTrackFile(file, path), 0) << file;
    std::vector<std::string> out;
    for (const GeoPoint& p : path.points.items()) out.push_back(triple(p.lat, p.lon, p.ele));
    return out;
}

// The same by peer programs: xmllint must find the file well formed, then gpsbabel (Debian
// packages libxml2-utils and gpsbabel) reads it as GPX.
std::vector<std::string> peerPoints(const std::string& file) {
    if (std::system(("xmllint --noout '" + file + "'").c_str()) != 0) return {"not well formed"};
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

// Checked against the C library's calendar: the UTC time nine hours later, on every day
// of 2000 to 2099, just before the shift crosses midnight, just after and long after.
TEST(GpxWriter, TheDatedNameIsTheUtcTimeNineHoursLater) {
    for (std::time_t day = 946684800; day < 4102444800; day += 86400) {
        for (const std::time_t t : {day + 53999, day + 54000, day + 86399}) {
            std::tm utc{};
            std::tm local{};
            const std::time_t later = t + 9 * 3600;
            ::gmtime_r(&t, &utc);
            ::gmtime_r(&later, &local);
            const UtcStamp stamp = decodeStamp(utc.tm_mday * 10000 + (utc.tm_mon + 1) * 100 + utc.tm_year % 100,
                                               utc.tm_hour * 10000 + utc.tm_min * 100 + utc.tm_sec);
            ASSERT_EQ(datedTrackName(toLocalTime(stamp)),
                      platform::format("%d-%02d-%02d_%02d-%02d-%02d.gpx", local.tm_year + 1900, local.tm_mon + 1,
                                       local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec));
        }
    }
    EXPECT_EQ(datedTrackName(toLocalTime(decodeStamp(991399, 995999))), "2100-01-01_84-59-99.gpx");  // garbage in
}

// A fix in a leap second (23:59:60, which the GPX schema's dateTime does not allow and
// gpsbabel reads as the start of that day) is written as the second before it.
TEST(GpxWriter, ALeapSecondIsWrittenAsATimePeersRead) {
    const std::string file = (test::scratchFolder("leap") / "leap.gpx").string();
    std::string text = header("Current");
    writeTrackPointText(text, 1, 2, 3, 311216, 235960);
    writeGpxFooter(text);
    ASSERT_TRUE(platform::writeTextFile(file, text));
    std::FILE* p =
        ::popen(("gpsbabel -i gpx -f '" + file + "' -x transform,wpt=trk -o unicsv,utc=0 -F - 2>&1").c_str(), "r");
    std::string read;
    for (char line[256]; p != nullptr && std::fgets(line, sizeof line, p) != nullptr;) read += line;
    if (p != nullptr) ::pclose(p);
    EXPECT_NE(read.find(",2016/12/31,23:59:59"), std::string::npos) << read;
}

class TrackLog : public testing::Test {
protected:
    void SetUp() override { gps_.storageRootPath = test::scratchFolder("log").string() + "/"; }
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
    platform::VirtualClock clock_;
};

TEST_F(TrackLog, IsWholeGpxAfterEveryPointAndCopiedOnceUnderItsFirstTimedPoint) {
    start();  // a run without points leaves no copy
    ASSERT_TRUE(gps_.trackFile.isOpen());
    EXPECT_TRUE(closeTrackLog(gps_));
    EXPECT_EQ(readFile(log()), header("Current") + kFooter);
    EXPECT_TRUE(copies().empty());

    start();
    std::string expected = header("Current");
    const double pts[][4] = {
        {34.48244666, 135.82417833, 12.5, 0}, {-33.9, -70.6, -4.5, 143514}, {89.9, 179.9, 8848, 1}};
    std::vector<std::string> read;
    for (const auto& p : pts) {
        writeTrackPointToLog(gps_, p[0], p[1], p[2], 180708, static_cast<int>(p[3]));
        expected += point(p[0], p[1], p[2], 180708, static_cast<int>(p[3]));
        read.push_back(triple(p[0], p[1], p[2]));
        EXPECT_EQ(peerPoints(log()), read);
    }
    EXPECT_EQ(ownPoints(log()), read);
    // A position that is no number is not written; an elevation that is none is 0.
    writeTrackPointToLog(gps_, std::nan(""), 139, 0, 180708, 143520);
    writeTrackPointToLog(gps_, 35, 139, std::nan(""), 180708, 143521);
    expected += point(35, 139, 0, 180708, 143521) + kFooter;
    EXPECT_EQ(readFile(log()), expected);
    EXPECT_TRUE(closeTrackLog(gps_));
    EXPECT_EQ(readFile(gpx() + "2008-07-18_23-35-14.gpx"), expected);

    start();  // the next run draws the previous track and does not copy it again
    EXPECT_EQ(gps_.track.pointCount(), 4);
    EXPECT_EQ(copies(), std::vector<std::string>{"2008-07-18_23-35-14.gpx"});
}

TEST_F(TrackLog, SyncsTenSecondsAfterTheLastSyncAndRetriesASyncThatFailed) {
    clock_.advanceTo(1'000'000);
    start();
    const int afterOpen = gps_.trackFile.syncCount;
    const struct {
        std::int64_t atMs;
        bool point;      // a point is written, or only the tick's check runs
        bool cardFails;  // the card refuses the sync
        int syncs;       // since the log was opened
    } steps[] = {
        {1'005'000, true, false, 0},  {1'009'999, false, false, 0},
        {1'010'000, false, false, 1},  // the tick syncs what stands unsynced 10 s after the last sync
        {1'020'000, false, false, 1},  // nothing new: no sync
        {1'100'000, true, false, 2},   // the first point after a stop goes at once
        {1'105'000, true, false, 2},  {1'110'000, false, true, 2},   // a failed sync stays due:
        {1'119'999, false, false, 2}, {1'120'000, false, false, 3},  // tried again an interval later
    };
    for (const auto& s : steps) {
        clock_.advanceTo(s.atMs);
        if (s.point) writeTrackPointToLog(gps_, 35, 139, 0, 180708, 143514);
        // /dev/full refuses every write and every sync.
        platform::UniqueFd real;
        if (s.cardFails) real = std::exchange(gps_.trackFile.fd, platform::UniqueFd(::open("/dev/full", O_RDWR)));
        if (!s.point) syncTrackLogIfDue(gps_);
        if (s.cardFails) gps_.trackFile.fd = std::move(real);
        EXPECT_EQ(gps_.trackFile.syncCount - afterOpen, s.syncs) << "at " << s.atMs;
    }
    // A card that refuses even the repair of a failed write: the log ends where it was
    // whole, and an interval later starts again as at the next start: its points copied,
    // the refused point in the new log.
    gps_.trackFile.fd = platform::UniqueFd(::open("/dev/full", O_RDWR));
    writeTrackPointToLog(gps_, 36, 140, 0, 180708, 143515);
    EXPECT_FALSE(gps_.trackFile.isOpen());
    clock_.advanceBy(kTrackSyncIntervalMs);
    syncTrackLogIfDue(gps_);
    EXPECT_EQ(ownPoints(gpx() + "2008-07-18_23-35-14.gpx").size(), 3u);
    EXPECT_EQ(ownPoints(log()), std::vector<std::string>{triple(36, 140, 0)});
    // A run whose log can be neither synced nor copied says so at its close.
    writeTrackPointToLog(gps_, 37, 141, 0, 190708, 143514);
    std::filesystem::create_directory(gpx() + "2008-07-18_23-35-15.gpx.tmp");
    gps_.trackFile.fd = platform::UniqueFd(::open("/dev/full", O_RDWR));
    EXPECT_FALSE(closeTrackLog(gps_));
}

// A card not there at the start (and never created), inserted during the run, then full
// (/dev/full stands in for it) and taken out: the run records throughout, and at the close
// every point is on the card or in the rescue file, valid GPX named after its first point.
TEST_F(TrackLog, EveryPointEndsOnTheCardOrInTheRescueFile) {
    const std::string scratch = gps_.storageRootPath;
    gps_.rescueDir = scratch + "state/";
    gps_.storageRootPath = scratch + "card/";
    start();
    std::vector<std::string> recorded;
    const auto record = [&](int n) {
        for (int k = static_cast<int>(recorded.size()), end = k + n; k < end; ++k) {
            writeTrackPointToLog(gps_, 35 + k / 1000.0, 139, k, 180708, 143514 + k);
            recorded.push_back(triple(35 + k / 1000.0, 139, k));
        }
    };
    record(3);
    EXPECT_TRUE(gps_.trackFile.isStalled());
    EXPECT_FALSE(std::filesystem::exists(gps_.storageRootPath));
    std::filesystem::create_directories(gps_.storageRootPath);
    record(1);
    clock_.advanceBy(kTrackSyncIntervalMs);
    syncTrackLogIfDue(gps_);
    EXPECT_FALSE(gps_.trackFile.isStalled());
    EXPECT_EQ(peerPoints(log()), recorded);
    record(2);
    gps_.trackFile.fd = platform::UniqueFd(::open("/dev/full", O_RDWR));
    record(5);
    EXPECT_TRUE(gps_.trackFile.isStalled());
    std::filesystem::rename(gps_.storageRootPath, scratch + "card_out");
    EXPECT_FALSE(closeTrackLog(gps_));
    const TrackLogEnd end = gps_.trackLogEnd;
    EXPECT_EQ(end.rescueFile, gps_.rescueDir + "2008-07-18_23-35-20.gpx");
    std::vector<std::string> both = ownPoints(scratch + "card_out/GPX/scurrent.gpx");
    for (const std::string& p : peerPoints(end.rescueFile)) both.push_back(p);
    EXPECT_EQ(both, recorded);
    EXPECT_EQ(std::vector<int>({end.pointsOnCard, end.pointsRescued, end.pointsLost}), std::vector<int>({6, 5, 0}));
}

TEST_F(TrackLog, AKilledRunsLogIsCopiedAtTheNextStartWithItsCompletePoints) {
    const std::string p1 = point(35.1, 139.1, 1, 180708, 143514);
    const std::string p2 = point(35.2, 139.2, 2, 180708, 143515);
    const struct {
        const char* what;
        std::string body;
        std::size_t points;
        int shown = -1;  // on the map, when not points: the GPX reader reads on past damage
    } cases[] = {
        {"killed between points: complete", p1 + p2 + kFooter, 2},
        {"the closing lines never written", p1 + p2, 2},
        {"half a point at the end", p1 + p2 + p1.substr(0, 30), 2},
        {"zeros after the last point (power loss)", p1 + std::string(5000, '\0'), 1},
        {"a point after zeros (a write the card never took)", p1 + std::string(90, '\0') + p2 + kFooter, 1, 2},
        {"a point after the closing lines (a repair cut short)", p1 + kFooter + p2, 1},
        {"the last end tag without its line feed", p1 + p2.substr(0, p2.size() - 1), 2},
        {"not one complete point", p1.substr(0, 50), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        gps_.trackFile = TrackLogFile{};
        std::filesystem::remove_all(gpx());
        killedLog(c.body);
        start();
        ASSERT_TRUE(gps_.trackFile.isOpen());
        EXPECT_EQ(gps_.track.pointCount(), c.shown >= 0 ? c.shown : static_cast<int>(c.points));  // on the map
        EXPECT_EQ(copies().size(), c.points > 0 ? 1u : 0u);
        std::vector<std::string> copied = {triple(35.1, 139.1, 1), triple(35.2, 139.2, 2)};
        copied.resize(c.points);
        for (const std::string& copy : copies()) EXPECT_EQ(peerPoints(gpx() + copy), copied);
        EXPECT_EQ(readFile(log()), header("Current") + kFooter);  // the new run's log
    }
}

// The previous run's log cannot be copied (a folder stands where its copy goes): the new
// run appends to it, every reader reads both runs at every point, and once the card takes
// the copy, the next start saves both.
TEST_F(TrackLog, ALogThatCannotBeCopiedIsContinued) {
    const std::string p1 = point(1, 2, 3, 180708, 143514);
    killedLog(p1 + p1.substr(0, 20));  // torn after its point
    std::filesystem::create_directory(gpx() + "2008-07-18_23-35-14.gpx.tmp");
    start();
    ASSERT_TRUE(gps_.trackFile.isOpen());
    std::vector<std::string> points = {triple(1, 2, 3)};
    EXPECT_EQ(peerPoints(log()), points);
    for (int i = 0; i < 3; ++i) {
        writeTrackPointToLog(gps_, 5, 6 + i, 7, 190708, 143514 + i);
        points.push_back(triple(5, 6 + i, 7));
        EXPECT_EQ(peerPoints(log()), points);
        EXPECT_EQ(ownPoints(log()), points);
    }
    EXPECT_TRUE(closeTrackLog(gps_));  // the copy fails again, the synced log keeps them
    EXPECT_EQ(copies(), std::vector<std::string>{"2008-07-18_23-35-14.gpx.tmp"});

    std::filesystem::remove(gpx() + "2008-07-18_23-35-14.gpx.tmp");
    start();
    EXPECT_EQ(copies(), std::vector<std::string>{"2008-07-18_23-35-14.gpx"});
    EXPECT_EQ(peerPoints(gpx() + copies()[0]), points);
    EXPECT_EQ(gps_.previousRunPoints, 4);
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
    EXPECT_EQ(peerPoints(file), ownPoints(file));
    EXPECT_TRUE(gps_.datedNamePending);  // still waiting for the log's first point

    std::filesystem::create_directory(file + ".tmp");  // a save that fails keeps the route there was
    EXPECT_EQ(saveCurrentRoute(file, GpxPath{}), -1);
    EXPECT_EQ(ownPoints(file).size(), 2u);
}

// What a run that ends asks of the system, seen by strace (Debian package strace): the
// dated copy and the route file are each written under a temporary name, synced, renamed
// over their name and made durable by a sync of their folder, so that a power loss leaves
// the old file or the whole new one.
TEST_F(TrackLog, ACopyAndARouteAreSyncedBeforeTheRenameAndTheirFolderAfter) {
    const std::string root = gps_.storageRootPath;
    // LeakSanitizer cannot work under ptrace; the sanitizer build turns it off for this run.
    const std::string command =
        "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\" "
        "strace -qq -e signal=none -e trace=openat,fdatasync,fsync,rename,renameat,renameat2 "
        "-o '" +
        root + "trace' '" QUOREL_TRACK_LOG_RECORDER "' '" + root + "' 3 0 '" + gpx() + "crntroot.gpx' > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << "is the strace package installed?";

    const std::regex open(R"re(^openat\(AT_FDCWD, "([^"]*)",.*\)\s+= (\d+))re");
    const std::regex sync(R"re(^(f(?:data)?sync)\((\d+)\)\s+= 0)re");
    const std::regex rename(R"re(^rename(?:at2?)?\((?:AT_FDCWD, )?"([^"]*)", (?:AT_FDCWD, )?"([^"]*)".*\)\s+= 0)re");
    const auto name = [](const std::string& path) { return std::filesystem::path(path).filename().string(); };
    std::map<std::string, std::string> opened;  // descriptor -> file name
    std::vector<std::string> steps;
    std::ifstream trace(root + "trace");
    for (std::string line; std::getline(trace, line);) {
        std::smatch m;
        if (std::regex_search(line, m, open)) {
            opened[m[2]] = name(m[1]);
        } else if (std::regex_search(line, m, sync) && opened.contains(m[2])) {
            steps.push_back(m[1].str() + " " + opened[m[2]]);
        } else if (std::regex_search(line, m, rename)) {
            steps.push_back("rename " + name(m[1]) + " " + name(m[2]));
        }
    }
    const std::vector<std::string> expected = {
        "fdatasync scurrent.gpx",  // the emptied log, before its header
        "fdatasync scurrent.gpx",  // the header
        "fdatasync scurrent.gpx",  // the points, at the close
        "fdatasync 2008-07-18_19-00-00.gpx.tmp",
        "rename 2008-07-18_19-00-00.gpx.tmp 2008-07-18_19-00-00.gpx",
        "fsync GPX",
        "fdatasync crntroot.gpx.tmp",
        "rename crntroot.gpx.tmp crntroot.gpx",
        "fsync GPX",
    };
    EXPECT_EQ(steps, expected);
}

}  // namespace
}  // namespace quorel
