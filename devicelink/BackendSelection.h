#pragma once

#include "devicelink/HidBackend.h"

#include <functional>
#include <memory>
#include <string>

namespace devicelink {

// Makes the client of a devsim daemon listening at the socket path.
using DevsimBackendFactory = std::function<std::unique_ptr<hid::Backend>(const std::string& socketPath)>;

// The backend LUMENSTRA_HID names: unset, empty or "hidapi" for real
// controllers, "devsim:<socket path>" for the simulator daemon. Null with a
// message in `error` for any other value.
std::unique_ptr<hid::Backend> backendFromEnvironment(const DevsimBackendFactory& devsim, std::string& error);

}  // namespace devicelink
