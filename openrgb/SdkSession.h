#pragma once

#include "openrgb/Protocol.h"

#include <optional>
#include <string>
#include <vector>

// One client's side of the SDK server: its packets in, the server's replies
// out, with the controllers behind a host interface. No sockets: the server
// loop hands bytes in and writes what comes back.
namespace openrgb {

// What the server's controllers answer and do. Indices count from 0 over the
// controller list; the session checks them against controllerCount() first.
class ControllerHost {
public:
    virtual ~ControllerHost() = default;
    virtual int controllerCount() = 0;
    virtual Controller describe(int index) = 0;
    // The mode shown on the card at once (UPDATEMODE), or also stored and
    // written whole (SAVEMODE). False when the mode or its values do not fit.
    virtual bool updateMode(int index, int modeIndex, const Mode& mode, bool save) = 0;
    // The card's mode for per-LED colours.
    virtual bool setCustomMode(int index) = 0;
    // The LEDs from `update.first` (within `update.zone` when given).
    virtual bool updateLeds(int index, const LedUpdate& update) = 0;
    virtual std::vector<std::string> profiles() = 0;
    virtual bool loadProfile(const std::string& name) = 0;
    // Said on the server's log, for requests it does not carry out.
    virtual void refused(const std::string& what) = 0;
};

class SdkSession {
public:
    explicit SdkSession(ControllerHost& host) : m_host(host) {}

    // Takes bytes from the client and appends the replies to `reply`. False
    // when the client sent a malformed or oversized packet: close it.
    bool receive(const std::uint8_t* bytes, std::size_t count, Bytes& reply);
    // The version this client and the server agreed on (0 until it asks).
    std::uint32_t protocolVersion() const { return m_version; }
    const std::string& clientName() const { return m_name; }

private:
    bool handle(const Packet& packet, Bytes& reply);
    bool forController(const Packet& packet);

    ControllerHost& m_host;
    PacketStream m_stream;
    std::uint32_t m_version = 0;
    std::string m_name;
    bool m_closed = false;
};

// DEVICE_LIST_UPDATED, sent to every client when a controller comes or goes.
Bytes DeviceListUpdated();

}  // namespace openrgb
