// A point as the log writes it, and what it names:
//   writeTrackPointToLog(gps, 34.4824466, 135.8241783, 12.5, 180708, 143514)
//   <trkpt lat="34.482447" lon="135.824178">
//    <ele>12.500000</ele>
//    <time>2008-07-18T14:35:14Z</time>
//   </trkpt>
//   -> when it is the first timed point: datedTrackPath = root + "GPX/2008-07-18_23-35-14.gpx"
#include "gps/track_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <vector>

#include "gps/gps_receiver.h"
#include "gpx/gpx_reader.h"
#include "platform/format.h"
#include "platform/paths.h"
#include "platform/scan.h"

namespace quorel {
namespace {

constexpr std::size_t kCopyBufferBytes = 64 * 1024;
constexpr int kMaxAlternativeNames = 1000;
// Tries at exit to put the points that wait on the card, then in the rescue file.
constexpr int kFinalAttempts = 10;

bool isLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 31;  // a date the receiver garbled: advance as in a long month
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// "YYYY-MM-DDThh:mm:ss" as writeTrackPointText writes it (any sign in the fields included).
std::optional<UtcStamp> parseTimeElement(std::string_view text) {
    UtcStamp s;
    int* const fields[6] = {&s.year, &s.month, &s.day, &s.hour, &s.minute, &s.second};
    const char separators[6] = {'-', '-', 'T', ':', ':', 'Z'};
    for (int i = 0; i < 6; ++i) {
        std::int32_t v = 0;
        const auto r = platform::scanInt(text, v);
        if (!r.ok || r.consumed >= text.size() || text[r.consumed] != separators[i]) return std::nullopt;
        *fields[i] = v;
        text.remove_prefix(r.consumed + 1);
    }
    return s;
}

std::string dirOf(const GpsReceiver& gps) { return platform::storagePath(gps.storageRootPath, kTrackLogDir); }

// What a working log holds: the bytes up to the end of its last complete point, and
// the time of its first timed point. A tail torn by a kill or a power loss (half a
// point, stray bytes) lies after the last complete point and is left out.
struct LogContents {
    std::int64_t keepBytes = 0;  // 0: no complete point
    bool lastLineOpen = false;   // the last point's end tag is not followed by a line feed
    std::optional<UtcStamp> firstTime;
    std::time_t modified = 0;
};

std::optional<LogContents> scanLog(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    LogContents log;
    log.modified = st.st_mtime;

    constexpr std::size_t kLineKept = 1024;  // our lines are short; longer ones are garbage
    std::string line;
    bool inPoint = false;
    bool lineDamaged = false;
    bool ended = false;  // past the end of the segment or at damage: nothing further is the log's
    std::int64_t offset = 0;
    const auto endLine = [&](bool open) {
        // The closing lines, a write cut off by a repair that failed, or a range that a
        // power cut left unwritten (zeros) end what is read: points beyond them are
        // remnants (of points kept to be written again, or of a log this one replaced).
        if (lineDamaged || line.find("</trkseg>") != std::string::npos) ended = true;
        if (ended) return;
        if (line.find("<trkpt") != std::string::npos) inPoint = true;
        if (inPoint && !log.firstTime) {
            if (const auto t = line.find("<time>"); t != std::string::npos) {
                log.firstTime = parseTimeElement(std::string_view(line).substr(t + 6));
            }
        }
        if (line.find("</trkpt>") != std::string::npos) {
            log.keepBytes = offset;
            log.lastLineOpen = open;
            inPoint = false;
        }
    };
    std::vector<char> buffer(kCopyBufferBytes);
    for (;;) {
        const std::int64_t n = platform::readAt(fd, buffer.data(), buffer.size(), offset);
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        for (std::int64_t i = 0; i < n && !ended; ++i) {
            ++offset;
            const char c = buffer[static_cast<std::size_t>(i)];
            if (c == '\n') {
                endLine(false);
                line.clear();
                lineDamaged = false;
                continue;
            }
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r') lineDamaged = true;
            if (line.size() < kLineKept) line.push_back(c);
        }
        if (ended) break;
    }
    if (!line.empty() && !ended) endLine(true);
    return log;
}

std::string copyTail(const LogContents& log) {
    std::string tail = log.lastLineOpen ? "\n" : "";
    tail += kGpxFooter;
    return tail;
}

std::size_t chunkAt(const LogContents& log, std::int64_t at) {
    return static_cast<std::size_t>(std::min<std::int64_t>(kCopyBufferBytes, log.keepBytes - at));
}

// The copy's bytes are the log's first keepBytes and the tail.
bool sameAsCopy(const std::string& file, int logFd, const LogContents& log, std::string_view tail) {
    const platform::UniqueFd other = platform::openRegularFile(file);
    struct stat st {};
    if (!other || ::fstat(other.get(), &st) != 0 ||
        st.st_size != log.keepBytes + static_cast<std::int64_t>(tail.size())) {
        return false;
    }
    std::vector<char> a(kCopyBufferBytes);
    std::vector<char> b(kCopyBufferBytes);
    for (std::int64_t at = 0; at < log.keepBytes;) {
        const std::size_t want = chunkAt(log, at);
        const auto wanted = static_cast<std::int64_t>(want);
        if (platform::readAt(logFd, a.data(), want, at) != wanted ||
            platform::readAt(other.get(), b.data(), want, at) != wanted || std::memcmp(a.data(), b.data(), want) != 0) {
            return false;
        }
        at += wanted;
    }
    std::string end(tail.size(), '\0');
    return platform::readAt(other.get(), end.data(), end.size(), log.keepBytes) ==
               static_cast<std::int64_t>(end.size()) &&
           end == tail;
}

// The body of a copy: the log's first keepBytes, then the tail.
bool writeCopy(int out, int logFd, const LogContents& log, std::string_view tail) {
    std::vector<char> buffer(kCopyBufferBytes);
    for (std::int64_t at = 0; at < log.keepBytes;) {
        const std::size_t want = chunkAt(log, at);
        if (platform::readAt(logFd, buffer.data(), want, at) != static_cast<std::int64_t>(want) ||
            !platform::writeAll(out, std::string_view(buffer.data(), want), at)) {
            return false;
        }
        at += static_cast<std::int64_t>(want);
    }
    return platform::writeAll(out, tail, log.keepBytes);
}

std::string nameFor(const LogContents& log) {
    if (log.firstTime) return datedTrackName(toLocalTime(*log.firstTime));
    std::tm tm{};
    const std::time_t t = log.modified;
    if (::gmtime_r(&t, &tm) == nullptr) return datedTrackName(UtcStamp{});
    return datedTrackName(
        toLocalTime(UtcStamp{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec}));
}

// Copies the complete points of the log at logPath to dir + name, or to the first free
// "name_N" when a different file holds that name already.
SaveResult saveLogCopy(const std::string& logPath, const std::string& dir, std::string name) {
    std::error_code ec;
    if (!std::filesystem::exists(logPath, ec) && !ec) return SaveResult::NothingToSave;
    // Something that is no file in the log's place (a folder, a FIFO) is not read.
    const platform::UniqueFd logFd = platform::openRegularFile(logPath);
    if (!logFd) return SaveResult::Failed;
    const std::optional<LogContents> log = scanLog(logFd.get());
    if (!log) return SaveResult::Failed;
    if (log->keepBytes == 0) return SaveResult::NothingToSave;
    if (name.empty()) name = nameFor(*log);
    const std::string tail = copyTail(*log);
    const std::string stem = name.size() > 4 ? name.substr(0, name.size() - 4) : name;  // without ".gpx"
    for (int n = 1; n <= kMaxAlternativeNames; ++n) {
        const std::string target = dir + (n == 1 ? name : platform::format("%s_%d.gpx", stem.c_str(), n));
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0) {
            if (errno != ENOENT) return SaveResult::Failed;
            const bool saved =
                platform::replaceFile(target, [&](int out) { return writeCopy(out, logFd.get(), *log, tail); });
            return saved ? SaveResult::Saved : SaveResult::Failed;
        }
        if (sameAsCopy(target, logFd.get(), *log, tail)) return SaveResult::AlreadySaved;
    }
    return SaveResult::Failed;
}

}  // namespace

