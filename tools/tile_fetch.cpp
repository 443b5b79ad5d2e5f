#include "tools/tile_fetch.h"

#include <arpa/inet.h>
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <memory>
#include <thread>

#include "map/mbtiles.h"
#include "png/tile_image.h"

namespace quorel {

namespace {

using Clock = std::chrono::steady_clock;

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

struct UrlFree {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
struct EasyFree {
    void operator()(CURL* e) const { curl_easy_cleanup(e); }
};
struct ListFree {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct MultiFree {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};

// The value of a response header of the last request of a transfer, "" when absent.
std::string header(CURL* easy, const char* name) {
    curl_header* found = nullptr;
    return curl_easy_header(easy, name, 0, CURLH_HEADER, -1, &found) == CURLHE_OK && found->value != nullptr
               ? trimmed(found->value)
               : "";
}

struct Transfer {
    std::size_t job = 0;
    int tries = 0;
    std::unique_ptr<CURL, EasyFree> easy;
    std::unique_ptr<curl_slist, ListFree> headers;
    std::vector<std::uint8_t> body;
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user) {
    auto& body = static_cast<Transfer*>(user)->body;
    if (body.size() + size * count > kMaxTileBytes) return 0;  // ends the transfer as failed
    body.insert(body.end(), data, data + size * count);
    return size * count;
}

struct Waiting {
    std::size_t job = 0;
    int tries = 0;
};

class Fetcher {
public:
    Fetcher(const FetchOptions& options, FetchPace& pace, std::span<const TileJob> jobs,
            const std::function<void(TileAnswer&)>& answered)
        : options_(options), pace_(pace), jobs_(jobs), answered_(answered) {}

