#include "app/ConfigApp.h"
#include "backends/BackendSelection.h"
#include "devicelink/HidLibrary.h"
#include "platform/Version.h"
#include "skin/WindowCapture.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <strings.h>

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
    "Only one Lumenstra runs at a time; a second start ends at once. While\n"
    "lumenstra-cli serve drives the controllers, Lumenstra says so and ends.\n"
    "\n"
    "Options (they print and end without opening a window):\n"
    "  --help, -h     this text\n"
    "  --version      the version\n"
    "\n"
    "Exit codes: 0 the window was closed (or a second start ended), 1 lumenstra-cli serve\n"
    "drives the controllers, 3 the controllers' backend cannot be reached (the word nodev\n"
    "runs the window anyway).\n"
    "\n"
    "Example: lumenstra nodev ui:1\n";

}  // namespace

constexpr int kExitNoBackend = 3;

int main(int argc, char** argv) {
    bool nodev = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("lumenstra %s\n", platform::kVersion);
            return 0;
        }
        nodev = nodev || strcasecmp(argv[i], "nodev") == 0;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumenstra"));
    // Task bars find the icon of the window through the desktop entry's name.
    QGuiApplication::setDesktopFileName(QStringLiteral("lumenstra"));
    const auto demoSupport = skin::installDemoSupportFromEnvironment();

    std::string backendError;
    if (!backends::installBackendFromEnvironment(backendError) || !backends::backendReachable(backendError)) {
        std::fprintf(stderr, "lumenstra: %s; no controller can be reached\n", backendError.c_str());
        if (!nodev) {
            std::fputs("lumenstra: set LUMENSTRA_HID right, or add the word nodev to run without controllers\n",
                       stderr);
            return kExitNoBackend;
        }
    }

    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) words.emplace_back(argv[i]);
    const int exitCode = CConfigApp(std::move(words)).run();
    devicelink::HidSetBackend(nullptr);
    return exitCode;
}
