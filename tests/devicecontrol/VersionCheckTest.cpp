#include "devicecontrol/VersionCheck.h"

#include <gtest/gtest.h>

namespace {

devicecontrol::FirmwareCheckState stateWith(updater::FirmwareVersion device, updater::FirmwareVersion image) {
    devicecontrol::FirmwareCheckState state;
    state.group = 0;
    state.image = 0;
    state.imageVersion = image;
    state.applicationInformation.fill(0xFF);
    state.applicationInformation[2] = device.major;
    state.applicationInformation[3] = device.minor;
    for (int i = 0; i < 4; ++i) state.applicationInformation[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(device.build >> (8 * i));
    return state;
}

TEST(VersionCheckTest, ComparisonOfControllerAndPackage) {
    struct Case {
        updater::FirmwareVersion device, image;
        int expected;
    };
    const Case cases[] = {
        {{1, 2, 5}, {1, 2, 7}, -1},  // update due
        {{1, 3, 0}, {1, 2, 9}, 0},   // newer minor: no update, but not "newer" either
        {{1, 2, 9}, {1, 2, 7}, 1},   // a greater build is the only "newer"
        {{1, 2, 7}, {1, 2, 7}, 0},
        {{1, 2, 7}, {2, 0, 0}, -1},
        {{0xFF, 0xFF, 1}, {1, 2, 7}, 0},  // no version on the controller
    };
    for (const Case& c : cases)
        EXPECT_EQ(devicecontrol::CompareFirmwareVersions(stateWith(c.device, c.image)), c.expected)
            << int(c.device.major) << "." << int(c.device.minor) << "." << c.device.build;
}

TEST(VersionCheckTest, NoGroupOrNoImageOffersNothing) {
    auto state = stateWith({1, 0, 0}, {9, 0, 0});
    state.group = -1;
    EXPECT_EQ(devicecontrol::CompareFirmwareVersions(state), 0);
    state.group = 0;
    for (int image : {-1, -2, -3}) {
        state.image = image;
        EXPECT_EQ(devicecontrol::CompareFirmwareVersions(state), 1) << image;
    }
}

TEST(VersionCheckTest, UpdaterPathsByFamily) {
    EXPECT_EQ(devicecontrol::UpdaterPath("/opt/l/", devicelink::Family::Standard), "/opt/l/Nimbrel/Nimbrel");
    EXPECT_EQ(devicecontrol::UpdaterPath("/opt/l/", devicelink::Family::Led5), "/opt/l/Nimbrel/Nimbrel2");
}

}  // namespace
