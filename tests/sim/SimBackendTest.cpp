#include "sim/SimBackend.h"

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <tuple>

namespace {

using namespace std::chrono_literals;
using hid::PlugEvent;
using sim::ControllerKind;
using sim::SimBackend;

// Collects the events a watch delivers, for checks on the test thread.
class EventLog {
public:
    std::function<void(const PlugEvent&)> callback() {
        return [this](const PlugEvent& event) {
            std::lock_guard lock(m_mutex);
            m_events.push_back(event);
            m_changed.notify_all();
        };
    }
    std::vector<PlugEvent> waitFor(std::size_t count) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, 5s, [&] { return m_events.size() >= count; });
        return m_events;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<PlugEvent> m_events;
};

std::vector<std::uint8_t> report(std::uint8_t cmd, std::uint8_t key, std::uint16_t index,
                                 std::vector<std::uint8_t> data = {}) {
    std::vector<std::uint8_t> bytes(sim::kReportSize, 0);
    sim::Record record = sim::makeRecord(cmd, key, index, data);
    std::copy(record.begin(), record.end(), bytes.begin() + 1);
    return bytes;
}

sim::Record readRecord(hid::Device& device, std::chrono::milliseconds timeout = 2s) {
    std::array<std::uint8_t, sim::kReportSize> buffer{};
    int length = device.read(buffer, timeout);
    EXPECT_EQ(length, static_cast<int>(sim::kReportSize));
    EXPECT_EQ(buffer[0], 0);
    sim::Record record{};
    std::copy(buffer.begin() + 1, buffer.end(), record.begin());
    return record;
}

std::unique_ptr<hid::Device> openPath(SimBackend& backend, const std::string& path) {
    hid::OpenError error = hid::OpenError::Other;
    auto device = backend.open(path, error);
    EXPECT_EQ(error, device ? hid::OpenError::None : hid::OpenError::NotFound);
    return device;
}

class SimBackendTest : public testsupport::IsolatedTest {};

TEST_F(SimBackendTest, EnumeratesPluggedControllersInPlugOrderWithTheirIds) {
    SimBackend backend;
    auto standard = backend.plug(ControllerKind::Standard, 2);
    int led5 = backend.plug(ControllerKind::Led5).front();
    auto infos = backend.enumerate();
    ASSERT_EQ(infos.size(), 3u);
    const std::uint16_t pids[] = {0x014D, 0x014D, 0x015B};
    const int ids[] = {standard[0], standard[1], led5};
    for (std::size_t i = 0; i < infos.size(); ++i) {
        EXPECT_EQ(infos[i].path, SimBackend::pathOf(ids[i]));
        EXPECT_EQ(infos[i].vendorId, 0x2516);
        EXPECT_EQ(infos[i].productId, pids[i]);
        EXPECT_EQ(infos[i].usagePage, 0xFF00);
        EXPECT_EQ(infos[i].usage, 0x0001);
    }
    EXPECT_TRUE(backend.unplug(standard[0]));
    EXPECT_FALSE(backend.unplug(standard[0]));
    infos = backend.enumerate();
    ASSERT_EQ(infos.size(), 2u);
    EXPECT_EQ(infos[0].path, SimBackend::pathOf(standard[1]));
}

TEST_F(SimBackendTest, AnswersAWriteAfterTheLatencyOnTheReaderSide) {
    // Long enough that even a sanitizer build reads before the reply is due.
    SimBackend backend(300ms);
    int id = backend.plug(ControllerKind::Standard).front();
    auto device = openPath(backend, SimBackend::pathOf(id));
    ASSERT_TRUE(device);
    EXPECT_EQ(device->inputReportLength(), 65);
    EXPECT_EQ(device->outputReportLength(), 65);

    auto write = report(0x51, 0x96, 0, {0x10});
    ASSERT_EQ(device->write(write), 65);
    std::array<std::uint8_t, 65> buffer{};
    // Nothing is there before the latency has passed.
    EXPECT_EQ(device->read(buffer, 0ms), 0);
    sim::Record reply = readRecord(*device);
    EXPECT_EQ(sim::toHex(reply), sim::toHex(sim::makeRecord(0x51, 0x96, 0, std::vector<std::uint8_t>{0x10})));

    ASSERT_EQ(device->write(report(0x52, 0x96, 0)), 65);
    reply = readRecord(*device);
    EXPECT_EQ(reply[0], 0x52);
    EXPECT_EQ(reply[4], 0x10);
}

