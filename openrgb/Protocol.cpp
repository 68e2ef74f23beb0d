#include "openrgb/Protocol.h"

#include "platform/LittleEndian.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace openrgb {
namespace {

constexpr char kMagic[4] = {'O', 'R', 'G', 'B'};

void appendLe16(Bytes& out, std::uint16_t value) {
    std::uint8_t bytes[2];
    platform::writeLe16(bytes, value);
    out.insert(out.end(), bytes, bytes + 2);
}

void appendLe32(Bytes& out, std::uint32_t value) {
    std::uint8_t bytes[4];
    platform::writeLe32(bytes, value);
    out.insert(out.end(), bytes, bytes + 4);
}

// Length with the terminator, the characters, the terminator. Longer texts are
// cut: a 16-bit length holds them no further.
void appendString(Bytes& out, const std::string& text) {
    const std::size_t length = std::min<std::size_t>(text.size(), std::numeric_limits<std::uint16_t>::max() - 1);
    appendLe16(out, static_cast<std::uint16_t>(length + 1));
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
    out.push_back(0);
}

void appendColours(Bytes& out, const std::vector<RgbColour>& colours) {
    appendLe16(out, static_cast<std::uint16_t>(colours.size()));
    for (const RgbColour colour : colours) appendLe32(out, colour);
}

// Reads fields in order; any read past the end makes the whole parse fail.
class Reader {
public:
    explicit Reader(const Bytes& data) : m_data(data) {}
    bool u16(std::uint16_t& value) {
        if (!has(2)) return false;
        value = platform::readLe16(m_data.data() + m_at);
        m_at += 2;
        return true;
    }
    bool u32(std::uint32_t& value) {
        if (!has(4)) return false;
        value = platform::readLe32(m_data.data() + m_at);
        m_at += 4;
        return true;
    }
    bool i32(std::int32_t& value) {
        std::uint32_t raw = 0;
        if (!u32(raw)) return false;
        value = static_cast<std::int32_t>(raw);
        return true;
    }
    bool string(std::string& text) {
        std::uint16_t length = 0;
        if (!u16(length) || !has(length)) return false;
        const char* start = reinterpret_cast<const char*>(m_data.data() + m_at);
        text.assign(start, strnlen(start, length));
        m_at += length;
        return true;
    }
    bool colours(std::vector<RgbColour>& colours) {
        std::uint16_t count = 0;
        if (!u16(count) || !has(std::size_t{4} * count)) return false;
        colours.resize(count);
        for (RgbColour& colour : colours) u32(colour);
        return true;
    }
    bool atEnd() const { return m_at == m_data.size(); }

private:
    bool has(std::size_t count) const { return m_data.size() - m_at >= count; }
    const Bytes& m_data;
    std::size_t m_at = 0;
};

// A block that starts with its own size: the size must be the packet's.
bool sizeMatches(const Bytes& data) { return data.size() >= 4 && platform::readLe32(data.data()) == data.size(); }

}  // namespace

Bytes MakePacket(std::uint32_t device, std::uint32_t id, const Bytes& data) {
    Bytes packet(kMagic, kMagic + 4);
    appendLe32(packet, device);
    appendLe32(packet, id);
    appendLe32(packet, static_cast<std::uint32_t>(data.size()));
    packet.insert(packet.end(), data.begin(), data.end());
    return packet;
}

std::optional<PacketHeader> ParseHeader(const std::uint8_t* bytes) {
    if (std::memcmp(bytes, kMagic, sizeof kMagic) != 0) return std::nullopt;
    return PacketHeader{platform::readLe32(bytes + 4), platform::readLe32(bytes + 8), platform::readLe32(bytes + 12)};
}

void PacketStream::append(const std::uint8_t* bytes, std::size_t count) {
    if (!m_broken) m_buffer.insert(m_buffer.end(), bytes, bytes + count);
}

PacketStream::Status PacketStream::next(Packet& packet) {
    if (m_broken) return Status::Malformed;
    if (m_buffer.size() < kHeaderSize) return Status::NeedMore;
    const std::optional<PacketHeader> header = ParseHeader(m_buffer.data());
    if (!header || header->size > kMaxPacketData) {
        m_broken = true;
        m_buffer.clear();
        return Status::Malformed;
    }
    if (m_buffer.size() - kHeaderSize < header->size) return Status::NeedMore;
    packet.header = *header;
    const auto dataStart = m_buffer.begin() + static_cast<std::ptrdiff_t>(kHeaderSize);
    const auto dataEnd = dataStart + static_cast<std::ptrdiff_t>(header->size);
    packet.data.assign(dataStart, dataEnd);
    m_buffer.erase(m_buffer.begin(), dataEnd);
    return Status::Ready;
}

