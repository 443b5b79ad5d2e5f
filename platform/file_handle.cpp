#include "platform/file_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace quorel::platform {

void UniqueFd::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

bool UniqueFd::close() {
    if (fd_ < 0) return true;
    return ::close(release()) == 0;
}

UniqueFd openRegularFile(const std::filesystem::path& file) { return openRegularFileWith(file, O_RDONLY); }

UniqueFd openRegularFileWith(const std::filesystem::path& file, int flags) {
    // O_NONBLOCK keeps the open of a FIFO without a writer (or reader) from waiting for one.
    UniqueFd fd(::open(file.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    const int status = ::fcntl(fd.get(), F_GETFL);
    if (status < 0 || ::fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK) != 0) return {};
    return fd;
}

std::int64_t modifiedNs(const struct ::stat& st) {
    return std::int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
}

bool writeAll(int fd, std::string_view data, std::int64_t offset) {
    while (!data.empty()) {
        const ssize_t n = ::pwrite(fd, data.data(), data.size(), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
        offset += n;
    }
    return true;
}

std::int64_t readAt(int fd, void* buffer, std::size_t size, std::int64_t offset) {
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        return n;
    }
}

bool syncDirectory(const std::filesystem::path& dir) {
    const UniqueFd d(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return d && ::fsync(d.get()) == 0;
}

namespace {

std::filesystem::path replacementTemp(const std::filesystem::path& target) {
    std::filesystem::path temp = target;
    temp += ".tmp";
    return temp;
}

}  // namespace

void removeReplacementLeftover(const std::filesystem::path& target) { ::unlink(replacementTemp(target).c_str()); }

bool replaceFile(const std::filesystem::path& target, const std::function<bool(int fd)>& writeBody) {
    const std::filesystem::path temp = replacementTemp(target);
    // A leftover of an interrupted replacement (or anything else of that name, a FIFO
    // included) goes first, so the open below neither blocks nor follows a link.
    ::unlink(temp.c_str());
    UniqueFd out(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!out) return false;
    bool ok = writeBody(out.get()) && ::fdatasync(out.get()) == 0;
    ok = out.close() && ok;
    ok = ok && std::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // The rename has happened; a folder that cannot be synced leaves it less durable,
    // not undone, so the caller still learns of it.
    return syncDirectory(target.parent_path());
}

}  // namespace quorel::platform
