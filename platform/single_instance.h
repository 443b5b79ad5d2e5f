#pragma once
// One running instance per user: an exclusive lock on a file named after the program in
// $XDG_RUNTIME_DIR (else the temporary directory). The lock goes with the process, so a
// crashed instance never blocks the next start.
#include <optional>
#include <string>

namespace quorel::platform {

class SingleInstanceLock {
public:
    // The lock, or nothing when another process holds it (or it cannot be taken).
    static std::optional<SingleInstanceLock> acquire(const std::string& name);

    SingleInstanceLock(SingleInstanceLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    SingleInstanceLock& operator=(SingleInstanceLock&&) = delete;
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    ~SingleInstanceLock();

private:
    explicit SingleInstanceLock(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// The directory holding the lock files: $XDG_RUNTIME_DIR when set, else the temp dir.
std::string lockDirectory();

// The major version of the running kernel (uname), 0 when unknown.
int kernelMajorVersion();

}  // namespace quorel::platform
