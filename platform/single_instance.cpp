#include "platform/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/format.h"
#include "platform/scan.h"

namespace quorel::platform {

std::filesystem::path lockFilePath(const std::string& name, const std::string& storageRoot) {
    std::error_code ec;
    std::string root = std::filesystem::weakly_canonical(storageRoot, ec).string();
    if (ec) root = storageRoot;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a: the same name from every build
    for (const unsigned char c : root) hash = (hash ^ c) * 1099511628211ull;
    const std::string tag = format("%016llx", static_cast<unsigned long long>(hash));
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0') {
        return std::filesystem::path(runtime) / format("%s-%s.lock", name.c_str(), tag.c_str());
    }
    std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
    if (ec) temp = "/tmp";
    return temp / format("%s-%u-%s.lock", name.c_str(), static_cast<unsigned>(::geteuid()), tag.c_str());
}

LockAttempt SingleInstanceLock::acquire(const std::filesystem::path& file) {
    LockAttempt attempt;
    const std::string path = file.string();
    // O_NOFOLLOW: a link planted at the name would lock (and create) whatever it points to.
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!fd) {
        attempt.problem = format("cannot open the lock file %s: %s", path.c_str(), std::strerror(errno));
        return attempt;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        attempt.problem =
            format("the lock file %s is not a file of this user; remove it or set XDG_RUNTIME_DIR", path.c_str());
        return attempt;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        attempt.problem =
            error == EWOULDBLOCK
                ? format("another instance is running on this storage root (it holds the lock %s)", path.c_str())
                : format("cannot lock %s: %s", path.c_str(), std::strerror(error));
        return attempt;
    }
    attempt.lock.emplace(SingleInstanceLock(std::move(fd)));
    return attempt;
}

int kernelMajorVersion() {
    utsname names{};
    if (::uname(&names) != 0) return 0;
    std::int32_t major = 0;
    return scanInt(names.release, major).ok ? major : 0;
}

}  // namespace quorel::platform
