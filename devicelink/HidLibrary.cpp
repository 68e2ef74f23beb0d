#include "devicelink/HidLibrary.h"

#include "platform/Messages.h"
#include "platform/Timing.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <list>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace devicelink {
namespace {

struct DeviceEntry {
    std::uint16_t id = 0;
    hid::DeviceInfo info;
    std::shared_ptr<hid::Device> device;
    HidReportCallback callback = nullptr;
    std::atomic<bool> stop{false};
    std::thread reader;
};

// Carries notifications from a plug-watch thread to the owner's thread.
class NotesEvent final : public QEvent {
public:
    explicit NotesEvent(std::vector<HidNotifyRecord> notes) : QEvent(type()), m_notes(std::move(notes)) {}
    static QEvent::Type type() {
        static const auto registered = static_cast<QEvent::Type>(QEvent::registerEventType());
        return registered;
    }
    const std::vector<HidNotifyRecord>& notes() const { return m_notes; }

private:
    std::vector<HidNotifyRecord> m_notes;
};

// Lives on the owner's thread for as long as the instance is started; hands
// each notification to the owner as a sent message.
class NotificationRelay final : public QObject {
public:
    // Touched only on the owner's thread.
    QPointer<QObject> owner;
    unsigned message = 0;

    void deliver(const std::vector<HidNotifyRecord>& notes) {
        for (const HidNotifyRecord& record : notes)
            if (owner) platform::sendMessage(owner, {message, 1, reinterpret_cast<std::intptr_t>(&record)});
    }

protected:
    bool event(QEvent* event) override {
        platform::markEventReceived();
        if (event->type() != NotesEvent::type()) return QObject::event(event);
        deliver(static_cast<NotesEvent*>(event)->notes());
        return true;
    }
};

struct Instance {
    std::mutex mutex;  // guards every member below that is not atomic
    HidMatchConfig config;
    HidReportCallback callback = nullptr;
    std::unique_ptr<NotificationRelay> relay;
    std::shared_ptr<hid::Backend> backend;
    std::unique_ptr<hid::PlugWatch> watch;
    std::uint32_t nextDeviceId = 1;
    std::list<std::shared_ptr<DeviceEntry>> devices;
    std::atomic<bool> suspended{false};
};

std::array<Instance, kHidInstanceCount>& instances() {
    static std::array<Instance, kHidInstanceCount> table;
    return table;
}

Instance* instanceAt(int index) {
    if (index < 0 || index >= kHidInstanceCount) return nullptr;
    return &instances()[static_cast<std::size_t>(index)];
}

std::mutex& backendMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<hid::Backend>& processBackend() {
    static std::shared_ptr<hid::Backend> backend;
    return backend;
}

void readLoop(DeviceEntry& entry, const std::atomic<bool>& suspended) {
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::max(entry.device->inputReportLength(), 1)));
    bool previousFailed = false;
    while (!entry.stop.load()) {
        if (previousFailed || suspended.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (suspended.load()) continue;
        }
        // Blocks until a report comes, the device fails or a stop wakes it.
        const int length = entry.device->read(buffer, platform::timing().hidReadWait);
        previousFailed = length < 0;
        if (length > 0 && entry.callback && !entry.stop.load()) {
            // The callback may look past the report, as a fixed-size buffer allows.
            std::array<std::uint8_t, 1000> report{};
            std::memcpy(report.data(), buffer.data(),
                        std::min<std::size_t>(static_cast<std::size_t>(length), report.size()));
            entry.callback(entry.id, report.data(), length);
        }
    }
}

// Cooperative stop: the flag first, then the wake, so a read the reader
// starts after the flag check still returns at once.
void stopReader(DeviceEntry& entry) {
    entry.stop.store(true);
    entry.device->wake();
    if (entry.reader.joinable()) entry.reader.join();
}

bool matches(const HidMatchConfig& config, const hid::DeviceInfo& info) {
    if (info.vendorId != config.VendorID || info.productId != config.ProductID) return false;
    const std::uint32_t pairs = std::min<std::uint32_t>(config.UsagePairCount, kHidMaxUsagePairs);
    for (std::uint32_t k = 0; k < pairs; ++k)
        if (info.usage == config.Usage[k] && info.usagePage == config.UsagePage[k]) return true;
    return false;
}

HidNotifyRecord recordFor(int event, const DeviceEntry& entry) {
    HidNotifyRecord record;
    record.Event = event;
    record.DeviceId = entry.id;
    record.VendorID = entry.info.vendorId;
    record.ProductID = entry.info.productId;
    record.Usage = entry.info.usage;
    record.UsagePage = entry.info.usagePage;
    return record;
}

std::atomic<int> g_permissionDenials{0};

