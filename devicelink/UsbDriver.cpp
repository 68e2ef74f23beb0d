#include "devicelink/UsbDriver.h"

#include "devicelink/Pause.h"
#include "platform/Companion.h"
#include "platform/DebugLog.h"
#include "platform/LittleEndian.h"
#include "platform/Timing.h"

#include <cstdio>
#include <cstring>

namespace devicelink {
namespace {

LedCommandRecord makeRecord(std::uint8_t cmd, std::uint8_t key, std::uint16_t index = 0) {
    LedCommandRecord record;
    record.cmd = cmd;
    record.key = key;
    record.index = index;
    return record;
}

}  // namespace

CUSBDriver::CUSBDriver(Family family, LinkMode mode)
    : m_family(family), m_mode(mode), m_instance(InstanceIndexOf(family, mode)) {}

// Closed before any member goes, so no reader thread can reach a dying object.
CUSBDriver::~CUSBDriver() {
    if (m_opened) CloseDriver();
}

bool CUSBDriver::OpenDriver() {
    if (m_family == Family::Standard && m_mode == LinkMode::Application) platform::DebugTrace("Open USB Driver");
    // Closed whenever it was opened, not only while connected: a link that lost
    // its connected flag to a stray removal still holds its devices, and every
    // open must start from an empty list with IDs from 1.
    if (m_opened) HidClose(m_instance);
    m_devices.clear();
    m_matchConfig = HidMatchConfig{};
    m_matchConfig.VendorID = kVendorId;
    m_matchConfig.ProductID = ProductIdOf(m_family, m_mode);
    m_matchConfig.UsagePairCount = 1;
    m_matchConfig.Usage[0] = kUsage;
    m_matchConfig.UsagePage[0] = kUsagePage;
    HidSetConfig(m_matchConfig, m_instance);
    HidSetCallback([this](std::uint16_t deviceId, const std::uint8_t* report,
                          int length) { onReport(deviceId, report, length); },
                   m_instance);
    m_opened = true;
    const int opened = HidOpen(this, kMsgHidNotify, m_instance);
    m_connected.store(opened);
    return opened != 0;
}

void CUSBDriver::onReport(std::uint16_t deviceId, const std::uint8_t* report, int length) {
    if (m_mode == LinkMode::BootLoader) {
        platform::DebugTrace("ID:%x,pBuffer=%x , Length=%x", deviceId,
                             static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(report)),
                             static_cast<unsigned>(length));
        platform::DebugTrace("%02x %02x %02x %02x %02x %02x %02x %02x %02x", report[0], report[1], report[2], report[3],
                             report[4], report[5], report[6], report[7], report[8]);
    }
    if (length == kReportLength) onReply(report + 1);
}

int CUSBDriver::CloseDriver() {
    m_devices.clear();
    HidSetConfig(HidMatchConfig{}, m_instance);
    HidSetCallback(nullptr, m_instance);
    HidClose(m_instance);
    m_connected.store(0);
    m_opened = false;
    return 1;
}

std::uint16_t CUSBDriver::deviceIdOfOrdinal(int ordinal) const {
    if (m_devices.empty()) return 0;
    int count = 0;
    for (const HidNotifyRecord& device : m_devices) {
        if (device.UsagePage != kUsagePage) continue;
        if (count == ordinal) return device.DeviceId;
        ++count;
    }
    return m_devices.back().DeviceId;
}

std::intptr_t CUSBDriver::onMessage(const platform::WindowMessage& message) {
    if (message.id == kMsgHidNotify && message.wParam == 1 && message.lParam != 0)
        handleNotification(*reinterpret_cast<const HidNotifyRecord*>(message.lParam));
    return 0;
}

void CUSBDriver::handleNotification(const HidNotifyRecord& record) {
    QObject* owner = m_owner.load();
    const auto instanceBits = static_cast<std::uintptr_t>(m_instance & 0xFFFF);
    if (record.Event == 1) {
        platform::DebugTrace("MONITOROPEN:dwDeviceID=%x,usage:0x%x,uagePage:0x%x", record.DeviceId, record.Usage,
                             record.UsagePage);
        m_devices.push_back(record);
        m_connected.store(1);
        const auto position = static_cast<std::uintptr_t>(m_devices.size() - 1) & 0xFFFF;
        if (owner) platform::postMessage(owner, {kMsgPlug, (position << 16) | instanceBits, 1});
        return;
    }
    platform::DebugTrace("MONITORCLOSE:dwDeviceID=%x,usage:0x%x,uagePage:0x%x", record.DeviceId, record.Usage,
                         record.UsagePage);
    std::size_t position = 0;
    while (position < m_devices.size() && m_devices[position].DeviceId != record.DeviceId) ++position;
    const bool found = position < m_devices.size();
    if (found) m_devices.erase(m_devices.begin() + static_cast<std::ptrdiff_t>(position));
    if (!found || m_devices.empty()) m_connected.store(0);
    if (owner) platform::postMessage(owner, {kMsgPlug, ((position & 0xFFFF) << 16) | instanceBits, 0});
}

