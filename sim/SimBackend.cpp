#include "sim/SimBackend.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <queue>
#include <thread>

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;

// Keeps the newest records when a long session would otherwise grow the trace without end.
constexpr std::size_t kTraceLimit = 1 << 16;
// How long a controller whose power was cut stays off the bus.
constexpr std::chrono::milliseconds kPowerReturnDelay{100};

// The input reports of one opened device handle, filled by the simulator and
// drained by the handle's reader.
class InputPort {
public:
    void push(const Record& record) {
        std::lock_guard lock(m_mutex);
        if (m_closed) return;
        m_queue.push_back(record);
        m_ready.notify_all();
    }

    void close() {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_ready.notify_all();
    }

    bool closed() const {
        std::lock_guard lock(m_mutex);
        return m_closed;
    }

    void wake() {
        std::lock_guard lock(m_mutex);
        m_woken = true;
        m_ready.notify_all();
    }

    int read(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        m_ready.wait_for(lock, timeout, [&] { return m_closed || m_woken || !m_queue.empty(); });
        if (m_closed) return -1;
        if (m_queue.empty()) return 0;
        Record record = m_queue.front();
        m_queue.pop_front();
        lock.unlock();
        if (buffer.empty()) return 0;
        buffer[0] = 0;  // the controller uses no report IDs
        std::size_t copied = std::min(buffer.size() - 1, kRecordSize);
        std::copy_n(record.begin(), copied, buffer.begin() + 1);
        return static_cast<int>(copied + 1);
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Record> m_queue;
    bool m_closed = false;
    bool m_woken = false;
};

struct WatchQueue {
    std::function<void(const hid::PlugEvent&)> onEvent;

    std::deque<hid::PlugEvent> events;  // guarded by the hub's mutex
    bool stopping = false;              // guarded by the hub's mutex
    std::condition_variable wake;
    std::thread thread;
};

// The watch whose callback runs on this thread, so that a watch destroyed from
// inside its own callback lets its thread end instead of joining itself.
thread_local const WatchQueue* t_dispatchingWatch = nullptr;

}  // namespace

struct SimBackend::Hub {
    struct Controller {
        Controller(const DeviceSpec& spec, int deviceId)
            : id(deviceId), denied(spec.denied), emulation(spec, static_cast<std::uint16_t>(deviceId)) {}
        int id;
        bool denied;
        EmulatedController emulation;
        std::vector<std::weak_ptr<InputPort>> ports;
    };

    struct PendingReply {
        Clock::time_point due;
        std::uint64_t sequence;
        int deviceId;
        Record record;
        bool operator>(const PendingReply& other) const {
            return due != other.due ? due > other.due : sequence > other.sequence;
        }
    };

    explicit Hub(std::chrono::milliseconds replyLatency) : latency(replyLatency) {}

    mutable std::mutex mutex;
    std::map<int, std::unique_ptr<Controller>> controllers;  // IDs grow, so this is plug order
    int nextId = 1;
    std::chrono::milliseconds latency;
    std::deque<TraceEntry> traceEntries;
    std::vector<std::shared_ptr<WatchQueue>> watches;
    std::condition_variable settled;

    // Controllers off the bus after a power cut, and when they come back.
    std::vector<std::pair<Clock::time_point, std::unique_ptr<Controller>>> returning;

    std::priority_queue<PendingReply, std::vector<PendingReply>, std::greater<>> pending;
    std::uint64_t nextSequence = 0;
    std::condition_variable schedulerWake;
    bool stopping = false;
    std::thread scheduler;

    Controller* findLocked(int id) {
        auto found = controllers.find(id);
        return found == controllers.end() ? nullptr : found->second.get();
    }

    void deliverLocked(int id, const Record& record) {
        Controller* controller = findLocked(id);
        if (!controller) return;
        std::erase_if(controller->ports, [&](const std::weak_ptr<InputPort>& weak) {
            auto port = weak.lock();
            if (!port) return true;
            port->push(record);
            return false;
        });
    }

    void queueEventLocked(const hid::PlugEvent& event) {
        for (auto& watch : watches) {
            watch->events.push_back(event);
            watch->wake.notify_all();
        }
    }

    bool settledLocked() const {
        for (const auto& watch : watches)
            if (!watch->events.empty()) return false;
        return true;
    }

    bool unplugLocked(int id) {
        auto found = controllers.find(id);
        if (found == controllers.end()) return false;
        for (auto& weak : found->second->ports)
            if (auto port = weak.lock()) port->close();
        controllers.erase(found);
        queueEventLocked({hid::PlugEvent::Kind::Removal, SimBackend::pathOf(id)});
        return true;
    }

