#include "platform/process_stats.h"

#include <dirent.h>
#include <sys/resource.h>

namespace quorel::platform {

long peakResidentKb() {
    struct rusage usage {};
    if (::getrusage(RUSAGE_SELF, &usage) != 0) return -1;
    return usage.ru_maxrss;  // KiB on Linux
}

int openDescriptorCount() {
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    int entries = 0;
    while (const dirent* e = ::readdir(dir)) {
        if (e->d_name[0] != '.') ++entries;
    }
    ::closedir(dir);
    return entries - 1;  // the listing's own descriptor
}

}  // namespace quorel::platform
