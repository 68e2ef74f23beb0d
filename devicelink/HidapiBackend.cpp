#include "devicelink/HidapiBackend.h"

#include <hidapi/hidapi.h>
#include <libudev.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace devicelink {
namespace {

constexpr int kRecordLength = 64;
constexpr int kReportLength = kRecordLength + 1;

// Where the device hangs on the USB tree: the sysfs path of its USB device.
std::string locationOf(udev* context, const char* devnode) {
    if (!context || !devnode) return {};
    const char* name = std::strrchr(devnode, '/');
    udev_device* device = udev_device_new_from_subsystem_sysname(context, "hidraw", name ? name + 1 : devnode);
    if (!device) return {};
    std::string location;
    if (udev_device* usb = udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device"))
        if (const char* path = udev_device_get_syspath(usb)) location = path;
    udev_device_unref(device);
    return location;
}

// One opened hidraw node. Reads poll the node together with an eventfd, so a
// reader blocks until a report comes and a stop still wakes it at once.
class HidrawDevice final : public hid::Device {
public:
    explicit HidrawDevice(int fd) : m_fd(fd), m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~HidrawDevice() override {
        ::close(m_fd);
        if (m_wakeFd >= 0) ::close(m_wakeFd);
    }

    int read(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) override {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        const int ready = poll(fds, m_wakeFd >= 0 ? 2 : 1, static_cast<int>(timeout.count()));
        if (ready < 0) return errno == EINTR ? 0 : -1;
        // The wake is never consumed: every later read returns at once too.
        if (ready == 0 || (m_wakeFd >= 0 && fds[1].revents)) return 0;
        if (!(fds[0].revents & POLLIN)) return -1;  // hung up or failed: the device is gone
        unsigned char raw[kReportLength];
        const ssize_t length = ::read(m_fd, raw, sizeof raw);
        if (length < 0) return errno == EINTR || errno == EAGAIN ? 0 : -1;
        if (length == 0) return -1;
        return reportFromHidraw(raw, static_cast<int>(length), buffer.data(), static_cast<int>(buffer.size()));
    }

    int write(std::span<const std::uint8_t> report) override {
        // Byte 0 is the report ID; hidraw takes it off for devices without numbered reports.
        const ssize_t written = ::write(m_fd, report.data(), report.size());
        return written < 0 ? -1 : static_cast<int>(written);
    }

    void wake() override {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
    }

    int inputReportLength() const override { return kReportLength; }
    int outputReportLength() const override { return kReportLength; }

private:
    int m_fd;
    int m_wakeFd;
};

// A udev monitor thread; an eventfd wakes it for the stop.
class UdevPlugWatch final : public hid::PlugWatch {
public:
    explicit UdevPlugWatch(std::function<void(const hid::PlugEvent&)> onEvent) : m_onEvent(std::move(onEvent)) {
        m_context = udev_new();
        m_stopFd = eventfd(0, EFD_CLOEXEC);
        if (m_context) m_monitor = udev_monitor_new_from_netlink(m_context, "udev");
        if (m_monitor) {
            udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "hidraw", nullptr);
            udev_monitor_enable_receiving(m_monitor);
            m_thread = std::thread([this] { run(); });
        }
    }

    ~UdevPlugWatch() override {
        if (m_stopFd >= 0) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t written = ::write(m_stopFd, &one, sizeof one);
        }
        if (m_thread.joinable()) m_thread.join();
        if (m_monitor) udev_monitor_unref(m_monitor);
        if (m_context) udev_unref(m_context);
        if (m_stopFd >= 0) ::close(m_stopFd);
    }

private:
    void run() {
        pollfd fds[2] = {{udev_monitor_get_fd(m_monitor), POLLIN, 0}, {m_stopFd, POLLIN, 0}};
        while (true) {
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents) return;
            udev_device* device = udev_monitor_receive_device(m_monitor);
            if (!device) continue;
            const char* action = udev_device_get_action(device);
            const char* node = udev_device_get_devnode(device);
            if (action && node) {
                if (std::strcmp(action, "add") == 0) m_onEvent({hid::PlugEvent::Kind::Arrival, node});
                if (std::strcmp(action, "remove") == 0) m_onEvent({hid::PlugEvent::Kind::Removal, node});
            }
            udev_device_unref(device);
        }
    }

    std::function<void(const hid::PlugEvent&)> m_onEvent;
    udev* m_context = nullptr;
    udev_monitor* m_monitor = nullptr;
    int m_stopFd = -1;
    std::thread m_thread;
};

class HidapiBackend final : public hid::Backend {
public:
    HidapiBackend() { hid_init(); }
    ~HidapiBackend() override { hid_exit(); }

    std::vector<hid::DeviceInfo> enumerate() override {
        std::vector<hid::DeviceInfo> found;
        udev* context = udev_new();
        // hidapi keeps its enumeration state in globals.
        std::lock_guard lock(m_mutex);
        hid_device_info* list = hid_enumerate(0, 0);
        for (hid_device_info* info = list; info; info = info->next) {
            hid::DeviceInfo device;
            device.path = info->path ? info->path : "";
            device.vendorId = info->vendor_id;
            device.productId = info->product_id;
            device.usagePage = info->usage_page;
            device.usage = info->usage;
            device.locationPath = locationOf(context, info->path);
            found.push_back(std::move(device));
        }
        hid_free_enumeration(list);
        if (context) udev_unref(context);
        return found;
    }

    std::unique_ptr<hid::Device> open(const std::string& path, hid::OpenError& error) override {
        // hidapi's hidraw paths are the device nodes; opened here, the reader can poll them.
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd >= 0) {
            error = hid::OpenError::None;
            return makeHidrawDevice(fd);
        }
        error = errno == ENOENT || errno == ENODEV || errno == ENXIO ? hid::OpenError::NotFound
                : errno == EACCES || errno == EPERM                  ? hid::OpenError::PermissionDenied
                                                                     : hid::OpenError::Other;
        return nullptr;
    }

    std::unique_ptr<hid::PlugWatch> watch(std::function<void(const hid::PlugEvent&)> onEvent) override {
        return std::make_unique<UdevPlugWatch>(std::move(onEvent));
    }

    bool waitUntilSettled(std::chrono::milliseconds limit) override {
        udev* context = udev_new();
        if (!context) return true;
        udev_queue* queue = udev_queue_new(context);
        const auto deadline = std::chrono::steady_clock::now() + limit;
        bool settled = true;
        while (queue && !udev_queue_get_queue_is_empty(queue)) {
            if (std::chrono::steady_clock::now() >= deadline) {
                settled = false;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (queue) udev_queue_unref(queue);
        udev_unref(context);
        return settled;
    }

private:
    std::mutex m_mutex;
};

}  // namespace

int reportFromHidraw(const unsigned char* raw, int rawLength, unsigned char* report, int reportCapacity) {
    if (rawLength <= 0) return rawLength;
    const int copied = std::min(rawLength, reportCapacity - 1);
    if (copied < 0) return -1;
    report[0] = 0;
    std::memcpy(report + 1, raw, static_cast<std::size_t>(copied));
    return copied + 1;
}

std::unique_ptr<hid::Device> makeHidrawDevice(int fd) { return std::make_unique<HidrawDevice>(fd); }

std::unique_ptr<hid::Backend> makeHidapiBackend() { return std::make_unique<HidapiBackend>(); }

}  // namespace devicelink