    // Power cut: the device leaves the bus as after an unplug and comes back
    // at the same path, in its boot loader, once the scheduler sees it due.
    void powerCycleLocked(int id) {
        auto found = controllers.find(id);
        if (found == controllers.end()) return;
        std::unique_ptr<Controller> controller = std::move(found->second);
        controllers.erase(found);
        for (auto& weak : controller->ports)
            if (auto port = weak.lock()) port->close();
        controller->ports.clear();
        controller->emulation.powerReturned();
        returning.emplace_back(Clock::now() + kPowerReturnDelay, std::move(controller));
        queueEventLocked({hid::PlugEvent::Kind::Removal, SimBackend::pathOf(id)});
        schedulerWake.notify_all();
    }

    void bringBackDueLocked(Clock::time_point now) {
        std::erase_if(returning, [&](auto& entry) {
            if (entry.first > now) return false;
            const int id = entry.second->id;
            controllers.emplace(id, std::move(entry.second));
            queueEventLocked({hid::PlugEvent::Kind::Arrival, SimBackend::pathOf(id)});
            return true;
        });
    }

    // The device leaves the bus and comes back at the same path under the
    // product ID of its new mode; open handles see it gone, as after an unplug.
    void reenumerateLocked(Controller& controller) {
        for (auto& weak : controller.ports)
            if (auto port = weak.lock()) port->close();
        controller.ports.clear();
        queueEventLocked({hid::PlugEvent::Kind::Removal, SimBackend::pathOf(controller.id)});
        queueEventLocked({hid::PlugEvent::Kind::Arrival, SimBackend::pathOf(controller.id)});
    }

    bool write(int id, const Record& record) {
        std::lock_guard lock(mutex);
        Controller* controller = findLocked(id);
        if (!controller) return false;
        if (traceEntries.size() >= kTraceLimit) traceEntries.pop_front();
        traceEntries.push_back({id, controller->emulation.productId(), record});
        ControllerResponse response = controller->emulation.receive(record);
        auto delay = latency + response.extraDelay;
        for (const Record& reply : response.replies) {
            if (delay.count() <= 0) {
                deliverLocked(id, reply);
            } else {
                pending.push({Clock::now() + delay, nextSequence++, id, reply});
                schedulerWake.notify_all();
            }
        }
        if (response.unplug) unplugLocked(id);
        if (response.powerCycle) powerCycleLocked(id);
        if (response.reenumerate) reenumerateLocked(*controller);
        return true;
    }

    void runScheduler() {
        std::unique_lock lock(mutex);
        while (!stopping) {
            std::optional<Clock::time_point> due;
            if (!pending.empty()) due = pending.top().due;
            for (const auto& entry : returning)
                if (!due || entry.first < *due) due = entry.first;
            if (!due) {
                schedulerWake.wait(lock);
                continue;
            }
            const Clock::time_point now = Clock::now();
            if (now < *due) {
                schedulerWake.wait_until(lock, *due);
                continue;
            }
            bringBackDueLocked(now);
            if (pending.empty() || pending.top().due > now) continue;
            PendingReply reply = pending.top();
            pending.pop();
            deliverLocked(reply.deviceId, reply.record);
        }
    }

    void runWatch(const std::shared_ptr<WatchQueue>& watch) {
        t_dispatchingWatch = watch.get();
        std::unique_lock lock(mutex);
        for (;;) {
            watch->wake.wait(lock, [&] { return watch->stopping || !watch->events.empty(); });
            if (watch->stopping) return;
            hid::PlugEvent event = std::move(watch->events.front());
            watch->events.pop_front();
            if (settledLocked()) settled.notify_all();
            lock.unlock();
            watch->onEvent(event);
            lock.lock();
        }
    }
};

namespace {

class SimDevice : public hid::Device {
public:
    SimDevice(std::weak_ptr<SimBackend::Hub> hub, int id, std::shared_ptr<InputPort> port)
        : m_hub(std::move(hub)), m_id(id), m_port(std::move(port)) {}
    ~SimDevice() override { m_port->close(); }

    int read(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) override {
        return m_port->read(buffer, timeout);
    }

