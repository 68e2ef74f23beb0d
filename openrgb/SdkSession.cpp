#include "openrgb/SdkSession.h"

#include "platform/LittleEndian.h"

#include <algorithm>

namespace openrgb {
namespace {

constexpr std::size_t kMaxClientName = 255;

Bytes u32Data(std::uint32_t value) {
    Bytes data(4);
    platform::writeLe32(data.data(), value);
    return data;
}

}  // namespace

Bytes DeviceListUpdated() { return MakePacket(0, DEVICE_LIST_UPDATED, {}); }

bool SdkSession::receive(const std::uint8_t* bytes, std::size_t count, Bytes& reply) {
    if (m_closed) return false;
    m_stream.append(bytes, count);
    Packet packet;
    for (;;) {
        switch (m_stream.next(packet)) {
        case PacketStream::Status::NeedMore: return true;
        case PacketStream::Status::Malformed: m_closed = true; return false;
        case PacketStream::Status::Ready:
            if (!handle(packet, reply)) {
                m_closed = true;
                return false;
            }
            break;
        }
    }
}

bool SdkSession::forController(const Packet& packet) {
    return packet.header.device < static_cast<std::uint32_t>(m_host.controllerCount());
}

bool SdkSession::handle(const Packet& packet, Bytes& reply) {
    const PacketHeader& header = packet.header;
    const Bytes& data = packet.data;
    const int device = static_cast<int>(header.device);
    const auto answer = [&](const Bytes& body) {
        const Bytes whole = MakePacket(header.device, header.id, body);
        reply.insert(reply.end(), whole.begin(), whole.end());
    };
    switch (header.id) {
    case REQUEST_CONTROLLER_COUNT: answer(u32Data(static_cast<std::uint32_t>(m_host.controllerCount()))); return true;
    case REQUEST_CONTROLLER_DATA: {
        // Protocol 0 asks without data; later ones name the version to answer in.
        std::uint32_t version = 0;
        if (data.size() == 4)
            version = std::min(platform::readLe32(data.data()), kHighestProtocol);
        else if (!data.empty())
            return false;
        // An index beyond the list gets no answer, as from any SDK server.
        if (forController(packet)) answer(SerialiseControllerData(m_host.describe(device), version));
        return true;
    }
    case REQUEST_PROTOCOL_VERSION:
        if (data.size() != 4) return false;
        m_version = std::min(platform::readLe32(data.data()), kHighestProtocol);
        answer(u32Data(m_version));
        return true;
    case SET_CLIENT_NAME: m_name = ParseText(data).substr(0, kMaxClientName); return true;
    case REQUEST_PROFILE_LIST: answer(SerialiseProfileList(m_host.profiles())); return true;
    case REQUEST_LOAD_PROFILE: {
        const std::string name = ParseText(data);
        if (!m_host.loadProfile(name)) m_host.refused("load profile \"" + name + "\": no such profile");
        return true;
    }
    case REQUEST_SAVE_PROFILE:
    case REQUEST_DELETE_PROFILE:
        m_host.refused("save or delete profile \"" + ParseText(data) +
                       "\": the one saved profile changes with save mode only");
        return true;
    case RGBCONTROLLER_RESIZEZONE:
        if (data.size() != 8) return false;
        m_host.refused("resize zone: every zone has a fixed number of LEDs");
        return true;
    case RGBCONTROLLER_UPDATELEDS:
    case RGBCONTROLLER_UPDATEZONELEDS:
    case RGBCONTROLLER_UPDATESINGLELED: {
        const std::optional<LedUpdate> update = header.id == RGBCONTROLLER_UPDATELEDS ? ParseUpdateLeds(data)
                                                : header.id == RGBCONTROLLER_UPDATEZONELEDS
                                                    ? ParseUpdateZoneLeds(data)
                                                    : ParseUpdateSingleLed(data);
        if (!update) return false;
        if (forController(packet)) m_host.updateLeds(device, *update);
        return true;
    }
    case RGBCONTROLLER_SETCUSTOMMODE:
        if (forController(packet)) m_host.setCustomMode(device);
        return true;
    case RGBCONTROLLER_UPDATEMODE:
    case RGBCONTROLLER_SAVEMODE: {
        const std::optional<ModeUpdate> update = ParseModeUpdate(data, m_version);
        if (!update) return false;
        const bool save = header.id == RGBCONTROLLER_SAVEMODE;
        if (forController(packet) && !m_host.updateMode(device, update->index, update->mode, save))
            m_host.refused("mode " + std::to_string(update->index) + " \"" + update->mode.name +
                           "\": not a mode of controller " + std::to_string(device) + " or a value out of range");
        return true;
    }
    default:
        // Unknown IDs are skipped whole, as the protocol asks of every side.
        return true;
    }
}

}  // namespace openrgb