int CUSBDriver::SetData(LedCommandRecord& record, int address) {
    if (address == kDefaultDevice) address = m_defaultDevice;
    const auto companionAddress = static_cast<std::uint32_t>(address);
    platform::sendToCompanion(platform::kMsgCommandTransaction, companionAddress, 1);
    int result = 0;
    if (address == kAllDevices)
        result = broadcast(record);
    else if (address == kCurrentGroup)
        result = transactGroup(record);
    else
        result = transactOne(record, address);
    platform::sendToCompanion(platform::kMsgCommandTransaction, companionAddress, 0);
    return result;
}

bool CUSBDriver::anyDeviceOpen() const {
    for (const HidNotifyRecord& device : m_devices)
        if (HidIsOpen(device.DeviceId, m_instance)) return true;
    return false;
}

int CUSBDriver::broadcast(const LedCommandRecord& record) {
    const int count = deviceCount();
    const auto bytes = record.bytes();
    bool anyFailed = false;
    for (int position = 0; position < count; ++position) {
        if (!m_connected.load()) {
            anyFailed = true;
            continue;
        }
        const int written =
            HidWrite(deviceIdOfOrdinal(position), bytes.data(), static_cast<int>(bytes.size()), m_instance);
        pauseFor(platform::timing().hidWritePause);
        if (!written) anyFailed = true;
    }
    return anyFailed ? 1 : 0;
}

int CUSBDriver::transactGroup(LedCommandRecord& record) {
    if (m_devices.empty() || m_groupList.empty()) return SetData(record, kDefaultDevice);
    const int count = deviceCount();
    const LedCommandRecord original = record;
    LedCommandRecord work = original;
    int result = 0;
    // A copy: a member's transaction may pump events that change the group.
    const std::vector<int> members = m_groupList;
    for (const int member : members) {
        work = original;
        if (member != kCurrentGroup && member < count) result |= SetData(work, member);
    }
    record = work;
    return result;
}

int CUSBDriver::transactOne(LedCommandRecord& record, int address) {
    {
        std::lock_guard lock(m_pendingMutex);
        m_pending = record;
        m_replyArrived = false;
    }
    platform::DebugTrace("SetData Out: cmd:%x, Key:%x, Index:%x, Data:%x", record.cmd, record.key, record.index,
                         record.data[0]);
    bool sent = false;
    const std::uint16_t deviceId = deviceIdOfOrdinal(address);
    if (m_connected.load()) {
        const auto bytes = record.bytes();
        sent = HidWrite(deviceId, bytes.data(), static_cast<int>(bytes.size()), m_instance) != 0;
        pauseFor(platform::timing().hidWritePause);
    }
    // A controller that left the bus sends no reply: the command fails at once,
    // and the link counts as closed as soon as none of its controllers is left,
    // before the removal reaches this thread, so that a write sequence ends.
    if (!sent && !HidIsOpen(deviceId, m_instance)) {
        platform::DebugTrace("SetData Error ...Removed ");
        if (!anyDeviceOpen()) m_connected.store(0);
        return 1;
    }
    LedCommandRecord reply;
    {
        std::unique_lock lock(m_pendingMutex);
        if (!m_replyStored.wait_for(lock, platform::timing().hidReplyWait, [this] { return m_replyArrived; })) {
            lock.unlock();
            platform::DebugTrace("SetData Error ...Error ");
            return 1;
        }
        reply = m_pending;
    }
    record = reply;
    platform::DebugTrace("SetData In: cmd:%x, Key:%x, Index:%x, Data:%x", reply.cmd, reply.key, reply.index,
                         reply.data[0]);
    return sent ? 0 : 1;
}

