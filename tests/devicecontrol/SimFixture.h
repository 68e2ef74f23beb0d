#pragma once

#include "devicelink/HidLibrary.h"
#include "devicelink/UsbDriver.h"
#include "sim/SimBackend.h"
#include "tests/devicelink/DeviceLinkFixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace devicecontroltest {

// One command as the controller received it: "CMD/KEY/INDEX" in hex.
inline std::string commandOf(const sim::TraceEntry& entry) {
    char text[16];
    std::snprintf(text, sizeof text, "%02x/%02x/%x", sim::recordCmd(entry.record), sim::recordKey(entry.record),
                  sim::recordIndex(entry.record));
    return text;
}

// Controllers emulated in this process, without reply latency or command pauses.
class SimTest : public testsupport::IsolatedTest {
protected:
    SimTest() { devicelink::HidSetBackend(simulator); }
    ~SimTest() override { devicelink::HidSetBackend(nullptr); }

    void open(devicelink::CUSBDriver& driver, int instance) {
        driver.setInstanceIndex(instance);
        driver.setCommandPause(std::chrono::milliseconds(0));
        ASSERT_TRUE(driver.OpenDriver());
        const int expected = static_cast<int>(simulator->devices().size());
        ASSERT_TRUE(devicelinktest::pumpUntil([&] {
            int attached = 0;
            for (const auto& device : simulator->devices())
                attached += device.productId == driver.matchConfig().ProductID ? 1 : 0;
            return driver.deviceCount() == attached;
        })) << expected
            << " plugged";
    }

    std::vector<std::string> takeCommands() {
        std::vector<std::string> commands;
        for (const auto& entry : simulator->takeTrace()) commands.push_back(commandOf(entry));
        return commands;
    }

    devicelinktest::ScopedTiming timing;
    std::shared_ptr<sim::SimBackend> simulator = std::make_shared<sim::SimBackend>(std::chrono::milliseconds(0));
};

}  // namespace devicecontroltest
