// The effect editor page against an emulated controller with 1 ms reply
// latency and the real pauses: for a few controls, the time from the change to
// the last preview record on the wire next to the least those records take
// (latency, the pause after every write and after every command); and the time
// the window takes per pointer move while the hue bar is dragged (previews
// included). Usage: ledpage_bench [MOVES] (default 300).
#include "devicelink/HidLibrary.h"
#include "mainwindow/ConfigDlg.h"
#include "mainwindow/LedDlg.h"
#include "platform/Timing.h"
#include "sim/SimBackend.h"
#include "skin/MessageBox.h"
#include "skin/SkinDocuments.h"
#include "skin/SkinMessages.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

void pumpWhile(const std::function<bool()>& condition) {
    while (condition()) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

}  // namespace

int main(int argc, char** argv) {
    const int moves = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
    QTemporaryDir configuration;
    qputenv("XDG_CONFIG_HOME", configuration.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    skin::setSkinProgramFolder(LUMENSTRA_BIN_DIR "/");
    skin::SetMessageBoxHandler([](QWidget*, const std::string&) {});

    const auto latency = std::chrono::milliseconds(1);
    auto simulator = std::make_shared<sim::SimBackend>(latency);
    devicelink::HidSetBackend(simulator);
    sim::DeviceSpec spec;
    spec.firmware = {99, 0, 0};
    simulator->plug(spec);
    {
        CConfigDlg window;
        window.setResolutionFolder(QStringLiteral("1920x1080/"));
        window.show();
        pumpWhile([&] {
            return window.busy() || window.deviceMenu(0).itemCount() < 1 ||
                   window.windowTimerRunning(CConfigDlg::kTimerDeferredSelection);
        });
        auto& page = dynamic_cast<CLedDlg&>(window.page(0));
        const auto idle = [&] { return !page.previews().pending() && !page.previews().scheduled(); };
        pumpWhile([&] { return !idle(); });
        // Per record: the reply latency, the pause after the write and the pause after the command.
        const Milliseconds perRecord = latency + platform::timing().hidWritePause + std::chrono::milliseconds(1);

        struct Step {
            const char* what;
            std::function<void()> change;
        };
        const auto click = [&](const char* key) {
            return [&page, key] { dynamic_cast<skin::CBitmapBtn*>(page.control(key))->ClickFromAssistant(); };
        };
        const auto slide = [&](int value, int id) {
            return [&page, value, id] {
                platform::postMessage(&page, {skin::kSliderNotify, static_cast<std::uintptr_t>(value), id});
            };
        };
        const Step steps[] = {{"effect button (static)", click("BUTTON_MENU_1")},
                              {"red slider", slide(40, CLedDlg::kSliderR)},
                              {"effect button (breathe)", click("BUTTON_MENU_8")},
                              {"speed slider", slide(1, CLedDlg::kSliderSpeed)},
                              {"brightness slider", slide(0, CLedDlg::kSliderBrightness)},
                              {"random toggle", click("BUTTON_FIXED_COLOR")}};
        std::printf("%-26s %8s %12s %14s\n", "control", "records", "change->last", "least possible");
        for (const Step& step : steps) {
            simulator->clearTrace();
            const auto start = Clock::now();
            step.change();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            pumpWhile([&] { return !idle(); });
            const Milliseconds took = Clock::now() - start;
            const std::size_t records = simulator->takeTrace().size();
            std::printf("%-26s %8zu %9.1f ms %11.1f ms\n", step.what, records, took.count(),
                        (perRecord * static_cast<double>(records)).count());
        }

        // The hue bar dragged from one end to the other, one pointer move at a time.
        dynamic_cast<skin::CBitmapBtn*>(page.control("BUTTON_MENU_1"))->ClickFromAssistant();
        pumpWhile([&] { return !idle(); });
        skin::GTColorSliderWnd& hue = page.hueBar();
        const QRect bar = hue.innerBar();
        const auto send = [&](QEvent::Type type, int x) {
            const QPointF at(x, bar.center().y());
            QMouseEvent event(type, at, hue.mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&hue, &event);
        };
        simulator->clearTrace();
        const int previewsBefore = page.previews().sent();
        std::vector<double> frames;
        send(QEvent::MouseButtonPress, bar.left());
        const auto dragStart = Clock::now();
        for (int i = 1; i <= moves; ++i) {
            const auto start = Clock::now();
            send(QEvent::MouseMove, bar.left() + i * bar.width() / moves);
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            page.repaint();
            frames.push_back(Milliseconds(Clock::now() - start).count());
        }
        send(QEvent::MouseButtonRelease, bar.right());
        pumpWhile([&] { return !idle(); });
        const Milliseconds drag = Clock::now() - dragStart;
        std::sort(frames.begin(), frames.end());
        const auto at = [&](double share) {
            return frames[std::min(frames.size() - 1, static_cast<std::size_t>(share * frames.size()))];
        };
        std::printf("\nhue bar drag: %d moves in %.0f ms, %d previews, %zu records\n", moves, drag.count(),
                    page.previews().sent() - previewsBefore, simulator->takeTrace().size());
        std::printf("frame time: median %.2f ms, 90%% %.2f ms, 99%% %.2f ms, max %.2f ms\n", at(0.5), at(0.9), at(0.99),
                    frames.back());
        window.done(0);
    }
    devicelink::HidSetBackend(nullptr);
    return 0;
}