void CUSBDriver::onReply(const std::uint8_t* bytes) {
    const LedCommandRecord reply = LedCommandRecord::fromBytes(bytes);
    {
        // A reply that comes after its time-out is still stored while its command is pending.
        std::lock_guard lock(m_pendingMutex);
        if (reply.sameCommand(m_pending)) {
            m_pending = reply;
            m_replyArrived = true;
            m_replyStored.notify_all();
            return;
        }
    }
    QObject* owner = m_owner.load();
    if (reply.cmd != 0x42 || reply.key != 0x20 || !owner) return;
    const auto connectedValue = static_cast<std::intptr_t>(m_connected.load());
    if (reply.index == 0) {
        if (reply.data[0] != 0 || reply.data[3] != 0 || reply.data[4] != 0)
            platform::postMessage(owner, {kMsgDeviceEvent, reply.data[0], connectedValue});
    } else if (reply.index == 0x40) {
        platform::postMessage(owner, {kMsgDeviceEvent, 0, connectedValue});
    }
}

LedCommandRecord CUSBDriver::pendingRecord() const {
    std::lock_guard lock(m_pendingMutex);
    return m_pending;
}

int CUSBDriver::command(LedCommandRecord& record, int address, bool pause) {
    if (!m_connected.load()) return 1;
    const int result = SetData(record, address);
    if (pause) pauseFor(std::chrono::duration_cast<std::chrono::microseconds>(m_commandPause));
    return result;
}

int CUSBDriver::GetFwInfo(std::uint8_t (&info)[64], int address) {
    if (!m_connected.load()) return 1;
    std::memset(info, 0, sizeof info);
    LedCommandRecord record = makeRecord(0x12, 0x00);
    const int result = command(record, address, false);
    if (result == 0) std::memcpy(info, record.data.data(), record.data.size());
    return result;
}

int CUSBDriver::GetApInfoIndex(std::uint16_t& number, int address) {
    LedCommandRecord record = makeRecord(0x12, 0x01);
    const int result = command(record, address, false);
    if (result == 0 && record.data[0] == 4) number = platform::readLe16(record.data.data() + 2);
    return result;
}

int CUSBDriver::GetInfoBlock(int n, std::uint8_t (&block)[60], int address) {
    if (!m_connected.load()) return 1;
    std::memset(block, 0, sizeof block);
    LedCommandRecord record = makeRecord(0x12, static_cast<std::uint8_t>(0x20 + n));
    const int result = command(record, address, false);
    if (result == 0) std::memcpy(block, record.data.data(), sizeof block);
    return result;
}

int CUSBDriver::ReadLinkInfo(int address) {
    LedCommandRecord record = makeRecord(0x40, 0x20);
    const int result = command(record, address);
    if (result == 0) {
        m_linkInfo.value = platform::readLe32(record.data.data());
        m_linkInfo.number = platform::readLe16(record.data.data() + 4);
        m_linkInfo.flag = record.data[6];
    }
    return result;
}

int CUSBDriver::ReadLinkStatus(std::uint8_t (&status)[20], int address) {
    LedCommandRecord record = makeRecord(0x40, 0x63);
    const int result = command(record, address);
    if (result == 0) std::memcpy(status, record.data.data(), sizeof status);
    return result;
}

int CUSBDriver::SetControlMode(std::uint8_t mode, int address) {
    LedCommandRecord record = makeRecord(0x41, mode);
    return command(record, address);
}

int CUSBDriver::SetEventReport(std::uint32_t value, std::uint8_t enable, int address) {
    LedCommandRecord record = makeRecord(0x42, 0x00);
    platform::writeLe32(record.data.data(), value);
    record.data[4] = enable;
    return command(record, address);
}

int CUSBDriver::SendControl(std::uint8_t key, int address) {
    LedCommandRecord record = makeRecord(0x50, key);
    if (key == 0x10) record.data[0] = 1;
    return command(record, address);
}

int CUSBDriver::SetEffectMode(std::uint32_t mode, std::uint32_t p, std::uint32_t q, int address) {
    LedCommandRecord record = makeRecord(0x51, 0x28);
    platform::writeLe32(record.data.data(), mode);
    platform::writeLe32(record.data.data() + 4, p);
    platform::writeLe24(record.data.data() + 8, q);
    return command(record, address);
}

int CUSBDriver::GetEffectMode(std::uint32_t& mode, std::uint32_t& p, std::uint16_t& r, std::uint8_t& s, int address) {
    LedCommandRecord record = makeRecord(0x52, 0x28);
    const int result = command(record, address);
    if (result == 0) {
        mode = platform::readLe32(record.data.data());
        p = platform::readLe32(record.data.data() + 4);
        r = platform::readLe16(record.data.data() + 8);
        s = record.data[10];
    }
    return result;
}

int CUSBDriver::GetEffectModeList(std::uint8_t (&list)[18], int address) {
    LedCommandRecord record = makeRecord(0x52, 0x29);
    const int result = command(record, address);
    if (result == 0) std::memcpy(list, record.data.data(), sizeof list);
    return result;
}

