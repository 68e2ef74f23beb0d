// Round trips through the in-process simulator: one record written, its reply
// read back on the same handle, at the latencies tests use.
#include "sim/SimBackend.h"

#include <benchmark/benchmark.h>

namespace {

void BM_SimRoundTrip(benchmark::State& state) {
    sim::SimBackend backend{std::chrono::milliseconds(state.range(0))};
    int id = backend.plug(sim::ControllerKind::Standard).front();
    hid::OpenError error;
    auto device = backend.open(sim::SimBackend::pathOf(id), error);
    std::array<std::uint8_t, sim::kReportSize> out{};
    std::array<std::uint8_t, sim::kReportSize> in{};
    out[1] = 0x52;
    out[2] = 0x96;
    for (auto _ : state) {
        device->write(out);
        if (device->read(in, std::chrono::milliseconds(1000)) <= 0) state.SkipWithError("no reply");
        benchmark::DoNotOptimize(in);
    }
    backend.clearTrace();
}
BENCHMARK(BM_SimRoundTrip)->Arg(0)->Arg(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
