#include "app/program.h"

#include <cstdio>

#include "platform/paths.h"
#include "platform/single_instance.h"

namespace quorel {

int runProgram(const Options& options, FrontEnd& frontEnd) {
    // A second start leaves at once, saying why in one line; the running one is not
    // disturbed. A lock that cannot be taken at all ends the start the same way.
    const platform::LockAttempt lock = platform::SingleInstanceLock::acquire(platform::lockFilePath("Quorel"));
    if (!lock.lock) {
        std::fprintf(stderr, "quorel: %s; not starting\n", lock.problem.c_str());
        return 0;
    }

    App app(frontEnd.clock(), frontEnd.window(), frontEnd.powerBackend(), frontEnd.serialDevice());
    app.programDir = options.home.empty() ? platform::executableDir() : std::filesystem::path(options.home);
    app.deviceRoot = options.root.empty() ? app.programDir : std::filesystem::path(options.root);
    app.power.programDir = app.programDir;
    app.power.osVersion6OrLater = platform::kernelMajorVersion() >= 6;

    initGps(app.gps, app.programDir, app.deviceRoot);
    app.portResult = openGpsPort(app.gps.port, app.gps.settings);
    openTrackLog(app.gps.receiver, app.clock);

    const int status = frontEnd.runDialog(app);

    // Without a port found by the search there is no teardown: the log stays as it is and
    // the next start makes its dated copy.
    if (app.portResult >= 0) shutdownGps(app.gps);
    destroyMapView(app.view);
    return status;
}

}  // namespace quorel