int CUSBDriver::SetEffectSlot(int slot, EffectBlock block) {
    effectBlockToDevice(block);
    LedCommandRecord record = makeRecord(0x51, 0x2C, static_cast<std::uint16_t>(slot & 0xFF));
    record.data = block;
    return command(record, kCurrentGroup);
}

int CUSBDriver::GetEffectSlot(int slot, EffectBlock& block, int address) {
    LedCommandRecord record = makeRecord(0x52, 0x2C, static_cast<std::uint16_t>(slot & 0xFF));
    record.data = block;
    const int result = command(record, address);
    if (result == 0) {
        block = record.data;
        effectBlockFromDevice(block);
    }
    return result;
}

int CUSBDriver::BeginCustomColors(int address) {
    LedCommandRecord record = makeRecord(0x51, 0x30);
    return command(record, address);
}

int CUSBDriver::SetMorseBlock(int block, const std::uint8_t (&data)[60]) {
    LedCommandRecord record = makeRecord(0x51, 0x73, static_cast<std::uint16_t>(block));
    std::memcpy(record.data.data(), data, sizeof data);
    return command(record, kCurrentGroup);
}

int CUSBDriver::GetMorseBlock(int block, std::uint8_t (&data)[60], int address) {
    LedCommandRecord record = makeRecord(0x52, 0x73, static_cast<std::uint16_t>(block));
    const int result = command(record, address);
    if (result == 0) std::memcpy(data, record.data.data(), sizeof data);
    return result;
}

int CUSBDriver::SetIdentityBlock(const std::uint8_t (&data)[60], int address) {
    LedCommandRecord record = makeRecord(0x51, 0x94);
    std::memcpy(record.data.data(), data, sizeof data);
    return command(record, address);
}

int CUSBDriver::GetIdentityBlock(std::uint8_t (&data)[60], int address) {
    LedCommandRecord record = makeRecord(0x52, 0x94);
    const int result = command(record, address);
    if (result == 0) std::memcpy(data, record.data.data(), sizeof data);
    return result;
}

int CUSBDriver::SetSyncFlag(std::uint8_t flag) {
    LedCommandRecord record = makeRecord(0x51, 0x96);
    record.data[0] = flag;
    return command(record, kCurrentGroup);
}

int CUSBDriver::GetSyncFlag(std::uint8_t& flag, int address) {
    LedCommandRecord record = makeRecord(0x52, 0x96);
    const int result = command(record, address);
    if (result == 0) flag = record.data[0];
    return result;
}

int CUSBDriver::SetColorPair(std::uint32_t a, std::uint32_t b) {
    LedCommandRecord record = makeRecord(0x51, 0x9C, 1);
    platform::writeLe24(record.data.data(), b);
    platform::writeLe24(record.data.data() + 3, a);
    return command(record, kCurrentGroup);
}

int CUSBDriver::GetColorPair(std::uint32_t& a, std::uint32_t& b, int address) {
    LedCommandRecord record = makeRecord(0x52, 0x9C, 1);
    const int result = command(record, address);
    if (result == 0) {
        b = platform::readLe24(record.data.data());
        a = platform::readLe24(record.data.data() + 3);
    }
    return result;
}

int CUSBDriver::SetZoneMap(const std::uint8_t (&map)[60]) {
    LedCommandRecord record = makeRecord(0x51, 0xA0, 1);
    std::memcpy(record.data.data(), map, sizeof map);
    return command(record, kCurrentGroup);
}

int CUSBDriver::GetZoneMap(std::uint8_t (&map)[60], int address) {
    LedCommandRecord record = makeRecord(0x52, 0xA0, 1);
    std::memcpy(record.data.data(), map, sizeof map);
    const int result = command(record, address);
    if (result == 0) std::memcpy(map, record.data.data(), sizeof map);
    return result;
}

int CUSBDriver::SetCustomColors(int index, const std::uint8_t (&colours)[48]) {
    LedCommandRecord record = makeRecord(0x51, 0xA8, static_cast<std::uint16_t>(index));
    std::memcpy(record.data.data(), colours, sizeof colours);
    return command(record, kCurrentGroup);
}

int CUSBDriver::GetCustomColors(int index, std::uint8_t (&colours)[48], int address) {
    LedCommandRecord record = makeRecord(0x52, 0xA8, static_cast<std::uint16_t>(index));
    const int result = command(record, address);
    if (result == 0) std::memcpy(colours, record.data.data(), sizeof colours);
    return result;
}

}  // namespace devicelink
