#pragma once

#include "devicelink/HidLibrary.h"
#include "devicelink/LedCommandRecord.h"
#include "platform/Messages.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

// The updater's link to the controllers of one USB identity (application
// firmware or boot loader) of one package group: the device list, the
// transaction with the updater's reply rules, and the boot-loader command set.
// Lives on the GUI thread (plug notifications); the update thread may run
// transactions; replies are matched on the reader threads.
namespace updater {

using devicelink::LedCommandRecord;

// Posted to the owner when a device of the link arrives or leaves:
// wParam = (position << 16) | instance, lParam = devices listed (0 on removal).
// A removal is reported at once; arrivals wait for a settle timer that sees no
// device set-up pending, one arrival per tick, so the owner talks to a device
// only once the system has finished setting it up.
inline constexpr unsigned kMsgUpdaterPlug = 21505;

inline constexpr std::uint8_t kErrorReplyCmd = 0xFF;
inline constexpr std::uint8_t kErrorReplyKey = 0xAA;
inline constexpr int kMaxWriteBlock = 60;

// Decides whether `reply` answers `pending`: the same command, a block write
// answered with 0x1E/0x02, or the error reply naming the pending command.
bool IsReplyTo(const LedCommandRecord& pending, const LedCommandRecord& reply);
bool IsErrorReply(const LedCommandRecord& reply);

class IapLink : public platform::MessageWindow<QObject> {
public:
    // `instance` is the HID library instance (0-19).
    IapLink(int instance, std::uint16_t vendorId, std::uint16_t productId);
    ~IapLink() override;
    IapLink(const IapLink&) = delete;
    IapLink& operator=(const IapLink&) = delete;

    void setOwner(QObject* owner) { m_owner.store(owner); }
    // Opens the library instance; the devices present now are listed on return.
    int open();
    int instance() const { return m_instance; }
    int connected() const;
    void setTargetOrdinal(int ordinal) { m_targetOrdinal.store(ordinal); }
    // The library's ID of the device commands go to now; 0 when there is none.
    // A device that leaves and comes back gets a new one.
    std::uint16_t targetDeviceId() const;

    // One command: 0 success, 1 failure (not sent, no reply in time, error reply).
    int transact(LedCommandRecord& record, bool expectReply, std::chrono::milliseconds wait);

    int GetSubDevice(std::uint32_t& value);
    int SetSubDevice(std::uint32_t value);
    int GetSubDeviceCount(std::uint32_t& count);
    int EnterBootLoader();
    int ResetDevice();
    int GetFwInfo(std::uint8_t (&info)[64]);
    int GetApInfoIndex(std::uint16_t& number);
    int GetUpdateMode(std::uint8_t& mode);
    int GetInfoBlock(int n, std::uint8_t (&block)[60]);
    int EraseFlash(std::uint32_t length);
    int GetFlashChecksum(std::uint32_t start, std::uint32_t length, std::uint32_t& checksum);
    int GetWritePoint(std::uint32_t& point);
    int SetWritePoint(std::uint32_t address);
    int WriteBlock(const std::uint8_t* bytes, int length, std::uint32_t& newPoint);

    // Called on a reader thread with the 64 bytes after the report ID.
    void onReport(std::uint16_t deviceId, const std::uint8_t* record);

protected:
    std::intptr_t onMessage(const platform::WindowMessage& message) override;
    void onTimer(unsigned id) override;

private:
    void report(std::size_t position, std::intptr_t listed);

    int m_instance;
    std::uint16_t m_vendorId;
    std::uint16_t m_productId;
    bool m_opened = false;
    std::atomic<QObject*> m_owner{nullptr};
    std::atomic<int> m_targetOrdinal{0};

    mutable std::mutex m_devicesMutex;
    std::vector<devicelink::HidNotifyRecord> m_devices;
    // Device IDs of arrivals not reported yet, oldest first (GUI thread only).
    std::deque<std::uint16_t> m_queuedArrivals;

    std::mutex m_pendingMutex;
    std::condition_variable m_replyStored;
    LedCommandRecord m_pending;
    std::uint16_t m_pendingDeviceId = 0;
    bool m_expectingReply = false;
    bool m_replyArrived = false;
};

}  // namespace updater
