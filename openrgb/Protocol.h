#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The network protocol of the OpenRGB SDK, as far as this server speaks it:
// packets of a 16-byte header ("ORGB", device index, packet ID, data size, all
// little-endian) and the data blocks that describe an RGB controller. Pure
// byte work: no sockets, no controllers. docs/openrgb.md lists what each
// protocol version adds.
namespace openrgb {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint16_t kDefaultPort = 6742;
// Versions 0 to 4; a client that asks for less gets less.
inline constexpr std::uint32_t kHighestProtocol = 4;
inline constexpr std::size_t kHeaderSize = 16;
// No request this server takes comes near it; a header that announces more
// closes the client before anything is allocated for the data.
inline constexpr std::uint32_t kMaxPacketData = 64 * 1024;

enum PacketId : std::uint32_t {
    REQUEST_CONTROLLER_COUNT = 0,
    REQUEST_CONTROLLER_DATA = 1,
    REQUEST_PROTOCOL_VERSION = 40,
    SET_CLIENT_NAME = 50,
    DEVICE_LIST_UPDATED = 100,
    REQUEST_PROFILE_LIST = 150,
    REQUEST_SAVE_PROFILE = 151,
    REQUEST_LOAD_PROFILE = 152,
    REQUEST_DELETE_PROFILE = 153,
    RGBCONTROLLER_RESIZEZONE = 1000,
    RGBCONTROLLER_UPDATELEDS = 1050,
    RGBCONTROLLER_UPDATEZONELEDS = 1051,
    RGBCONTROLLER_UPDATESINGLELED = 1052,
    RGBCONTROLLER_SETCUSTOMMODE = 1100,
    RGBCONTROLLER_UPDATEMODE = 1101,
    RGBCONTROLLER_SAVEMODE = 1102,
};

enum DeviceType : std::int32_t { DEVICE_TYPE_GPU = 2 };
enum ZoneType : std::int32_t { ZONE_TYPE_SINGLE = 0, ZONE_TYPE_LINEAR = 1 };

enum ModeFlag : std::uint32_t {
    MODE_FLAG_HAS_SPEED = 1u << 0,
    MODE_FLAG_HAS_DIRECTION_LR = 1u << 1,
    MODE_FLAG_HAS_DIRECTION_UD = 1u << 2,
    MODE_FLAG_HAS_DIRECTION_HV = 1u << 3,
    MODE_FLAG_HAS_BRIGHTNESS = 1u << 4,
    MODE_FLAG_HAS_PER_LED_COLOR = 1u << 5,
    MODE_FLAG_HAS_MODE_SPECIFIC_COLOR = 1u << 6,
    MODE_FLAG_HAS_RANDOM_COLOR = 1u << 7,
};

enum ColourMode : std::uint32_t {
    COLOR_MODE_NONE = 0,
    COLOR_MODE_PER_LED = 1,
    COLOR_MODE_SPECIFIC = 2,
    COLOR_MODE_RANDOM = 3
};
enum ModeDirection : std::uint32_t { DIRECTION_LEFT = 0, DIRECTION_RIGHT = 1, DIRECTION_UP = 2, DIRECTION_DOWN = 3 };

// Colours travel as 0x00BBGGRR, red in the lowest byte, as the effect model keeps them.
using RgbColour = std::uint32_t;

struct Mode {
    std::string name;
    std::int32_t value = 0;
    std::uint32_t flags = 0;
    std::uint32_t speedMin = 0, speedMax = 0;
    std::uint32_t brightnessMin = 0, brightnessMax = 0;  // protocol 3 and later
    std::uint32_t coloursMin = 0, coloursMax = 0;
    std::uint32_t speed = 0;
    std::uint32_t brightness = 0;  // protocol 3 and later
    std::uint32_t direction = 0;
    std::uint32_t colourMode = COLOR_MODE_NONE;
    std::vector<RgbColour> colours;
    bool operator==(const Mode&) const = default;
};

struct Zone {
    std::string name;
    std::int32_t type = ZONE_TYPE_SINGLE;
    std::uint32_t ledsMin = 0, ledsMax = 0, ledsCount = 0;
};

struct Led {
    std::string name;
    std::uint32_t value = 0;
};

struct Controller {
    std::int32_t type = DEVICE_TYPE_GPU;
    std::string name, vendor, description, version, serial, location;
    std::int32_t activeMode = 0;
    std::vector<Mode> modes;
    std::vector<Zone> zones;
    std::vector<Led> leds;
    std::vector<RgbColour> colours;  // one per LED, in LED order
};

struct PacketHeader {
    std::uint32_t device = 0;
    std::uint32_t id = 0;
    std::uint32_t size = 0;
};

struct Packet {
    PacketHeader header;
    Bytes data;
};

// A whole packet: header, then `data`.
Bytes MakePacket(std::uint32_t device, std::uint32_t id, const Bytes& data);
// The header at `bytes` (kHeaderSize of them); empty when the magic is wrong.
std::optional<PacketHeader> ParseHeader(const std::uint8_t* bytes);

// Cuts a client's byte stream into packets. The size in a header is checked
// against kMaxPacketData before the data is waited for.
class PacketStream {
public:
    enum class Status { NeedMore, Ready, Malformed };
    void append(const std::uint8_t* bytes, std::size_t count);
    // Ready with the next packet taken out; Malformed for a wrong magic or an
    // oversized packet, after which the stream takes nothing more.
    Status next(Packet& packet);
    std::size_t buffered() const { return m_buffer.size(); }

private:
    Bytes m_buffer;
    bool m_broken = false;
};

// The reply to REQUEST_CONTROLLER_DATA: its own data size first, then the
// device block in the layout of `version`.
Bytes SerialiseControllerData(const Controller& controller, std::uint32_t version);
// One mode block, as a controller block and UPDATEMODE carry it.
void AppendMode(Bytes& out, const Mode& mode, std::uint32_t version);

// UPDATEMODE and SAVEMODE: data size, mode index, mode block.
struct ModeUpdate {
    std::int32_t index = 0;
    Mode mode;
};
std::optional<ModeUpdate> ParseModeUpdate(const Bytes& data, std::uint32_t version);

// UPDATELEDS (all LEDs from the first), UPDATEZONELEDS (a zone's LEDs from
// the zone's first) and UPDATESINGLELED, as the LEDs they set.
struct LedUpdate {
    std::optional<std::uint32_t> zone;  // the zone of UPDATEZONELEDS
    std::uint32_t first = 0;            // the first LED (UPDATESINGLELED: the one)
    std::vector<RgbColour> colours;
};
std::optional<LedUpdate> ParseUpdateLeds(const Bytes& data);
std::optional<LedUpdate> ParseUpdateZoneLeds(const Bytes& data);
std::optional<LedUpdate> ParseUpdateSingleLed(const Bytes& data);

// The text of a packet that carries one zero-terminated string (client name,
// profile names): up to the first zero, or all of it without one.
std::string ParseText(const Bytes& data);

// REQUEST_PROFILE_LIST's reply: data size, count, names.
Bytes SerialiseProfileList(const std::vector<std::string>& names);

}  // namespace openrgb
