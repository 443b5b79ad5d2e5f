#include "platform/gpsd_device.h"

#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/scan.h"

namespace quorel::platform {
namespace {

// The kernel keeps at most about twice this much for us. A daemon that sends faster than
// the polls read (20 lines a tick) then cannot put minutes of old sentences between the
// receiver and the map; what does not fit stays with gpsd.
constexpr int kReceiveBufferBytes = 16 * 1024;

bool isPortNumber(std::string_view text) {
    if (text.empty() || text.size() > 5 || text.front() < '1' || text.front() > '9') return false;
    std::int32_t port = 0;
    const ScanResult r = scanInt(text, port);
    return r.ok && r.consumed == text.size() && port <= 65535;
}

bool wouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }

}  // namespace

std::optional<GpsdAddress> parseGpsdAddress(std::string_view option) {
    if (option == "gpsd") return GpsdAddress{};
    constexpr std::string_view kScheme = "gpsd://";
    if (option.substr(0, kScheme.size()) != kScheme) return std::nullopt;
    std::string_view rest = option.substr(kScheme.size());
    std::string_view host = rest;
    std::string_view port;
    if (!rest.empty() && rest.front() == '[') {  // [::1]:2947
        const auto close = rest.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = rest.substr(1, close - 1);
        const std::string_view after = rest.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':' || after.size() == 1) return std::nullopt;
            port = after.substr(1);
        }
    } else if (const auto colon = rest.find(':'); colon != std::string_view::npos) {
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
        if (port.empty()) return std::nullopt;
    }
    if (host.empty() || host.find_first_of("/ []") != std::string_view::npos) return std::nullopt;
    if (!port.empty() && !isPortNumber(port)) return std::nullopt;
    GpsdAddress address;
    address.host = std::string(host);
    if (!port.empty()) address.port = std::string(port);
    return address;
}

GpsdSerialDevice::~GpsdSerialDevice() { close(); }

struct GpsdSerialDevice::Lookup {
    std::mutex mutex;
    bool done = false;
    std::string failure;  // why the host names no address; empty when it does
    std::vector<SocketAddress> addresses;
};

namespace {

// The addresses of host:port, or why there are none.
template <typename Address>
std::string lookUp(const std::string& host, const std::string& port, int flags, std::vector<Address>& addresses) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | flags;
    addrinfo* found = nullptr;
    if (const int error = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found); error != 0) {
        return ::gai_strerror(error);
    }
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(a->ai_addr);
        addresses.push_back({std::vector<std::uint8_t>(bytes, bytes + a->ai_addrlen), a->ai_family});
    }
    ::freeaddrinfo(found);
    return addresses.empty() ? "no address" : "";
}

}  // namespace

