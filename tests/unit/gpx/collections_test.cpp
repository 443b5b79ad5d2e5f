#include "gpx/collections.h"

#include <gtest/gtest.h>

namespace quorel {
namespace {

GeoPointList listOf(int n) {
    GeoPointList list;
    for (int i = 0; i < n; ++i) EXPECT_EQ(list.append(GeoPoint{double(i), double(-i), 0.0, 0, 0}).lat, double(i));
    return list;
}

std::vector<double> lats(const GeoPointList& list) {
    std::vector<double> out;
    for (const GeoPoint& p : list.items()) out.push_back(p.lat);
    return out;
}

TEST(GeoPointList, RemoveAtFollowsTheControlsRules) {
    const struct {
        int size, index;
        std::vector<double> left;
    } cases[] = {
        {3, 0, {1, 2}},                       // the later points move up in order
        {3, 3, {0, 1}},                       // the count removes the last point
        {3, 99, {0, 1}}, {3, -1, {0, 1, 2}},  // negative: nothing
        {0, 0, {}},                           // empty: nothing
    };
    for (const auto& c : cases) {
        GeoPointList list = listOf(c.size);
        list.removeAt(c.index);
        EXPECT_EQ(lats(list), c.left) << c.size << " remove " << c.index;
    }
    GeoPointList list = listOf(5);  // the cursor stays within the count
    list.at(4);
    list.removeAt(4);
    EXPECT_EQ(list.cursor, 4);
    list.removeAt(3);
    EXPECT_EQ(list.cursor, 3);
}

}  // namespace
}  // namespace quorel
