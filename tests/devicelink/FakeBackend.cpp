#include "tests/devicelink/FakeBackend.h"

#include <algorithm>
#include <thread>

namespace devicelinktest {

int FakeDevice::read(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) {
    return readHandle(buffer, timeout, m_woken);
}

void FakeDevice::wakeHandle(bool& woken) {
    std::lock_guard lock(m_mutex);
    woken = true;
    m_inputArrived.notify_all();
}

int FakeDevice::readHandle(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout, const bool& woken) {
    std::unique_lock lock(m_mutex);
    m_inputArrived.wait_for(lock, timeout, [&] { return m_gone || woken || !m_input.empty(); });
    if (m_gone) return -1;
    if (m_input.empty()) return 0;
    std::vector<std::uint8_t> report = std::move(m_input.front());
    m_input.pop_front();
    const std::size_t length = std::min(report.size(), buffer.size());
    std::copy_n(report.begin(), length, buffer.begin());
    return static_cast<int>(length);
}

int FakeDevice::write(std::span<const std::uint8_t> report) {
    std::vector<std::vector<std::uint8_t>> replies;
    Responder responder;
    {
        std::lock_guard lock(m_mutex);
        if (m_gone || m_writeFails) return -1;
        m_written.emplace_back(report.begin(), report.end());
        responder = m_responder;
    }
    if (responder) replies = responder(std::vector<std::uint8_t>(report.begin(), report.end()));
    for (auto& reply : replies) pushInput(std::move(reply));
    return static_cast<int>(report.size());
}

void FakeDevice::setResponder(Responder responder) {
    std::lock_guard lock(m_mutex);
    m_responder = std::move(responder);
}

void FakeDevice::setWriteFails(bool fails) {
    std::lock_guard lock(m_mutex);
    m_writeFails = fails;
}

void FakeDevice::pushInput(std::vector<std::uint8_t> report) {
    std::lock_guard lock(m_mutex);
    m_input.push_back(std::move(report));
    m_inputArrived.notify_all();
}

void FakeDevice::markGone() {
    std::lock_guard lock(m_mutex);
    m_gone = true;
    m_inputArrived.notify_all();
}

std::vector<std::vector<std::uint8_t>> FakeDevice::written() const {
    std::lock_guard lock(m_mutex);
    return m_written;
}

class FakeWatch final : public hid::PlugWatch {
public:
    FakeWatch(FakeBackend& backend, int id) : m_backend(backend), m_id(id) {}
    ~FakeWatch() override {
        std::lock_guard announcing(m_backend.m_announceMutex);
        std::lock_guard lock(m_backend.m_mutex);
        m_backend.m_watchers.erase(m_id);
    }

private:
    FakeBackend& m_backend;
    int m_id;
};

std::vector<hid::DeviceInfo> FakeBackend::enumerate() {
    std::lock_guard lock(m_mutex);
    return m_present;
}

std::unique_ptr<hid::Device> FakeBackend::open(const std::string& path, hid::OpenError& error) {
    std::lock_guard lock(m_mutex);
    if (const auto refusal = m_refusals.find(path); refusal != m_refusals.end()) {
        error = refusal->second;
        return nullptr;
    }
    const auto found = m_devices.find(path);
    if (found == m_devices.end()) {
        error = hid::OpenError::NotFound;
        return nullptr;
    }
    ++m_opens[path];
    error = hid::OpenError::None;
    // The library owns what open returns; the test keeps its own handle.
    struct Handle final : hid::Device {
        std::shared_ptr<FakeDevice> device;
        bool woken = false;  // guarded by the device's lock
        int read(std::span<std::uint8_t> b, std::chrono::milliseconds t) override {
            return device->readHandle(b, t, woken);
        }
        int write(std::span<const std::uint8_t> r) override { return device->write(r); }
        void wake() override { device->wakeHandle(woken); }
        int inputReportLength() const override { return device->inputReportLength(); }
        int outputReportLength() const override { return device->outputReportLength(); }
    };
    auto handle = std::make_unique<Handle>();
    handle->device = found->second;
    return handle;
}

std::unique_ptr<hid::PlugWatch> FakeBackend::watch(std::function<void(const hid::PlugEvent&)> onEvent) {
    std::lock_guard lock(m_mutex);
    const int id = m_nextWatcher++;
    m_watchers[id] = std::move(onEvent);
    return std::make_unique<FakeWatch>(*this, id);
}

void FakeBackend::announce(const hid::PlugEvent& event) {
    std::lock_guard announcing(m_announceMutex);
    std::vector<std::function<void(const hid::PlugEvent&)>> watchers;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [id, watcher] : m_watchers) watchers.push_back(watcher);
    }
    // Delivered on a thread of the backend, as a real plug watch does.
    std::thread([&] {
        for (const auto& watcher : watchers) watcher(event);
    }).join();
}

std::shared_ptr<FakeDevice> FakeBackend::plug(const hid::DeviceInfo& info, bool announceIt) {
    auto device = std::make_shared<FakeDevice>();
    {
        std::lock_guard lock(m_mutex);
        m_present.push_back(info);
        m_devices[info.path] = device;
    }
    if (announceIt) announce({hid::PlugEvent::Kind::Arrival, info.path});
    return device;
}

void FakeBackend::unplug(const std::string& path) {
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_present, [&](const hid::DeviceInfo& info) { return info.path == path; });
        if (const auto found = m_devices.find(path); found != m_devices.end()) {
            found->second->markGone();
            m_devices.erase(found);
        }
    }
    announce({hid::PlugEvent::Kind::Removal, path});
}

void FakeBackend::power(hid::PlugEvent::Kind kind) { announce({kind, {}}); }

void FakeBackend::refuseOpen(const std::string& path, hid::OpenError error) {
    std::lock_guard lock(m_mutex);
    m_refusals[path] = error;
}

std::shared_ptr<FakeDevice> FakeBackend::device(const std::string& path) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_devices.find(path);
    return found == m_devices.end() ? nullptr : found->second;
}

int FakeBackend::openCount(const std::string& path) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_opens.find(path);
    return found == m_opens.end() ? 0 : found->second;
}

hid::DeviceInfo controllerInfo(const std::string& path, std::uint16_t productId, std::uint16_t usagePage,
                               std::uint16_t usage) {
    hid::DeviceInfo info;
    info.path = path;
    info.vendorId = 0x2516;
    info.productId = productId;
    info.usagePage = usagePage;
    info.usage = usage;
    info.locationPath = "/sys/devices/usb1/" + path;
    return info;
}

FakeDevice::Responder echoWith(std::vector<std::uint8_t> data) {
    data.resize(60, 0);
    return [data](const std::vector<std::uint8_t>& report) {
        std::vector<std::uint8_t> reply(65, 0);
        std::copy_n(report.begin() + 1, 4, reply.begin() + 1);
        std::copy(data.begin(), data.end(), reply.begin() + 5);
        return std::vector<std::vector<std::uint8_t>>{reply};
    };
}

}  // namespace devicelinktest
