#include "gpx/collections.h"

#include <gtest/gtest.h>

namespace quorel {
namespace {

GeoPointList listOf(int n) {
    GeoPointList list;
    for (int i = 0; i < n; ++i) list.append(GeoPoint{double(i), double(-i), 0.0, 0, 0});
    return list;
}

std::vector<double> lats(const GeoPointList& list) {
    std::vector<double> out;
    for (const GeoPoint& p : list.items()) out.push_back(p.lat);
    return out;
}

TEST(GeoPointList, AppendKeepsOrderAndReturnsTheNewElement) {
    GeoPointList list;
    for (int i = 0; i < 12; ++i) {
        GeoPoint& added = list.append(GeoPoint{double(i), 1.0, 2.0, 3, 4});
        EXPECT_EQ(added.lat, double(i));
    }
    EXPECT_EQ(list.count(), 12);
    EXPECT_EQ(list.at(11).ele, 2.0);
    EXPECT_EQ(list.cursor, 11);
}

TEST(GeoPointList, RemoveAtFollowsTheControlsRules) {
    const struct {
        int size;
        int index;
        std::vector<double> left;
    } cases[] = {
        {3, 0, {1, 2}},      // the later points move up in order
        {3, 1, {0, 2}},
        {3, 3, {0, 1}},      // the count removes the last point
        {3, 99, {0, 1}},
        {3, -1, {0, 1, 2}},  // negative: nothing
        {0, 0, {}},          // empty: nothing
    };
    for (const auto& c : cases) {
        GeoPointList list = listOf(c.size);
        list.removeAt(c.index);
        EXPECT_EQ(lats(list), c.left) << c.size << " remove " << c.index;
    }
}

TEST(GeoPointList, CursorStaysWithinTheCount) {
    GeoPointList list = listOf(5);
    list.at(4);
    list.removeAt(4);
    EXPECT_EQ(list.cursor, 4);
    list.removeAt(3);
    EXPECT_EQ(list.cursor, 3);
}

TEST(GeoPointList, AssignIsADeepCopy) {
    GeoPointList source = listOf(7);
    GeoPointList copy;
    EXPECT_EQ(copy.assign(source), 7);
    source.at(0).lat = 99.0;
    source.clear();
    EXPECT_EQ(lats(copy), (std::vector<double>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(source.count(), 0);
    EXPECT_EQ(source.cursor, 0);
}

TEST(GpxPathList, AppendedPathsAreIndependentOfTheirSource) {
    GpxPathList list;
    {
        GpxPath path;
        path.name = "Root";
        path.addPoint(GeoPoint{1, 2, 3, 0, 0});
        list.append(path);
        path.name = "changed";
        path.points.at(0).lat = 50.0;
    }
    ASSERT_EQ(list.count(), 1);
    EXPECT_EQ(list.at(0).name, "Root");
    EXPECT_EQ(list.at(0).pointCount(), 1);
    EXPECT_EQ(list.at(0).points.at(0).lat, 1.0);
    EXPECT_EQ(list.cursor, 0);
}

TEST(GpxPathList, ClearEmptiesAndAppendStartsAgain) {
    GpxPathList list;
    GpxPath path;
    path.points = listOf(3);
    for (int i = 0; i < 6; ++i) list.append(path);
    list.at(5);
    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.cursor, 0);
    list.append(path);
    EXPECT_EQ(list.at(0).pointCount(), 3);
}

TEST(GpxPath, AssignCopiesNameAndPointsAndClearKeepsTheName) {
    GpxPath a;
    a.name = "Current";
    a.points = listOf(4);
    GpxPath b;
    b.assign(a);
    a.removePoint(0);
    EXPECT_EQ(b.pointCount(), 4);
    EXPECT_EQ(b.name, "Current");
    b.clearPoints();
    EXPECT_EQ(b.pointCount(), 0);
    EXPECT_EQ(b.name, "Current");
}

TEST(GpxPointEntry, ResetClearsEverything) {
    GpxPointEntry e;
    e.point = GeoPoint{1, 2, 3, 4, 5};
    e.name = "x";
    e.reset();
    EXPECT_EQ(e.point.lat, 0.0);
    EXPECT_EQ(e.point.utcDate, 0);
    EXPECT_TRUE(e.name.empty());
}

}  // namespace
}  // namespace quorel
