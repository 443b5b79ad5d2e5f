#pragma once
// Getting tiles from a tile server for a trip, as a good citizen of the server: a
// User-Agent of our own, at most two connections, a rate limit, Retry-After and back-off
// on 429 and 503, conditional requests for tiles we hold, and nothing stored that the
// map could not show. HTTP is libcurl's (multi interface); the map program never
// fetches, only this tool does.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "map/tile_store.h"

namespace quorel {

// What the server told about a tile's freshness, kept with the tile.
struct TileFreshness {
    std::string etag;
    std::string lastModified;
    std::int64_t expires = 0;  // seconds since the epoch
};

// How long a tile counts as fresh when the server says nothing.
inline constexpr std::int64_t kDefaultFreshSeconds = 7 * 24 * 3600;

// "https://{s}.tiles.example/{z}/{x}/{y}.png" with tile 12/2200/1343 -> the tile's URL.
// {-y} is the row counted from the south (TMS); {s} one of subdomains, the same one for
// a tile every time. A template without a scheme is taken as https.
std::string tileUrl(const std::string& urlTemplate, const TileKey& key, const std::string& subdomains);

// Why the server at host must not be bulk-fetched from, "" when nothing is known
// against it. OpenStreetMap's own tile servers forbid bulk and offline downloads.
std::string bulkFetchRefusal(const std::string& host);

// localhost, 127.0.0.0/8 and ::1: where --rate 0 is allowed.
bool isLoopbackHost(const std::string& host);

// When a tile answered at now stops being fresh: Cache-Control max-age (less Age), else
// Expires (shifted by the server's clock, Date, where it gives one), else a week. no-cache
// and no-store make it stale at once (it is asked for again conditionally).
std::int64_t freshUntil(const std::string& cacheControl, const std::string& expires, const std::string& date,
                        const std::string& age, std::int64_t now);

// The scheme and host of a URL (or of a template's URL); false when it has none.
bool urlSchemeAndHost(const std::string& url, std::string& scheme, std::string& host);

// "" when bytes are a tile the map can show (a PNG or JPEG of 256 x 256 pixels, or of 512 x 512
// that the map halves), else why not.
std::string unshowableTileReason(std::span<const std::uint8_t> bytes);

struct FetchOptions {
    std::string urlTemplate;
    std::string subdomains;
    std::string userAgent;
    double rate = 2;          // requests a second; 0: no limit
    int connections = 2;      // at once, to one host
    int timeoutSeconds = 60;  // per request, and the most a server may stall
    int maxTries = 5;         // of a tile answered with 429 or 503
};

struct TileJob {
    TileKey key;
    TileFreshness held;  // etag or lastModified set: ask conditionally
};

enum class FetchResult {
    Fetched,      // bytes hold a tile the map can show
    NotModified,  // 304: the held tile stays
    Absent,       // 404 or 204: the server has no tile there
    Failed,       // why says why
};

struct TileAnswer {
    TileKey key;
    FetchResult result = FetchResult::Failed;
    std::vector<std::uint8_t> bytes;  // Fetched
    TileFreshness freshness;          // all but Failed
    std::string why;                  // Failed
};

// When the next request may start: kept from one batch of jobs to the next, so that the
// rate limit and a server's request to wait hold across them.
struct FetchPace {
    std::chrono::steady_clock::time_point nextStart = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point pausedUntil = nextStart;  // the server asked us to wait
};

// Asks for every job in order and hands each answer to answered, on this thread, as it
// comes. keepGoing is asked between transfers; false stops (transfers under way are
// dropped). False, with error set, when the transfers could not be set up at all.
bool fetchTiles(const FetchOptions& options, FetchPace& pace, std::span<const TileJob> jobs,
                const std::function<void(TileAnswer&)>& answered, const std::function<bool()>& keepGoing,
                std::string& error);

}  // namespace quorel
