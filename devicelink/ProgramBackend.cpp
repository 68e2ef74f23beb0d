#include "devicelink/ProgramBackend.h"

#include "devicelink/BackendSelection.h"
#include "devicelink/HidLibrary.h"
#include "sim/DevsimBackend.h"

namespace devicelink {

bool installBackendFromEnvironment(std::string& error) {
    auto backend = backendFromEnvironment(
        [](const std::string& socketPath) { return std::make_unique<sim::DevsimBackend>(socketPath); }, error);
    if (!backend) return false;
    HidSetBackend(std::move(backend));
    return true;
}

}  // namespace devicelink
