#pragma once
// The running track log and the current route file, written in the fixed shape of
// gps/gpx_writer.h.
//
// The working log (storage root + "GPX/scurrent.gpx") is a complete GPX file after
// every recorded point: each point is written together with the closing lines, over
// the closing lines of the point before, in one write. Data reaches the card
// (fdatasync) at least every kTrackSyncIntervalMs of recording. At exit the log is
// copied to a name made of the local date and time of its first timed point
// ("GPX/2008-07-18_23-35-14.gpx"); a log that an earlier run left without that copy
// (killed, or the power went) is copied at the next start, before the new run
// empties the log. Copies are written under a temporary name and renamed, and an
// existing copy that differs is never replaced (the new one takes a "_2" name).
//
// The card may refuse a write (full, removed, failing). The file is then put back as it
// was before that write (an empty file when even the header was refused), and what was
// refused (the header, points) is kept and written before the next point, so a card
// that has room again receives every point of the run. A sync that fails leaves the log
// unsynced, so the next due sync tries again.
//
// When the previous run's log cannot be copied (card full, folder read-only), its
// points stay where they are and the new run appends its points to them, in the same
// segment, so that every reader (loadTrackFile included) reads both runs and the next
// start copies them together.
//
// The dated name is taken from the first point that carries a time (date and time
// both non-zero; only those points get a time element) and is on the card. When no point
// of the log has one, the copy is named after the time the log was last written.
#include <cstdint>
#include <string>
#include <string_view>

#include "gps/gpx_writer.h"
#include "gpx/collections.h"
#include "platform/clock.h"
#include "platform/file_handle.h"

namespace quorel {

struct GpsReceiver;

inline constexpr std::int64_t kTrackSyncIntervalMs = 10'000;
inline constexpr int kLocalHourShift = 9;  // the local time of the dated names: UTC + 9 h
inline constexpr std::string_view kTrackLogName = "GPX/scurrent.gpx";
inline constexpr std::string_view kTrackLogDir = "GPX/";
// Text the card refused is kept up to this size; later points stay in the recorded track only.
inline constexpr std::size_t kMaxUnwrittenBytes = 32 * 1024 * 1024;

// The open working log, or none. It owns the file: a receiver destroyed or initialised
// again closes it once.
struct TrackLogFile {
    platform::UniqueFd fd;
    std::int64_t footerOffset = 0;   // where the closing lines start: the next point goes there
                                     // (0 while the header is not on the card)
    std::string unwritten;           // text the card refused, written before the next point
    int unwrittenPoints = 0;         // points in unwritten
    std::int32_t unwrittenDate = 0;  // date and time of the first timed point in unwritten, 0: none
    std::int32_t unwrittenTime = 0;
    bool holdsEarlierRun = false;      // the file begins with a previous run that has no copy yet
    std::int64_t lastSyncMs = 0;       // of the last sync attempt
    bool unsynced = false;             // written since the last fdatasync that succeeded
    int pointsWritten = 0;             // points of this run in the file
    int syncCount = 0;                 // fdatasync calls that succeeded since the log was opened
    int pointsOnCard = 0;              // points of this run written, in this file or an earlier one
    int droppedPoints = 0;             // points beyond kMaxUnwrittenBytes: in the recorded track only
    std::int64_t putBackAt = -1;       // a failed write left the closed file's end unknown: its
                                       // closing lines go back here before the log starts again
    std::string notWritten;            // why the card is not taking the log now, for the user
    platform::Clock* clock = nullptr;  // set from openTrackLog to closeTrackLog: the run records

    bool isOpen() const { return fd.isOpen(); }
    bool isRecording() const { return clock != nullptr; }
    // Recording, but the log is not on the card: no card, a full or read-only card, a log
    // it refused. Everything recorded meanwhile waits in unwritten.
    bool isStalled() const { return isRecording() && (!isOpen() || !unwritten.empty()); }
};

// What became of a run's points at closeTrackLog.
struct TrackLogEnd {
    int pointsOnCard = 0;
    int pointsRescued = 0;  // written to rescueFile
    int pointsLost = 0;     // neither on the card nor rescued
    std::string rescueFile;
};

// kLocalHourShift hours later; past midnight the date advances over month and year
// ends and leap days. Out-of-range fields give some stamp, never undefined behaviour.
UtcStamp toLocalTime(UtcStamp utc);
// "%d-%02d-%02d_%02d-%02d-%02d.gpx"
std::string datedTrackName(const UtcStamp& local);

// Appends one recorded point to the running log on the card and names its dated copy
// after the first timed point written. pollGps calls it when gps.trackFile is open.
// When the card refuses even the repair of a failed write, the file's end is unknown:
// the log is closed there, and put back before it starts again (or the next start copies
// its complete points up to its closing lines).
void writeTrackPointToLog(GpsReceiver& gps, double lat, double lon, double ele, std::int32_t date, std::int32_t time);

// Forms trackFilePath under gps.storageRootPath and reads the previous run's log into
// gps.track.
void loadPreviousTrack(GpsReceiver& gps);

enum class SaveResult { Saved, AlreadySaved, NothingToSave, Failed };

// Gives a working log that holds points but has no dated copy (an earlier run was
// killed or lost power) its copy: the complete points, closed. openTrackLog calls it.
SaveResult recoverTrackLog(GpsReceiver& gps);

// Starts the working log after recoverTrackLog, which empties the previous run's log.
// When the previous log holds points that could not be saved, this run's points are
// appended to them instead. The clock paces the fdatasync calls. Creates the storage
// root's "GPX" folder when it is missing, never the storage root itself: without it (a
// card not inserted), or when the card refuses the log, the run records all the same;
// its points wait, and every kTrackSyncIntervalMs the start is tried again, so that they
// reach the card as soon as it is there and takes them.
void openTrackLog(GpsReceiver& gps, platform::Clock& clock = platform::systemClock());

// Syncs the log when it holds points written kTrackSyncIntervalMs or more after the
// last sync, or tries again to start a log that could not be started. writeTrackPointToLog calls it; a tick may call it
// too, so that the points before a stop reach the card while the receiver stands still.
void syncTrackLogIfDue(GpsReceiver& gps);

// Finishes the log and copies it to its dated name when it holds points (of this run, or
// of an earlier one it was appended to); refused points get a few more tries first. The
// copy is made even when the log's last sync or its close failed: it is written from the
// bytes the system holds and synced on its own. Points the card did not take are
// written to gps.rescueDir as a GPX file of their own, named like a dated copy;
// gps.trackLogEnd tells how many went where. True when the run's points are on the
// card: in the copy, or in a synced log that the next start copies.
bool closeTrackLog(GpsReceiver& gps);

// 0 when written, -1 when not. The file is replaced as one step and synced with its
// folder, so a crash or a power loss leaves the old route or the whole new one; a save
// that fails leaves the old one.
int saveCurrentRoute(const std::string& path, const GpxPath& route);

}  // namespace quorel
