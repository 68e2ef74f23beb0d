#pragma once

#include <string>

namespace devicelink {

// Gives the HID library of this program the backend LUMENSTRA_HID names: real
// controllers (the default) or a devsim daemon's. False, with the reason in
// `error`, when the variable names neither.
bool installBackendFromEnvironment(std::string& error);

}  // namespace devicelink
