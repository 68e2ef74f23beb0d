#include "updater/IapLink.h"

#include "devicelink/Pause.h"
#include "platform/LittleEndian.h"
#include "platform/Timing.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace updater {
namespace {

constexpr unsigned kMsgHidNotify = 1282;
constexpr unsigned kTimerArrivalSettle = 1;

LedCommandRecord command(std::uint8_t cmd, std::uint8_t key) {
    LedCommandRecord record;
    record.cmd = cmd;
    record.key = key;
    return record;
}

// Erase and checksum take one second per full 10240 bytes.
std::chrono::milliseconds sizeWait(std::uint32_t length) {
    return platform::timing().updaterFlashRetryPause * static_cast<int>(length / 10240);
}

}  // namespace

bool IsErrorReply(const LedCommandRecord& reply) { return reply.cmd == kErrorReplyCmd && reply.key == kErrorReplyKey; }

bool IsReplyTo(const LedCommandRecord& pending, const LedCommandRecord& reply) {
    if (reply.sameCommand(pending)) return true;
    if (pending.cmd == 0x1F && reply.cmd == 0x1E) return reply.key == 0x02;
    return IsErrorReply(reply) && reply.data[0] == pending.cmd && reply.data[1] == pending.key;
}

IapLink::IapLink(int instance, std::uint16_t vendorId, std::uint16_t productId)
    : m_instance(instance), m_vendorId(vendorId), m_productId(productId) {}

IapLink::~IapLink() {
    if (m_opened) {
        devicelink::HidSetCallback(nullptr, m_instance);
        devicelink::HidClose(m_instance);
    }
}

int IapLink::open() {
    if (m_instance < 0 || m_instance >= devicelink::kHidInstanceCount) return 0;
    devicelink::HidMatchConfig config;
    config.VendorID = m_vendorId;
    config.ProductID = m_productId;
    config.UsagePairCount = 1;
    config.Usage[0] = 0x0001;
    config.UsagePage[0] = 0xFF00;
    devicelink::HidSetConfig(config, m_instance);
    devicelink::HidSetCallback(
        [this](std::uint16_t deviceId, const std::uint8_t* report, int length) {
            if (length == 65) onReport(deviceId, report + 1);
        },
        m_instance);
    m_opened = true;
    devicelink::HidOpen(this, kMsgHidNotify, m_instance);
    return connected();
}

int IapLink::connected() const {
    std::lock_guard lock(m_devicesMutex);
    return static_cast<int>(m_devices.size());
}

std::intptr_t IapLink::onMessage(const platform::WindowMessage& message) {
    if (message.id != kMsgHidNotify || message.wParam != 1 || message.lParam == 0) return 0;
    const auto& note = *reinterpret_cast<const devicelink::HidNotifyRecord*>(message.lParam);
    if (note.Event == 1) {
        {
            std::lock_guard lock(m_devicesMutex);
            m_devices.push_back(note);
        }
        m_queuedArrivals.push_back(note.DeviceId);
        if (!windowTimerRunning(kTimerArrivalSettle))
            setWindowTimer(kTimerArrivalSettle, platform::timing().updaterArrivalSettle);
        return 0;
    }
    std::size_t position = 0;
    {
        std::lock_guard lock(m_devicesMutex);
        while (position < m_devices.size() && m_devices[position].DeviceId != note.DeviceId) ++position;
        if (position == m_devices.size()) return 0;
        m_devices.erase(m_devices.begin() + static_cast<std::ptrdiff_t>(position));
    }
    // A device that leaves before its arrival was reported is not reported at all.
    if (std::erase(m_queuedArrivals, note.DeviceId) == 0) report(position, 0);
    return 0;
}

void IapLink::onTimer(unsigned id) {
    if (id != kTimerArrivalSettle) return;
    if (m_queuedArrivals.empty()) {
        killWindowTimer(kTimerArrivalSettle);
        return;
    }
    if (!devicelink::HidWaitUntilSettled(platform::timing().updaterArrivalSettle, m_instance)) return;
    const std::uint16_t deviceId = m_queuedArrivals.front();
    m_queuedArrivals.pop_front();
    std::size_t position = 0;
    std::intptr_t listed = 0;
    {
        std::lock_guard lock(m_devicesMutex);
        while (position < m_devices.size() && m_devices[position].DeviceId != deviceId) ++position;
        listed = static_cast<std::intptr_t>(m_devices.size());
    }
    report(position, listed);
}

void IapLink::report(std::size_t position, std::intptr_t listed) {
    if (QObject* owner = m_owner.load())
        platform::postMessage(owner, {kMsgUpdaterPlug,
                                      (static_cast<std::uintptr_t>(position & 0xFFFF) << 16) |
                                          static_cast<std::uintptr_t>(m_instance),
                                      listed});
}

std::uint16_t IapLink::targetDeviceId() const {
    std::lock_guard lock(m_devicesMutex);
    int ordinal = 0;
    for (const auto& device : m_devices) {
        if (device.Usage != 0x0001 || device.UsagePage != 0xFF00) continue;
        if (ordinal == m_targetOrdinal.load()) return device.DeviceId;
        ++ordinal;
    }
    return 0;
}