    int write(std::span<const std::uint8_t> report) override {
        // Byte 0 is the report ID, which this controller does not use; short
        // reports are zero-filled as the kernel does.
        if (report.empty() || report.size() > kReportSize || report[0] != 0) return -1;
        if (m_port->closed()) return -1;
        auto hub = m_hub.lock();
        if (!hub) return -1;
        Record record{};
        std::copy(report.begin() + 1, report.end(), record.begin());
        return hub->write(m_id, record) ? static_cast<int>(report.size()) : -1;
    }

    void wake() override { m_port->wake(); }

    int inputReportLength() const override { return static_cast<int>(kReportSize); }
    int outputReportLength() const override { return static_cast<int>(kReportSize); }

private:
    std::weak_ptr<SimBackend::Hub> m_hub;
    int m_id;
    std::shared_ptr<InputPort> m_port;
};

class SimWatch : public hid::PlugWatch {
public:
    SimWatch(std::shared_ptr<SimBackend::Hub> hub, std::shared_ptr<WatchQueue> queue)
        : m_hub(std::move(hub)), m_queue(std::move(queue)) {}
    ~SimWatch() override {
        {
            std::lock_guard lock(m_hub->mutex);
            m_queue->stopping = true;
            m_queue->wake.notify_all();
            std::erase(m_hub->watches, m_queue);
            m_hub->settled.notify_all();
        }
        if (t_dispatchingWatch == m_queue.get())
            m_queue->thread.detach();  // it sees `stopping` once the callback returns
        else
            m_queue->thread.join();
    }

private:
    std::shared_ptr<SimBackend::Hub> m_hub;
    std::shared_ptr<WatchQueue> m_queue;
};

std::optional<int> idOfPath(const std::string& path) {
    constexpr std::string_view prefix = "sim:";
    if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    int id = 0;
    for (std::size_t i = prefix.size(); i < path.size(); ++i) {
        if (path[i] < '0' || path[i] > '9' || id > 100000000) return std::nullopt;
        id = id * 10 + (path[i] - '0');
    }
    return id;
}

}  // namespace

std::string formatTraceLine(const TraceEntry& entry) {
    char head[48];
    std::snprintf(head, sizeof head, "%d %04x %02x %02x %04x ", entry.deviceId, entry.productId,
                  recordCmd(entry.record), recordKey(entry.record), recordIndex(entry.record));
    return head + toHex(recordData(entry.record));
}

std::string formatListLine(const PluggedDevice& device) {
    char head[32];
    std::snprintf(head, sizeof head, "%d %04x %s ", device.id, device.productId, device.bootLoader ? "boot" : "app");
    return head + formatVersion(device.firmware) + " " + (device.name.empty() ? "-" : device.name);
}

SimBackend::SimBackend(std::chrono::milliseconds latency) : m_hub(std::make_shared<Hub>(latency)) {
    m_hub->scheduler = std::thread([hub = m_hub.get()] { hub->runScheduler(); });
}

SimBackend::~SimBackend() {
    {
        std::lock_guard lock(m_hub->mutex);
        m_hub->stopping = true;
        m_hub->schedulerWake.notify_all();
        for (auto& [id, controller] : m_hub->controllers)
            for (auto& weak : controller->ports)
                if (auto port = weak.lock()) port->close();
        m_hub->controllers.clear();
    }
    m_hub->scheduler.join();
}

std::string SimBackend::pathOf(int id) { return "sim:" + std::to_string(id); }

SimBackend::PlugResult SimBackend::plug(const DeviceSpec& spec) {
    std::lock_guard lock(m_hub->mutex);
    int id = m_hub->nextId++;
    m_hub->controllers.emplace(id, std::make_unique<Hub::Controller>(spec, id));
    m_hub->queueEventLocked({hid::PlugEvent::Kind::Arrival, pathOf(id)});
    return {id, {}};
}

std::vector<int> SimBackend::plug(ControllerKind kind, int count) {
    std::vector<int> ids;
    DeviceSpec spec;
    spec.kind = kind;
    for (int i = 0; i < count; ++i) ids.push_back(plug(spec).id);
    return ids;
}

bool SimBackend::unplug(int id) {
    std::lock_guard lock(m_hub->mutex);
    return m_hub->unplugLocked(id);
}

void SimBackend::suspend() {
    std::lock_guard lock(m_hub->mutex);
    m_hub->queueEventLocked({hid::PlugEvent::Kind::Suspend, {}});
}

void SimBackend::resume() {
    std::lock_guard lock(m_hub->mutex);
    m_hub->queueEventLocked({hid::PlugEvent::Kind::Resume, {}});
}