bool gpsdAnswers(const GpsdAddress& address, int waitMs) {
    struct Address {
        std::vector<std::uint8_t> bytes;
        int family = 0;
    };
    std::vector<Address> addresses;
    if (!lookUp(address.host, address.port, 0, addresses).empty()) return false;
    constexpr std::string_view kGreeting = "{\"class\":\"VERSION\"";
    for (const auto& a : addresses) {
        UniqueFd fd(::socket(a.family, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!fd || ::connect(fd.get(), reinterpret_cast<const sockaddr*>(a.bytes.data()),
                             static_cast<socklen_t>(a.bytes.size())) != 0) {
            continue;
        }
        std::string got;
        std::array<char, 64> buffer{};
        pollfd p{fd.get(), POLLIN, 0};
        for (std::int64_t end = systemClock().nowMs() + waitMs;
             got.size() < kGreeting.size() && systemClock().nowMs() < end;) {
            if (::poll(&p, 1, static_cast<int>(end - systemClock().nowMs())) <= 0) break;
            const ssize_t n = ::recv(fd.get(), buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (n <= 0) break;
            got.append(buffer.data(), static_cast<std::size_t>(n));
        }
        if (got.compare(0, kGreeting.size(), kGreeting) == 0) return true;
    }
    return false;
}

SerialStatus GpsdSerialDevice::open(std::string_view, const SerialLineSettings&) {
    if (stage_ != Stage::Closed) return SerialStatus::AlreadyOpen;
    addresses_.clear();
    if (lookUp(address_.host, address_.port, AI_NUMERICHOST, addresses_).empty()) {
        nextAddress_ = 0;
        connectFromNextAddress();
    } else {
        startLookup();
    }
    return SerialStatus::Open;
}

// A name service that does not answer holds getaddrinfo for many seconds, so a name is
// looked up on a thread of its own. The thread owns a share of the record it fills, which
// therefore outlives a close of the device; it ends with its one lookup.
void GpsdSerialDevice::startLookup() {
    stage_ = Stage::Resolving;
    lookup_ = std::make_shared<Lookup>();
    try {
        std::thread([lookup = lookup_, host = address_.host, port = address_.port] {
            std::vector<SocketAddress> addresses;
            std::string failure = lookUp(host, port, 0, addresses);
            const std::lock_guard lock(lookup->mutex);
            lookup->addresses = std::move(addresses);
            lookup->failure = std::move(failure);
            lookup->done = true;
        }).detach();
    } catch (const std::system_error& e) {
        const std::lock_guard lock(lookup_->mutex);
        lookup_->failure = e.what();
        lookup_->done = true;
    }
}

void GpsdSerialDevice::finishLookup() {
    const std::shared_ptr<Lookup> lookup = lookup_;
    const std::lock_guard lock(lookup->mutex);
    if (!lookup->done) return;
    lookup_.reset();
    if (!lookup->failure.empty()) {
        if (!lookupFailureTold_) {
            std::fprintf(stderr, "quorel: the gpsd host %s is not known (%s); looking it up again every %d s\n",
                         address_.host.c_str(), lookup->failure.c_str(), kLookupRetryMs / 1000);
        }
        lookupFailureTold_ = true;
        stage_ = Stage::Unresolved;
        nextAttemptMs_ = clock_.nowMs() + kLookupRetryMs;
        return;
    }
    addresses_ = std::move(lookup->addresses);
    nextAddress_ = 0;
    connectFromNextAddress();
}

// Tries the addresses from nextAddress_ on (localhost is ::1 and 127.0.0.1, and gpsd may
// listen on one of them only) until a connect succeeds or is under way; after the last
// one the device waits for the next round.
void GpsdSerialDevice::connectFromNextAddress() {
    for (; nextAddress_ < addresses_.size(); ++nextAddress_) {
        const SocketAddress& a = addresses_[nextAddress_];
        UniqueFd fd(::socket(a.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!fd) continue;
        const int size = kReceiveBufferBytes;
        ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        const auto* peer = reinterpret_cast<const sockaddr*>(a.bytes.data());
        const int result = ::connect(fd.get(), peer, static_cast<socklen_t>(a.bytes.size()));
        if (result == 0 || errno == EINPROGRESS) {
            fd_ = std::move(fd);
            stage_ = result == 0 ? Stage::Connected : Stage::Connecting;
            connectStartedMs_ = clock_.nowMs();
            answered_ = false;
            pendingCommand_ = std::string(kGpsdWatchCommand);
            return;
        }
    }
    goAway();
}

void GpsdSerialDevice::dropAttempt() {
    fd_.reset();
    ++nextAddress_;
    connectFromNextAddress();
}

void GpsdSerialDevice::goAway() {
    fd_.reset();
    stage_ = Stage::Waiting;
    answered_ = false;
    nextAddress_ = 0;
    nextAttemptMs_ = clock_.nowMs() + kReconnectIntervalMs;
}

void GpsdSerialDevice::advance() {
    if (stage_ == Stage::Unresolved && clock_.nowMs() >= nextAttemptMs_) startLookup();
    if (stage_ == Stage::Resolving) finishLookup();
    if (stage_ == Stage::Waiting && clock_.nowMs() >= nextAttemptMs_) connectFromNextAddress();
    if (stage_ == Stage::Connecting) {
        pollfd p{fd_.get(), POLLOUT, 0};
        if (::poll(&p, 1, 0) > 0) {
            int error = 0;
            socklen_t length = sizeof error;
            if (::getsockopt(fd_.get(), SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) {
                stage_ = Stage::Connected;
            } else {
                dropAttempt();
            }
        } else if (clock_.nowMs() - connectStartedMs_ >= kReconnectIntervalMs) {
            dropAttempt();  // a host that does not answer at all
        }
    }
    if (stage_ == Stage::Connected && !pendingCommand_.empty()) sendPendingCommand();
}

void GpsdSerialDevice::sendPendingCommand() {
    const ssize_t n = ::send(fd_.get(), pendingCommand_.data(), pendingCommand_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
        pendingCommand_.erase(0, static_cast<std::size_t>(n));
    } else if (n < 0 && !wouldBlock()) {
        goAway();
    }
}

int GpsdSerialDevice::queuedBytes() {
    if (stage_ == Stage::Closed) return -1;
    advance();
    if (stage_ != Stage::Connected) return -1;
    int queued = 0;
    if (::ioctl(fd_.get(), FIONREAD, &queued) != 0) {
        goAway();
        return -1;
    }
    if (queued > 0) return queued;
    // FIONREAD gives 0 both for a quiet daemon and for one that has closed the connection.
    std::uint8_t probe = 0;
    const ssize_t n = ::recv(fd_.get(), &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0 || (n < 0 && !wouldBlock())) {
        goAway();
        return -1;
    }
    return 0;
}

int GpsdSerialDevice::read(std::uint8_t* dst, int maxBytes) {
    if (stage_ != Stage::Connected) return -1;
    if (maxBytes <= 0) return 0;
    const ssize_t n = ::recv(fd_.get(), dst, static_cast<std::size_t>(maxBytes), MSG_DONTWAIT);
    if (n > 0) {
        answered_ = true;
        return static_cast<int>(n);
    }
    if (n < 0 && wouldBlock()) return 0;
    goAway();
    return -1;
}

void GpsdSerialDevice::purge() {
    if (stage_ != Stage::Connected) return;
    std::array<std::uint8_t, 4096> scratch{};
    // Bounded: the kernel holds little more than kReceiveBufferBytes for us.
    for (int i = 0; i < 16; ++i) {
        if (::recv(fd_.get(), scratch.data(), scratch.size(), MSG_DONTWAIT) <= 0) break;
    }
}

void GpsdSerialDevice::close() {
    lookup_.reset();
    fd_.reset();
    stage_ = Stage::Closed;
    pendingCommand_.clear();
    answered_ = false;
}

LinkState GpsdSerialDevice::linkState() const {
    switch (stage_) {
    case Stage::Closed:
        return LinkState::Closed;
    case Stage::Connected:
        return answered_ ? LinkState::Answering : LinkState::Silent;
    case Stage::Resolving:
    case Stage::Unresolved:
    case Stage::Waiting:
    case Stage::Connecting:
        break;
    }
    return LinkState::Away;
}

}  // namespace quorel::platform
