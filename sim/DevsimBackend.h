#pragma once

#include "hid/HidBackend.h"

#include <chrono>
#include <string>

// The controllers of a running devsim daemon, reached over its Unix socket, so
// that separate programs share one set of emulated devices. Chosen with
// LUMENSTRA_HID=devsim:<socket path>.
namespace sim {

class DevsimBackend : public hid::Backend {
public:
    explicit DevsimBackend(std::string socketPath);

    const std::string& socketPath() const { return m_socketPath; }

    // Empty when the daemon cannot be reached.
    std::vector<hid::DeviceInfo> enumerate() override;
    // NotFound when the device is absent or the daemon cannot be reached;
    // PermissionDenied for a device plugged with "denied".
    std::unique_ptr<hid::Device> open(const std::string& path, hid::OpenError& error) override;
    // Null when the daemon cannot be reached.
    std::unique_ptr<hid::PlugWatch> watch(std::function<void(const hid::PlugEvent&)> onEvent) override;
    bool waitUntilSettled(std::chrono::milliseconds limit) override;

private:
    std::string m_socketPath;
};

}  // namespace sim