void AppendMode(Bytes& out, const Mode& mode, std::uint32_t version) {
    appendString(out, mode.name);
    appendLe32(out, static_cast<std::uint32_t>(mode.value));
    appendLe32(out, mode.flags);
    appendLe32(out, mode.speedMin);
    appendLe32(out, mode.speedMax);
    if (version >= 3) {
        appendLe32(out, mode.brightnessMin);
        appendLe32(out, mode.brightnessMax);
    }
    appendLe32(out, mode.coloursMin);
    appendLe32(out, mode.coloursMax);
    appendLe32(out, mode.speed);
    if (version >= 3) appendLe32(out, mode.brightness);
    appendLe32(out, mode.direction);
    appendLe32(out, mode.colourMode);
    appendColours(out, mode.colours);
}

Bytes SerialiseControllerData(const Controller& controller, std::uint32_t version) {
    Bytes out(4, 0);  // the size, filled in at the end
    appendLe32(out, static_cast<std::uint32_t>(controller.type));
    appendString(out, controller.name);
    if (version >= 1) appendString(out, controller.vendor);
    appendString(out, controller.description);
    appendString(out, controller.version);
    appendString(out, controller.serial);
    appendString(out, controller.location);
    appendLe16(out, static_cast<std::uint16_t>(controller.modes.size()));
    appendLe32(out, static_cast<std::uint32_t>(controller.activeMode));
    for (const Mode& mode : controller.modes) AppendMode(out, mode, version);
    appendLe16(out, static_cast<std::uint16_t>(controller.zones.size()));
    for (const Zone& zone : controller.zones) {
        appendString(out, zone.name);
        appendLe32(out, static_cast<std::uint32_t>(zone.type));
        appendLe32(out, zone.ledsMin);
        appendLe32(out, zone.ledsMax);
        appendLe32(out, zone.ledsCount);
        appendLe16(out, 0);                    // no matrix map
        if (version >= 4) appendLe16(out, 0);  // no segments
    }
    appendLe16(out, static_cast<std::uint16_t>(controller.leds.size()));
    for (const Led& led : controller.leds) {
        appendString(out, led.name);
        appendLe32(out, led.value);
    }
    appendColours(out, controller.colours);
    platform::writeLe32(out.data(), static_cast<std::uint32_t>(out.size()));
    return out;
}

std::optional<ModeUpdate> ParseModeUpdate(const Bytes& data, std::uint32_t version) {
    if (!sizeMatches(data)) return std::nullopt;
    Reader reader(data);
    std::uint32_t size = 0;
    ModeUpdate update;
    Mode& mode = update.mode;
    bool ok = reader.u32(size) && reader.i32(update.index) && reader.string(mode.name) && reader.i32(mode.value) &&
              reader.u32(mode.flags) && reader.u32(mode.speedMin) && reader.u32(mode.speedMax);
    if (ok && version >= 3) ok = reader.u32(mode.brightnessMin) && reader.u32(mode.brightnessMax);
    ok = ok && reader.u32(mode.coloursMin) && reader.u32(mode.coloursMax) && reader.u32(mode.speed);
    if (ok && version >= 3) ok = reader.u32(mode.brightness);
    ok = ok && reader.u32(mode.direction) && reader.u32(mode.colourMode) && reader.colours(mode.colours);
    if (!ok || !reader.atEnd()) return std::nullopt;
    return update;
}

std::optional<LedUpdate> ParseUpdateLeds(const Bytes& data) {
    if (!sizeMatches(data)) return std::nullopt;
    Reader reader(data);
    std::uint32_t size = 0;
    LedUpdate update;
    if (!reader.u32(size) || !reader.colours(update.colours) || !reader.atEnd()) return std::nullopt;
    return update;
}

std::optional<LedUpdate> ParseUpdateZoneLeds(const Bytes& data) {
    if (!sizeMatches(data)) return std::nullopt;
    Reader reader(data);
    std::uint32_t size = 0, zone = 0;
    LedUpdate update;
    if (!reader.u32(size) || !reader.u32(zone) || !reader.colours(update.colours) || !reader.atEnd())
        return std::nullopt;
    update.zone = zone;
    return update;
}

std::optional<LedUpdate> ParseUpdateSingleLed(const Bytes& data) {
    Reader reader(data);
    std::int32_t led = 0;
    RgbColour colour = 0;
    if (!reader.i32(led) || !reader.u32(colour) || !reader.atEnd() || led < 0) return std::nullopt;
    LedUpdate update;
    update.first = static_cast<std::uint32_t>(led);
    update.colours = {colour};
    return update;
}

std::string ParseText(const Bytes& data) {
    if (data.empty()) return {};
    const char* start = reinterpret_cast<const char*>(data.data());
    return std::string(start, strnlen(start, data.size()));
}

Bytes SerialiseProfileList(const std::vector<std::string>& names) {
    Bytes out(4, 0);
    appendLe16(out, static_cast<std::uint16_t>(names.size()));
    for (const std::string& name : names) appendString(out, name);
    platform::writeLe32(out.data(), static_cast<std::uint32_t>(out.size()));
    return out;
}

}  // namespace openrgb
