// A preload library for the I/O fault runs (tools/io-faults): it stands in front of
// libfiu's fiu_fail, which the POSIX preload asks before each call it may fail, and
// appends the name of every failure point that fired to the file $QUOREL_FIU_TALLY,
// one line each, so that a run tells how many faults it really received. Each line is
// written at once with raw system calls: libfiu fails none of them, and a run that
// crashes has counted all the same.
//
//   LD_PRELOAD="libquorel-fiu-tally.so /usr/lib/fiu/fiu_run_preload.so
//               /usr/lib/fiu/fiu_posix_preload.so" QUOREL_FIU_TALLY=faults.txt program
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

using FailFunction = int (*)(const char*);

std::mutex tallyMutex;
int tallyFd = -1;

void recordFault(const char* name) {
    const std::lock_guard lock(tallyMutex);
    if (tallyFd < 0) {
        const char* path = std::getenv("QUOREL_FIU_TALLY");
        if (path == nullptr) return;
        tallyFd =
            static_cast<int>(::syscall(SYS_openat, AT_FDCWD, path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
        if (tallyFd < 0) return;
    }
    const std::size_t length = std::strlen(name);
    char line[256];
    if (length + 1 > sizeof line) return;
    std::memcpy(line, name, length);
    line[length] = '\n';
    static_cast<void>(::syscall(SYS_write, tallyFd, line, length + 1));
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int fiu_fail(const char* name) {
    static const auto real = reinterpret_cast<FailFunction>(::dlsym(RTLD_NEXT, "fiu_fail"));
    const int failed = real != nullptr ? real(name) : 0;
    if (failed != 0) recordFault(name);
    return failed;
}
