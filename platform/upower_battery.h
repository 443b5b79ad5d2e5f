#pragma once
// The battery as the desktop knows it: UPower's display device on the system bus, the one
// device that sums up the batteries that power the machine.
//
// A helper thread asks the bus every refresh period, each call bounded by a short timeout,
// and keeps the last answer; percent() only reads that answer, so the main thread never
// waits on the bus. A bus that is not there, goes away or hangs, and a UPower that is not
// running or has no battery, all read as no answer; the thread connects again on the next
// round, so the reading comes back when the bus and UPower do.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace quorel::platform {

// The properties of org.freedesktop.UPower.Device that tell the battery level.
struct UPowerDisplayDevice {
    bool isPresent = false;
    std::uint32_t type = 0;   // 2: battery
    std::uint32_t state = 0;  // 0: unknown, 1: charging, 2: discharging, 4: full, ...
    double percentage = 0.0;
};

// 0 to 100 when the device is a present battery; none otherwise. A battery whose state
// is unknown and whose percentage is 0 is one UPower has not read yet, so none as well.
std::optional<int> batteryPercentOf(const UPowerDisplayDevice& device);

// DBUS_SYSTEM_BUS_ADDRESS when it is set, else the usual socket of the system bus.
std::string systemBusAddress();

class UPowerBattery {
public:
    UPowerBattery(std::string busAddress, std::chrono::milliseconds refresh);
    // Waits for a call in progress, so at most the call timeout.
    ~UPowerBattery();
    UPowerBattery(const UPowerBattery&) = delete;
    UPowerBattery& operator=(const UPowerBattery&) = delete;

    // The last answer of the display device; none while there is none.
    std::optional<int> percent() const;

private:
    void run();

    std::string busAddress_;
    std::chrono::milliseconds refresh_;
    std::atomic<int> percent_{-1};  // -1: no answer
    std::mutex stopMutex_;          // guards stop_ only, never held with another lock
    std::condition_variable stopSignal_;
    bool stop_ = false;
    std::thread thread_;  // last, so that it starts after everything it reads
};

}  // namespace quorel::platform
