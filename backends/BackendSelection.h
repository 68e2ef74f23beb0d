#pragma once

#include "hid/HidBackend.h"

#include <functional>
#include <memory>
#include <string>

// Which controllers a program talks to. Every program calls this at start-up,
// so LUMENSTRA_HID means the same everywhere.
namespace backends {

// Makes the client of a devsim daemon listening at the socket path.
using DevsimBackendFactory = std::function<std::unique_ptr<hid::Backend>(const std::string& socketPath)>;

// The backend LUMENSTRA_HID names: unset, empty or "hidapi" for real
// controllers, "devsim:<socket path>" for the simulator daemon. Null with a
// message in `error` for any other value.
std::unique_ptr<hid::Backend> backendFromEnvironment(const DevsimBackendFactory& devsim, std::string& error);

// Gives the HID library of this program the backend LUMENSTRA_HID names. False,
// with the reason in `error`, when the variable names neither.
bool installBackendFromEnvironment(std::string& error);

// Whether the controllers LUMENSTRA_HID names can be reached now: for
// "devsim:SOCKET" a daemon must listen at the socket (an absent daemon would
// otherwise look like a machine without controllers). False with the reason
// and what to do in `error`.
bool backendReachable(std::string& error);

}  // namespace backends
