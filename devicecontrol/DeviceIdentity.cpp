#include "devicecontrol/DeviceIdentity.h"

#include "devicelink/UsbDriver.h"
#include "platform/LittleEndian.h"
#include "platform/Utf16.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace devicecontrol {
namespace {

using Identity = std::array<std::uint8_t, 8>;

bool isZero(const Identity& identity) {
    return std::all_of(identity.begin(), identity.end(), [](std::uint8_t b) { return b == 0; });
}

int writeIdentity(devicelink::CUSBDriver& link, const IdentityBlock& block, int position) {
    std::uint8_t data[60];
    std::memcpy(data, block.data(), sizeof data);
    return link.SetIdentityBlock(data, position);
}

}  // namespace

std::array<std::uint8_t, 8> IdentityOf(const IdentityBlock& block) {
    Identity identity{};
    if (block[0] == kIdentityPresent || block[0] == kGroupMember)
        std::copy(block.begin() + 1, block.begin() + 9, identity.begin());
    return identity;
}

std::uint32_t DefaultIdentitySeed() {
    return static_cast<std::uint32_t>(std::time(nullptr)) + static_cast<std::uint32_t>(getpid());
}

std::array<std::uint8_t, 8> DrawIdentity(RuntimeRandom& random) {
    Identity identity{};
    for (int i = 0; i < 4; ++i) {
        const int value = random.next() * 0xFFFE / 0x7FFF + 1;
        platform::writeLe16(identity.data() + 2 * i, static_cast<std::uint16_t>(value));
    }
    return identity;
}

void RefreshDeviceIdentities(devicelink::CUSBDriver& link, int count, IdentityTable& table,
                             const std::function<std::uint32_t()>& seedSource) {
    table.assign(static_cast<std::size_t>(std::max(count, 0)), IdentityBlock{});
    std::vector<Identity> identities(table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        std::uint8_t data[60];
        if (link.GetIdentityBlock(data, static_cast<int>(i)) == 0) std::memcpy(table[i].data(), data, sizeof data);
        identities[i] = IdentityOf(table[i]);
    }
    RuntimeRandom random;
    bool seeded = false;
    std::uint32_t lastSeed = 0;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const bool sharedLater = std::any_of(identities.begin() + static_cast<std::ptrdiff_t>(i) + 1, identities.end(),
                                             [&](const Identity& later) { return later == identities[i]; });
        if (!isZero(identities[i]) && !sharedLater) continue;
        Identity fresh;
        do {
            // A seed that has not changed would draw the same values again:
            // go on with the sequence instead of waiting for the clock.
            const std::uint32_t seed = seedSource();
            if (!seeded || seed != lastSeed) random.seed(seed);
            seeded = true;
            lastSeed = seed;
            fresh = DrawIdentity(random);
        } while (std::find(identities.begin(), identities.end(), fresh) != identities.end());
        identities[i] = fresh;
        table[i][0] = kIdentityPresent;
        std::copy(fresh.begin(), fresh.end(), table[i].begin() + 1);
        const int position = static_cast<int>(i);
        if (link.SetControlMode(128, position) == 0 && writeIdentity(link, table[i], position) == 0)
            link.SendControl(0x55, position);
    }
}

bool IsGroupMember(const IdentityBlock& block) { return block[0] == kGroupMember; }

std::u16string IdentityName(const IdentityBlock& block) {
    std::u16string name;
    for (std::size_t i = 0; i < kNameUnits; ++i) {
        const char16_t unit = static_cast<char16_t>(platform::readLe16(block.data() + kNameOffset + 2 * i));
        if (unit == 0) break;
        name += unit;
    }
    return name;
}

std::string DeviceTitle(const IdentityBlock& block, const std::string& titleFormat, int number) {
    const std::u16string name = IdentityName(block);
    if (!name.empty()) return platform::utf16ToUtf8(name);
    const std::size_t at = titleFormat.find("%d");
    if (at == std::string::npos) return titleFormat;
    return titleFormat.substr(0, at) + std::to_string(number) + titleFormat.substr(at + 2);
}

int SelectDeviceGroup(devicelink::CUSBDriver& link, const IdentityTable& table, int position) {
    int current = position;
    link.groupList().clear();
    if (position >= 0 && static_cast<std::size_t>(position) < table.size() && IsGroupMember(table[position])) {
        for (std::size_t i = 0; i < table.size(); ++i)
            if (IsGroupMember(table[i])) link.groupList().push_back(static_cast<int>(i));
        current = link.groupList().front();
    }
    link.setDefaultDevice(current);
    return current;
}

int ToggleGroupMember(devicelink::CUSBDriver& link, IdentityTable& table, int position, int currentDevice,
                      GroupHost& host) {
    if (position < 0 || static_cast<std::size_t>(position) >= table.size()) return 0;
    IdentityBlock& block = table[position];
    if (position != currentDevice && !IsGroupMember(block)) return 0;
    if (block[0] == kIdentityPresent) {
        const auto first = std::find_if(table.begin(), table.end(), IsGroupMember);
        if (first != table.end()) {
            if (!host.confirmOverwrite()) return 0;
            host.copyRecords(static_cast<int>(first - table.begin()), position);
        }
        block[0] = kGroupMember;
    } else {
        block[0] = kIdentityPresent;
    }
    writeIdentity(link, block, position);
    host.selectDevice(position);
    return link.SendControl(0x55, position);
}

bool ToggleGroupAll(devicelink::CUSBDriver& link, IdentityTable& table, int currentDevice, GroupHost& host) {
    const bool allMembers = !table.empty() && std::all_of(table.begin(), table.end(), IsGroupMember);
    const bool leave = allMembers;
    if (!leave && !host.confirmOverwrite()) return false;
    const auto firstIt = std::find_if(table.begin(), table.end(), IsGroupMember);
    const int first = firstIt == table.end() ? -1 : static_cast<int>(firstIt - table.begin());
    for (std::size_t i = 0; i < table.size(); ++i) {
        const int position = static_cast<int>(i);
        if (leave) {
            if (table[i][0] == kIdentityPresent) continue;
            table[i][0] = kIdentityPresent;
        } else {
            if (IsGroupMember(table[i])) continue;
            table[i][0] = kGroupMember;
            if (first != -1) host.copyRecords(first, position);
        }
        writeIdentity(link, table[i], position);
        link.SendControl(0x55, position);
    }
    host.selectDevice(currentDevice);
    return true;
}

int StoreDeviceName(devicelink::CUSBDriver& link, IdentityTable& table, int position, const std::u16string& text,
                    GroupHost& host) {
    if (text.empty() || position < 0 || static_cast<std::size_t>(position) >= table.size()) return 1;
    IdentityBlock& block = table[position];
    std::fill(block.begin() + kNameOffset, block.begin() + kNameOffset + 2 * kNameUnits, 0);
    for (std::size_t i = 0; i < text.size() && i < kNameUnits; ++i) {
        platform::writeLe16(block.data() + kNameOffset + 2 * i, text[i]);
    }
    writeIdentity(link, block, position);
    host.selectDevice(position);
    return link.SendControl(0x55, position);
}

}  // namespace devicecontrol
