#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "platform/format.h"
#include "platform/paths.h"
#include "platform/text_file.h"
#include "platform/utf8.h"
#include "tests/support/scratch.h"

namespace quorel::platform {
namespace {

TEST(NativePath, DeviceGrammarResolvesUnderTheDeviceRoot) {
    const struct {
        const char* device;
        const char* root;
        const char* host;
    } cases[] = {
        {"\\sdmmc\\", "/opt/quorel", "/opt/quorel/sdmmc/"},
        {"\\sdmmc\\GPX\\crntroot.gpx", "/opt/quorel/", "/opt/quorel/sdmmc/GPX/crntroot.gpx"},
        {"\\Storage Card\\Maps\\std\\14\\14553\\6451.png", "/r", "/r/Storage Card/Maps/std/14/14553/6451.png"},
        {"/media/card/", "/opt/quorel", "/media/card/"},
        {"/media/card/GPX\\Auto", "/opt/quorel", "/media/card/GPX/Auto"},
        {"card\\", "/opt/quorel", "/opt/quorel/card/"},
    };
    for (const auto& c : cases) EXPECT_EQ(nativePath(c.device, c.root), c.host) << c.device;
}

// Where settings and the device root go, for the ways the program is installed and started.
TEST(ProgramFolders, PortableCopiesStayPutInstalledOnesUseTheUsersFolders) {
    const struct {
        const char* exeDir;
        bool holdsSettings, writable;
        const char *home, *root, *configHome, *dataHome, *userHome;
        const char *programDir, *deviceRoot;
        bool inUserFolders, ownsDeviceRoot;
    } cases[] = {
        // a card or an unpacked copy: beside the executable
        {"/media/card/quorel", false, true, "", "", "", "", "/home/u", "/media/card/quorel", "/media/card/quorel",
         false, false},
        {"/usr/bin", true, false, "", "", "", "", "/home/u", "/usr/bin", "/usr/bin", false, false},
        // installed: read-only, or a system folder that root could write
        {"/usr/bin", false, false, "", "", "", "", "/home/u", "/home/u/.config/quorel", "/home/u/.local/share/quorel",
         true, true},
        {"/usr/local/bin", false, true, "", "", "", "", "/root", "/root/.config/quorel", "/root/.local/share/quorel",
         true, true},
        {"/usrx/bin", false, true, "", "", "", "", "/root", "/usrx/bin", "/usrx/bin", false, false},
        {"/opt/q", false, false, "", "", "/c", "/d/", "/home/u", "/c/quorel", "/d/quorel", true, true},
        {"/opt/q", false, false, "", "", "rel", "", "/home/u", "/home/u/.config/quorel", "/home/u/.local/share/quorel",
         true, true},
        {"/opt/q", false, false, "", "", "", "", "", "/opt/q", "/opt/q", false, false},  // nowhere else known
        // the options win
        {"/usr/bin", false, false, "/h", "", "", "", "/home/u", "/h", "/h", false, false},
        {"/usr/bin", false, false, "", "/r", "", "", "/home/u", "/home/u/.config/quorel", "/r", true, true},
        {"/media/card/quorel", true, true, "/h", "/r", "", "", "/home/u", "/h", "/r", false, true},
    };
    for (const auto& c : cases) {
        const FolderFacts facts{c.exeDir,     c.holdsSettings, c.writable, c.home, c.root,
                                c.configHome, c.dataHome,      c.userHome, ""};
        const ProgramFolders f = chooseProgramFolders(facts);
        const std::string where =
            std::string(c.exeDir) + " home=" + c.home + " root=" + c.root + " config=" + c.configHome;
        EXPECT_EQ(f.programDir, c.programDir) << where;
        EXPECT_EQ(f.deviceRoot, c.deviceRoot) << where;
        EXPECT_EQ(f.inUserFolders, c.inUserFolders) << where;
        EXPECT_EQ(f.ownsDeviceRoot, c.ownsDeviceRoot) << where;
    }
}

TEST(StoragePath, OneSeparatorWhetherOrNotTheRootEndsInOne) {
    for (const char* root : {"/media/card", "/media/card/", "\\\\media\\card"}) {
        EXPECT_EQ(storagePath(storageRootDir(root, "/"), "\\GPX\\Auto"), "/media/card/GPX/Auto") << root;
    }
}

TEST(TextFile, ReadsCrLfAndLfAlikeAndWritesLf) {
    const auto dir = test::scratchFolder("text");
    ASSERT_TRUE(writeTextFile(dir / "a.txt", "\xEF\xBB\xBFone\r\ntwo\nthree\rfour\r\n"));
    EXPECT_EQ(readTextFile(dir / "a.txt"), "one\ntwo\nthree\rfour\n");
    EXPECT_FALSE(readTextFile(dir / "missing.txt").has_value());
    EXPECT_FALSE(writeTextFile(dir / "no" / "such" / "dir.txt", "x"));
}

TEST(Files, ListsBySuffixWithoutCase) {
    const auto dir = test::scratchFolder("list");
    std::filesystem::create_directories(dir / "sub.gpx");
    for (const char* name : {"a.gpx", "B.GPX", "c.gpx.bak", "d.txt"}) writeTextFile(dir / name, "");
    auto names = listFiles(dir, ".gpx");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"B.GPX", "a.gpx"}));
    EXPECT_TRUE(fileExists(dir / "sub.gpx"));
    EXPECT_FALSE(fileExists(dir / "nothing"));
    EXPECT_TRUE(listFiles(dir / "nothing", ".gpx").empty());
}

TEST(Utf8, CountsAndCutsWholeCharacters) {
    const std::string mincho = "\xEF\xBC\xAD\xEF\xBC\xB3 \xE6\x98\x8E\xE6\x9C\x9D";  // "ＭＳ 明朝"
    EXPECT_EQ(utf8Length(mincho), 5u);
    EXPECT_EQ(utf8Prefix(mincho, 2), "\xEF\xBC\xAD\xEF\xBC\xB3");
    EXPECT_EQ(encodeUtf8(decodeUtf8(mincho)), mincho);
    // a stray Latin-1 byte survives as its own character
    EXPECT_EQ(decodeUtf8("caf\xE9"), std::u32string(U"caf\u00E9"));
}

TEST(Format, NeverTruncates) {
    const std::string big = format("%f", 1e300);
    EXPECT_EQ(big.size(), 308u);
    EXPECT_EQ(format("lat%.5lf lon%.5lf", 36.621589934, 139.7715), "lat36.62159 lon139.77150");
    std::string xml = "<name>";
    appendXmlEscaped(xml, "Tom & Jerry's \"<route>\"");
    EXPECT_EQ(xml, "<name>Tom &amp; Jerry's &quot;&lt;route&gt;&quot;");
}

}  // namespace
}  // namespace quorel::platform
