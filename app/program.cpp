#include "app/program.h"

#include <cstdio>
#include <memory>
#include <system_error>

#include "gps/gps_settings.h"
#include "map/tile_store.h"
#include "platform/format.h"
#include "platform/gpsd_device.h"
#include "platform/paths.h"
#include "platform/single_instance.h"
#include "settings/map_settings.h"

namespace quorel {
namespace {

namespace fs = std::filesystem;

// True at the first file under a zoom and a column folder: the tree is walked only as far
// as that, so a full card answers at once.
bool holdsAnyTile(const fs::path& mapDir) {
    std::error_code ec;
    for (fs::directory_iterator zoom(mapDir, ec), end; !ec && zoom != end; zoom.increment(ec)) {
        if (!zoom->is_directory(ec)) continue;
        for (fs::directory_iterator col(zoom->path(), ec); !ec && col != end; col.increment(ec)) {
            if (!col->is_directory(ec)) continue;
            for (fs::directory_iterator row(col->path(), ec); !ec && row != end; row.increment(ec)) {
                if (row->is_regular_file(ec)) return true;
            }
            ec.clear();
        }
        ec.clear();
    }
    return false;
}

constexpr int kGpsdGreetingWaitMs = 500;

std::string withSeparator(std::string path) {
    if (path.empty() || path.back() != '/') path.push_back('/');
    return path;
}

// A user who started an empty install learns where everything goes: on standard error,
// and in the window until the first tile is shown (a start from the menu has no terminal).
std::string whereFilesLive(const App& app, const std::string& tileDir) {
    const std::string& storage = app.gps.receiver.storageRootPath;
    return platform::format(
        "no map tiles in %s\n"
        "settings: %ssetmap.txt and setgps.txt\n"
        "map tiles: %s<zoom>/<x>/<y>.png or the map file %s (storage root: RootDir in setgps.txt)\n"
        "GPX files: %s (shown at start), recorded tracks and the route in %s",
        tileDir.c_str(), withSeparator(app.programDir.string()).c_str(), tileDir.c_str(),
        mbtilesBeside(tileDir).c_str(), withSeparator(platform::storagePath(storage, "GPX\\Auto")).c_str(),
        withSeparator(platform::storagePath(storage, "GPX")).c_str());
}

// One "quorel: " line on standard error for each line of text.
void tellLines(const std::string& text) {
    for (std::size_t at = 0, end = 0; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::fprintf(stderr, "quorel: %s\n", text.substr(at, end - at).c_str());
    }
}

// A log that the card does not take at start: the run records all the same, and the
// user learns at once that the points wait, and why.
void tellWhyNothingIsRecorded(const GpsReceiver& gps) {
    if (!gps.trackFile.isStalled()) return;
    std::fprintf(stderr,
                 "quorel: the track is not being recorded on the card yet: %s; points are kept and written to %s "
                 "once it takes them\n",
                 gps.trackFile.notWritten.c_str(), gps.trackFilePath.c_str());
}

// Points that did not reach the card are never left unmentioned.
void tellWherePointsWent(const GpsReceiver& gps) {
    const TrackLogEnd& end = gps.trackLogEnd;
    if (end.pointsRescued == 0 && end.pointsLost == 0) return;
    std::fprintf(stderr, "quorel: %d points of this run are on the card (%s)", end.pointsOnCard,
                 gps.trackFilePath.c_str());
    if (end.pointsRescued > 0) {
        std::fprintf(stderr, "; %d points the card did not take are in %s", end.pointsRescued, end.rescueFile.c_str());
    }
    if (end.pointsLost > 0) std::fprintf(stderr, "; %d points could not be saved anywhere", end.pointsLost);
    std::fprintf(stderr, "\n");
}

// Without the folder the program still runs, on its defaults and without recording, as it
// does on a card that refuses writes; the user is told why.
void makeFolder(const fs::path& dir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) std::fprintf(stderr, "quorel: cannot create %s: %s\n", dir.c_str(), ec.message().c_str());
}

// The window is laid out before the loading ticks read setmap.txt, so the turn of the
// screen is read from it first; a value out of its choices is named here, once.
int rotationSetting(const fs::path& programDir) {
    MapView settings;
    DisplayIdle idle;
    std::vector<std::string> problems;
    loadMapSettings(settings, idle, programDir, &problems);
    for (const std::string& problem : problems) {
        std::fprintf(stderr, "quorel: %s: %s\n", (programDir / kMapSettingsFile).c_str(), problem.c_str());
    }
    return settings.rotation;
}

}  // namespace

