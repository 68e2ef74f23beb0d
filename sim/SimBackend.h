#pragma once

#include "hid/HidBackend.h"
#include "sim/DeviceSpec.h"
#include "sim/EmulatedController.h"
#include "sim/Record.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Emulated controllers behind the HID backend interface, in the same process.
// Tests plug, unplug, suspend and resume controllers; the HID library sees
// them as it would see real ones. Replies reach the device's input queue after
// the reply latency (a scheduler thread keeps the time); plug and power events
// reach each watch's callback on that watch's own thread.
namespace sim {

struct TraceEntry {
    int deviceId = 0;
    std::uint16_t productId = 0;
    Record record{};
};
// "ID PID CMD KEY INDEX DATA": decimal ID, then lower-case hex of 4, 2, 2, 4 and 120 digits.
std::string formatTraceLine(const TraceEntry& entry);

struct PluggedDevice {
    int id = 0;
    std::uint16_t productId = 0;
    bool bootLoader = false;
    FirmwareVersion firmware;
    std::string name;  // from the identity block as stored now
    std::string path;
};
// "ID PID MODE FIRMWARE NAME": MODE app or boot, NAME "-" when empty.
std::string formatListLine(const PluggedDevice& device);

class SimBackend : public hid::Backend {
public:
    explicit SimBackend(std::chrono::milliseconds latency = std::chrono::milliseconds(1));
    ~SimBackend() override;
    SimBackend(const SimBackend&) = delete;
    SimBackend& operator=(const SimBackend&) = delete;

    struct PlugResult {
        int id = 0;         // 0 when refused
        std::string error;  // why it was refused
    };
    PlugResult plug(const DeviceSpec& spec);
    // Plugs `count` default controllers of `kind`; returns their IDs in plug order.
    std::vector<int> plug(ControllerKind kind, int count = 1);
    bool unplug(int id);
    // The machine goes to sleep or wakes up: every watch gets the event.
    void suspend();
    void resume();

    void setLatency(std::chrono::milliseconds latency);
    std::chrono::milliseconds latency() const;
    bool setFault(int id, FaultKind kind, int value);
    // Sends the controller's unsolicited report 0x42/0x20 with `index` and `data`.
    bool sendEventReport(int id, std::uint16_t index, std::span<const std::uint8_t> data);

    std::vector<PluggedDevice> devices() const;
    std::vector<TraceEntry> trace() const;
    void clearTrace();
    // The trace, emptied in the same step.
    std::vector<TraceEntry> takeTrace();
    // The emulated state of controller `id` as key=value pairs; empty when absent.
    std::optional<std::vector<std::pair<std::string, std::string>>> state(int id) const;
    // Runs `look` on controller `id` under the simulator's lock; false when absent.
    bool inspect(int id, const std::function<void(const EmulatedController&)>& look) const;
    static std::string pathOf(int id);

    // hid::Backend
    std::vector<hid::DeviceInfo> enumerate() override;
    std::unique_ptr<hid::Device> open(const std::string& path, hid::OpenError& error) override;
    std::unique_ptr<hid::PlugWatch> watch(std::function<void(const hid::PlugEvent&)> onEvent) override;
    // True once every plug event has been handed to its watch's callback.
    bool waitUntilSettled(std::chrono::milliseconds limit) override;

    struct Hub;

private:
    std::shared_ptr<Hub> m_hub;
};

}  // namespace sim