int IapLink::transact(LedCommandRecord& record, bool expectReply, std::chrono::milliseconds wait) {
    const std::uint16_t deviceId = targetDeviceId();
    {
        std::lock_guard lock(m_pendingMutex);
        m_pending = record;
        m_pendingDeviceId = deviceId;
        m_expectingReply = expectReply;
        m_replyArrived = false;
    }
    bool sent = false;
    if (deviceId != 0) {
        const auto bytes = record.bytes();
        sent = devicelink::HidWrite(deviceId, bytes.data(), static_cast<int>(bytes.size()), m_instance) != 0;
        devicelink::pauseFor(platform::timing().hidWritePause);
    }
    // Nothing written, nothing to wait for: a controller off the bus never answers.
    if (!expectReply || !sent) return sent ? 0 : 1;
    std::unique_lock lock(m_pendingMutex);
    const bool arrived = m_replyStored.wait_for(lock, std::max(platform::timing().hidReplyWait, wait),
                                                [this] { return m_replyArrived; });
    m_expectingReply = false;
    if (!arrived || IsErrorReply(m_pending)) return 1;
    record = m_pending;
    return sent ? 0 : 1;
}

void IapLink::onReport(std::uint16_t deviceId, const std::uint8_t* bytes) {
    const LedCommandRecord reply = LedCommandRecord::fromBytes(bytes);
    std::lock_guard lock(m_pendingMutex);
    if (!m_expectingReply || m_replyArrived || deviceId != m_pendingDeviceId || !IsReplyTo(m_pending, reply)) return;
    m_pending = reply;
    m_replyArrived = true;
    m_replyStored.notify_all();
}

int IapLink::GetSubDevice(std::uint32_t& value) {
    LedCommandRecord record = command(0x10, 0x00);
    if (transact(record, true, {}) != 0) return 1;
    value = platform::readLe32(record.data.data());
    return 0;
}

int IapLink::SetSubDevice(std::uint32_t value) {
    LedCommandRecord record = command(0x10, 0x01);
    platform::writeLe32(record.data.data(), value);
    return transact(record, true, {});
}

int IapLink::GetSubDeviceCount(std::uint32_t& count) {
    LedCommandRecord record = command(0x10, 0x02);
    if (transact(record, true, {}) != 0) return 1;
    count = platform::readLe32(record.data.data());
    return 0;
}

int IapLink::EnterBootLoader() {
    LedCommandRecord record = command(0x11, 0x00);
    return transact(record, false, {});
}

int IapLink::ResetDevice() {
    LedCommandRecord record = command(0x11, 0x01);
    return transact(record, false, {});
}

int IapLink::GetFwInfo(std::uint8_t (&info)[64]) {
    LedCommandRecord record = command(0x12, 0x00);
    if (transact(record, true, {}) != 0) return 1;
    std::memset(info, 0, sizeof info);
    std::memcpy(info, record.data.data(), record.data.size());
    return 0;
}

int IapLink::GetApInfoIndex(std::uint16_t& number) {
    LedCommandRecord record = command(0x12, 0x01);
    if (transact(record, true, {}) != 0 || record.data[0] != 4) return 1;
    number = platform::readLe16(record.data.data() + 2);
    return 0;
}

int IapLink::GetUpdateMode(std::uint8_t& mode) {
    LedCommandRecord record = command(0x12, 0x02);
    if (transact(record, true, {}) != 0 || record.data[0] > 1) return 1;
    mode = record.data[0];
    return 0;
}

int IapLink::GetInfoBlock(int n, std::uint8_t (&block)[60]) {
    LedCommandRecord record = command(0x12, static_cast<std::uint8_t>(0x20 + n));
    if (transact(record, true, {}) != 0) return 1;
    std::memcpy(block, record.data.data(), sizeof block);
    return 0;
}

int IapLink::EraseFlash(std::uint32_t length) {
    LedCommandRecord record = command(0x1D, 0x00);
    platform::writeLe32(record.data.data() + 4, length);
    return transact(record, true, sizeWait(length));
}

int IapLink::GetFlashChecksum(std::uint32_t start, std::uint32_t length, std::uint32_t& checksum) {
    LedCommandRecord record = command(0x1D, 0x01);
    platform::writeLe32(record.data.data(), start);
    platform::writeLe32(record.data.data() + 4, length);
    if (transact(record, true, sizeWait(length > start ? length - start : 0)) != 0) return 1;
    checksum = platform::readLe32(record.data.data());
    return 0;
}

int IapLink::GetWritePoint(std::uint32_t& point) {
    LedCommandRecord record = command(0x1E, 0x00);
    platform::writeLe32(record.data.data(), 0xFFFFFFFFu);
    if (transact(record, true, {}) != 0) return 1;
    point = platform::readLe32(record.data.data());
    return 0;
}

int IapLink::SetWritePoint(std::uint32_t address) {
    LedCommandRecord record = command(0x1E, 0x01);
    platform::writeLe32(record.data.data(), address);
    return transact(record, true, platform::timing().updaterFlashRetryPause);
}

int IapLink::WriteBlock(const std::uint8_t* bytes, int length, std::uint32_t& newPoint) {
    if (length <= 0 || length > kMaxWriteBlock) return 1;
    LedCommandRecord record = command(0x1F, static_cast<std::uint8_t>(length));
    std::memcpy(record.data.data(), bytes, static_cast<std::size_t>(length));
    if (transact(record, true, {}) != 0) return 1;
    newPoint = platform::readLe32(record.data.data());
    return 0;
}

}  // namespace updater
