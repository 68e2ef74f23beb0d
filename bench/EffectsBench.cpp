// Wall time of the Apply sequence and of a fresh read-back for each family,
// against emulated controllers with 1 ms reply latency and the real 1 ms
// command pause, next to the least those sequences can take: the number of
// transactions times (the longer of reply latency and write pause, which run
// at the same time, plus the command pause).
#include "devicecontrol/ConfigurationSequences.h"
#include "devicecontrol/ReadBack.h"
#include "devicelink/HidLibrary.h"
#include "devicelink/UsbDriver.h"
#include "platform/Messages.h"
#include "platform/Timing.h"
#include "sim/SimBackend.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kLatency = std::chrono::milliseconds(1);
constexpr auto kPause = std::chrono::milliseconds(1);
constexpr int kRounds = 5;

bool openAndWait(devicelink::CUSBDriver& driver, int instance) {
    driver.setInstanceIndex(instance);
    if (!driver.OpenDriver()) return false;
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (driver.deviceCount() == 0 && Clock::now() < deadline) platform::pumpEventsFor(std::chrono::milliseconds(2));
    return driver.deviceCount() > 0;
}

void report(const char* name, sim::SimBackend& simulator, const std::function<void()>& run) {
    double total = 0;
    std::size_t transactions = 0;
    for (int round = 0; round < kRounds; ++round) {
        simulator.clearTrace();
        const auto start = Clock::now();
        run();
        total += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        transactions = simulator.trace().size();
    }
    const double wall = total / kRounds;
    const auto writePause = std::chrono::duration_cast<std::chrono::microseconds>(platform::timing().hidWritePause);
    const auto latency = std::chrono::duration_cast<std::chrono::microseconds>(kLatency);
    const auto perTransaction = std::max(latency, writePause) + kPause;
    const double minimum =
        static_cast<double>(transactions) * std::chrono::duration<double, std::milli>(perTransaction).count();
    std::printf("%-14s %4zu transactions  %8.1f ms  minimum %7.1f ms  ratio %.2f\n", name, transactions, wall, minimum,
                wall / minimum);
}

void measureFamily(sim::SimBackend& simulator, sim::ControllerKind kind, int instance, devicelink::Family family,
                   const char* applyName, const char* readName) {
    simulator.plug(kind);
    devicelink::CUSBDriver link(family);
    if (!openAndWait(link, instance)) {
        std::fprintf(stderr, "no controller for %s\n", applyName);
        return;
    }
    effects::LedProfileSet set;
    effects::ResetProfile(set.selected());
    set.selected().morseTexts = {u"SOS", u"HELLO", u"LUMENSTRA"};
    report(applyName, simulator, [&] {
        effects::EditorState state;
        devicecontrol::ApplyConfiguration(link, family, set, state);
    });
    report(readName, simulator, [&] {
        devicecontrol::ReadBackRequest request;
        request.family = family;
        int lastApplied = 0;
        effects::LedProfileSet read = set;
        devicecontrol::PrepareArrivedDevice(link, 0);
        devicecontrol::LoadDeviceSettings(link, request, read, lastApplied);
        devicecontrol::FinishArrivedDevice(link, 0);
    });
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    auto simulator = std::make_shared<sim::SimBackend>(kLatency);
    devicelink::HidSetBackend(simulator);
    measureFamily(*simulator, sim::ControllerKind::Standard, 0, devicelink::Family::Standard, "apply standard",
                  "read standard");
    measureFamily(*simulator, sim::ControllerKind::Led5, 2, devicelink::Family::Led5, "apply led5", "read led5");
    devicelink::HidSetBackend(nullptr);
    return 0;
}
