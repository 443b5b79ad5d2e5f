// The Linux backend's battery with UPower on a private system bus started here:
// python-dbusmock's UPower stands in for the daemon, a fake power-supply tree for sysfs.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/power_linux.h"
#include "platform/upower_battery.h"
#include "tests/support/scratch.h"

extern char** environ;

namespace quorel {
namespace {

using namespace platform;
namespace fs = std::filesystem;

pid_t start(std::vector<std::string> argv) {
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    pid_t pid = -1;
    return ::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) == 0 ? pid : -1;
}

bool succeeds(std::vector<std::string> argv) {
    const pid_t pid = start(std::move(argv));
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void stop(pid_t& pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    ::kill(pid, SIGCONT);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

template <typename Done>
bool waitFor(Done done) {
    for (int i = 0; i < 500; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

enum class UPower { Gone, WithoutDisplayDevice, Running, Hanging };

struct PrivateSystemBus {
    fs::path dir = test::scratchFolder("upower");
    pid_t bus = -1, upower = -1;

    PrivateSystemBus() {
        std::ofstream(dir / "bus.conf")
            << "<busconfig><type>system</type><listen>unix:path=" << (dir / "bus").string()
            << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
               "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/><allow own=\"*\"/>"
               "</policy></busconfig>\n";
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + (dir / "bus").string()).c_str(), 1);
    }
    ~PrivateSystemBus() {
        stop(upower);
        stop(bus);
    }

    bool ping(const std::string& name) {
        return succeeds({"timeout", "5", QUOREL_DBUS_SEND, "--system", "--print-reply", "--reply-timeout=500",
                         "--dest=" + name, "/", "org.freedesktop.DBus.Peer.Ping"});
    }
    void setBus(bool up) {
        if (up == (bus > 0)) return;
        stop(upower);
        if (!up) return stop(bus);
        bus = start({QUOREL_DBUS_DAEMON, "--nofork", "--nopidfile", "--nosyslog",
                     "--config-file=" + (dir / "bus.conf").string()});
        ASSERT_TRUE(waitFor([&] { return ping("org.freedesktop.DBus"); }));
    }
    void setUPower(UPower mode, const UPowerDisplayDevice& d) {
        if (mode == UPower::Hanging) return (void)::kill(upower, SIGSTOP);
        if (upower > 0) ::kill(upower, SIGCONT);
        stop(upower);
        if (mode == UPower::Gone) return;
        std::vector<std::string> mock{QUOREL_DBUSMOCK_PYTHON, "-m", "dbusmock", "--system"};
        if (mode == UPower::Running) mock.insert(mock.end(), {"--template", "upower"});
        if (mode == UPower::WithoutDisplayDevice)
            mock.insert(mock.end(), {"org.freedesktop.UPower", "/org/freedesktop/UPower", "org.freedesktop.UPower"});
        upower = start(mock);
        ASSERT_TRUE(waitFor([&] { return ping("org.freedesktop.UPower"); }));
        if (mode != UPower::Running) return;
        ASSERT_TRUE(
            succeeds({"timeout", "5", QUOREL_DBUS_SEND, "--system", "--print-reply", "--dest=org.freedesktop.UPower",
                      "/org/freedesktop/UPower", "org.freedesktop.DBus.Mock.SetupDisplayDevice",
                      "uint32:" + std::to_string(d.type), "uint32:" + std::to_string(d.state),
                      "double:" + std::to_string(d.percentage), "double:40", "double:48", "double:0", "int64:0",
                      "int64:0", std::string("boolean:") + (d.isPresent ? "true" : "false"), "string:", "uint32:1"}));
    }
};

TEST(LinuxPower, TheBatteryIsUPowersDisplayDeviceWhileItHasOne) {
    ASSERT_FALSE(std::string(QUOREL_DBUSMOCK_PYTHON).empty()) << "python3-dbusmock is missing: run tools/install-deps";
    PrivateSystemBus system;
    const fs::path supplies = system.dir / "supplies";
    const UPowerDisplayDevice none{false, 0, 0, 0.0};
    const struct {
        const char* what;
        bool busUp;
        UPower upower;
        UPowerDisplayDevice display;  // isPresent, type, state, percentage
        int sysfs;                    // capacity of a battery under the power-supply class, -1: none there
        int percent;
    } steps[] = {
        {"full", true, UPower::Running, {true, 2, 4, 100.0}, 64, 100},
        {"charging", true, UPower::Running, {true, 2, 1, 37.4}, 64, 37},
        {"nearly flat", true, UPower::Running, {true, 2, 2, 4.6}, 64, 5},
        {"no battery anywhere", true, UPower::Running, none, -1, 255},
        {"none in UPower, one in sysfs", true, UPower::Running, none, 64, 64},
        {"a battery again", true, UPower::Running, {true, 2, 2, 37.0}, 64, 37},
        {"UPower quits", true, UPower::Gone, none, 64, 64},
        {"UPower without a display device", true, UPower::WithoutDisplayDevice, none, -1, 255},
        {"UPower back", true, UPower::Running, {true, 2, 2, 5.0}, -1, 5},
        {"UPower hangs", true, UPower::Hanging, none, 64, 64},
        {"UPower answers again", true, UPower::Running, {true, 2, 1, 37.0}, 64, 37},
        {"the bus quits", false, UPower::Gone, none, -1, 255},
        {"the bus back", true, UPower::Running, {true, 2, 4, 100.0}, -1, 100},
    };
    LinuxPowerBackend backend(system.dir / "no_backlights", supplies, systemBusAddress(),
                              std::chrono::milliseconds(20));
    for (const auto& s : steps) {
        system.setBus(s.busUp);
        if (s.busUp) system.setUPower(s.upower, s.display);
        fs::remove_all(supplies);
        if (s.sysfs >= 0) {
            fs::create_directories(supplies / "BAT0");
            std::ofstream(supplies / "BAT0" / "type") << "Battery\n";
            std::ofstream(supplies / "BAT0" / "capacity") << s.sysfs << "\n";
        }
        waitFor([&] { return backend.batteryPercent() == s.percent; });
        EXPECT_EQ(backend.batteryPercent(), s.percent) << s.what;
    }
}

}  // namespace
}  // namespace quorel