    bool run(const std::function<bool()>& keepGoing, std::string& error) {
        multi_.reset(curl_multi_init());
        if (!multi_) return error = "cannot set up HTTP transfers", false;
        curl_multi_setopt(multi_.get(), CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(options_.connections));
        curl_multi_setopt(multi_.get(), CURLMOPT_MAX_TOTAL_CONNECTIONS, static_cast<long>(options_.connections));
        for (std::size_t i = 0; i < jobs_.size(); ++i) waiting_.push_back({i, 0});
        const auto interval =
            options_.rate > 0
                ? std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / options_.rate))
                : Clock::duration::zero();
        Clock::time_point& nextStart = pace_.nextStart;
        while ((!waiting_.empty() || !running_.empty()) && keepGoing()) {
            Clock::time_point now = Clock::now();
            while (running_.size() < static_cast<std::size_t>(options_.connections) && !waiting_.empty() &&
                   now >= nextStart && now >= pace_.pausedUntil) {
                if (!start(waiting_.front(), error)) return false;
                waiting_.pop_front();
                nextStart = std::max(nextStart + interval, now - interval);
            }
            int ignored = 0;
            curl_multi_perform(multi_.get(), &ignored);
            finishDone();
            now = Clock::now();
            auto wait = std::chrono::milliseconds(100);
            if (!waiting_.empty() && running_.size() < static_cast<std::size_t>(options_.connections)) {
                const auto until = std::max(nextStart, pace_.pausedUntil) - now;
                wait = std::clamp(
                    std::chrono::duration_cast<std::chrono::milliseconds>(until) + std::chrono::milliseconds(1),
                    std::chrono::milliseconds(0), wait);
            }
            if (!running_.empty()) {
                curl_multi_poll(multi_.get(), nullptr, 0, static_cast<int>(wait.count()), nullptr);
            } else if (wait.count() > 0) {
                std::this_thread::sleep_for(wait);
            }
        }
        for (auto& t : running_) curl_multi_remove_handle(multi_.get(), t->easy.get());
        running_.clear();
        return true;
    }

private:
    bool start(const Waiting& w, std::string& error) {
        auto t = std::make_unique<Transfer>();
        t->job = w.job;
        t->tries = w.tries + 1;
        t->easy.reset(curl_easy_init());
        CURL* e = t->easy.get();
        if (e == nullptr) return error = "cannot set up an HTTP transfer", false;
        const TileJob& job = jobs_[w.job];
        curl_easy_setopt(e, CURLOPT_URL, tileUrl(options_.urlTemplate, job.key, options_.subdomains).c_str());
        curl_easy_setopt(e, CURLOPT_USERAGENT, options_.userAgent.c_str());
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(e, CURLOPT_MAXREDIRS, 3L);
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_TIMEOUT, static_cast<long>(options_.timeoutSeconds));
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, static_cast<long>(std::min(options_.timeoutSeconds, 15)));
        curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxTileBytes));
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, collect);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, t.get());
        curl_easy_setopt(e, CURLOPT_PRIVATE, t.get());
        curl_slist* list = curl_slist_append(nullptr, "Accept: image/png, image/jpeg;q=0.9, image/*;q=0.5");
        if (!job.held.etag.empty()) list = curl_slist_append(list, ("If-None-Match: " + job.held.etag).c_str());
        t->headers.reset(list);
        curl_easy_setopt(e, CURLOPT_HTTPHEADER, list);
        const time_t since = job.held.lastModified.empty() ? -1 : curl_getdate(job.held.lastModified.c_str(), nullptr);
        if (since >= 0) {
            curl_easy_setopt(e, CURLOPT_TIMECONDITION, static_cast<long>(CURL_TIMECOND_IFMODSINCE));
            curl_easy_setopt(e, CURLOPT_TIMEVALUE_LARGE, static_cast<curl_off_t>(since));
        }
        if (curl_multi_add_handle(multi_.get(), e) != CURLM_OK) return error = "cannot start an HTTP transfer", false;
        running_.push_back(std::move(t));
        return true;
    }

    void finishDone() {
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi_.get(), &left)) {
            if (msg->msg != CURLMSG_DONE) continue;
            const auto found = std::find_if(running_.begin(), running_.end(),
                                            [&](const auto& t) { return t->easy.get() == msg->easy_handle; });
            if (found == running_.end()) continue;
            std::unique_ptr<Transfer> t = std::move(*found);
            running_.erase(found);
            const CURLcode code = msg->data.result;
            curl_multi_remove_handle(multi_.get(), t->easy.get());
            finish(*t, code);
        }
    }

    void finish(Transfer& t, CURLcode code) {
        CURL* e = t.easy.get();
        TileAnswer answer;
        answer.key = jobs_[t.job].key;
        long status = 0;
        curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
        if (code == CURLE_OK && (status == 429 || status == 503) && t.tries < options_.maxTries) {
            curl_off_t after = -1;
            curl_easy_getinfo(e, CURLINFO_RETRY_AFTER, &after);
            const double backOff = std::min(60.0, std::ldexp(1.0, t.tries - 1));
            const double seconds = after > 0 ? std::min<double>(static_cast<double>(after), 3600) : backOff;
            pace_.pausedUntil = std::max(pace_.pausedUntil, Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                                               std::chrono::duration<double>(seconds)));
            waiting_.push_front({t.job, t.tries});
            return;
        }
        const auto now =
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        answer.freshness = {
            header(e, "ETag"), header(e, "Last-Modified"),
            freshUntil(header(e, "Cache-Control"), header(e, "Expires"), header(e, "Date"), header(e, "Age"), now)};
        if (code != CURLE_OK) {
            answer.why = curl_easy_strerror(code);
        } else if (status == 200) {
            answer.why = unshowableTileReason(t.body);
            if (answer.why.empty()) {
                answer.result = FetchResult::Fetched;
                answer.bytes = std::move(t.body);
            }
        } else if (status == 304) {
            answer.result = FetchResult::NotModified;
        } else if (status == 404 || status == 204) {
            answer.result = FetchResult::Absent;
        } else {
            answer.why = "the server answered " + std::to_string(status) +
                         (status == 429 || status == 503 ? " " + std::to_string(t.tries) + " times" : "");
        }
        answered_(answer);
    }

    const FetchOptions& options_;
    FetchPace& pace_;
    std::span<const TileJob> jobs_;
    const std::function<void(TileAnswer&)>& answered_;
    std::unique_ptr<CURLM, MultiFree> multi_;
    std::deque<Waiting> waiting_;
    std::vector<std::unique_ptr<Transfer>> running_;
};

}  // namespace