TEST_F(SimBackendTest, RejectsReportsWithAReportIdOrTooLong) {
    SimBackend backend(0ms);
    int id = backend.plug(ControllerKind::Led5).front();
    auto device = openPath(backend, SimBackend::pathOf(id));
    ASSERT_TRUE(device);
    auto withReportId = report(0x41, 3, 0);
    withReportId[0] = 1;
    EXPECT_EQ(device->write(withReportId), -1);
    std::vector<std::uint8_t> tooLong(66, 0);
    EXPECT_EQ(device->write(tooLong), -1);
    EXPECT_TRUE(backend.trace().empty());
    // A short report is zero-filled.
    std::vector<std::uint8_t> shortReport = {0, 0x41, 0x03};
    EXPECT_EQ(device->write(shortReport), 3);
    EXPECT_EQ(readRecord(*device)[1], 0x03);
}

TEST_F(SimBackendTest, OpenOfAnAbsentPathIsNotFound) {
    SimBackend backend;
    for (const std::string path : {"sim:1", "sim:", "sim:x", "/dev/hidraw0", ""}) {
        hid::OpenError error = hid::OpenError::None;
        EXPECT_EQ(backend.open(path, error), nullptr) << path;
        EXPECT_EQ(error, hid::OpenError::NotFound) << path;
    }
}

TEST_F(SimBackendTest, UnplugFailsReadsAndWritesOfOpenHandlesAndNotifiesWatches) {
    SimBackend backend(0ms);
    EventLog log;
    auto watch = backend.watch(log.callback());
    auto ids = backend.plug(ControllerKind::Standard, 2);
    auto device = openPath(backend, SimBackend::pathOf(ids[0]));
    ASSERT_TRUE(device);
    ASSERT_TRUE(backend.unplug(ids[0]));
    std::array<std::uint8_t, 65> buffer{};
    EXPECT_EQ(device->read(buffer, 1s), -1);
    EXPECT_EQ(device->write(report(0x41, 3, 0)), -1);

    auto events = log.waitFor(3);
    ASSERT_EQ(events.size(), 3u);
    const PlugEvent expected[] = {{PlugEvent::Kind::Arrival, SimBackend::pathOf(ids[0])},
                                  {PlugEvent::Kind::Arrival, SimBackend::pathOf(ids[1])},
                                  {PlugEvent::Kind::Removal, SimBackend::pathOf(ids[0])}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(events[i].kind, expected[i].kind) << i;
        EXPECT_EQ(events[i].path, expected[i].path) << i;
    }
}

TEST_F(SimBackendTest, SuspendAndResumeReachEveryWatchAndKeepTheDevices) {
    SimBackend backend(0ms);
    EventLog first;
    EventLog second;
    auto watchA = backend.watch(first.callback());
    auto watchB = backend.watch(second.callback());
    int id = backend.plug(ControllerKind::Standard).front();
    backend.suspend();
    backend.resume();
    for (EventLog* log : {&first, &second}) {
        auto events = log->waitFor(3);
        ASSERT_EQ(events.size(), 3u);
        EXPECT_EQ(events[0].kind, PlugEvent::Kind::Arrival);
        EXPECT_EQ(events[1].kind, PlugEvent::Kind::Suspend);
        EXPECT_EQ(events[2].kind, PlugEvent::Kind::Resume);
    }
    ASSERT_EQ(backend.enumerate().size(), 1u);
    EXPECT_EQ(backend.enumerate()[0].path, SimBackend::pathOf(id));
}

TEST_F(SimBackendTest, SettledOnlyOnceEveryEventWasHandedToItsCallback) {
    SimBackend backend(0ms);
    std::mutex gate;
    std::unique_lock hold(gate);
    auto watch = backend.watch([&](const PlugEvent&) { std::lock_guard wait(gate); });
    backend.plug(ControllerKind::Standard, 2);
    // The first callback is blocked, so the second event is still queued.
    EXPECT_FALSE(backend.waitUntilSettled(20ms));
    hold.unlock();
    EXPECT_TRUE(backend.waitUntilSettled(5s));
}

TEST_F(SimBackendTest, AWatchMayEndItselfFromItsCallback) {
    SimBackend backend(0ms);
    std::mutex mutex;
    std::condition_variable ended;
    std::unique_ptr<hid::PlugWatch> watch;
    int calls = 0;
    bool done = false;
    {
        std::lock_guard lock(mutex);
        watch = backend.watch([&](const PlugEvent&) {
            std::unique_ptr<hid::PlugWatch> self;
            {
                std::lock_guard inner(mutex);
                ++calls;
                self = std::move(watch);
            }
            self.reset();
            std::lock_guard inner(mutex);
            done = true;
            ended.notify_all();
        });
    }
    backend.plug(ControllerKind::Standard, 2);
    std::unique_lock lock(mutex);
    ASSERT_TRUE(ended.wait_for(lock, 5s, [&] { return done; }));
    EXPECT_EQ(calls, 1) << "the ended watch gets no further event";
}

