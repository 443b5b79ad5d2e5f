#pragma once
// Owned file descriptors and the few file operations the program builds on: opening a
// file for reading without ever blocking, writing every byte or failing, and
// replacing a file so that a reader sees either the old or the whole new content.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

struct stat;  // <sys/stat.h>

namespace quorel::platform {

// Owns one descriptor and closes it once.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    explicit operator bool() const { return isOpen(); }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);
    // Closes now and tells whether the close succeeded (a delayed write error shows here).
    bool close();

private:
    int fd_ = -1;
};

// A regular file opened for reading. Anything else (a FIFO, a device, a directory) is
// refused without blocking, as if the file were missing: the open never waits.
UniqueFd openRegularFile(const std::filesystem::path& file);
// The same with the open flags given (O_RDWR | O_CREAT, O_WRONLY | O_TRUNC, ...): a FIFO,
// a device or a directory in the file's place is refused, and no open waits (a FIFO
// without a reader fails at once for writing). New files get mode 0644.
UniqueFd openRegularFileWith(const std::filesystem::path& file, int flags);

// The file's last modification, in nanoseconds since the epoch.
std::int64_t modifiedNs(const struct ::stat& st);

// Writes all of data at offset; false on any error (a full card, an I/O error).
bool writeAll(int fd, std::string_view data, std::int64_t offset);

// Reads up to size bytes at offset, retrying on EINTR; -1 on error.
std::int64_t readAt(int fd, void* buffer, std::size_t size, std::int64_t offset);

// Makes a rename or a new file in dir durable.
bool syncDirectory(const std::filesystem::path& dir);

// Replaces target as one step: writeBody fills a temporary file beside it, which is
// synced, renamed over target and made durable with its folder. A reader never sees a
// half-written target. False, with target untouched and the temporary file removed,
// when any step fails (writeBody returning false included).
bool replaceFile(const std::filesystem::path& target, const std::function<bool(int fd)>& writeBody);

// Removes the temporary file that a replacement of target killed half-way left beside
// it (a file or a link; never a folder).
void removeReplacementLeftover(const std::filesystem::path& target);

}  // namespace quorel::platform