void reportPermissionProblem(const hid::DeviceInfo& info) {
    g_permissionDenials.fetch_add(1);
    std::fprintf(stderr,
                 "%s: the controller %04x:%04x at %s is attached but cannot be opened: permission denied.\n"
                 "Install the udev rule dist/70-lumenstra.rules (cmake --install does), then unplug and plug the "
                 "controller or run: sudo udevadm trigger\n",
                 program_invocation_short_name, info.vendorId, info.productId, info.path.c_str());
}

// Opens a matching device and appends it; the caller holds the instance lock.
// Devices already open are skipped, so a plug event for a device found by the
// enumeration does not open it twice.
bool tryAdd(Instance& instance, const hid::DeviceInfo& info, std::vector<HidNotifyRecord>& notes) {
    if (!matches(instance.config, info)) return false;
    for (const auto& entry : instance.devices)
        if (entry->info.path == info.path) return false;
    hid::OpenError error = hid::OpenError::None;
    std::unique_ptr<hid::Device> device = instance.backend->open(info.path, error);
    if (!device) {
        if (error == hid::OpenError::PermissionDenied) reportPermissionProblem(info);
        return false;
    }
    auto entry = std::make_shared<DeviceEntry>();
    entry->info = info;
    entry->device = std::move(device);
    entry->callback = instance.callback;
    entry->id = static_cast<std::uint16_t>(instance.nextDeviceId & 0xFFFF);
    ++instance.nextDeviceId;
    DeviceEntry& started = *entry;
    started.reader = std::thread([&started, &instance] { readLoop(started, instance.suspended); });
    instance.devices.push_back(entry);
    notes.push_back(recordFor(1, *entry));
    return true;
}

void enumerateInto(Instance& instance, std::vector<HidNotifyRecord>& notes) {
    for (const hid::DeviceInfo& info : instance.backend->enumerate()) tryAdd(instance, info, notes);
}

void notifyOwner(Instance& instance, std::vector<HidNotifyRecord> notes) {
    if (notes.empty()) return;
    std::unique_lock lock(instance.mutex);
    NotificationRelay* relay = instance.relay.get();
    if (!relay) return;
    if (QThread::currentThread() == relay->thread()) {
        lock.unlock();
        relay->deliver(notes);
    } else {
        // Posted events die with their receiver, so HidClose drops what is still queued.
        auto* event = new NotesEvent(std::move(notes));
        platform::postEvent(relay, event);
    }
}

// Takes every device out of the list; the caller stops them outside the lock.
std::list<std::shared_ptr<DeviceEntry>> takeAllDevices(Instance& instance) {
    std::list<std::shared_ptr<DeviceEntry>> taken;
    taken.swap(instance.devices);
    return taken;
}

void onPlugEvent(Instance& instance, const hid::PlugEvent& event) {
    std::vector<HidNotifyRecord> notes;
    std::list<std::shared_ptr<DeviceEntry>> removed;
    {
        std::lock_guard lock(instance.mutex);
        if (!instance.backend) return;
        switch (event.kind) {
        case hid::PlugEvent::Kind::Arrival:
            if (instance.suspended.load()) return;
            for (const hid::DeviceInfo& info : instance.backend->enumerate())
                if (info.path == event.path) tryAdd(instance, info, notes);
            break;
        case hid::PlugEvent::Kind::Removal:
            for (auto it = instance.devices.begin(); it != instance.devices.end(); ++it) {
                if ((*it)->info.path != event.path) continue;
                removed.push_back(*it);
                instance.devices.erase(it);
                break;
            }
            break;
        case hid::PlugEvent::Kind::Suspend:
            instance.suspended.store(true);
            removed = takeAllDevices(instance);
            instance.nextDeviceId = 1;
            break;
        case hid::PlugEvent::Kind::Resume:
            if (!instance.suspended.load()) return;
            instance.suspended.store(false);
            enumerateInto(instance, notes);
            break;
        }
    }
    for (const auto& entry : removed) {
        stopReader(*entry);
        notes.push_back(recordFor(0, *entry));
    }
    notifyOwner(instance, std::move(notes));
}

}  // namespace

void HidSetBackend(std::shared_ptr<hid::Backend> backend) {
    std::lock_guard lock(backendMutex());
    processBackend() = std::move(backend);
}

void HidSetConfig(const HidMatchConfig& config, int index) {
    Instance* instance = instanceAt(index);
    if (!instance) return;
    std::lock_guard lock(instance->mutex);
    instance->config = config;
}

void HidSetCallback(HidReportCallback callback, int index) {
    Instance* instance = instanceAt(index);
    if (!instance) return;
    std::lock_guard lock(instance->mutex);
    instance->callback = std::move(callback);
}

