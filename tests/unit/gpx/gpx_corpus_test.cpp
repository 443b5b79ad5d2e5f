// The real GPX files of the corpus, each read by the token scanner and counted by an XML
// parser (xmllint, XPath over the same file): the counts must agree file by file.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "gpx/gpx_reader.h"

namespace quorel {
namespace {

// Paths in `tracks` (one per trkseg, one for a trk without any), routes, waypoints, track
// points and route points.
using Counts = std::array<int, 5>;

Counts countWithReader(const std::filesystem::path& file) {
    GpxPathList tracks, routes;
    GpxPath waypoints;
    GpxOverlays out{tracks, routes, waypoints};
    EXPECT_EQ(readGpxFile(file, out), 0) << file;
    Counts c{tracks.count(), routes.count(), waypoints.pointCount(), 0, 0};
    for (const GpxPath& p : tracks.items()) c[3] += p.pointCount();
    for (const GpxPath& p : routes.items()) c[4] += p.pointCount();
    return c;
}

int xpathCount(const std::filesystem::path& file, const std::string& expr) {
    std::FILE* p = ::popen(("xmllint --xpath \"" + expr + "\" '" + file.string() + "' 2>/dev/null").c_str(), "r");
    if (p == nullptr) return -1;
    int n = -1;
    const bool read = std::fscanf(p, "%d", &n) == 1;
    return ::pclose(p) == 0 && read ? n : -1;
}

// XPath over any namespace: GPX 1.0 and 1.1 files declare different default namespaces.
Counts countWithXmllint(const std::filesystem::path& file) {
    const auto el = [](const char* name) { return std::string("*[local-name()='") + name + "']"; };
    const std::string trk = "//" + el("trk");
    return {
        xpathCount(file, "count(" + trk + "[not(" + el("trkseg") + ")]) + count(" + trk + "/" + el("trkseg") + ")"),
        xpathCount(file, "count(//" + el("rte") + ")"),
        xpathCount(file, "count(//" + el("wpt") + ")"),
        xpathCount(file, "count(" + trk + "//" + el("trkpt") + ")"),
        xpathCount(file, "count(//" + el("rte") + "//" + el("rtept") + ")"),
    };
}

// Every file of the folder; the line scanner, which whatever the auto-load folder holds
// may reach, reads each safely and finds no more points than there are.
TEST(GpxCorpus, CountsAgreeWithXmllint) {
    int files = 0;
    for (const auto& f : std::filesystem::directory_iterator(std::filesystem::path(QUOREL_CORPUS_DIR) / "gpx")) {
        if (f.path().extension() != ".gpx") continue;
        ++files;
        const Counts counts = countWithReader(f.path());
        EXPECT_EQ(counts, countWithXmllint(f.path())) << f.path() << ": or xmllint (libxml2-utils) is missing";
        GpxPath path;
        EXPECT_EQ(loadTrackFile(f.path(), path), 0) << f.path();
        EXPECT_LE(path.pointCount(), counts[3]) << f.path();
    }
    EXPECT_GE(files, 25);
}

}  // namespace
}  // namespace quorel