UtcStamp toLocalTime(UtcStamp s) {
    s.hour += kLocalHourShift;
    if (s.hour < 24) return s;
    s.hour -= 24;
    if (++s.day > daysInMonth(s.year, s.month)) {
        s.day = 1;
        if (++s.month > 12) {
            s.month = 1;
            ++s.year;
        }
    }
    return s;
}

std::string datedTrackName(const UtcStamp& t) {
    return platform::format("%d-%02d-%02d_%02d-%02d-%02d.gpx", t.year, t.month, t.day, t.hour, t.minute, t.second);
}

namespace {

// Puts the closing lines back at footerOffset and cuts off what a failed write left
// after them, so the file is again the whole GPX it was; without a header on the card
// (footerOffset 0) it is empty again (never a run of zeros once space returns).
bool putBack(int fd, std::int64_t footerOffset) {
    const bool hasHeader = footerOffset > 0;
    const auto end = hasHeader ? footerOffset + static_cast<std::int64_t>(kGpxFooter.size()) : 0;
    return (!hasHeader || platform::writeAll(fd, kGpxFooter, footerOffset)) &&
           ::ftruncate(fd, static_cast<off_t>(end)) == 0;
}

// Writes what the card refused so far, with the closing lines after it, where the
// closing lines stand. True when it is on the card (or there was nothing to write).
bool writeUnwritten(GpsReceiver& gps) {
    TrackLogFile& log = gps.trackFile;
    if (log.unwritten.empty()) return true;
    if (!log.isOpen()) return false;
    const auto bytes = static_cast<std::int64_t>(log.unwritten.size());
    log.unsynced = true;  // even a failed write may have changed the file
    if (platform::writeAll(log.fd.get(), log.unwritten + std::string(kGpxFooter), log.footerOffset)) {
        log.footerOffset += bytes;
        log.pointsWritten += log.unwrittenPoints;
        log.pointsOnCard += log.unwrittenPoints;
        if (gps.datedNamePending && log.unwrittenTime != 0) {
            gps.datedNamePending = false;
            gps.datedTrackPath =
                dirOf(gps) + datedTrackName(toLocalTime(decodeStamp(log.unwrittenDate, log.unwrittenTime)));
        }
        log.unwritten.clear();
        log.unwrittenPoints = 0;
        log.unwrittenDate = log.unwrittenTime = 0;
        log.notWritten.clear();
        return true;
    }
    log.notWritten = gps.trackFilePath + ": " + std::strerror(errno);
    if (!putBack(log.fd.get(), log.footerOffset)) {
        // The file's end is unknown: it may hold part or all of what was refused, which
        // waits to be written again. It is put back before the log starts again (as at
        // the next start, once the card takes writes), so that no point is there twice.
        log.putBackAt = log.footerOffset;
        static_cast<void>(log.fd.close());
    }
    return false;
}

// Adds text (the header, points) to what waits for the card. Past kMaxUnwrittenBytes the
// text is dropped; the points stay in the recorded track.
void keepUnwritten(TrackLogFile& log, std::string_view text, int points, std::int32_t date, std::int32_t time) {
    if (log.unwritten.size() + text.size() > kMaxUnwrittenBytes) {
        log.droppedPoints += points;
        return;
    }
    log.unwritten += text;
    log.unwrittenPoints += points;
    if (log.unwrittenTime == 0 && date != 0 && time != 0) {
        log.unwrittenDate = date;
        log.unwrittenTime = time;
    }
}

void startLogOnCard(GpsReceiver& gps);

}  // namespace