int HidOpen(QObject* owner, unsigned message, int index) {
    Instance* instance = instanceAt(index);
    if (!instance) return 0;
    std::vector<HidNotifyRecord> notes;
    int result = 0;
    std::shared_ptr<hid::Backend> startWith;
    {
        std::lock_guard lock(instance->mutex);
        if (!instance->relay) instance->relay = std::make_unique<NotificationRelay>();
        instance->relay->owner = owner;
        instance->relay->message = message;
        if (!instance->backend) {
            std::lock_guard backendLock(backendMutex());
            instance->backend = processBackend();
            if (!instance->backend) return 0;
            startWith = instance->backend;
        }
    }
    // The watch starts before the enumeration so that no arrival falls between
    // them; an arrival seen by both opens the device once.
    if (startWith) {
        std::unique_ptr<hid::PlugWatch> watch =
            startWith->watch([instance](const hid::PlugEvent& event) { onPlugEvent(*instance, event); });
        std::lock_guard lock(instance->mutex);
        instance->watch = std::move(watch);
    }
    {
        std::lock_guard lock(instance->mutex);
        if (!instance->suspended.load()) enumerateInto(*instance, notes);
        if (instance->nextDeviceId == 1)
            notes.push_back(HidNotifyRecord{});
        else
            result = static_cast<int>(instance->nextDeviceId);
    }
    notifyOwner(*instance, std::move(notes));
    return result;
}

int HidWrite(std::uint16_t deviceId, const std::uint8_t* bytes, int count, int index) {
    Instance* instance = instanceAt(index);
    if (!instance || deviceId == 0 || !bytes || count < 0) return 0;
    std::shared_ptr<hid::Device> device;
    {
        std::lock_guard lock(instance->mutex);
        if (instance->suspended.load()) return 0;
        for (const auto& entry : instance->devices)
            if (entry->id == deviceId) device = entry->device;
    }
    if (!device) return 0;
    const int length = device->outputReportLength();
    if (length < 2) return 0;
    std::vector<std::uint8_t> report(static_cast<std::size_t>(length), 0);
    // Byte 0 stays the report ID 0: the controllers use no numbered reports.
    std::memcpy(report.data() + 1, bytes, static_cast<std::size_t>(std::min(count, length - 1)));
    return device->write(report) > 0 ? 1 : 0;
}

bool HidIsOpen(std::uint16_t deviceId, int index) {
    Instance* instance = instanceAt(index);
    if (!instance || deviceId == 0) return false;
    std::lock_guard lock(instance->mutex);
    if (instance->suspended.load()) return false;
    for (const auto& entry : instance->devices)
        if (entry->id == deviceId) return true;
    return false;
}

bool HidWaitUntilSettled(std::chrono::milliseconds limit, int index) {
    Instance* instance = instanceAt(index);
    if (!instance) return true;
    std::shared_ptr<hid::Backend> backend;
    {
        std::lock_guard lock(instance->mutex);
        backend = instance->backend;
    }
    // Waited for outside the lock: the plug watch needs it to hand events over.
    return !backend || backend->waitUntilSettled(limit);
}

void HidClose(int index) {
    Instance* instance = instanceAt(index);
    if (!instance) return;
    std::list<std::shared_ptr<DeviceEntry>> devices;
    std::unique_ptr<hid::PlugWatch> watch;
    std::unique_ptr<NotificationRelay> relay;
    {
        std::lock_guard lock(instance->mutex);
        devices = takeAllDevices(*instance);
        watch = std::move(instance->watch);
        instance->config = HidMatchConfig{};
        instance->callback = nullptr;
        instance->nextDeviceId = 1;
    }
    // The watch thread takes the instance lock, so it is stopped outside it.
    watch.reset();
    for (const auto& entry : devices) stopReader(*entry);
    std::lock_guard lock(instance->mutex);
    relay = std::move(instance->relay);  // deleted after the lock is released
    instance->backend.reset();
    instance->suspended.store(false);
}

int HidGetLocationInfo(std::uint16_t deviceId, std::string& location, int index) {
    Instance* instance = instanceAt(index);
    if (!instance) return 0;
    std::lock_guard lock(instance->mutex);
    if (instance->suspended.load()) return 0;
    for (const auto& entry : instance->devices) {
        if (entry->id != deviceId) continue;
        if (entry->info.locationPath.empty()) return -1;
        location = entry->info.locationPath;
        return 1;
    }
    return 0;
}

void HidPowerEvent(bool suspending) {
    const hid::PlugEvent event{suspending ? hid::PlugEvent::Kind::Suspend : hid::PlugEvent::Kind::Resume, {}};
    for (int index = 0; index < kHidInstanceCount; ++index) onPlugEvent(*instanceAt(index), event);
}

int HidPermissionDenials() { return g_permissionDenials.load(); }

}  // namespace devicelink
