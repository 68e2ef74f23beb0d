#include "backends/BackendSelection.h"
#include "cli/CliCommands.h"
#include "devicelink/HidLibrary.h"

#include <QCoreApplication>

#include <iostream>

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const bool helpOnly = !arguments.empty() && (arguments[0] == "--help" || arguments[0] == "-h");
    QCoreApplication application(argc, argv);
    if (!helpOnly) {
        std::string error;
        if (!backends::installBackendFromEnvironment(error)) {
            std::cerr << "lumenstra-cli: " << error << "\n";
            return cli::kExitFailure;
        }
    }
    const int result = cli::runCli(arguments, std::cout, std::cerr);
    devicelink::HidSetBackend(nullptr);
    return result;
}
