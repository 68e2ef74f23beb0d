#include "app/ConfigApp.h"
#include "devicelink/HidLibrary.h"
#include "backends/BackendSelection.h"
#include "skin/WindowCapture.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

constexpr char kUsage[] =
    "Usage: lumenstra [WORD]...\n"
    "Lighting control for graphics cards with an LED controller (USB vendor 2516).\n"
    "\n"
    "Words (any letter case, in any order; unknown words are ignored):\n"
    "  nodev        run even when no LED controller is attached\n"
    "  debug        write a debug log to \"Mq7 debug.log\" on the desktop\n"
    "  ui:N         skin size: 0 = 1920x1080, 1 = 1366x768, other = 960x540;\n"
    "               without it the size follows the screen width\n"
    "  true         started again by the firmware updater\n"
    "  en cs ct japan indonesia arabic korean   accepted language words\n"
    "\n"
    "Environment:\n"
    "  LUMENSTRA_HID          hidapi (default) or devsim:SOCKET\n"
    "  LUMENSTRA_SCREENSHOTS  save a PNG of every window into this folder\n"
    "  LUMENSTRA_AUTOCLOSE_MS close every window after this many milliseconds\n"
    "\n"
    "Only one Lumenstra runs at a time; a second start ends at once.\n";

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumenstra"));
    const auto demoSupport = skin::installDemoSupportFromEnvironment();

    std::string backendError;
    if (!backends::installBackendFromEnvironment(backendError))
        std::fprintf(stderr, "lumenstra: %s; no controller can be reached\n", backendError.c_str());

    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) words.emplace_back(argv[i]);
    const int exitCode = CConfigApp(std::move(words)).run();
    devicelink::HidSetBackend(nullptr);
    return exitCode;
}
