#include <gtest/gtest.h>

#include <unistd.h>

#include "tests/unit/tools/demo_support.h"

namespace quorel::demo {
namespace {

using test::quoted;
using test::run;

std::filesystem::path scratch(const std::string& name) {
    return std::filesystem::temp_directory_path() / ("quorel-demo-" + name + "-" + std::to_string(::getpid()));
}

// Bad command lines are refused with the usage (status 2) before anything is written.
TEST(DemoCommand, RefusesBadArgumentsAndWritesNothing) {
    const std::filesystem::path out = scratch("refused");
    std::filesystem::remove_all(out);
    const std::string dir = quoted(out);
    const std::string cases[] = {
        "",
        "--zooms 14-15",
        dir + " --zooms",
        dir + " --zooms 9-3",
        dir + " --zooms -1-3",
        dir + " --zooms 5-21",
        dir + " --zooms 5-",
        dir + " --zooms x",
        dir + " --zooms 5-17x",
        dir + " --zooms 99999999999999999999",
        dir + " --radius-km 0",
        dir + " --radius-km -2",
        dir + " --radius-km nan",
        dir + " --radius-km inf",
        dir + " --radius-km 1e999",
        dir + " --radius-km 2km",
        dir + " --radius-km 51",
        dir + " --jobs 0",
        dir + " --jobs many",
        dir + " --frobnicate",
        dir + " " + dir,
        dir + " --zooms 0-20 --radius-km 50",  // millions of tiles
    };
    for (const std::string& args : cases) {
        EXPECT_EQ(run(std::string(QUOREL_MAKE_DEMO) + " " + args + " > /dev/null 2>&1"), 2) << args;
        EXPECT_FALSE(std::filesystem::exists(out)) << args;
    }
}

TEST(DemoCommand, ReportsAnOutputDirectoryItCannotWrite) {
    const std::filesystem::path file = scratch("file");
    {
        std::FILE* f = std::fopen(file.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    // A directory below a plain file cannot be made.
    EXPECT_EQ(run(std::string(QUOREL_MAKE_DEMO) + " " + quoted(file / "out") + " --zooms 10 > /dev/null 2>&1"), 1);
    std::filesystem::remove(file);
}

// The same arguments give the same bytes, however many threads draw.
TEST(DemoCommand, OutputDoesNotDependOnTheNumberOfThreads) {
    const std::filesystem::path a = scratch("one"), b = scratch("two");
    const std::string args = " --zooms 16-17 --radius-km 0.2 > /dev/null";
    ASSERT_EQ(run(std::string(QUOREL_MAKE_DEMO) + " " + quoted(a) + args + " --jobs 1"), 0);
    ASSERT_EQ(run(std::string(QUOREL_MAKE_DEMO) + " " + quoted(b) + args + " --jobs 3"), 0);
    int files = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(a)) {
        if (!e.is_regular_file()) continue;
        const auto rel = std::filesystem::relative(e.path(), a);
        EXPECT_EQ(test::readBytes(e.path()), test::readBytes(b / rel)) << rel;
        ++files;
    }
    EXPECT_GT(files, 8);
    std::filesystem::remove_all(a);
    std::filesystem::remove_all(b);
}

}  // namespace
}  // namespace quorel::demo
