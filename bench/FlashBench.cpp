// Flashing a 64 KiB image through the in-process simulator with the programs'
// own timing (3 ms after every write, the sequence's fixed sleeps), at 0 ms and
// 1 ms reply latency, against the least time the protocol allows.
#include "devicelink/HidLibrary.h"
#include "platform/Timing.h"
#include "sim/SimBackend.h"
#include "updater/FlashSequence.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <memory>

namespace {

using namespace std::chrono;

constexpr std::size_t kImageSize = 64 * 1024;
constexpr int kBlockSize = 60;
constexpr double kFixedSleepsMs = 10 + 200 + 100;  // after the information, after the erase, before the version

struct Run {
    double wallMs = 0;
    std::size_t records = 0;
    bool ok = false;
};

Run flashOnce(milliseconds latency) {
    auto simulator = std::make_shared<sim::SimBackend>(latency);
    sim::DeviceSpec spec;
    spec.bootLoader = true;
    const int id = simulator->plug(spec).id;
    devicelink::HidSetBackend(simulator);
    Run run;
    {
        updater::IapLink link(1, 0x2516, 0x014E);
        link.open();
        updater::GroupRecord group;
        group.writeBlockSize = kBlockSize;
        updater::GroupBlock imageGroup;
        imageGroup.versionText = u"9.9.9";
        updater::FirmwareImage image;
        image.data.resize(kImageSize);
        for (std::size_t i = 0; i < kImageSize; ++i) image.data[i] = static_cast<std::uint8_t>(i * 13);
        image.info.assign(180, 0xFF);
        updater::FlashJob job;
        job.group = &group;
        job.imageGroup = &imageGroup;
        job.image = &image;
        const auto start = steady_clock::now();
        run.ok = updater::RunFlashSequence(link, job).ok;
        run.wallMs = duration<double, std::milli>(steady_clock::now() - start).count();
    }
    run.records = simulator->trace().size();
    (void)id;
    devicelink::HidSetBackend(nullptr);
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const double writePauseMs = duration<double, std::milli>(platform::timing().hidWritePause).count();
    const int imageBlocks = updater::BlockCount(kImageSize, kBlockSize);
    const int versionBlocks = updater::BlockCount(180, kBlockSize);
    std::printf("image %zu bytes, %d + %d blocks of %d bytes, write pause %.1f ms\n", kImageSize, imageBlocks,
                versionBlocks, kBlockSize, writePauseMs);
    for (int latencyMs : {0, 1}) {
        const Run run = flashOnce(milliseconds(latencyMs));
        // Every record sent waits the write pause; the sleeps are fixed.
        const double minimumMs = static_cast<double>(run.records) * writePauseMs + kFixedSleepsMs;
        const double perRecordExtra = (run.wallMs - minimumMs) / static_cast<double>(run.records);
        std::printf(
            "latency %d ms: %s, %zu records, %.0f ms wall, minimum %.0f ms, ratio %.2f, "
            "%.3f ms per record beyond the pause\n",
            latencyMs, run.ok ? "ok" : "FAILED", run.records, run.wallMs, minimumMs, run.wallMs / minimumMs,
            perRecordExtra);
    }
    return 0;
}
