// A recording process killed with SIGKILL at some moment of its run: the working log is
// complete GPX at that moment, and the next start keeps every point the process had
// recorded in the dated copy. And what a run that ends asks of the system, seen by strace.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "gps/gps_receiver.h"
#include "gpx/gpx_reader.h"
#include "tests/fakes/fake_clock.h"

namespace quorel {
namespace {

// Starts the recorder, kills it once it has reported `atLeast` points, and returns the
// number of points it reported before it died.
int recordAndKill(const std::string& root, int atLeast) {
    std::FILE* progress = ::popen(("exec '" QUOREL_TRACK_LOG_RECORDER "' '" + root + "' 1000000 300").c_str(), "r");
    char line[32];
    if (progress == nullptr) return -1;
    const pid_t pid = std::fgets(line, sizeof line, progress) != nullptr ? std::atoi(line) : 0;  // its first line
    int reported = 0;
    while (reported < atLeast && std::fgets(line, sizeof line, progress) != nullptr) reported = std::atoi(line);
    if (pid > 0) ::kill(pid, SIGKILL);
    while (std::fgets(line, sizeof line, progress) != nullptr) reported = std::atoi(line);  // sent before it died
    const int status = ::pclose(progress);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the recorder ended by itself: " << status;
    return reported;
}

TEST(TrackLogKill, AKilledRecordingLosesNoRecordedPoint) {
    const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "quorel_log_kill";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string root = dir.string() + "/";
    // Each run is killed at another moment; all start at the same second, so the later
    // copies take the names "_2" and "_3".
    const char* copies[] = {"2008-07-18_19-00-00.gpx", "2008-07-18_19-00-00_2.gpx", "2008-07-18_19-00-00_3.gpx"};
    const int killAfter[] = {150, 1003, 437};
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        const int recorded = recordAndKill(root, killAfter[run]);
        ASSERT_GE(recorded, killAfter[run]);
        EXPECT_EQ(std::system(("xmllint --noout '" + root + "GPX/scurrent.gpx'").c_str()), 0);

        GpsReceiver gps;  // the next start: the previous track is read, the log saved, then emptied
        gps.storageRootPath = root;
        fakes::FakeClock clock;
        loadPreviousTrack(gps);
        EXPECT_GE(gps.track.pointCount(), recorded);
        openTrackLog(gps, clock);
        ASSERT_TRUE(gps.trackFile.isOpen());
        closeTrackLog(gps);

        GpxPath copy;
        ASSERT_EQ(loadTrackFile(root + "GPX/" + copies[run], copy), 0);
        ASSERT_GE(copy.pointCount(), recorded);  // the one being written at the kill may be there too
        EXPECT_LE(copy.pointCount(), recorded + 1);
        for (int i = 0; i < copy.pointCount(); ++i) {
            ASSERT_NEAR(copy.points[i].lat, 35 + i / 100000.0, 5e-7) << i;
            ASSERT_NEAR(copy.points[i].lon, 139 + i / 100000.0, 5e-7) << i;
            ASSERT_EQ(copy.points[i].ele, i) << i;
        }
    }
}

// The dated copy and the route file are each written under a temporary name, synced,
// renamed over their name and made durable by a sync of their folder, so that a power
// loss leaves the old file or the whole new one. Seen by strace (Debian package strace).
TEST(TrackLogFiles, ACopyAndARouteAreSyncedBeforeTheRenameAndTheirFolderAfter) {
    const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "quorel_log_trace";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string root = dir.string() + "/";
    const std::string command = "strace -qq -e signal=none -e trace=openat,fdatasync,fsync,rename,renameat,renameat2 "
                                "-o '" + root + "trace' '" QUOREL_TRACK_LOG_RECORDER "' '" + root + "' 3 0 '" + root +
                                "GPX/crntroot.gpx' > /dev/null";
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
