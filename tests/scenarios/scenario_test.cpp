// Runs the program headless over every scenario in this folder and checks what each one
// says it must show. A scenario is a script for the program; lines starting with "#>" are
// read only by this runner:
//   #> screen WxH                 the virtual screen (default 480x272)
//   #> args ARGS...               more command-line arguments (for example --gps none)
//   #> file PATH TEXT             a file written before the run it appears in; PATH is relative
//                                 to the run folder (home/ is the program directory), TEXT takes \n
//   #> dir PATH                   a folder made before the run it appears in (home/sdmmc: the
//                                 storage card)
//   #> fifo PATH                  a FIFO made before the run it appears in, which nothing writes
//   #> next-run                   the lines after it are the script of another start in the
//                                 same home
//   #> exit N                     the exit status of every run (default 0)
//   #> expect DUMP NAME=VALUE     a line of a dump written by the script
//   #> expect-file PATH           a file exists after the runs
//   #> expect-no-file PATH        no such file
//   #> expect-lines PATH N        a text file has N lines
//   #> expect-text PATH TEXT      a text file contains TEXT (\n allowed)
//   #> golden SHOT NAME [X Y W H] a screenshot (or the part of it at X, Y of W x H pixels)
//                                 equals tests/golden/NAME.png
//   #> black SHOT                 every pixel of a screenshot is black
//   #> stderr TEXT                the program's error output contains TEXT
//   #> stderr-lines N TEXT        the error output of all runs has exactly N lines that are TEXT
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/file_handle.h"
#include "platform/format.h"
#include "platform/raster/raster.h"
#include "platform/text_file.h"
#include "png/png_decoder.h"
#include "tests/support/golden.h"
#include "tests/support/scratch.h"

namespace quorel {
namespace {

namespace fs = std::filesystem;

const fs::path kScenarioDir = fs::path(QUOREL_SOURCE_DIR) / "tests" / "scenarios";

std::string unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const bool newline = s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 'n';
        out += newline ? '\n' : s[i];
        i += newline ? 1 : 0;
    }
    return out;
}

