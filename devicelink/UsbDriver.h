#pragma once

#include "devicelink/ControllerKinds.h"
#include "devicelink/EffectSlotCodec.h"
#include "devicelink/HidLibrary.h"
#include "devicelink/LedCommandRecord.h"
#include "platform/Messages.h"

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace devicelink {

inline constexpr int kReportLength = 65;

// Messages of the device link.
inline constexpr unsigned kMsgHidNotify = 1282;    // library -> driver
inline constexpr unsigned kMsgPlug = 1277;         // driver -> owner: wParam (position << 16) | instance, lParam 1/0
inline constexpr unsigned kMsgDeviceEvent = 1278;  // driver -> owner: controller event report

// Device addresses beside the positions 0 … n-1.
inline constexpr int kDefaultDevice = -1;
inline constexpr int kAllDevices = 0xFFFF;
inline constexpr int kCurrentGroup = 0xFFFFF;

// Cached by ReadLinkInfo.
struct LinkInfo {
    std::uint32_t value = 0;
    std::uint16_t number = 0;
    std::uint8_t flag = 0;
};

// The link to one family's controllers in one mode: owns one library instance,
// keeps the attached devices in arrival order (a device's position is its
// number everywhere), tells the owner about arrivals and removals, and runs the
// command transaction and the command set. Lives on the GUI thread; only the
// reply handler runs on reader threads. Boot-loader links trace every report
// they receive.
class CUSBDriver : public platform::MessageWindow<QObject> {
public:
    explicit CUSBDriver(Family family = Family::Standard, LinkMode mode = LinkMode::Application);
    ~CUSBDriver() override;
    CUSBDriver(const CUSBDriver&) = delete;
    CUSBDriver& operator=(const CUSBDriver&) = delete;

    Family family() const { return m_family; }
    LinkMode mode() const { return m_mode; }

    // Set before OpenDriver; the owner must outlive the driver.
    void setOwner(QObject* owner) { m_owner.store(owner); }
    QObject* owner() const { return m_owner.load(); }
    // The family's instance unless set otherwise before OpenDriver.
    void setInstanceIndex(int index) { m_instance = index; }
    int instanceIndex() const { return m_instance; }

    bool OpenDriver();
    int CloseDriver();

    // 0 without controllers; also once a command found that the last one left
    // the bus, before its removal notification has been handled.
    int connected() const { return m_connected.load(); }
    int deviceCount() const { return static_cast<int>(m_devices.size()); }
    const std::vector<HidNotifyRecord>& devices() const { return m_devices; }
    std::uint16_t deviceIdOfOrdinal(int ordinal) const;
    const HidMatchConfig& matchConfig() const { return m_matchConfig; }

    // Command transaction. On success a single-device or group record holds the reply.
    int SetData(LedCommandRecord& record, int address);
    // Called with the 64 bytes after the report ID, on a reader thread.
    void onReply(const std::uint8_t* record);
    // The command in flight, or its reply once stored.
    LedCommandRecord pendingRecord() const;

    void setDefaultDevice(int position) { m_defaultDevice = position; }
    int defaultDevice() const { return m_defaultDevice; }
    std::vector<int>& groupList() { return m_groupList; }
    void setCommandPause(std::chrono::milliseconds pause) { m_commandPause = pause; }
    const LinkInfo& linkInfo() const { return m_linkInfo; }

    // Command set: 0 success, 1 failure. Reads copy out only on success.
    int GetFwInfo(std::uint8_t (&info)[64], int address);
    int GetApInfoIndex(std::uint16_t& number, int address);
    int GetInfoBlock(int n, std::uint8_t (&block)[60], int address);
    int ReadLinkInfo(int address);
    int ReadLinkStatus(std::uint8_t (&status)[20], int address);
    int SetControlMode(std::uint8_t mode, int address);
    int SetEventReport(std::uint32_t value, std::uint8_t enable, int address);
    int SendControl(std::uint8_t key, int address);
    int SetEffectMode(std::uint32_t mode, std::uint32_t p, std::uint32_t q, int address);
    int GetEffectMode(std::uint32_t& mode, std::uint32_t& p, std::uint16_t& r, std::uint8_t& s, int address);
    int GetEffectModeList(std::uint8_t (&list)[18], int address);
    int SetEffectSlot(int slot, EffectBlock block);
    int GetEffectSlot(int slot, EffectBlock& block, int address);
    int BeginCustomColors(int address);
    int SetMorseBlock(int block, const std::uint8_t (&data)[60]);
    int GetMorseBlock(int block, std::uint8_t (&data)[60], int address);
    int SetIdentityBlock(const std::uint8_t (&data)[60], int address);
    int GetIdentityBlock(std::uint8_t (&data)[60], int address);
    int SetSyncFlag(std::uint8_t flag);
    int GetSyncFlag(std::uint8_t& flag, int address);
    int SetColorPair(std::uint32_t a, std::uint32_t b);
    int GetColorPair(std::uint32_t& a, std::uint32_t& b, int address);
    int SetZoneMap(const std::uint8_t (&map)[60]);
    int GetZoneMap(std::uint8_t (&map)[60], int address);
    int SetCustomColors(int index, const std::uint8_t (&colours)[48]);
    int GetCustomColors(int index, std::uint8_t (&colours)[48], int address);

protected:
    std::intptr_t onMessage(const platform::WindowMessage& message) override;

private:
    // Called on a reader thread with the report ID in byte 0.
    void onReport(std::uint16_t deviceId, const std::uint8_t* report, int length);
    void handleNotification(const HidNotifyRecord& record);
    int transactOne(LedCommandRecord& record, int address);
    // Whether the HID library still holds one of this link's controllers open.
    bool anyDeviceOpen() const;
    int broadcast(const LedCommandRecord& record);
    int transactGroup(LedCommandRecord& record);
    // Builds and runs one command; `pause` adds the command pause afterwards.
    int command(LedCommandRecord& record, int address, bool pause = true);

    Family m_family;
    LinkMode m_mode;
    std::atomic<QObject*> m_owner{nullptr};
    int m_instance;
    std::atomic<int> m_connected{0};
    std::vector<HidNotifyRecord> m_devices;
    HidMatchConfig m_matchConfig;
    int m_defaultDevice = 0;
    std::vector<int> m_groupList;
    std::chrono::milliseconds m_commandPause{1};
    LinkInfo m_linkInfo;
    bool m_opened = false;

    // The command in flight, replaced by its reply; shared with the reader threads.
    mutable std::mutex m_pendingMutex;
    std::condition_variable m_replyStored;
    LedCommandRecord m_pending;
    bool m_replyArrived = false;
};

}  // namespace devicelink
