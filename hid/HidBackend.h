#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

// The HID library reaches devices only through this interface, so that real
// controllers (hidapi and udev), controllers emulated in the same process, and
// controllers emulated by the devsim daemon are interchangeable.
namespace hid {

// One present HID interface (a top-level collection).
struct DeviceInfo {
    std::string path;  // opaque, unique while the device is present
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::string locationPath;  // where the device hangs on the USB tree; empty when unknown
    bool operator==(const DeviceInfo&) const = default;
};

enum class OpenError { None, NotFound, PermissionDenied, Other };

// An opened device. Reports carry the report ID in byte 0 (0 when the device
// uses none), so a controller's 64-byte record travels as 65 bytes.
class Device {
public:
    virtual ~Device() = default;

    // Waits up to `timeout` for one input report and copies it into `buffer`.
    // Returns its length, 0 when none came in time, -1 when the device is gone
    // or failed. Safe to call from one reader thread while another thread writes.
    virtual int read(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) = 0;
    // Writes one output report; returns the bytes written or -1.
    virtual int write(std::span<const std::uint8_t> report) = 0;
    // Makes a read waiting on another thread, and every later read, return 0
    // at once, so that a reader can block for long and still stop promptly.
    virtual void wake() = 0;

    virtual int inputReportLength() const = 0;   // report ID byte included
    virtual int outputReportLength() const = 0;  // report ID byte included
};

struct PlugEvent {
    enum class Kind { Arrival, Removal, Suspend, Resume } kind = Kind::Arrival;
    std::string path;  // the device's path for Arrival and Removal
};

// Keeps delivering plug and power events until destroyed. The callback runs on
// a thread of the backend; destruction waits until it has returned for good.
class PlugWatch {
public:
    virtual ~PlugWatch() = default;
};

class Backend {
public:
    virtual ~Backend() = default;

    // The HID interfaces present now, in a stable enumeration order.
    virtual std::vector<DeviceInfo> enumerate() = 0;
    virtual std::unique_ptr<Device> open(const std::string& path, OpenError& error) = 0;
    virtual std::unique_ptr<PlugWatch> watch(std::function<void(const PlugEvent&)> onEvent) = 0;
    // Waits until no device set-up is pending (the udev queue is empty), at most
    // `limit`; true when settled.
    virtual bool waitUntilSettled(std::chrono::milliseconds limit) = 0;
};

}  // namespace hid
