#include "platform/upower_battery.h"

#include <dbus/dbus.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace quorel::platform {
namespace {

constexpr int kCallTimeoutMs = 500;
constexpr const char* kService = "org.freedesktop.UPower";
constexpr const char* kDisplayDevice = "/org/freedesktop/UPower/devices/DisplayDevice";
constexpr const char* kDeviceInterface = "org.freedesktop.UPower.Device";
constexpr std::uint32_t kTypeBattery = 2;

struct ConnectionCloser {
    void operator()(DBusConnection* c) const {
        dbus_connection_close(c);
        dbus_connection_unref(c);
    }
};
using Connection = std::unique_ptr<DBusConnection, ConnectionCloser>;

struct MessageUnref {
    void operator()(DBusMessage* m) const { dbus_message_unref(m); }
};
using Message = std::unique_ptr<DBusMessage, MessageUnref>;

// Sends the call and waits at most the call timeout; none on an error reply or none at all.
Message call(DBusConnection* connection, DBusMessage* request) {
    if (request == nullptr) return nullptr;
    Message owned(request);
    DBusError error;
    dbus_error_init(&error);
    Message reply(dbus_connection_send_with_reply_and_block(connection, request, kCallTimeoutMs, &error));
    dbus_error_free(&error);
    return reply;
}

// A private connection that has said Hello to the bus. The Hello is sent here rather than
// by dbus_bus_register, whose wait is not bounded by the call timeout.
Connection connect(const std::string& address) {
    DBusError error;
    dbus_error_init(&error);
    Connection connection(dbus_connection_open_private(address.c_str(), &error));
    dbus_error_free(&error);
    if (!connection) return nullptr;
    dbus_connection_set_exit_on_disconnect(connection.get(), FALSE);
    const Message hello = call(
        connection.get(),
        dbus_message_new_method_call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "Hello"));
    if (!hello) return nullptr;
    return connection;
}

// Reads the a{sv} of a GetAll reply; properties of other types are passed over.
UPowerDisplayDevice deviceOf(DBusMessage* reply) {
    UPowerDisplayDevice device;
    DBusMessageIter it;
    if (!dbus_message_iter_init(reply, &it) || dbus_message_iter_get_arg_type(&it) != DBUS_TYPE_ARRAY) return device;
    DBusMessageIter entries;
    dbus_message_iter_recurse(&it, &entries);
    for (; dbus_message_iter_get_arg_type(&entries) == DBUS_TYPE_DICT_ENTRY; dbus_message_iter_next(&entries)) {
        DBusMessageIter entry, value;
        dbus_message_iter_recurse(&entries, &entry);
        if (dbus_message_iter_get_arg_type(&entry) != DBUS_TYPE_STRING) continue;
        const char* name = nullptr;
        dbus_message_iter_get_basic(&entry, &name);
        if (!dbus_message_iter_next(&entry) || dbus_message_iter_get_arg_type(&entry) != DBUS_TYPE_VARIANT) continue;
        dbus_message_iter_recurse(&entry, &value);
        const int kind = dbus_message_iter_get_arg_type(&value);
        if (std::strcmp(name, "IsPresent") == 0 && kind == DBUS_TYPE_BOOLEAN) {
            dbus_bool_t present = FALSE;
            dbus_message_iter_get_basic(&value, &present);
            device.isPresent = present != FALSE;
        } else if (std::strcmp(name, "Type") == 0 && kind == DBUS_TYPE_UINT32) {
            dbus_message_iter_get_basic(&value, &device.type);
        } else if (std::strcmp(name, "State") == 0 && kind == DBUS_TYPE_UINT32) {
            dbus_message_iter_get_basic(&value, &device.state);
        } else if (std::strcmp(name, "Percentage") == 0 && kind == DBUS_TYPE_DOUBLE) {
            dbus_message_iter_get_basic(&value, &device.percentage);
        }
    }
    return device;
}

// The display device's level, or none when the bus or UPower gives no usable answer.
std::optional<int> askDisplayDevice(DBusConnection* connection) {
    DBusMessage* request =
        dbus_message_new_method_call(kService, kDisplayDevice, "org.freedesktop.DBus.Properties", "GetAll");
    if (request == nullptr) return std::nullopt;
    const char* interface = kDeviceInterface;
    if (!dbus_message_append_args(request, DBUS_TYPE_STRING, &interface, DBUS_TYPE_INVALID)) {
        dbus_message_unref(request);
        return std::nullopt;
    }
    const Message reply = call(connection, request);
    if (!reply) return std::nullopt;
    return batteryPercentOf(deviceOf(reply.get()));
}

// Signals sent to the connection (NameAcquired) wait in its queue unread; they are dropped
// so that the queue does not grow.
void dropUnread(DBusConnection* connection) {
    while (DBusMessage* unread = dbus_connection_pop_message(connection)) dbus_message_unref(unread);
}

}  // namespace

std::optional<int> batteryPercentOf(const UPowerDisplayDevice& device) {
    if (!device.isPresent || device.type != kTypeBattery || !std::isfinite(device.percentage)) return std::nullopt;
    if (device.state == 0 && device.percentage == 0.0) return std::nullopt;
    return static_cast<int>(std::lround(std::clamp(device.percentage, 0.0, 100.0)));
}

std::string systemBusAddress() {
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    if (address != nullptr && address[0] != '\0') return address;
    return "unix:path=/var/run/dbus/system_bus_socket";
}

UPowerBattery::UPowerBattery(std::string busAddress, std::chrono::milliseconds refresh)
    : busAddress_(std::move(busAddress)), refresh_(refresh), thread_([this] { run(); }) {}

UPowerBattery::~UPowerBattery() {
    {
        const std::lock_guard lock(stopMutex_);
        stop_ = true;
    }
    stopSignal_.notify_all();
    thread_.join();
}

std::optional<int> UPowerBattery::percent() const {
    const int percent = percent_.load(std::memory_order_relaxed);
    if (percent < 0) return std::nullopt;
    return percent;
}

void UPowerBattery::run() {
    Connection connection;
    std::unique_lock lock(stopMutex_);
    while (!stop_) {
        lock.unlock();
        if (!connection) connection = connect(busAddress_);
        std::optional<int> percent;
        if (connection) percent = askDisplayDevice(connection.get());
        if (connection && !dbus_connection_get_is_connected(connection.get())) connection.reset();
        if (connection) dropUnread(connection.get());
        percent_.store(percent.value_or(-1), std::memory_order_relaxed);
        lock.lock();
        stopSignal_.wait_for(lock, refresh_, [this] { return stop_; });
    }
}

}  // namespace quorel::platform