std::string tileUrl(const std::string& urlTemplate, const TileKey& key, const std::string& subdomains) {
    std::string url = urlTemplate.find("://") == std::string::npos ? "https://" + urlTemplate : urlTemplate;
    replaceAll(url, "{z}", std::to_string(key.zoom));
    replaceAll(url, "{x}", std::to_string(key.col));
    replaceAll(url, "{y}", std::to_string(key.row));
    replaceAll(url, "{-y}", std::to_string(flipRow(key.zoom, key.row)));
    if (!subdomains.empty()) {
        const auto pick = static_cast<std::size_t>((key.col + key.row) % static_cast<std::int64_t>(subdomains.size()));
        replaceAll(url, "{s}", std::string(1, subdomains[pick]));
    }
    return url;
}

bool urlSchemeAndHost(const std::string& url, std::string& scheme, std::string& host) {
    const std::unique_ptr<CURLU, UrlFree> parsed(curl_url());
    char* part = nullptr;
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return false;
    if (curl_url_get(parsed.get(), CURLUPART_SCHEME, &part, 0) != CURLUE_OK) return false;
    scheme = lowered(part);
    curl_free(part);
    if (curl_url_get(parsed.get(), CURLUPART_HOST, &part, 0) != CURLUE_OK) return false;
    host = lowered(part);
    curl_free(part);
    return true;
}

std::string bulkFetchRefusal(const std::string& host) {
    std::string h = lowered(host);
    while (!h.empty() && h.back() == '.') h.pop_back();
    const std::string osm = "tile.openstreetmap.org";
    if (h == osm ||
        (h.size() > osm.size() && h.compare(h.size() - osm.size() - 1, std::string::npos, "." + osm) == 0)) {
        return h +
               " is OpenStreetMap's own tile server, whose usage policy forbids bulk and offline "
               "downloads (https://operations.osmfoundation.org/policies/tiles/); use a tile provider "
               "that allows them, or render your own tiles";
    }
    return "";
}

bool isLoopbackHost(const std::string& host) {
    std::string h = lowered(host);
    if (h.size() > 2 && h.front() == '[' && h.back() == ']') h = h.substr(1, h.size() - 2);
    in_addr v4{};
    in6_addr v6{};
    if (inet_pton(AF_INET, h.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    if (inet_pton(AF_INET6, h.c_str(), &v6) == 1) return IN6_IS_ADDR_LOOPBACK(&v6);
    return h == "localhost";
}

std::int64_t freshUntil(const std::string& cacheControl, const std::string& expires, const std::string& date,
                        const std::string& age, std::int64_t now) {
    const std::string cc = lowered(cacheControl);
    std::int64_t maxAge = -1;
    for (std::size_t at = 0; at <= cc.size();) {
        const std::size_t comma = std::min(cc.find(',', at), cc.size());
        const std::string directive = trimmed(cc.substr(at, comma - at));
        at = comma + 1;
        if (directive == "no-cache" || directive == "no-store") return now;
        if (directive.rfind("max-age=", 0) == 0) {
            char* end = nullptr;
            const long long value = std::strtoll(directive.c_str() + 8, &end, 10);
            if (end != directive.c_str() + 8 && *end == '\0' && value >= 0) {
                maxAge = std::min<long long>(value, 1LL << 40);
            }
        }
    }
    if (maxAge >= 0) {
        const long long aged = std::strtoll(age.c_str(), nullptr, 10);
        return now + std::max<std::int64_t>(0, maxAge - std::clamp<long long>(aged, 0, maxAge));
    }
    if (!expires.empty()) {
        const std::int64_t until = curl_getdate(expires.c_str(), nullptr);
        if (until < 0) return now;  // an Expires that is not a date means already expired
        const std::int64_t serverNow = date.empty() ? -1 : curl_getdate(date.c_str(), nullptr);
        return std::max(now, serverNow >= 0 ? now + (until - serverNow) : until);
    }
    return now + kDefaultFreshSeconds;
}

std::string unshowableTileReason(std::span<const std::uint8_t> bytes) {
    const TileDecodeResult decoded = decodeTileImage(bytes);
    // A tile the map shows decodes to 256 x 256 (one of 512 is halved); any other size is
    // refused by the decoder.
    if (!decoded.bitmap) return decoded.rejected ? std::string(decoded.reason) : "is too large to show";
    return "";
}

bool fetchTiles(const FetchOptions& options, FetchPace& pace, std::span<const TileJob> jobs,
                const std::function<void(TileAnswer&)>& answered, const std::function<bool()>& keepGoing,
                std::string& error) {
    return Fetcher(options, pace, jobs, answered).run(keepGoing, error);
}

}  // namespace quorel