TEST_F(SimBackendTest, EveryOpenHandleSeesEveryReply) {
    SimBackend backend(0ms);
    int id = backend.plug(ControllerKind::Standard).front();
    auto first = openPath(backend, SimBackend::pathOf(id));
    auto second = openPath(backend, SimBackend::pathOf(id));
    ASSERT_TRUE(first && second);
    ASSERT_EQ(first->write(report(0x41, 0x80, 0)), 65);
    EXPECT_EQ(readRecord(*first)[1], 0x80);
    EXPECT_EQ(readRecord(*second)[1], 0x80);
}

TEST_F(SimBackendTest, EventReportsReachTheReader) {
    SimBackend backend;
    int id = backend.plug(ControllerKind::Led5).front();
    auto device = openPath(backend, SimBackend::pathOf(id));
    ASSERT_TRUE(device);
    const std::vector<std::uint8_t> data = {7, 0, 0, 1, 2};
    EXPECT_TRUE(backend.sendEventReport(id, 0, data));
    EXPECT_FALSE(backend.sendEventReport(id + 1, 0, data));
    sim::Record record = readRecord(*device);
    EXPECT_EQ(sim::toHex(record), sim::toHex(sim::makeRecord(0x42, 0x20, 0, data)));
}

TEST_F(SimBackendTest, TraceHoldsEveryRecordInOrderWithTheDeviceAndClears) {
    SimBackend backend(0ms);
    auto ids = backend.plug(ControllerKind::Standard, 1);
    ids.push_back(backend.plug(ControllerKind::Led5).front());
    auto a = openPath(backend, SimBackend::pathOf(ids[0]));
    auto b = openPath(backend, SimBackend::pathOf(ids[1]));
    ASSERT_TRUE(a && b);
    a->write(report(0x41, 0x03, 0));
    b->write(report(0x51, 0x73, 0x0102, {0xAB, 0xCD}));
    auto trace = backend.trace();
    ASSERT_EQ(trace.size(), 2u);
    EXPECT_EQ(sim::formatTraceLine(trace[0]), std::to_string(ids[0]) + " 014d 41 03 0000 " + std::string(120, '0'));
    EXPECT_EQ(sim::formatTraceLine(trace[1]), std::to_string(ids[1]) + " 015b 51 73 0102 abcd" + std::string(116, '0'));
    backend.clearTrace();
    EXPECT_TRUE(backend.trace().empty());
}

TEST_F(SimBackendTest, UnplugAfterFaultRemovesTheControllerOnTheNthRecord) {
    SimBackend backend(0ms);
    EventLog log;
    auto watch = backend.watch(log.callback());
    int id = backend.plug(ControllerKind::Standard).front();
    auto device = openPath(backend, SimBackend::pathOf(id));
    ASSERT_TRUE(backend.setFault(id, sim::FaultKind::UnplugAfter, 2));
    EXPECT_EQ(device->write(report(0x41, 3, 0)), 65);
    EXPECT_EQ(readRecord(*device)[0], 0x41);
    EXPECT_EQ(device->write(report(0x41, 0, 0)), 65);
    std::array<std::uint8_t, 65> buffer{};
    EXPECT_EQ(device->read(buffer, 1s), -1);
    EXPECT_TRUE(backend.enumerate().empty());
    auto events = log.waitFor(2);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].kind, PlugEvent::Kind::Removal);
    EXPECT_EQ(backend.trace().size(), 2u);
}