void syncTrackLogIfDue(GpsReceiver& gps) {
    TrackLogFile& log = gps.trackFile;
    if (!log.isRecording() || (log.isOpen() && !log.unsynced)) return;
    const std::int64_t now = log.clock->nowMs();
    if (now - log.lastSyncMs < kTrackSyncIntervalMs) return;
    log.lastSyncMs = now;  // a sync that fails is tried again one interval later
    // A log that could not be started (no card, a card that refuses it) is tried again.
    if (!log.isOpen()) {
        startLogOnCard(gps);
        return;
    }
    // What the card refused is tried again too, so that a card with room again receives
    // it while the receiver stands still.
    if (!writeUnwritten(gps) && !log.isOpen()) return;
    if (::fdatasync(log.fd.get()) != 0) return;
    log.unsynced = false;
    ++log.syncCount;
}

void writeTrackPointToLog(GpsReceiver& gps, double lat, double lon, double ele, std::int32_t date, std::int32_t time) {
    TrackLogFile& log = gps.trackFile;
    if (!log.isRecording()) return;
    // A position that is no number cannot be drawn or read back; the file stays valid GPX.
    if (!std::isfinite(lat) || !std::isfinite(lon)) return;
    if (!std::isfinite(ele)) ele = 0.0;
    std::string text;
    writeTrackPointText(text, lat, lon, ele, date, time);
    keepUnwritten(log, text, 1, date, time);
    if (!writeUnwritten(gps) && !log.isOpen()) return;
    syncTrackLogIfDue(gps);
}

void loadPreviousTrack(GpsReceiver& gps) {
    gps.trackFilePath = platform::storagePath(gps.storageRootPath, kTrackLogName);
    gps.track.clearPoints();
    // Something that is no file in the log's place (a FIFO) is not read: it counts as missing.
    std::error_code ec;
    if (std::filesystem::is_regular_file(gps.trackFilePath, ec)) loadTrackFile(gps.trackFilePath, gps.track);
    gps.previousRunPoints = gps.track.pointCount();
}

