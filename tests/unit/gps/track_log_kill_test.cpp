// A recording process killed with SIGKILL at some moment of its run: the working log
// is complete GPX at that moment, and the next start keeps every point the process
// had recorded in the dated copy.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "gps/gps_receiver.h"
#include "gps/track_log.h"
#include "gpx/gpx_reader.h"

extern char** environ;

namespace quorel {
namespace {

struct StillClock final : platform::Clock {
    std::int64_t nowMs() override { return 0; }
    void sleepMs(int) override {}
};

// Starts the recorder and kills it once it has reported `atLeast` points; returns the
// number of points it reported before it died.
int recordAndKill(const std::string& root, int atLeast) {
    int out[2];
    if (::pipe(out) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string points = "1000000";
    const std::string pause = "300";
    char* argv[] = {const_cast<char*>(QUOREL_TRACK_LOG_RECORDER), const_cast<char*>(root.c_str()),
                    const_cast<char*>(points.c_str()), const_cast<char*>(pause.c_str()), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        return -1;
    }
    std::FILE* progress = ::fdopen(out[0], "r");
    int reported = 0;
    char line[32];
    while (reported < atLeast && std::fgets(line, sizeof line, progress) != nullptr) reported = std::atoi(line);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    while (std::fgets(line, sizeof line, progress) != nullptr) reported = std::atoi(line);  // sent before it died
    std::fclose(progress);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the recorder ended by itself: " << status;
    return reported;
}

TEST(TrackLogKill, AKilledRecordingLosesNoRecordedPoint) {
    const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "quorel_log_kill";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string root = dir.string() + "/";
    const std::string log = root + "GPX/scurrent.gpx";
    // Three runs, each killed at another moment; all start at the same second, so the
    // copies of the later runs take the names "_2" and "_3".
    const char* copies[] = {"2008-07-18_19-00-00.gpx", "2008-07-18_19-00-00_2.gpx", "2008-07-18_19-00-00_3.gpx"};
    const int killAfter[] = {150, 1003, 437};
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        const int recorded = recordAndKill(root, killAfter[run]);
        ASSERT_GE(recorded, killAfter[run]);

        EXPECT_EQ(std::system(("xmllint --noout '" + log + "'").c_str()), 0) << "the log at the kill is not GPX";

        // The next start: the previous track is read, the log saved, then emptied.
        GpsReceiver gps;
        gps.storageRootPath = root;
        StillClock clock;
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
            const GeoPoint& p = copy.points[i];
            ASSERT_NEAR(p.lat, 35 + i / 100000.0, 5e-7) << i;
            ASSERT_NEAR(p.lon, 139 + i / 100000.0, 5e-7) << i;
            ASSERT_EQ(p.ele, i) << i;
        }
        EXPECT_EQ(std::system(("xmllint --noout '" + root + "GPX/" + copies[run] + "'").c_str()), 0);
    }
}

}  // namespace
}  // namespace quorel
