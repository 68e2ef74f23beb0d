// Command transactions against the in-process simulator with no reply latency:
// what the mandated pauses (3 ms after the write, 1 ms after the command) cost
// in wall time and CPU with each way of waiting.
#include "devicelink/HidLibrary.h"
#include "devicelink/Pause.h"
#include "devicelink/UsbDriver.h"
#include "sim/SimBackend.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace {

using namespace std::chrono;

devicelink::PauseStrategy strategyOf(const benchmark::State& state) {
    return state.range(0) == 0 ? devicelink::PauseStrategy::Spin : devicelink::PauseStrategy::SleepThenSpin;
}

// One GetSyncFlag: a SetData round trip plus the command pause.
void BM_CommandTransaction(benchmark::State& state) {
    devicelink::setPauseStrategy(strategyOf(state));
    auto simulator = std::make_shared<sim::SimBackend>(milliseconds(0));
    simulator->plug(sim::ControllerKind::Standard);
    devicelink::HidSetBackend(simulator);
    {
        devicelink::CUSBDriver driver;
        driver.setInstanceIndex(0);
        if (!driver.OpenDriver()) state.SkipWithError("no controller");
        std::uint8_t flag = 0;
        int failures = 0;
        for (auto _ : state) failures += driver.GetSyncFlag(flag, 0);
        state.counters["failures"] = failures;
        state.counters["minimum_ms"] = 4.0;
    }
    devicelink::HidSetBackend(nullptr);
    simulator->clearTrace();
}
BENCHMARK(BM_CommandTransaction)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("sleep_then_spin")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

// The 3 ms write pause alone: how late it ends (p99) and what it costs.
void BM_WritePause(benchmark::State& state) {
    const auto margin = microseconds(state.range(1));
    std::vector<double> lateness;
    for (auto _ : state) {
        const auto start = steady_clock::now();
        devicelink::pauseFor(microseconds(3000), strategyOf(state), margin);
        lateness.push_back(duration<double, std::micro>(steady_clock::now() - start).count() - 3000.0);
    }
    std::sort(lateness.begin(), lateness.end());
    const auto at = [&](double quantile) {
        return lateness[std::min(lateness.size() - 1, static_cast<std::size_t>(quantile * lateness.size()))];
    };
    state.counters["p50_error_us"] = at(0.50);
    state.counters["p99_error_us"] = at(0.99);
    state.counters["max_error_us"] = lateness.back();
}
BENCHMARK(BM_WritePause)
    ->Args({0, 0})
    ->Args({1, 50})
    ->Args({1, 100})
    ->Args({1, 200})
    ->Args({1, 300})
    ->Args({1, 500})
    ->Args({1, 1000})
    ->ArgNames({"sleep_then_spin", "margin_us"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1000)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