SaveResult recoverTrackLog(GpsReceiver& gps) {
    if (gps.trackFilePath.empty()) gps.trackFilePath = platform::storagePath(gps.storageRootPath, kTrackLogName);
    return saveLogCopy(gps.trackFilePath, dirOf(gps), "");
}

namespace {

// The previous run's log that could not be copied, opened so that this run's points go
// after its last complete point (a torn tail is cut off). False when it cannot be used.
// pending: what this run recorded before the log was opened.
bool continueTrackLog(GpsReceiver& gps, std::string& pending) {
    TrackLogFile& log = gps.trackFile;
    // Something that is no file in the log's place (a FIFO, a device) is not written to.
    platform::UniqueFd fd = platform::openRegularFileWith(gps.trackFilePath, O_RDWR);
    const std::optional<LogContents> previous = fd ? scanLog(fd.get()) : std::nullopt;
    if (!previous || previous->keepBytes == 0) return false;
    log.fd = std::move(fd);
    log.footerOffset = previous->keepBytes;
    log.holdsEarlierRun = true;
    gps.datedNamePending = !previous->firstTime;
    gps.datedTrackPath = previous->firstTime ? dirOf(gps) + datedTrackName(toLocalTime(*previous->firstTime)) : "";
    log.unwritten = (previous->lastLineOpen ? "\n" : "") + pending;
    // The closing lines written again after the last complete point, and what stood beyond
    // them cut off, make the file whole again after a torn tail.
    if (log.unwritten.empty() && !platform::writeAll(log.fd.get(), kGpxFooter, log.footerOffset)) return false;
    writeUnwritten(gps);
    const auto end = log.footerOffset + static_cast<std::int64_t>(kGpxFooter.size());
    return log.isOpen() && ::ftruncate(log.fd.get(), static_cast<off_t>(end)) == 0;
}

// The start of the log on the card: the previous log copied (or continued when that
// fails), then a new log with the header and what this run recorded so far. When the
// storage root is missing (a card not inserted) or the card refuses the log, the log
// stays closed, what was recorded stays unwritten and notWritten says why.
void startLogOnCard(GpsReceiver& gps) {
    TrackLogFile& log = gps.trackFile;
    std::error_code ec;
    if (!std::filesystem::is_directory(gps.storageRootPath, ec)) {
        log.notWritten = "the storage root " + gps.storageRootPath + " is not there (no card?)";
        return;
    }
    if (log.putBackAt >= 0) {
        const platform::UniqueFd fd = platform::openRegularFileWith(gps.trackFilePath, O_RDWR);
        if (!fd || !putBack(fd.get(), log.putBackAt) || ::fdatasync(fd.get()) != 0) {
            log.notWritten = gps.trackFilePath + ": cannot be put back after a failed write";
            return;
        }
        log.putBackAt = -1;
    }
    const SaveResult previous = recoverTrackLog(gps);
    std::filesystem::create_directory(dirOf(gps), ec);

    // What this run recorded so far goes after the header or the previous run's points;
    // a header kept from an earlier attempt is written anew.
    const std::size_t firstPoint = log.unwritten.find("<trkpt");
    std::string pending = firstPoint == std::string::npos ? "" : log.unwritten.substr(firstPoint);
    log.unwritten.clear();
    log.footerOffset = 0;
    log.pointsWritten = 0;
    log.holdsEarlierRun = false;
    if (previous == SaveResult::Failed) {
        // Emptying a log whose points could not be saved would lose them.
        if (!continueTrackLog(gps, pending)) {
            log.notWritten = gps.trackFilePath + ": can be neither copied nor continued";
            static_cast<void>(log.fd.close());
            // Unless the points reached the card before the failure, they wait again.
            log.unwritten = log.unwrittenPoints > 0 ? std::move(pending) : std::string();
            log.footerOffset = 0;
            log.holdsEarlierRun = false;
        }
        return;
    }
    log.fd = platform::openRegularFileWith(gps.trackFilePath, O_RDWR | O_CREAT | O_TRUNC);
    if (!log.isOpen()) {
        log.notWritten = gps.trackFilePath + ": " + std::strerror(errno);
        log.unwritten = std::move(pending);
        return;
    }
    // The emptying reaches the card before the new header does: a power cut in between
    // never leaves the new lines over the old ones (whose points are in their copy).
    static_cast<void>(::fdatasync(log.fd.get()));
    gps.datedNamePending = true;
    gps.datedTrackPath.clear();
    writeGpxHeader(log.unwritten, "Current");
    log.unwritten += pending;
    // A header the card refuses stays unwritten: the file stays empty, and the header goes
    // with the first point the card takes.
    if (!writeUnwritten(gps) || !log.isOpen()) return;
    log.unsynced = ::fdatasync(log.fd.get()) != 0;
    if (!log.unsynced) ++log.syncCount;
}

// The points the card did not take, as a GPX file of their own in gps.rescueDir, named
// like a dated copy. False when there is no such folder or the file cannot be written.
bool rescueUnwrittenPoints(GpsReceiver& gps) {
    TrackLogFile& log = gps.trackFile;
    const std::size_t firstPoint = log.unwritten.find("<trkpt");
    if (gps.rescueDir.empty() || firstPoint == std::string::npos) return false;
    std::string text;
    writeGpxHeader(text, "Current");
    text.append(log.unwritten, firstPoint);
    writeGpxFooter(text);
    std::error_code ec;
    std::filesystem::create_directories(gps.rescueDir, ec);
    std::string name = datedTrackName(toLocalTime(decodeStamp(log.unwrittenDate, log.unwrittenTime)));
    if (log.unwrittenTime == 0) {
        const std::time_t now = std::time(nullptr);
        std::tm tm{};
        ::gmtime_r(&now, &tm);
        name = datedTrackName(
            toLocalTime(UtcStamp{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec}));
    }
    const std::string stem = platform::storagePath(gps.rescueDir, name.substr(0, name.size() - 4));
    for (int n = 1; n <= kMaxAlternativeNames; ++n) {
        const std::string target = n == 1 ? stem + ".gpx" : platform::format("%s_%d.gpx", stem.c_str(), n);
        struct stat st {};
        if (::lstat(target.c_str(), &st) == 0) continue;
        if (errno != ENOENT) return false;
        if (!platform::replaceFile(target, [&text](int fd) { return platform::writeAll(fd, text, 0); })) return false;
        gps.trackLogEnd.rescueFile = target;
        return true;
    }
    return false;
}

}  // namespace

