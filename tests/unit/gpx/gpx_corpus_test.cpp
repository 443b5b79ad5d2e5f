// The real GPX files of the corpus: each loads, and what the token scanner finds agrees
// file by file with a count by an XML parser (xmllint, XPath over the same file).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "gpx/gpx_reader.h"

namespace quorel {
namespace {

struct Counts {
    int tracks;  // paths in `tracks`: one per trkseg, one for a trk without any
    int routes, waypoints, trackPoints, routePoints;
    bool operator==(const Counts&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Counts& c) {
    return os << c.tracks << " tracks, " << c.routes << " routes, " << c.waypoints << " waypoints, "
              << c.trackPoints << " track points, " << c.routePoints << " route points";
}

// Counted with xmllint when this table was written; CountsAgreeWithXmllint derives
// them again, so the table cannot drift from the files.
const struct {
    const char* file;
    Counts counts;
    const char* why;
} kCorpus[] = {
    {"GCGCA8.gpx", {0, 0, 1, 0, 0}, "a 1208-character description"},
    {"TR201410011900145.gpx", {1, 0, 0, 1027, 0}, "single-quoted attributes, trk on the metadata line"},
    {"around-visnjan-with-car.gpx", {1, 0, 0, 104, 0}, "the whole file on one line"},
    {"basecamp.gpx", {1, 1, 2, 2, 2}, "byte-order mark, CR LF, self-closing points"},
    {"cerknicko-jezero-with-elevations-zero.gpx", {8, 0, 7, 296, 0}, "one- and two-character elevations"},
    {"expertgps.gpx", {1, 1, 86, 64, 46}, "CR LF, children at one space"},
    {"gpx1.0_with_all_fields.gpx", {3, 2, 2, 1, 5}, "four spaces per level"},
    {"gpx1.1_with_all_fields.gpx", {3, 2, 2, 1, 5}, "four spaces, extensions, a comment"},
    {"gpxpassthrough10.gpx", {1, 1, 3, 3, 3}, "two spaces per level"},
    {"gpxpassthrough11.gpx", {1, 1, 3, 3, 3}, "foreign namespaces in extensions"},
    {"iso8859-1encoded.gpx", {0, 0, 8, 0, 0}, "one-character names"},
    {"missing_hr.gpx", {3, 0, 0, 16, 0}, "tab indentation, three segments"},
    {"mousehole_to_paul.gpx", {1, 0, 2, 111, 0}, "comments holding tags, points at two spaces"},
    {"north_core.gpx", {15, 0, 0, 34, 0}, "several segments per track"},
    {"position_track.gpx", {1, 0, 0, 40, 0}, "self-closing points at six spaces"},
    {"route.gpx", {0, 2, 0, 0, 14}, "names in CDATA"},
    {"run.gpx", {1, 0, 0, 206, 0}, "lon before lat"},
    {"segmented_tracks.gpx", {10, 0, 0, 46, 0}, "ten segments in two tracks"},
    {"sortfilter_in.gpx", {4, 4, 4, 4, 4}, "one-character names, self-closing points"},
    {"strava_route_example.gpx", {1, 0, 0, 113, 0}, "one space per level"},
    {"style.gpx", {21, 0, 0, 362, 0}, "a 680-character gpx tag, point-like elements in extensions"},
    {"test_export.gpx", {1, 0, 0, 11, 0}, "single quotes, metadata and trk on one line"},
    {"track-with-less-sec-time.gpx", {1, 0, 0, 2, 0}, "lon before lat"},
    {"trek.gpx", {0, 1, 0, 0, 120}, "a route without names"},
    {"wpt.gpx", {0, 0, 40, 0, 0}, "waypoints at four spaces"},
};

std::filesystem::path corpusFile(const char* name) {
    return std::filesystem::path(QUOREL_CORPUS_DIR) / "gpx" / name;
}

Counts countWithReader(const std::filesystem::path& file) {
    GpxPathList tracks, routes;
    GpxPath waypoints;
    GpxOverlays out{tracks, routes, waypoints};
    EXPECT_EQ(readGpxFile(file, out), 0) << file;
    Counts c{tracks.count(), routes.count(), waypoints.pointCount(), 0, 0};
    for (const GpxPath& p : tracks.items()) c.trackPoints += p.pointCount();
    for (const GpxPath& p : routes.items()) c.routePoints += p.pointCount();
    return c;
}

// XPath over any namespace: GPX 1.0 and 1.1 files declare different default namespaces.
std::string el(const char* name) { return std::string("*[local-name()='") + name + "']"; }

int xpathCount(const std::filesystem::path& file, const std::string& expr) {
    std::FILE* p = ::popen(("xmllint --xpath \"" + expr + "\" '" + file.string() + "' 2>/dev/null").c_str(), "r");
    if (p == nullptr) return -1;
    int n = -1;
    const bool read = std::fscanf(p, "%d", &n) == 1;
    return ::pclose(p) == 0 && read ? n : -1;
}

Counts countWithXmllint(const std::filesystem::path& file) {
    const std::string trk = "//" + el("trk");
    return {
        xpathCount(file, "count(" + trk + "[not(" + el("trkseg") + ")]) + count(" + trk + "/" + el("trkseg") + ")"),
        xpathCount(file, "count(//" + el("rte") + ")"),
        xpathCount(file, "count(//" + el("wpt") + ")"),
        xpathCount(file, "count(" + trk + "//" + el("trkpt") + ")"),
        xpathCount(file, "count(//" + el("rte") + "//" + el("rtept") + ")"),
    };
}

// Every file of the folder is in the table, loads with its counts, and the line scanner,
// which whatever the auto-load folder holds may reach, reads it safely.
TEST(GpxCorpus, EveryFileLoadsWithTheCountsOfTheTable) {
    std::set<std::string> inTable, inFolder;
    for (const auto& entry : kCorpus) {
        inTable.insert(entry.file);
        EXPECT_EQ(countWithReader(corpusFile(entry.file)), entry.counts) << entry.file << " (" << entry.why << ")";
        GpxPath path;
        EXPECT_EQ(loadTrackFile(corpusFile(entry.file), path), 0) << entry.file;
        EXPECT_LE(path.pointCount(), entry.counts.trackPoints) << entry.file;
    }
    for (const auto& f : std::filesystem::directory_iterator(corpusFile(""))) {
        if (f.path().extension() == ".gpx") inFolder.insert(f.path().filename().string());
    }
    EXPECT_EQ(inTable, inFolder);
}

TEST(GpxCorpus, CountsAgreeWithXmllint) {
    for (const auto& entry : kCorpus) {
        EXPECT_EQ(countWithXmllint(corpusFile(entry.file)), entry.counts)
            << entry.file << ": xmllint (libxml2-utils) counts differently, or is missing";
    }
}

}  // namespace
}  // namespace quorel