int runProgram(const Options& options, FrontEnd& frontEnd) {
    const platform::ProgramFolders folders =
        platform::chooseProgramFolders(platform::folderFacts(options.home, options.root));
    // One run per storage root: a second start on the same card leaves at once, saying
    // why in one line, and the running one is not disturbed; a run on another root goes
    // ahead. The settings are only read here: nothing is written before the lock is held.
    // A lock that cannot be taken at all ends the start the same way. A headless run
    // whose script therefore did not run fails, so that a check never mistakes it for a pass.
    GpsSettings lockSettings;
    loadGpsSettings(lockSettings, folders.programDir);
    const platform::LockAttempt lock = platform::SingleInstanceLock::acquire(
        platform::lockFilePath("Quorel", platform::storageRootDir(lockSettings.storageRoot, folders.deviceRoot)));
    if (!lock.lock) {
        std::fprintf(stderr, "quorel: %s; not starting\n", lock.problem.c_str());
        return options.headless ? kExitLocked : 0;
    }

    std::unique_ptr<platform::GpsdSerialDevice> gpsd;  // outlives the port that may read through it
    App app(frontEnd.clock(), frontEnd.window(), frontEnd.powerBackend(), frontEnd.serialDevice());
    if (options.tileCacheMb >= 0) app.tiles.cache.setBudget(static_cast<std::size_t>(options.tileCacheMb) << 20);
    app.programDir = folders.programDir;
    app.deviceRoot = folders.deviceRoot;
    app.power.programDir = app.programDir;
    app.power.osVersion6OrLater = platform::kernelMajorVersion() >= 6;

    if (folders.inUserFolders) makeFolder(app.programDir);
    app.view.rotation = options.rotate >= 0 ? options.rotate : rotationSetting(app.programDir);
    initGps(app.gps, app.programDir, app.deviceRoot);
    if (!folders.stateDir.empty()) app.gps.receiver.rescueDir = withSeparator(folders.stateDir.string());
    // A storage root in the user's data folder or under --root is the program's own, so it
    // is made here and recording works from the first start; a storage root elsewhere is a
    // card that may be missing, and is never created.
    const std::string& storage = app.gps.receiver.storageRootPath;
    if (folders.ownsDeviceRoot && storage.rfind(withSeparator(app.deviceRoot.string()), 0) == 0) makeFolder(storage);
    const std::string tileDir = withSeparator(platform::storagePath(storage, app.view.mapDir));
    std::error_code ec;
    if (!holdsAnyTile(tileDir) && !fs::is_regular_file(mbtilesBeside(tileDir), ec)) {
        app.view.startHint = whereFilesLive(app, tileDir);
        tellLines(app.view.startHint);
    }

    app.portResult = openGpsPort(app.gps.port, app.gps.settings);
    // A receiver that would not open is named, with the reason, one line each.
    tellLines(frontEnd.serialDevice().openProblems());
    // gpsd usually holds the receiver for itself, so a search that found none asks it.
    if (app.portResult < 0 && options.gps.empty() && platform::gpsdAnswers({}, kGpsdGreetingWaitMs)) {
        gpsd = std::make_unique<platform::GpsdSerialDevice>(platform::GpsdAddress{}, app.clock);
        if (openSerialPortOn(app.gps.port, *gpsd, "COM0:", {})) {
            app.portResult = 0;
            std::fprintf(stderr,
                         "quorel: the port search found no receiver (/dev/ttyUSB0-9, /dev/ttyACM0-9); fixes "
                         "come from gpsd on localhost port 2947\n");
        }
    }
    openTrackLog(app.gps.receiver, app.clock);
    tellWhyNothingIsRecorded(app.gps.receiver);

    const int status = frontEnd.runDialog(app);

    // Without a port found by the search there is no teardown: the log stays as it is and
    // the next start makes its dated copy.
    if (app.portResult >= 0) {
        shutdownGps(app.gps);
        tellWherePointsWent(app.gps.receiver);
    }
    destroyMapView(app.view);
    return status;
}

}  // namespace quorel