void openTrackLog(GpsReceiver& gps, platform::Clock& clock) {
    TrackLogFile& log = gps.trackFile;
    if (log.isRecording()) return;
    log = TrackLogFile{};
    log.clock = &clock;
    log.lastSyncMs = clock.nowMs();
    startLogOnCard(gps);
}

bool closeTrackLog(GpsReceiver& gps) {
    TrackLogFile& log = gps.trackFile;
    if (!log.isRecording()) return true;
    // A few more tries: the card may be back, and a card that failed a write may take the
    // next one.
    bool allWritten = false;
    for (int attempt = 0; attempt < kFinalAttempts && !allWritten; ++attempt) {
        if (!log.isOpen()) startLogOnCard(gps);
        allWritten = writeUnwritten(gps) || log.unwrittenPoints == 0;
    }
    bool onCard = log.unwrittenPoints == 0;
    if (log.isOpen()) {
        const bool synced = !log.unsynced || ::fdatasync(log.fd.get()) == 0;
        const bool logOnCard = log.fd.close() && synced && allWritten;
        bool copied = true;
        if (log.pointsWritten > 0 || log.holdsEarlierRun) {
            std::string name;
            if (!gps.datedTrackPath.empty()) name = std::filesystem::path(gps.datedTrackPath).filename().string();
            copied = saveLogCopy(gps.trackFilePath, dirOf(gps), name) != SaveResult::Failed;
        }
        onCard = (copied && allWritten) || logOnCard;
    }
    TrackLogEnd& end = gps.trackLogEnd;
    end = TrackLogEnd{};
    end.pointsOnCard = log.pointsOnCard;
    end.pointsLost = log.droppedPoints;
    if (log.unwrittenPoints > 0) {
        bool rescued = false;
        for (int attempt = 0; attempt < kFinalAttempts && !rescued; ++attempt) rescued = rescueUnwrittenPoints(gps);
        (rescued ? end.pointsRescued : end.pointsLost) += log.unwrittenPoints;
    }
    log = TrackLogFile{};
    return onCard && end.pointsLost == 0;
}

int saveCurrentRoute(const std::string& path, const GpxPath& route) {
    std::string text;
    writeGpxHeader(text, "Root");
    for (const GeoPoint& p : route.points.items()) writeRoutePoint(text, p);
    writeGpxFooter(text);
    return platform::replaceFile(path, [&text](int fd) { return platform::writeAll(fd, text, 0); }) ? 0 : -1;
}

}  // namespace quorel