std::vector<std::string> splitWords(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

struct RunResult {
    int status = -1;
    std::string errors;
};

// Runs the program with its own runtime directory, so scenarios run side by side never
// meet each other's single-instance lock.
// The program sees nothing of the caller's environment but the search path and the
// sanitizers' options: its home and runtime folder are the test's own, and there is no
// display, whatever session runs the tests.
std::vector<std::string> programEnvironment(const fs::path& home, const fs::path& runtimeDir) {
    std::vector<std::string> env = {"HOME=" + home.string(), "XDG_RUNTIME_DIR=" + runtimeDir.string()};
    for (const char* name : {"PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    }
    return env;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (auto& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Starts the program in cwd with its standard error in cwd/stderr.txt; 0 when it could not start.
pid_t spawnProgram(std::vector<std::string> args, const fs::path& cwd, const fs::path& runtimeDir) {
    std::vector<std::string> env = programEnvironment(cwd, runtimeDir);
    const std::vector<char*> argv = pointersTo(args);
    const std::vector<char*> envp = pointersTo(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    posix_spawn_file_actions_addopen(&actions, 2, (cwd / "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    if (posix_spawn(&pid, QUOREL_PROGRAM, &actions, nullptr, argv.data(), envp.data()) != 0) pid = 0;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

RunResult runProgramWith(std::vector<std::string> args, const fs::path& cwd, const fs::path& runtimeDir) {
    RunResult r;
    if (const pid_t pid = spawnProgram(std::move(args), cwd, runtimeDir)) {
        int status = 0;
        waitpid(pid, &status, 0);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    r.errors = platform::readTextFile(cwd / "stderr.txt").value_or("");
    return r;
}

std::vector<std::string> headlessArgs(const std::string& screen, const fs::path& home, const fs::path& script) {
    return {QUOREL_PROGRAM, "--headless", "--screen", screen, "--home", home.string(), "--script", script.string()};
}

std::map<std::string, std::string> readDump(const fs::path& file) {
    std::map<std::string, std::string> values;
    std::istringstream in(platform::readTextFile(file).value_or(""));
    for (std::string line; std::getline(in, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

// A run's scratch folder: every failure of the test names it, and it goes when the test passes.
struct RunFolder {
    explicit RunFolder(const std::string& name)
        : path(test::scratchFolder(name)), trace(__FILE__, __LINE__, "the run's files are in " + path.string()) {}
    ~RunFolder() {
        std::error_code ec;
        if (!testing::Test::HasFailure()) fs::remove_all(path, ec);
    }
    const fs::path path;
    testing::ScopedTrace trace;  // not copied, so neither is the folder
};

class Scenario : public testing::TestWithParam<std::string> {};

TEST_P(Scenario, ShowsWhatItSays) {
    const fs::path scenario = kScenarioDir / GetParam();
    const std::string text = platform::readTextFile(scenario).value_or("");
    ASSERT_FALSE(text.empty()) << scenario;

    const RunFolder folder("scenario_" + scenario.stem().string());
    const fs::path& run = folder.path;
    fs::create_directories(run / "home");
    fs::create_directories(run / "xdg");

    std::string screen = "480x272";
    std::vector<std::string> extraArgs;
    int expectedStatus = 0;
    struct RunSegment {
        std::string script;
        std::vector<std::pair<std::string, std::string>> files;
        std::vector<std::string> dirs;
        std::vector<std::string> fifos;
    };
    std::vector<RunSegment> runs(1);
    std::vector<std::vector<std::string>> checks;

    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("#>", 0) != 0) {
            // nmea-file names a file beside the scenario; the run's copy of the script lives elsewhere
            if (line.rfind("nmea-file ", 0) == 0) line = "nmea-file " + (kScenarioDir / line.substr(10)).string();
            runs.back().script += line + "\n";
            continue;
        }
        const std::vector<std::string> w = splitWords(line.substr(2));
        if (w.empty()) continue;
        if (w[0] == "screen") {
            screen = w.at(1);
        } else if (w[0] == "args") {
            extraArgs.insert(extraArgs.end(), w.begin() + 1, w.end());
        } else if (w[0] == "file") {
            const std::size_t at = line.find(w.at(1)) + w[1].size() + 1;
            runs.back().files.emplace_back(w[1], at < line.size() ? unescape(line.substr(at)) : "");
        } else if (w[0] == "dir") {
            runs.back().dirs.push_back(w.at(1));
        } else if (w[0] == "fifo") {
            runs.back().fifos.push_back(w.at(1));
        } else if (w[0] == "next-run") {
            runs.emplace_back();
        } else if (w[0] == "exit") {
            expectedStatus = std::stoi(w.at(1));
        } else {
            std::vector<std::string> check = w;
            if (w[0] == "expect-text" || w[0] == "stderr" || w[0] == "stderr-lines") {
                // keep the text as written, blanks included
                const std::size_t at =
                    w[0] == "stderr" ? line.find("stderr") + 7 : line.find(w.at(1)) + w[1].size() + 1;
                check = {w[0], w.size() > 1 ? w[1] : "", unescape(line.substr(at))};
            }
            checks.push_back(check);
        }
    }

    std::string errors;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        for (const auto& dir : runs[i].dirs) fs::create_directories(run / dir);
        for (const auto& path : runs[i].fifos) {
            fs::create_directories((run / path).parent_path());
            ASSERT_EQ(mkfifo((run / path).c_str(), 0644), 0) << path;
        }
        for (const auto& [path, content] : runs[i].files) {
            fs::create_directories((run / path).parent_path());
            ASSERT_TRUE(platform::writeTextFile(run / path, content));
        }
        const fs::path script = run / ("script" + std::to_string(i) + ".scn");
        ASSERT_TRUE(platform::writeTextFile(script, runs[i].script));
        std::vector<std::string> args = headlessArgs(screen, run / "home", script);
        args.insert(args.end(), extraArgs.begin(), extraArgs.end());
        const RunResult r = runProgramWith(args, run, run / "xdg");
        EXPECT_EQ(r.status, expectedStatus) << "run " << i << ": " << r.errors;
        errors += r.errors;
    }

    for (const auto& c : checks) {
        const std::string& kind = c[0];
        if (kind == "expect") {
            const auto dump = readDump(run / c.at(1));
            const auto eq = c.at(2).find('=');
            const std::string name = c[2].substr(0, eq), value = c[2].substr(eq + 1);
            const auto it = dump.find(name);
            ASSERT_NE(it, dump.end()) << c[1] << " has no " << name;
            EXPECT_EQ(it->second, value) << c[1] << ": " << name;
        } else if (kind == "expect-file") {
            EXPECT_TRUE(fs::exists(run / c.at(1))) << c[1];
        } else if (kind == "expect-no-file") {
            EXPECT_FALSE(fs::exists(run / c.at(1))) << c[1];
        } else if (kind == "expect-lines") {
            const std::string t = platform::readTextFile(run / c.at(1)).value_or("");
            EXPECT_EQ(std::count(t.begin(), t.end(), '\n'), std::stoi(c.at(2))) << c[1];
        } else if (kind == "expect-text") {
            const std::string t = platform::readTextFile(run / c.at(1)).value_or("");
            EXPECT_NE(t.find(c.at(2)), std::string::npos) << c[1] << " lacks: " << c[2];
        } else if (kind == "golden") {
            const PngDecodeResult shot = decodePngFile(run / c.at(1));
            ASSERT_TRUE(shot.bitmap) << "no screenshot " << c[1];
            if (c.size() == 7) {
                const int x = std::stoi(c[3]), y = std::stoi(c[4]), width = std::stoi(c[5]), height = std::stoi(c[6]);
                platform::Bitmap part = platform::createBitmap(width, height);
                platform::blit(part, 0, 0, width, height, platform::toBitmap32(*shot.bitmap), x, y);
                EXPECT_TRUE(test::matchesGolden(part, c[2]));
            } else {
                EXPECT_TRUE(test::matchesGolden(*shot.bitmap, c.at(2)));
            }
        } else if (kind == "black") {
            const PngDecodeResult shot = decodePngFile(run / c.at(1));
            ASSERT_TRUE(shot.bitmap) << "no screenshot " << c[1];
            const auto black = [](std::uint8_t byte) { return byte == 0; };
            EXPECT_TRUE(std::ranges::all_of(platform::toBitmap32(*shot.bitmap).bits, black)) << c[1] << " is not black";
        } else if (kind == "stderr") {
            EXPECT_NE(errors.find(c.at(2)), std::string::npos) << "error output: " << errors;
        } else if (kind == "stderr-lines") {
            int lines = 0;
            std::istringstream all(errors);
            for (std::string line; std::getline(all, line);) lines += line == c.at(2) ? 1 : 0;
            EXPECT_EQ(lines, std::stoi(c.at(1))) << "error output: " << errors;
        } else {
            ADD_FAILURE() << "unknown directive " << kind;
        }
    }
}

std::vector<std::string> allScenarios() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(kScenarioDir)) {
        if (e.path().extension() == ".scn") names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string scenarioName(const testing::TestParamInfo<std::string>& scenario) {
    std::string name = fs::path(scenario.param).stem().string();
    for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(All, Scenario, testing::ValuesIn(allScenarios()), scenarioName);

}  // namespace
}  // namespace quorel

namespace quorel {
namespace {

TEST(Program, ABadCommandLinePrintsTheUsageAndExits2) {
    const RunFolder folder("bad_command_line");
    const fs::path& run = folder.path;
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{QUOREL_PROGRAM, "--headless", "--screen", "480x272"},
                                               {QUOREL_PROGRAM, "--frobnicate"},
                                               headlessArgs("480", "h", "s")}) {
        const RunResult r = runProgramWith(args, run, run);
        EXPECT_EQ(r.status, 2) << args[1];
        EXPECT_NE(r.errors.find("usage: quorel"), std::string::npos) << r.errors;
    }
}

// The first instance reads its receiver bytes from a FIFO, which keeps it running (and
// holding the lock) until the test writes; a second on the same storage root must leave
// at once, failing since its script did not run, while one on another root runs.
TEST(Program, ASecondInstanceOnTheSameRootLeavesAtOnce) {
    const RunFolder folder("second_instance");
    const fs::path& run = folder.path;
    for (const char* d : {"first", "second", "xdg"}) fs::create_directories(run / d);
    const fs::path fifo = run / "receiver.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_TRUE(platform::writeTextFile(run / "first.scn", "tick 6\nnmea-file " + fifo.string() + "\ntick\n"));
    ASSERT_TRUE(platform::writeTextFile(run / "second.scn", "tick 6\ndump " + (run / "dump.txt").string() + "\n"));

    const pid_t first = spawnProgram(headlessArgs("480x272", run / "first", run / "first.scn"), run, run / "xdg");
    ASSERT_NE(first, 0);

    // The first instance holds the lock once it has written its settings.
    for (int i = 0; i < 1000 && !fs::exists(run / "first" / "setgps.txt"); ++i) usleep(10'000);
    ASSERT_TRUE(fs::exists(run / "first" / "setgps.txt"));

    const RunResult second =
        runProgramWith(headlessArgs("480x272", run / "first", run / "second.scn"), run, run / "xdg");
    EXPECT_EQ(second.status, 3) << second.errors;
    EXPECT_NE(second.errors.find("another instance"), std::string::npos) << second.errors;
    EXPECT_FALSE(fs::exists(run / "dump.txt")) << "the second instance went on to start";
    const RunResult beside =
        runProgramWith(headlessArgs("480x272", run / "second", run / "second.scn"), run, run / "xdg");
    EXPECT_EQ(beside.status, 0) << beside.errors;
    EXPECT_TRUE(fs::exists(run / "dump.txt")) << "a run on another storage root was kept from starting";

    { std::ofstream release(fifo); }  // lets the first instance read its end of file and finish
    int status = -1;
    waitpid(first, &status, 0);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
}

// Moving fixes from+0 to to-1, one GGA and RMC pair a tick, 0.006' of latitude apart.
std::string fixes(int from, int to) {
    std::string script;
    const auto sentence = [&script](const std::string& body) {
        unsigned checksum = 0;
        for (const char c : body) checksum ^= static_cast<unsigned char>(c);
        script += platform::format("nmea $%s*%02X\n", body.c_str(), checksum);
    };
    for (int i = from; i < to; ++i) {
        const int time = 100000 + i / 60 * 100 + i % 60;
        sentence(platform::format("GPGGA,%06d,%09.4f,N,13900.0000,E,1,08,0.9,10.0,M,,M,,", time, 3500 + i * 0.006));
        sentence(platform::format("GPRMC,%06d,A,%09.4f,N,13900.0000,E,10.0,0.0,180708,,,A", time, 3500 + i * 0.006));
        script += "tick\n";
    }
    return script;
}

int countPoints(const fs::path& file) {
    const std::string text = platform::readTextFile(file).value_or("");
    int n = 0;
    for (std::size_t at = 0; (at = text.find("<trkpt", at)) != std::string::npos; ++at) ++n;
    return n;
}

// The card (a 48 KiB tmpfs in a mount namespace of this test alone) fills up in the middle
// of a recording run, which waits at FIFOs while the test fills and empties it; the next
// run finds it read-only, and the next two full again. The program follows and records
// throughout, writes what the card refused once it has room, and every point ends on the
// card or in a rescue file of the user's state folder; the first start on a card with
// room again makes the dated copy of the log.
TEST(Program, ACardThatFillsOrIsReadOnlyLosesNoPoint) {
    const RunFolder folder("card_run");
    const fs::path& run = folder.path;
    const fs::path card = run / "home" / "sdmmc";
    const fs::path rescued = run / ".local" / "state" / "quorel";
    fs::create_directories(card);
    fs::create_directories(run / "xdg");
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", card.c_str(), "tmpfs", 0, "size=48k") != 0) {
        GTEST_SKIP() << "mounting a small tmpfs as the card is not permitted here (needs root)";
    }
    const fs::path log = card / "GPX" / "scurrent.gpx";
    for (const char* fifo : {"full", "room"}) ASSERT_EQ(mkfifo((run / fifo).c_str(), 0600), 0);
    ASSERT_TRUE(platform::writeTextFile(run / "record.scn", "tick 6\ntap 20 40\n" + fixes(0, 40) + "nmea-file " +
                                                                (run / "full").string() + "\n" + fixes(40, 80) +
                                                                "dump full.dump\nnmea-file " + (run / "room").string() +
                                                                "\n" + fixes(80, 90)));
    const pid_t pid = spawnProgram(headlessArgs("480x272", run / "home", run / "record.scn"), run, run / "xdg");
    ASSERT_NE(pid, 0);
    {
        std::ofstream full(run / "full");  // opens once the program waits here
        const platform::UniqueFd filler(::open((card / "filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        for (std::int64_t at = 0; platform::writeAll(filler.get(), std::string(4096, 'f'), at);) at += 4096;
    }
    {
        std::ofstream room(run / "room");
        EXPECT_LT(countPoints(log), 79) << "the card refused no point";
        EXPECT_EQ(std::system(("xmllint --noout '" + log.string() + "'").c_str()), 0);
        fs::remove(card / "filler");
    }
    int status = -1;
    waitpid(pid, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readDump(run / "full.dump")["gps.track.count"], "79");  // on the map while the card was full
    EXPECT_EQ(readDump(run / "full.dump")["centerLat"], "35.007900");
    EXPECT_EQ(countPoints(card / "GPX" / "2008-07-18_19-00-01.gpx"), 89);

    const auto record = [&](int from, int to) {
        EXPECT_TRUE(
            platform::writeTextFile(run / "record.scn", "tick 6\ntap 20 40\n" + fixes(from, to) + "dump r.dump\n"));
        return runProgramWith(headlessArgs("480x272", run / "home", run / "record.scn"), run, run / "xdg");
    };
    const auto pointsIn = [](const fs::path& dir) {
        int n = 0;
        for (const auto& e : fs::directory_iterator(dir)) n += countPoints(e.path());
        return n;
    };
    ASSERT_EQ(::mount(nullptr, card.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    const std::string before = platform::readTextFile(log).value_or("");
    EXPECT_EQ(record(90, 95).status, 0);
    EXPECT_EQ(readDump(run / "r.dump")["gps.track.count"], "93");  // the card's 89 and 4 new ones
    EXPECT_EQ(readDump(run / "r.dump")["centerLat"], "35.009400");
    EXPECT_EQ(platform::readTextFile(log), before);
    EXPECT_EQ(pointsIn(rescued), 4);

    ASSERT_EQ(::mount(nullptr, card.c_str(), nullptr, MS_REMOUNT, nullptr), 0);
    const RunResult filling = record(95, 695);
    EXPECT_NE(filling.errors.find(" points the card did not take are in "), std::string::npos) << filling.errors;
    const int onCard = countPoints(log);
    EXPECT_LT(onCard, 599);
    EXPECT_EQ(onCard + pointsIn(rescued), 4 + 599);
    record(695, 715);  // still full: all of them rescued
    EXPECT_EQ(countPoints(log), onCard);
    EXPECT_EQ(pointsIn(rescued), 4 + 599 - onCard + 19);
    ASSERT_EQ(::mount(nullptr, card.c_str(), nullptr, MS_REMOUNT, "size=1m"), 0);
    record(715, 715);
    EXPECT_EQ(countPoints(card / "GPX" / "2008-07-18_19-01-36.gpx"), onCard);
    ::umount(card.c_str());
}

}  // namespace
}  // namespace quorel
