#pragma once

#include "hid/HidBackend.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QObject;

// The HID device library: up to 20 independent instances, each with its own
// match configuration, report callback, owner, plug watch and open devices.
// Every call names its instance last. Devices are reached through the
// process-wide hid::Backend.
namespace devicelink {

inline constexpr int kHidInstanceCount = 20;
inline constexpr int kHidMaxUsagePairs = 10;

struct HidMatchConfig {
    std::uint32_t VendorID = 0;
    std::uint32_t ProductID = 0;
    std::uint32_t UsagePairCount = 0;
    std::uint32_t LearnUsages = 0;  // ignored by this library
    std::uint32_t Usage[kHidMaxUsagePairs] = {};
    std::uint32_t UsagePage[kHidMaxUsagePairs] = {};
};

// Passed by pointer in the owner notification; valid only during the call.
struct HidNotifyRecord {
    std::int32_t Event = 0;  // 1 = device opened (arrival), 0 = device closed (removal)
    std::uint16_t DeviceId = 0;
    std::uint16_t VendorID = 0;
    std::uint16_t ProductID = 0;
    std::uint16_t Usage = 0;
    std::uint16_t UsagePage = 0;
};

// Called on the device's reader thread with the report ID in byte 0.
using HidReportCallback = std::function<void(std::uint16_t deviceId, const std::uint8_t* report, int length)>;

// The backend every instance opened afterwards uses. Set before the first
// HidOpen (programs: from LUMENSTRA_HID; tests: a simulator).
void HidSetBackend(std::shared_ptr<hid::Backend> backend);

void HidSetConfig(const HidMatchConfig& config, int instance);
void HidSetCallback(HidReportCallback callback, int instance);
// Starts the instance's plug watch (once) and opens the matching devices
// present now. The owner receives `message` with wParam 1 and lParam = the
// address of a HidNotifyRecord for every arrival and removal: inside this call
// for devices found by it, later as posted messages handled on the owner's
// thread. Returns NextDeviceId when a device is open, else 0.
int HidOpen(QObject* owner, unsigned message, int instance);
// Writes one output report; nonzero when written.
int HidWrite(std::uint16_t deviceId, const std::uint8_t* bytes, int count, int instance);
// True while the instance holds the device open: false as soon as its removal
// is seen, before the owner's thread has handled the notification.
bool HidIsOpen(std::uint16_t deviceId, int instance);
// Waits until no device set-up is pending on the instance's backend, at most
// `limit`; true when settled (also when the instance has no backend).
bool HidWaitUntilSettled(std::chrono::milliseconds limit, int instance);
// Closes every device, stops the watch and forgets the instance.
void HidClose(int instance);
// The location of the USB port above the device: 1 found, 0 no such device,
// -1 the backend knows no location.
int HidGetLocationInfo(std::uint16_t deviceId, std::string& location, int instance);
// Suspend (true) or resume (false) for every started instance, as a machine
// going to sleep and waking up. The plug watch of a backend feeds it too.
void HidPowerEvent(bool suspending);
// How many matching controllers this process found but could not open for
// lack of permission, so that a program can tell "none attached" from "no access".
int HidPermissionDenials();

}  // namespace devicelink
