// The rules of fetch that no server of the end-to-end test exercises one by one: tile
// URLs, freshness from headers, and which hosts are refused or count as this machine.
#include "tools/tile_fetch.h"

#include <gtest/gtest.h>

namespace quorel {
namespace {

TEST(TileUrl, FillsTemplates) {
    const struct {
        const char* urlTemplate;
        const char* subdomains;
        const char* url;
    } cases[] = {
        {"https://t.example/{z}/{x}/{y}.png", "", "https://t.example/12/3637/1611.png"},
        {"t.example/{z}/{x}/{y}.png", "", "https://t.example/12/3637/1611.png"},           // https when no scheme
        {"http://t.example/{z}/{x}/{-y}.jpg", "", "http://t.example/12/3637/2484.jpg"},    // 4095 - 1611
        {"https://{s}.t.example/{z}/{x}/{y}", "abc", "https://b.t.example/12/3637/1611"},  // (3637 + 1611) % 3 = 1
        {"https://t.example/{x}/{x}?z={z}", "", "https://t.example/3637/3637?z=12"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tileUrl(c.urlTemplate, {12, 3637, 1611}, c.subdomains), c.url) << c.urlTemplate;
    }
}

TEST(FreshUntil, ReadsTheServersHeaders) {
    const std::int64_t now = 1'800'000'000;
    const struct {
        const char* cacheControl;
        const char* expires;
        const char* date;
        const char* age;
        std::int64_t until;
    } cases[] = {
        {"", "", "", "", now + 7 * 24 * 3600},
        {"public, max-age=3600", "", "", "", now + 3600},
        {"max-age=3600", "", "", "600", now + 3000},                            // aged in a cache
        {"max-age=3600", "Thu, 01 Jan 2037 00:00:00 GMT", "", "", now + 3600},  // max-age wins
        {"Max-Age=60, No-Cache", "", "", "", now},                              // asked again at once
        {"no-store", "", "", "", now},
        {"max-age=abc", "", "", "", now + 7 * 24 * 3600},
        {"", "Fri, 15 Jan 2027 10:00:00 GMT", "", "", now + 7200},                               // now is 08:00
        {"", "Fri, 15 Jan 2027 07:00:00 GMT", "", "", now},                                      // already past
        {"", "Fri, 15 Jan 2027 09:00:00 GMT", "Fri, 15 Jan 2027 08:00:00 GMT", "", now + 3600},  // server clock
        {"", "0", "", "", now},                                                                  // not a date: expired
    };
    for (const auto& c : cases) {
        EXPECT_EQ(freshUntil(c.cacheControl, c.expires, c.date, c.age, now), c.until)
            << c.cacheControl << " | " << c.expires << " | " << c.date;
    }
}

TEST(Hosts, RefusedAndLoopback) {
    for (const char* host : {"tile.openstreetmap.org", "a.tile.openstreetmap.org", "TILE.openstreetmap.org."}) {
        EXPECT_NE(bulkFetchRefusal(host), "") << host;
    }
    for (const char* host : {"tile.openstreetmap.org.example.com", "mytile.openstreetmap.org", "tiles.example.org"}) {
        EXPECT_EQ(bulkFetchRefusal(host), "") << host;
    }
    for (const char* host : {"127.0.0.1", "127.9.8.7", "::1", "[::1]", "localhost"}) {
        EXPECT_TRUE(isLoopbackHost(host)) << host;
    }
    for (const char* host : {"128.0.0.1", "10.0.0.1", "::2", "localhost.example.org", "tiles.example.org"}) {
        EXPECT_FALSE(isLoopbackHost(host)) << host;
    }
    std::string scheme, host;
    ASSERT_TRUE(urlSchemeAndHost("HTTPS://A.Tile.OpenStreetMap.org:443/1/2/3.png", scheme, host));
    EXPECT_EQ(scheme + " " + host, "https a.tile.openstreetmap.org");
}

}  // namespace
}  // namespace quorel
