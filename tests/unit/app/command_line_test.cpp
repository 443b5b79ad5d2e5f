#include "app/command_line.h"
#include "app/scenario_script.h"

#include <gtest/gtest.h>

namespace quorel {
namespace {

// The headless command line is the one every scenario runs with.
TEST(CommandLine, AcceptsTheWindowFrontEnd) {
    const auto window = parseCommandLine(
        {"--window", "800x480", "--root", "r", "--gps", "/dev/ttyACM0", "--tile-cache", "0", "--rotate", "270"});
    ASSERT_TRUE(window.options) << window.error;
    EXPECT_FALSE(window.options->headless);
    EXPECT_EQ(window.options->width, 800);
    EXPECT_EQ(window.options->gps, "/dev/ttyACM0");
    EXPECT_EQ(window.options->root, "r");
    EXPECT_EQ(window.options->tileCacheMb, 0);
    EXPECT_EQ(window.options->rotate, 270);

    EXPECT_TRUE(parseCommandLine({}).options);  // full screen, program directory of the executable
    // headless runs find their folders by the same rule as the window
    EXPECT_TRUE(parseCommandLine({"--headless", "--screen", "480x272", "--script", "s"}).options);
}

// --help and --version answer whatever else the line holds, as a user who asks expects.
TEST(CommandLine, HelpAndVersionWinOverTheRest) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"-h", "--frobnicate"}, {"--window", "--help"}, {"--version"}, {"--headless", "--version"}}) {
        const auto parsed = parseCommandLine(args);
        ASSERT_TRUE(parsed.options) << args[0];
        EXPECT_NE(parsed.options->help, parsed.options->version) << args[0];
    }
}

TEST(CommandLine, RefusesWhatItCannotMean) {
    const std::vector<std::vector<std::string>> bad = {
        {"--headless", "--home", "h", "--script", "s"},        // no screen
        {"--headless", "--screen", "480x272", "--home", "h"},  // no script
        {"--headless", "--screen", "480", "--home", "h", "--script", "s"},
        {"--headless", "--screen", "0x272", "--home", "h", "--script", "s"},
        {"--headless", "--screen", "480x-2", "--home", "h", "--script", "s"},
        {"--headless", "--screen", "99999x99999", "--home", "h", "--script", "s"},
        {"--screen", "480x272"},  // screen without headless
        {"--script", "s"},
        {"--window"},
        {"--gps"},
        {"--tile-cache", "-1"},
        {"--tile-cache", "32MB"},
        {"--tile-cache", "99999"},
        {"--rotate", "45"},
        {"--rotate", "090"},
        {"--frobnicate"},
    };
    for (const auto& args : bad) {
        const auto parsed = parseCommandLine(args);
        EXPECT_FALSE(parsed.options) << args[0];
        EXPECT_FALSE(parsed.error.empty());
    }
}

TEST(ScenarioScript, NamesTheFirstBadLine) {
    const struct {
        const char* script;
        int line;
    } cases[] = {
        {"tick\ntap 10\n", 2}, {"tap 10 x\n", 1},
        {"tap -65536 5\n", 1}, {"tick 0\n", 1},
        {"key 300\n", 1},      {"wait\n", 1},
        {"nmea\n", 1},         {"shot\n", 1},
        {"quit now\n", 1},     {"tick\n\n# x\njump 1 2\n", 4},
        {"tap 1 2 3\n", 1},    {"wait -5\n", 1},
    };
    for (const auto& c : cases) {
        const auto parsed = parseScript(c.script);
        const auto* error = std::get_if<ScriptError>(&parsed);
        ASSERT_TRUE(error) << c.script;
        EXPECT_EQ(error->line, c.line) << c.script;
        EXPECT_FALSE(error->reason.empty());
    }
}

}  // namespace
}  // namespace quorel
