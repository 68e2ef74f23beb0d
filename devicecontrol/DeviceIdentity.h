#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace devicelink {
class CUSBDriver;
}

// Identity, group mark and name of each controller, stored in the controller's
// identity block so they follow the card.
namespace devicecontrol {

using IdentityBlock = std::array<std::uint8_t, 60>;
using IdentityTable = std::vector<IdentityBlock>;

inline constexpr std::uint8_t kIdentityPresent = 18;
inline constexpr std::uint8_t kGroupMember = 19;
inline constexpr std::size_t kNameOffset = 9;
inline constexpr std::size_t kNameUnits = 20;

// The C runtime's generator: state * 214013 + 2531011, results of 15 bits.
class RuntimeRandom {
public:
    void seed(std::uint32_t value) { m_state = value; }
    int next() {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int>((m_state >> 16) & 0x7FFF);
    }

private:
    std::uint32_t m_state = 1;
};

// Current time in seconds plus the process ID.
std::uint32_t DefaultIdentitySeed();
// Four values of 1 to 65535, low byte first, from a freshly seeded generator.
std::array<std::uint8_t, 8> DrawIdentity(RuntimeRandom& random);

// Reads every identity block of the family's `count` devices and gives
// controllers without an identity, or with one a later device shares, a new one.
void RefreshDeviceIdentities(devicelink::CUSBDriver& link, int count, IdentityTable& table,
                             const std::function<std::uint32_t()>& seedSource = DefaultIdentitySeed);

bool IsGroupMember(const IdentityBlock& block);
// The controller's 8-byte identity; all zero when the block holds none.
std::array<std::uint8_t, 8> IdentityOf(const IdentityBlock& block);
// The stored name, cut at the first zero.
std::u16string IdentityName(const IdentityBlock& block);
// The stored name, else `titleFormat` ("%d") with `number`.
std::string DeviceTitle(const IdentityBlock& block, const std::string& titleFormat, int number);

// Points the link at the device, or at its whole group when it is a member;
// returns the position that becomes current (the first member).
int SelectDeviceGroup(devicelink::CUSBDriver& link, const IdentityTable& table, int position);

// What the window asks or does while the group changes.
class GroupHost {
public:
    virtual ~GroupHost() = default;
    virtual bool confirmOverwrite() = 0;                             // "OVERWRITE": true = OK
    virtual void copyRecords(int fromPosition, int toPosition) = 0;  // edit and applied copies
    virtual void selectDevice(int position) = 0;
};

// The result of the last command; 0 when nothing happened.
int ToggleGroupMember(devicelink::CUSBDriver& link, IdentityTable& table, int position, int currentDevice,
                      GroupHost& host);
// Makes every device a member, or none when all are; false when the user refused.
bool ToggleGroupAll(devicelink::CUSBDriver& link, IdentityTable& table, int currentDevice, GroupHost& host);

// Stores the first 20 characters of a non-empty name; the result of the last command, 1 when refused.
int StoreDeviceName(devicelink::CUSBDriver& link, IdentityTable& table, int position, const std::u16string& text,
                    GroupHost& host);

}  // namespace devicecontrol
