#include "backends/BackendSelection.h"

#include "devicelink/HidLibrary.h"
#include "devicelink/HidapiBackend.h"
#include "sim/DevsimBackend.h"
#include "sim/DevsimProtocol.h"

#include <unistd.h>

#include <cstdlib>

namespace backends {

std::unique_ptr<hid::Backend> backendFromEnvironment(const DevsimBackendFactory& devsim, std::string& error) {
    const char* value = std::getenv("LUMENSTRA_HID");
    const std::string choice = value ? value : "";
    if (choice.empty() || choice == "hidapi") return devicelink::makeHidapiBackend();
    const std::string devsimPrefix = "devsim:";
    if (choice.rfind(devsimPrefix, 0) == 0 && choice.size() > devsimPrefix.size()) {
        if (!devsim) {
            error = "LUMENSTRA_HID=" + choice + ": this program has no devsim backend";
            return nullptr;
        }
        auto backend = devsim(choice.substr(devsimPrefix.size()));
        if (!backend) error = "LUMENSTRA_HID=" + choice + ": cannot reach the devsim daemon";
        return backend;
    }
    error = "LUMENSTRA_HID=" + choice + ": expected \"hidapi\" or \"devsim:<socket path>\"";
    return nullptr;
}

bool installBackendFromEnvironment(std::string& error) {
    auto backend = backendFromEnvironment(
        [](const std::string& socketPath) { return std::make_unique<sim::DevsimBackend>(socketPath); }, error);
    if (!backend) return false;
    devicelink::HidSetBackend(std::move(backend));
    return true;
}

bool backendReachable(std::string& error) {
    const char* value = std::getenv("LUMENSTRA_HID");
    const std::string choice = value ? value : "";
    const std::string devsimPrefix = "devsim:";
    if (choice.rfind(devsimPrefix, 0) != 0) return true;
    const std::string socketPath = choice.substr(devsimPrefix.size());
    std::string reason;
    const int fd = sim::devsim::connectToDaemon(socketPath, reason);
    if (fd < 0) {
        error = "LUMENSTRA_HID=" + choice + ": " + reason + "; start it with: devsim serve --socket " + socketPath;
        return false;
    }
    ::close(fd);
    return true;
}

}  // namespace backends
