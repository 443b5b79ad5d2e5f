#pragma once
// One running instance per user and storage root: an exclusive lock on a file named after
// the program and the storage root in $XDG_RUNTIME_DIR, or, when that is unset, in the
// temporary directory with the user id in its name (Quorel-1000-<root>.lock), since that
// directory is shared by every user. The lock goes with the process, so a crashed
// instance never blocks the next start.
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "platform/file_handle.h"

namespace quorel::platform {

struct LockAttempt;

class SingleInstanceLock {
public:
    // Takes the lock on file, creating it 0600. A file that is not a regular file of this
    // user (a symbolic link, a folder, one left by someone else) is refused, not used:
    // otherwise another user's lock would silently keep this user's program from running.
    static LockAttempt acquire(const std::filesystem::path& file);

    SingleInstanceLock(SingleInstanceLock&& other) noexcept = default;
    SingleInstanceLock& operator=(SingleInstanceLock&&) = delete;

private:
    explicit SingleInstanceLock(UniqueFd fd) : fd_(std::move(fd)) {}
    UniqueFd fd_;  // closing the descriptor releases the lock
};

// What an attempt to take the lock gave: the lock, or one line saying why not.
struct LockAttempt {
    std::optional<SingleInstanceLock> lock;
    std::string problem;  // empty when the lock was taken
};

// The lock file of the program called name, for the user running it and the storage root
// (a host folder): "<name>-<16 hex digits>.lock", the digits a hash of the root with its
// links resolved, so two spellings of one folder share a lock and two folders do not.
std::filesystem::path lockFilePath(const std::string& name, const std::string& storageRoot);

// The major version of the running kernel (uname), 0 when unknown.
int kernelMajorVersion();

}  // namespace quorel::platform
