// The main window against two emulated controllers (1 ms reply latency, real
// waits): time from start to the first controller loaded and selected next to
// the waits the window must keep (the loading pop-up's start delay and settle
// pause and the 5 ms deferred selection), processor time while idle, and the
// resident memory then. Usage: mainwindow_bench [IDLE_SECONDS] (default 60).
#include "devicelink/HidLibrary.h"
#include "mainwindow/ConfigDlg.h"
#include "platform/Timing.h"
#include "sim/SimBackend.h"
#include "skin/MessageBox.h"
#include "skin/SkinDocuments.h"

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double processorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string residentMemory() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return line.substr(6);
    return "unknown";
}

// The window's own event loop, left alone: what the program does when nobody uses it.
void runEventLoopFor(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
    const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 60;
    QTemporaryDir configuration;
    qputenv("XDG_CONFIG_HOME", configuration.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    skin::setSkinProgramFolder(LUMENSTRA_BIN_DIR "/");
    skin::SetMessageBoxHandler([](QWidget*, const std::string&) {});

    auto simulator = std::make_shared<sim::SimBackend>(std::chrono::milliseconds(1));
    devicelink::HidSetBackend(simulator);
    for (const sim::ControllerKind kind : {sim::ControllerKind::Standard, sim::ControllerKind::Led5}) {
        sim::DeviceSpec spec;
        spec.kind = kind;
        spec.firmware = {99, 0, 0};
        simulator->plug(spec);
    }
    {
        CConfigDlg window;
        window.setResolutionFolder(QStringLiteral("1920x1080/"));
        const auto start = Clock::now();
        window.show();
        // Loaded and selected: the first load has ended and its deferred selection ran.
        while (window.busy() || window.deviceMenu(0).itemCount() < 1 ||
               window.windowTimerRunning(CConfigDlg::kTimerDeferredSelection))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        const double loaded = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        const platform::TimingPolicy& timing = platform::timing();
        const double waits = static_cast<double>((timing.loadingPopupDelay + timing.loadingPopupSettle).count()) + 5;
        std::printf("start to a controller loaded and selected: %.0f ms (mandated waits %.0f ms)\n", loaded, waits);

        // Let the second controller settle before measuring the idle window.
        runEventLoopFor(std::chrono::seconds(5));
        const double before = processorSeconds();
        runEventLoopFor(std::chrono::seconds(idleSeconds));
        const double used = processorSeconds() - before;
        std::printf("idle over %d s with two controllers: %.3f s of processor time, %.3f %% of a core\n", idleSeconds,
                    used, 100.0 * used / idleSeconds);
        std::printf("resident memory at idle:%s\n", residentMemory().c_str());
        window.done(0);
    }
    devicelink::HidSetBackend(nullptr);
    return 0;
}