// Power cut on the Nth record: that record is neither carried out nor
// answered, the controller leaves the bus and comes back at its path in its
// boot loader, with what was flashed before the cut and nothing after it.
TEST_F(SimBackendTest, PowerCycleAfterFaultBringsTheControllerBackInItsBootLoaderWithItsFlash) {
    SimBackend backend(0ms);
    EventLog log;
    auto watch = backend.watch(log.callback());
    int id = backend.plug(ControllerKind::Standard).front();
    auto device = openPath(backend, SimBackend::pathOf(id));
    const std::vector<std::uint8_t> first{1, 2, 3, 4}, second{5, 6, 7, 8}, cut{9, 9, 9, 9};
    ASSERT_EQ(device->write(report(0x11, 0x00, 0)), 65);  // into the boot loader: it re-enumerates
    ASSERT_EQ(log.waitFor(3).size(), 3u);
    device = openPath(backend, SimBackend::pathOf(id));
    ASSERT_TRUE(device);
    for (const auto& [cmd, key, data] : std::vector<std::tuple<std::uint8_t, std::uint8_t, std::vector<std::uint8_t>>>{
             {0x1D, 0x00, {0, 0, 0, 0, 0, 0, 1, 0}},  // erase 65536 bytes: everything
             {0x1E, 0x01, {0x00, 0x04, 0, 0}},        // write point 1024
             {0x1F, 4, first}}) {
        ASSERT_EQ(device->write(report(cmd, key, 0, data)), 65);
        readRecord(*device);
    }
    ASSERT_TRUE(backend.setFault(id, sim::FaultKind::PowerCycleAfter, 2));
    ASSERT_EQ(device->write(report(0x1F, 4, 0, second)), 65);
    readRecord(*device);
    EXPECT_EQ(device->write(report(0x1F, 4, 0, cut)), 65) << "the record reached the controller";
    std::array<std::uint8_t, 65> buffer{};
    EXPECT_EQ(device->read(buffer, 1s), -1) << "unanswered, the handle sees it gone";
    EXPECT_EQ(device->write(report(0x12, 0, 0)), -1);

    const auto events = log.waitFor(5);
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[3].kind, PlugEvent::Kind::Removal);
    EXPECT_EQ(events[4].kind, PlugEvent::Kind::Arrival);
    EXPECT_EQ(events[4].path, SimBackend::pathOf(id));
    const auto listed = backend.devices();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].id, id);
    EXPECT_TRUE(listed[0].bootLoader);
    EXPECT_EQ(listed[0].productId, 0x014E);
    backend.inspect(id, [&](const sim::EmulatedController& c) {
        const auto& flash = c.flash();
        EXPECT_EQ(std::vector<std::uint8_t>(flash.begin() + 1024, flash.begin() + 1036),
                  (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 0xFF, 0xFF, 0xFF, 0xFF}));
        EXPECT_EQ(c.writePoint(), 0u);
        EXPECT_EQ(c.faults().powerCycleAfter, 0);
    });
    auto back = openPath(backend, SimBackend::pathOf(id));
    ASSERT_TRUE(back);
    ASSERT_EQ(back->write(report(0x12, 0x02, 0)), 65);
    EXPECT_EQ(readRecord(*back)[4], 0) << "the boot loader takes the update commands";
}

TEST_F(SimBackendTest, DelayFaultMakesRepliesLaterThanTheLatency) {
    SimBackend backend(0ms);
    int id = backend.plug(ControllerKind::Standard).front();
    auto device = openPath(backend, SimBackend::pathOf(id));
    backend.setFault(id, sim::FaultKind::DelayMs, 300);
    device->write(report(0x41, 3, 0));
    std::array<std::uint8_t, 65> buffer{};
    EXPECT_EQ(device->read(buffer, 0ms), 0);
    EXPECT_EQ(readRecord(*device, 5s)[0], 0x41);
}

TEST_F(SimBackendTest, RepliesKeepTheOrderOfTheirRecords) {
    SimBackend backend(5ms);
    int id = backend.plug(ControllerKind::Standard).front();
    auto device = openPath(backend, SimBackend::pathOf(id));
    for (std::uint16_t index = 0; index < 8; ++index) ASSERT_EQ(device->write(report(0x52, 0x73, index)), 65);
    for (std::uint16_t index = 0; index < 8; ++index) EXPECT_EQ(sim::recordIndex(readRecord(*device)), index);
}

TEST_F(SimBackendTest, HandlesThatOutliveTheBackendFail) {
    std::unique_ptr<hid::Device> device;
    {
        SimBackend backend;
        int id = backend.plug(ControllerKind::Standard).front();
        device = openPath(backend, SimBackend::pathOf(id));
        ASSERT_TRUE(device);
        // Whether or not its reply arrives first, the handle then reports the device gone.
        ASSERT_EQ(device->write(report(0x41, 3, 0)), 65);
    }
    std::array<std::uint8_t, 65> buffer{};
    EXPECT_EQ(device->read(buffer, 100ms), -1);
    EXPECT_EQ(device->write(report(0x41, 3, 0)), -1);
}

TEST_F(SimBackendTest, BootSpecPlugsUnderTheBootLoaderProductId) {
    SimBackend backend;
    sim::DeviceSpec spec;
    spec.bootLoader = true;
    auto result = backend.plug(spec);
    ASSERT_NE(result.id, 0);
    auto infos = backend.enumerate();
    ASSERT_EQ(infos.size(), 1u);
    EXPECT_EQ(infos[0].productId, 0x014E);
}

TEST_F(SimBackendTest, ListLinesShowIdPidModeFirmwareAndName) {
    SimBackend backend;
    sim::DeviceSpec named;
    named.kind = ControllerKind::Led5;
    named.firmware = {2, 5, 300};
    named.name = "Top card";
    int first = backend.plug(ControllerKind::Standard).front();
    int second = backend.plug(named).id;
    auto devices = backend.devices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(sim::formatListLine(devices[0]), std::to_string(first) + " 014d app 1.0.0 -");
    EXPECT_EQ(sim::formatListLine(devices[1]), std::to_string(second) + " 015b app 2.5.300 Top card");
}

}  // namespace
