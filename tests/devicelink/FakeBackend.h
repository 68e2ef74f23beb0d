#pragma once

#include "hid/HidBackend.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

// A scripted backend for precise fault injection: devices are plugged and
// unplugged by the test, every written report is kept, and a responder decides
// which input reports a write produces.
namespace devicelinktest {

class FakeDevice final : public hid::Device {
public:
    using Responder = std::function<std::vector<std::vector<std::uint8_t>>(const std::vector<std::uint8_t>& report)>;

    explicit FakeDevice(int reportLength = 65) : m_reportLength(reportLength) {}

    int read(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) override;
    int write(std::span<const std::uint8_t> report) override;
    void wake() override { wakeHandle(m_woken); }
    // A read for one opened handle, which `wakeHandle` with its flag wakes.
    int readHandle(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout, const bool& woken);
    void wakeHandle(bool& woken);
    int inputReportLength() const override { return m_reportLength; }
    int outputReportLength() const override { return m_reportLength; }

    void setResponder(Responder responder);
    void setWriteFails(bool fails);
    void pushInput(std::vector<std::uint8_t> report);
    void markGone();
    std::vector<std::vector<std::uint8_t>> written() const;

private:
    const int m_reportLength;
    mutable std::mutex m_mutex;
    std::condition_variable m_inputArrived;
    std::deque<std::vector<std::uint8_t>> m_input;
    std::vector<std::vector<std::uint8_t>> m_written;
    Responder m_responder;
    bool m_writeFails = false;
    bool m_gone = false;
    bool m_woken = false;  // guarded by m_mutex, as every handle's flag
};

class FakeBackend final : public hid::Backend {
public:
    std::vector<hid::DeviceInfo> enumerate() override;
    std::unique_ptr<hid::Device> open(const std::string& path, hid::OpenError& error) override;
    std::unique_ptr<hid::PlugWatch> watch(std::function<void(const hid::PlugEvent&)> onEvent) override;
    bool waitUntilSettled(std::chrono::milliseconds) override { return true; }

    // Adds a device; with `announce` the watchers hear of it, as a plug-in does.
    std::shared_ptr<FakeDevice> plug(const hid::DeviceInfo& info, bool announce = true);
    void unplug(const std::string& path);
    void power(hid::PlugEvent::Kind kind);
    void refuseOpen(const std::string& path, hid::OpenError error);
    std::shared_ptr<FakeDevice> device(const std::string& path) const;
    int openCount(const std::string& path) const;

private:
    void announce(const hid::PlugEvent& event);

    mutable std::mutex m_mutex;
    std::vector<hid::DeviceInfo> m_present;
    std::map<std::string, std::shared_ptr<FakeDevice>> m_devices;
    std::map<std::string, hid::OpenError> m_refusals;
    std::map<std::string, int> m_opens;
    std::map<int, std::function<void(const hid::PlugEvent&)>> m_watchers;
    int m_nextWatcher = 0;
    std::mutex m_announceMutex;  // events reach each watcher one at a time, in order
    friend class FakeWatch;
};

// A controller's HID interface on the fake bus.
hid::DeviceInfo controllerInfo(const std::string& path, std::uint16_t productId, std::uint16_t usagePage = 0xFF00,
                               std::uint16_t usage = 0x0001);

// Answers every command record with a reply that repeats cmd, key and index and
// carries `data` (60 bytes, zero-filled); the report ID byte comes first.
FakeDevice::Responder echoWith(std::vector<std::uint8_t> data = {});

}  // namespace devicelinktest