void SimBackend::setLatency(std::chrono::milliseconds latency) {
    std::lock_guard lock(m_hub->mutex);
    m_hub->latency = latency;
}

std::chrono::milliseconds SimBackend::latency() const {
    std::lock_guard lock(m_hub->mutex);
    return m_hub->latency;
}

bool SimBackend::setFault(int id, FaultKind kind, int value) {
    std::lock_guard lock(m_hub->mutex);
    Hub::Controller* controller = m_hub->findLocked(id);
    if (!controller) return false;
    controller->emulation.setFault(kind, value);
    return true;
}

bool SimBackend::sendEventReport(int id, std::uint16_t index, std::span<const std::uint8_t> data) {
    std::lock_guard lock(m_hub->mutex);
    if (!m_hub->findLocked(id)) return false;
    m_hub->deliverLocked(id, EmulatedController::eventReport(index, data));
    return true;
}

std::vector<PluggedDevice> SimBackend::devices() const {
    std::lock_guard lock(m_hub->mutex);
    std::vector<PluggedDevice> list;
    for (const auto& [id, controller] : m_hub->controllers) {
        const EmulatedController& emulation = controller->emulation;
        list.push_back({id, emulation.productId(), emulation.inBootLoader(), emulation.firmwareVersion(),
                        emulation.name(), pathOf(id)});
    }
    return list;
}

std::vector<TraceEntry> SimBackend::trace() const {
    std::lock_guard lock(m_hub->mutex);
    return {m_hub->traceEntries.begin(), m_hub->traceEntries.end()};
}

std::vector<TraceEntry> SimBackend::takeTrace() {
    std::lock_guard lock(m_hub->mutex);
    std::vector<TraceEntry> entries(m_hub->traceEntries.begin(), m_hub->traceEntries.end());
    m_hub->traceEntries.clear();
    return entries;
}

void SimBackend::clearTrace() {
    std::lock_guard lock(m_hub->mutex);
    m_hub->traceEntries.clear();
}

std::optional<std::vector<std::pair<std::string, std::string>>> SimBackend::state(int id) const {
    std::lock_guard lock(m_hub->mutex);
    Hub::Controller* controller = m_hub->findLocked(id);
    if (!controller) return std::nullopt;
    return controller->emulation.state();
}

bool SimBackend::inspect(int id, const std::function<void(const EmulatedController&)>& look) const {
    std::lock_guard lock(m_hub->mutex);
    Hub::Controller* controller = m_hub->findLocked(id);
    if (!controller) return false;
    look(controller->emulation);
    return true;
}

std::vector<hid::DeviceInfo> SimBackend::enumerate() {
    std::lock_guard lock(m_hub->mutex);
    std::vector<hid::DeviceInfo> infos;
    for (const auto& [id, controller] : m_hub->controllers)
        infos.push_back({pathOf(id), kVendorId, controller->emulation.productId(), kUsagePage, kUsage,
                         "sim-usb-" + std::to_string(id)});
    return infos;
}

std::unique_ptr<hid::Device> SimBackend::open(const std::string& path, hid::OpenError& error) {
    std::optional<int> id = idOfPath(path);
    std::lock_guard lock(m_hub->mutex);
    Hub::Controller* controller = id ? m_hub->findLocked(*id) : nullptr;
    if (!controller) {
        error = hid::OpenError::NotFound;
        return nullptr;
    }
    if (controller->denied) {
        error = hid::OpenError::PermissionDenied;
        return nullptr;
    }
    auto port = std::make_shared<InputPort>();
    controller->ports.push_back(port);
    error = hid::OpenError::None;
    return std::make_unique<SimDevice>(m_hub, *id, std::move(port));
}

std::unique_ptr<hid::PlugWatch> SimBackend::watch(std::function<void(const hid::PlugEvent&)> onEvent) {
    auto queue = std::make_shared<WatchQueue>();
    queue->onEvent = std::move(onEvent);
    std::lock_guard lock(m_hub->mutex);
    m_hub->watches.push_back(queue);
    // Started under the lock that the thread takes first, so the thread sees
    // its own handle. It keeps the hub alive, so that a detached watch thread
    // can still finish.
    queue->thread = std::thread([hub = m_hub, queue] { hub->runWatch(queue); });
    return std::make_unique<SimWatch>(m_hub, queue);
}

bool SimBackend::waitUntilSettled(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_hub->mutex);
    return m_hub->settled.wait_for(lock, limit, [&] { return m_hub->settledLocked(); });
}

}  // namespace sim
