#include "cli/EffectCommands.h"

#include "cli/CliCommands.h"
#include "devicecontrol/ControllerLinks.h"
#include "devicelink/UsbDriver.h"
#include "devicecontrol/Encoding.h"
#include "effects/Morse.h"
#include "effects/Profiles.h"
#include "devicecontrol/ConfigurationSequences.h"
#include "devicecontrol/DeviceIdentity.h"
#include "devicecontrol/ReadBack.h"
#include "platform/Folders.h"
#include "platform/Utf16.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <map>
#include <ostream>
#include <set>

namespace cli {
namespace {

using namespace effects;
using namespace devicecontrol;
using devicecontrol::IdentityTable;

constexpr char kTitleFormat[] = "Controller %d";

constexpr struct {
    const char* name;
    std::int32_t effect;
} kEffectNames[] = {
    {"static", EFFECT_STATIC},   {"mode_07", EFFECT_MODE_07}, {"mode_08", EFFECT_MODE_08},
    {"mode_11", EFFECT_MODE_11}, {"direct", EFFECT_DIRECT},   {"mode_0a", EFFECT_MODE_0A},
    {"mode_10", EFFECT_MODE_10}, {"mode_02", EFFECT_MODE_02}, {"mode_01", EFFECT_MODE_01},
    {"morse", EFFECT_MORSE},     {"multi", EFFECT_MULTI},     {"mode_df", EFFECT_MODE_DF},
    {"mode_09", EFFECT_MODE_09}, {"light_off", EFFECT_LIGHT_OFF},
};

constexpr char kUsage[] =
    "Usage: lumenstra-cli COMMAND [--family standard|led5] [--device N] [OPTIONS]\n"
    "\n"
    "  list [--json]             one line per controller: FAMILY POSITION TITLE GROUP FIRMWARE\n"
    "  read [-o FILE] [--json]   read back what the controller runs; -o writes a .KV6 profile\n"
    "  apply FILE                import FILE into the saved profile and send it\n"
    "  set --zone main|fan|logo --effect NAME [--color RRGGBB] [--color2 RRGGBB]\n"
    "      [--speed 0-4] [--brightness 0-2] [--random on|off] [--direction N] [--morse TEXT]\n"
    "                            change the saved profile as the editor would, then send it\n"
    "  restore                   send the saved profile to every controller\n"
    "  rename NAME               store a name of up to 20 characters on the controller\n"
    "  group on|off [--yes]      make the controller a group member or not\n"
    "  reset, zelvor             reset the controller, or hand it to the sync source\n"
    "\n"
    "Without --family the first standard controller is used, else the first LED5 one.\n"
    "Effect names: static mode_07 mode_08 mode_11 direct mode_0a mode_10 mode_02 mode_01\n"
    "morse multi mode_df mode_09 light_off.\n"
    "Exit codes: 0 success, 1 a device command failed, 2 no such device, 64 usage error.\n";

struct Options {
    std::optional<Family> family;
    int device = 0;
    bool json = false;
    bool yes = false;
    std::map<std::string, std::string> values;
    std::vector<std::string> positional;
};

bool parseInt(const std::string& text, int low, int high, int& value) {
    const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value);
    return problem == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

// Parses the options a command accepts; `valued` take a value, `flags` do not.
std::optional<Options> parseOptions(const std::vector<std::string>& arguments, const std::set<std::string>& valued,
                                    const std::set<std::string>& flags, std::string& error) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--family" || argument == "--device" || valued.count(argument)) {
            if (i + 1 >= arguments.size()) {
                error = argument + " needs a value";
                return std::nullopt;
            }
            const std::string& value = arguments[++i];
            if (argument == "--family") {
                Family family = Family::Standard;
                if (!parseFamily(value, family, error)) return std::nullopt;
                options.family = family;
            } else if (argument == "--device") {
                if (!parseInt(value, 0, 19, options.device)) {
                    error = "bad device number \"" + value + "\" (0 to 19)";
                    return std::nullopt;
                }
            } else {
                options.values[argument] = value;
            }
        } else if (argument == "--json" && flags.count(argument)) {
            options.json = true;
        } else if (argument == "--yes" && flags.count(argument)) {
            options.yes = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            error = "unknown option \"" + argument + "\"";
            return std::nullopt;
        } else {
            options.positional.push_back(argument);
        }
    }
    return options;
}

bool wantsHelp(const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments)
        if (argument == "--help" || argument == "-h") return true;
    return false;
}

std::string jsonString(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            quoted += escaped;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

const char* familyName(Family family) { return family == Family::Standard ? "standard" : "led5"; }
devicelink::Family deviceFamily(Family family) {
    return family == Family::Standard ? devicelink::Family::Standard : devicelink::Family::Led5;
}

std::string dataFolder() { return platform::setUpDataFolder(effects::kDataFolder); }

// Both application links, opened as the program opens them, with the
// identity tables that every plug refreshes.
class Session {
public:
    Session() {
        m_links.open(Family::Standard, devicelink::LinkMode::Application);
        m_links.open(Family::Led5, devicelink::LinkMode::Application);
    }
    devicelink::CUSBDriver& link(Family family) { return m_links.link(family); }
    IdentityTable& table(Family family) { return m_tables[family == Family::Standard ? 0 : 1]; }
    void refreshIdentities() {
        for (const Family family : {Family::Standard, Family::Led5})
            devicecontrol::RefreshDeviceIdentities(link(family), link(family).deviceCount(), table(family));
    }
    // The family and position the options name; false (with a message) when absent.
    bool resolve(const Options& options, Family& family, std::ostream& err, const char* command) {
        family = options.family.value_or(m_links.defaultFamily());
        if (options.device < link(family).deviceCount()) return true;
        err << "lumenstra-cli " << command << ": no " << familyName(family) << " controller at position "
            << options.device << " (" << link(family).deviceCount() << " attached)\n";
        return false;
    }

private:
    devicecontrol::ControllerLinks m_links;
    IdentityTable m_tables[2];
};

// The window's answers for the group and name logic: no records to copy
// besides the saved profile, and a selection that only points the link.
class CliGroupHost : public devicecontrol::GroupHost {
public:
    CliGroupHost(devicelink::CUSBDriver& link, IdentityTable& table, bool overwriteAllowed)
        : m_link(link), m_table(table), m_overwriteAllowed(overwriteAllowed) {}
    bool confirmOverwrite() override {
        asked = true;
        return m_overwriteAllowed;
    }
    void copyRecords(int, int) override {}
    void selectDevice(int position) override { devicecontrol::SelectDeviceGroup(m_link, m_table, position); }
    bool asked = false;

private:
    devicelink::CUSBDriver& m_link;
    IdentityTable& m_table;
    bool m_overwriteAllowed;
};

std::string firmwareText(devicelink::CUSBDriver& link, int position) {
    std::uint8_t block[60];
    if (link.GetInfoBlock(0, block, position) != 0) return "-";
    const std::uint32_t length = block[0] | block[1] << 8 | block[2] << 16 | static_cast<std::uint32_t>(block[3]) << 24;
    if (length == 0xFFFFFFFFu) return "-";
    std::u16string text;
    for (std::size_t i = 0; i < std::min<std::size_t>(length / 2, 13); ++i) {
        const char16_t unit = static_cast<char16_t>(block[4 + 2 * i] | block[5 + 2 * i] << 8);
        if (unit == 0 || unit == 0xFFFF) break;
        text += unit;
    }
    return text.empty() ? "-" : platform::utf16ToUtf8(text);
}

int failure(std::ostream& err, const char* command, const std::string& what) {
    err << "lumenstra-cli " << command << ": " << what << "\n";
    return kExitFailure;
}

int usage(std::ostream& err, const char* command, const std::string& what) {
    err << "lumenstra-cli " << command << ": " << what << "\n" << kUsage;
    return kExitUsage;
}

bool stillAttached(devicelink::CUSBDriver& link, int position) {
    return link.connected() != 0 && position < link.deviceCount();
}

// Apply as the window runs it, for the device and its group.
bool applyTo(Session& session, Family family, int position, LedProfileSet& set) {
    devicelink::CUSBDriver& link = session.link(family);
    const int current = devicecontrol::SelectDeviceGroup(link, session.table(family), position);
    EditorState state;
    state.cardEffect = EFFECT_MULTI;
    devicecontrol::ApplyConfiguration(link, deviceFamily(family), set, state);
    return stillAttached(link, current);
}

void printSummary(std::ostream& out, const LedProfileSet& set, bool json) {
    const LedProfile& profile = set.selected();
    struct ZoneView {
        const char* name;
        std::int32_t effect;
        const EffectLayer* layer;
    };
    const ZoneView zones[] = {{"main", profile.zoneEffects[0], &profile.multiLayer},
                              {"fan", profile.zoneEffects[1], &profile.fanLayer},
                              {"logo", profile.zoneEffects[2], &profile.logoLayer}};
    if (json) out << "{\"zelvor\":" << int(profile.zelvor) << ",\"card_effect\":" << jsonString(effectName(profile.cardEffect))
                  << ",\"zones\":[";
    else out << "zelvor " << (profile.zelvor ? "on" : "off") << "\ncard effect " << effectName(profile.cardEffect) << "\n";
    bool firstZone = true;
    for (const ZoneView& zone : zones) {
        const EffectParams params = GetEffectParams(*zone.layer, zone.effect, profile.multiLayer, 0, 0);
        if (json) {
            out << (firstZone ? "" : ",") << "{\"zone\":\"" << zone.name << "\",\"effect\":" << jsonString(effectName(zone.effect));
            if (!params.noColour) out << ",\"color\":\"" << colourText(params.colour) << "\"";
            if (params.speed != 0xFF) out << ",\"speed\":" << int(params.speed);
            if (params.brightness != 0xFFFF) out << ",\"brightness\":" << params.brightness;
            if (params.random != 0xFF) out << ",\"random\":" << (params.random ? "true" : "false");
            out << "}";
        } else {
            out << "zone " << zone.name << ": " << effectName(zone.effect);
            if (!params.noColour) out << " color " << colourText(params.colour);
            if (params.speed != 0xFF) out << " speed " << int(params.speed);
            if (params.brightness != 0xFFFF) out << " brightness " << params.brightness;
            if (params.random != 0xFF) out << " random " << (params.random ? "on" : "off");
            out << "\n";
        }
        firstZone = false;
    }
    if (json) {
        out << "],\"morse\":[";
        for (int i = 0; i < 3; ++i)
            out << (i ? "," : "") << jsonString(platform::utf16ToUtf8(profile.morseTexts[i]));
        out << "],\"selected_morse\":" << profile.selectedMorse << "}\n";
    } else {
        for (int i = 0; i < 3; ++i)
            out << "morse " << i + 1 << (i == profile.selectedMorse ? " (selected)" : "") << ": "
                << platform::utf16ToUtf8(profile.morseTexts[i]) << "\n";
    }
}

// The option parse and device choice every device command shares.
struct Prepared {
    Options options;
    Family family = Family::Standard;
};

int prepare(const std::vector<std::string>& arguments, const std::set<std::string>& valued,
            const std::set<std::string>& flags, Session& session, const char* command, std::ostream& err,
            Prepared& prepared, bool refreshIdentities = true) {
    std::string error;
    const std::optional<Options> options = parseOptions(arguments, valued, flags, error);
    if (!options) return usage(err, command, error);
    prepared.options = *options;
    if (refreshIdentities) session.refreshIdentities();
    if (!session.resolve(prepared.options, prepared.family, err, command)) return kExitNoDevice;
    return kExitSuccess;
}

}  // namespace

std::optional<std::int32_t> effectFromName(const std::string& name) {
    for (const auto& entry : kEffectNames)
        if (name == entry.name) return entry.effect;
    return std::nullopt;
}

std::string effectName(std::int32_t effect) {
    for (const auto& entry : kEffectNames)
        if (effect == entry.effect) return entry.name;
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(effect));
    return text;
}

std::optional<Colour> parseColour(const std::string& text) {
    if (text.size() != 6) return std::nullopt;
    std::uint32_t rgb = 0;
    const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), rgb, 16);
    if (problem != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

std::string colourText(Colour colour) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X%02X", colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
    return text;
}

int runDeviceList(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (wantsHelp(arguments)) {
        out << kUsage;
        return kExitSuccess;
    }
    std::string error;
    const std::optional<Options> options = parseOptions(arguments, {}, {"--json"}, error);
    if (!options) return usage(err, "list", error);
    if (!options->positional.empty()) return usage(err, "list", "unexpected argument \"" + options->positional[0] + "\"");
    Session session;
    int number = 0;
    bool first = true;
    if (options->json) out << "[";
    for (const Family family : {Family::Standard, Family::Led5}) {
        devicelink::CUSBDriver& link = session.link(family);
        for (int position = 0; position < link.deviceCount(); ++position) {
            ++number;
            std::uint8_t data[60] = {};
            devicecontrol::IdentityBlock block{};
            if (link.GetIdentityBlock(data, position) == 0) std::memcpy(block.data(), data, sizeof data);
            const std::string title = devicecontrol::DeviceTitle(block, kTitleFormat, number);
            const bool member = devicecontrol::IsGroupMember(block);
            const std::string firmware = firmwareText(link, position);
            if (options->json) {
                out << (first ? "" : ",") << "{\"family\":\"" << familyName(family) << "\",\"position\":" << position
                    << ",\"title\":" << jsonString(title) << ",\"group\":" << (member ? "true" : "false")
                    << ",\"firmware\":" << jsonString(firmware) << "}";
            } else {
                out << familyName(family) << ' ' << position << ' ' << jsonString(title) << ' '
                    << (member ? "group" : "single") << ' ' << firmware << '\n';
            }
            first = false;
        }
    }
    if (options->json) out << "]\n";
    return kExitSuccess;
}

int runRead(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (wantsHelp(arguments)) {
        out << kUsage;
        return kExitSuccess;
    }
    Session session;
    Prepared prepared;
    if (const int result = prepare(arguments, {"-o"}, {"--json"}, session, "read", err, prepared)) return result;
    if (!prepared.options.positional.empty()) return usage(err, "read", "unexpected argument \"" + prepared.options.positional[0] + "\"");
    devicelink::CUSBDriver& link = session.link(prepared.family);
    const int position = prepared.options.device;
    LedProfileSet set;
    LoadStartupProfileSet(set, dataFolder());
    devicecontrol::PrepareArrivedDevice(link, position);
    devicecontrol::ReadBackRequest request;
    request.family = deviceFamily(prepared.family);
    request.position = position;
    int lastApplied = 0;
    const int readResult = devicecontrol::LoadDeviceSettings(link, request, set, lastApplied);
    devicecontrol::FinishArrivedDevice(link, position);
    if (readResult != 0 || !stillAttached(link, position)) return failure(err, "read", "the controller did not answer every read");
    const auto output = prepared.options.values.find("-o");
    if (output != prepared.options.values.end()) {
        if (!ExportProfile(set.selected(), output->second)) return failure(err, "read", "cannot write \"" + output->second + "\"");
        return kExitSuccess;
    }
    printSummary(out, set, prepared.options.json);
    return kExitSuccess;
}

int runApply(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (wantsHelp(arguments)) {
        out << kUsage;
        return kExitSuccess;
    }
    Session session;
    Prepared prepared;
    if (const int result = prepare(arguments, {}, {}, session, "apply", err, prepared)) return result;
    if (prepared.options.positional.size() != 1) return usage(err, "apply", "expected one profile file");
    const std::string& path = prepared.options.positional[0];
    const std::string folder = dataFolder();
    LedProfileSet set;
    LoadStartupProfileSet(set, folder);
    if (!ImportProfile(set.selected(), path)) return usage(err, "apply", "cannot read profile file \"" + path + "\"");
    if (!SaveProfiles(set, folder)) return failure(err, "apply", "cannot save the profile in " + folder);
    if (!applyTo(session, prepared.family, prepared.options.device, set))
        return failure(err, "apply", "the controller went away during the write");
    return kExitSuccess;
}

namespace {

// The colour selector an edit of the second colour goes through, and the values
// that choose the first and the second colour.
struct ColourSelector {
    std::int32_t effect;
    std::size_t offset;
    std::uint8_t first;
    std::uint8_t second;
};
constexpr ColourSelector kSelectors[] = {
    {EFFECT_MODE_10, 57, 1, 2}, {EFFECT_MODE_0A, 73, 1, 2}, {EFFECT_MODE_08, 109, 1, 2},
    {EFFECT_MODE_11, 141, 1, 2}, {EFFECT_MODE_09, EffectLayer::kMode09Selector, 0, 1},
};

const ColourSelector* selectorOf(std::int32_t effect) {
    for (const ColourSelector& selector : kSelectors)
        if (selector.effect == effect) return &selector;
    return nullptr;
}

void setColourThrough(EffectLayer& layer, std::int32_t effect, Colour colour, bool second, EditorState& state) {
    const ColourSelector* selector = selectorOf(effect);
    if (!selector) {
        SetColour(layer, effect, colour, state);
        return;
    }
    const std::uint8_t saved = layer.byte(selector->offset);
    layer.setByte(selector->offset, second ? selector->second : selector->first);
    SetColour(layer, effect, colour, state);
    layer.setByte(selector->offset, saved);
}

bool onlyLed5(std::int32_t effect) {
    return effect == EFFECT_MODE_07 || effect == EFFECT_MODE_08 || effect == EFFECT_MODE_0A || effect == EFFECT_MODE_09;
}

}  // namespace

int runSet(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (wantsHelp(arguments)) {
        out << kUsage;
        return kExitSuccess;
    }
    const char* command = "set";
    std::string error;
    const std::set<std::string> valued = {"--zone", "--effect", "--color", "--color2", "--speed",
                                          "--brightness", "--random", "--direction", "--morse"};
    const std::optional<Options> parsed = parseOptions(arguments, valued, {}, error);
    if (!parsed) return usage(err, command, error);
    const Options& options = *parsed;
    if (!options.positional.empty()) return usage(err, command, "unexpected argument \"" + options.positional[0] + "\"");
    const auto value = [&](const char* key) -> const std::string* {
        const auto found = options.values.find(key);
        return found == options.values.end() ? nullptr : &found->second;
    };
    const std::string* zoneText = value("--zone");
    const std::string* effectText = value("--effect");
    if (!zoneText || !effectText) return usage(err, command, "--zone and --effect are required");
    const std::map<std::string, int> zones = {{"main", ZONE_MAIN}, {"fan", ZONE_FAN}, {"logo", ZONE_LOGO}};
    if (!zones.count(*zoneText)) return usage(err, command, "unknown zone \"" + *zoneText + "\" (main, fan or logo)");
    const int zone = zones.at(*zoneText);
    const std::optional<std::int32_t> effect = effectFromName(*effectText);
    if (!effect) return usage(err, command, "unknown effect \"" + *effectText + "\"");
    const bool zoneMenuEffect = std::find(kZoneMenu.begin(), kZoneMenu.end(), *effect) != kZoneMenu.end();
    if (*effect == EFFECT_MULTI || (zone != ZONE_MAIN && !zoneMenuEffect))
        return usage(err, command, "effect \"" + *effectText + "\" cannot run in zone " + *zoneText);

    std::optional<Colour> colour, colour2;
    int speed = -1, brightness = -1, direction = -1, random = -1;
    if (const std::string* text = value("--color"); text && !(colour = parseColour(*text)))
        return usage(err, command, "bad colour \"" + *text + "\" (RRGGBB)");
    if (const std::string* text = value("--color2"); text && !(colour2 = parseColour(*text)))
        return usage(err, command, "bad colour \"" + *text + "\" (RRGGBB)");
    if (const std::string* text = value("--speed"); text && !parseInt(*text, 0, kMaxSpeedLevel, speed))
        return usage(err, command, "bad speed \"" + *text + "\" (0 to 4)");
    if (const std::string* text = value("--brightness"); text && !parseInt(*text, 0, kMaxBrightnessLevel, brightness))
        return usage(err, command, "bad brightness \"" + *text + "\" (0 to 2)");
    if (const std::string* text = value("--random")) {
        if (*text != "on" && *text != "off") return usage(err, command, "bad --random \"" + *text + "\" (on or off)");
        random = *text == "on" ? 1 : 0;
    }
    if (const std::string* text = value("--direction")) {
        const bool mode07 = *effect == EFFECT_MODE_07;
        if (*effect != EFFECT_MODE_07 && *effect != EFFECT_MODE_0A && *effect != EFFECT_MODE_09)
            return usage(err, command, "effect \"" + *effectText + "\" has no direction");
        if (!parseInt(*text, 0, 31, direction) || (mode07 && direction % 2 != 0) || (mode07 && direction > 6))
            return usage(err, command, "bad direction \"" + *text + "\" (" + (mode07 ? "0, 2, 4 or 6" : "0 to 31") + ")");
    }
    std::u16string morse;
    if (const std::string* text = value("--morse")) {
        if (*effect != EFFECT_MORSE) return usage(err, command, "--morse needs --effect morse");
        morse = platform::utf8ToUtf16(*text);
        if (morse.empty() || morse.size() >= kTextUnits || !IsMorseEncodable(morse))
            return usage(err, command, "Morse text \"" + *text + "\" is empty, too long or has characters without a code");
    }
    if (colour2 && !selectorOf(*effect)) return usage(err, command, "effect \"" + *effectText + "\" has no second colour");

    Session session;
    session.refreshIdentities();
    Family family;
    if (!session.resolve(options, family, err, command)) return kExitNoDevice;
    if (family == Family::Standard && onlyLed5(*effect))
        return usage(err, command, "effect \"" + *effectText + "\" is not available on standard controllers");

    const std::string folder = dataFolder();
    LedProfileSet set;
    LoadStartupProfileSet(set, folder);
    LedProfile& profile = set.selected();
    EditorState state;
    state.currentZone = zone;
    state.cardEffect = EFFECT_MULTI;
    SelectZoneEffect(profile, state, *effect);
    EffectLayer& layer = LayerOfZone(profile, zone, state);
    if (colour) setColourThrough(layer, *effect, *colour, false, state);
    if (colour2) setColourThrough(layer, *effect, *colour2, true, state);
    if (speed >= 0) SetSpeed(layer, *effect, speed);
    if (brightness >= 0) SetBrightness(layer, *effect, brightness);
    if (random >= 0) SetRandom(layer, *effect, random);
    if (direction >= 0) {
        if (*effect == EFFECT_MODE_07) {
            // one flag per direction: 0, 4, 2, 6
            const std::size_t flags = EffectLayer::kMode07Directions;
            const std::size_t chosen = direction == 0 ? 0 : direction == 4 ? 1 : direction == 2 ? 2 : 3;
            for (std::size_t i = 0; i < 4; ++i) layer.setByte(flags + i, i == chosen ? 1 : 0);
        } else {
            layer.setByte(*effect == EFFECT_MODE_0A ? EffectLayer::kMode0ADirection : EffectLayer::kMode09Direction,
                          static_cast<std::uint8_t>(direction));
        }
    }
    if (!morse.empty()) {
        const int selected = profile.selectedMorse >= 0 && profile.selectedMorse < 3 ? profile.selectedMorse : 0;
        profile.morseTexts[selected] = morse;
    }
    if (!SaveProfiles(set, folder)) return failure(err, command, "cannot save the profile in " + folder);
    if (!applyTo(session, family, options.device, set)) return failure(err, command, "the controller went away during the write");
    return kExitSuccess;
}

int runRestore(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (wantsHelp(arguments)) {
        out << kUsage;
        return kExitSuccess;
    }
    std::string error;
    const std::optional<Options> options = parseOptions(arguments, {}, {}, error);
    if (!options) return usage(err, "restore", error);
    if (!options->positional.empty()) return usage(err, "restore", "unexpected argument \"" + options->positional[0] + "\"");
    Session session;
    session.refreshIdentities();
    const std::string folder = dataFolder();
    int result = kExitSuccess;
    for (const Family family : {Family::Standard, Family::Led5}) {
        bool groupDone = false;
        for (int position = 0; position < session.link(family).deviceCount(); ++position) {
            const bool member = devicecontrol::IsGroupMember(session.table(family)[position]);
            if (member && groupDone) continue;
            groupDone = groupDone || member;
            LedProfileSet set;
            LoadStartupProfileSet(set, folder);
            if (!applyTo(session, family, position, set)) {
                err << "lumenstra-cli restore: " << familyName(family) << " controller " << position
                    << " went away during the write\n";
                result = kExitFailure;
            }
        }
    }
    return result;
}

int runRename(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (wantsHelp(arguments)) {
        out << kUsage;
        return kExitSuccess;
    }
    Session session;
    Prepared prepared;
    if (const int result = prepare(arguments, {}, {}, session, "rename", err, prepared)) return result;
    if (prepared.options.positional.size() != 1) return usage(err, "rename", "expected one name");
    const std::u16string name = platform::utf8ToUtf16(prepared.options.positional[0]);
    if (name.empty() || name.size() > devicecontrol::kNameUnits)
        return usage(err, "rename", "name \"" + prepared.options.positional[0] + "\" must have 1 to 20 characters");
    devicelink::CUSBDriver& link = session.link(prepared.family);
    CliGroupHost host(link, session.table(prepared.family), false);
    if (devicecontrol::StoreDeviceName(link, session.table(prepared.family), prepared.options.device, name, host) != 0)
        return failure(err, "rename", "the controller did not take the name");
    return kExitSuccess;
}

int runGroup(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (wantsHelp(arguments)) {
        out << kUsage;
        return kExitSuccess;
    }
    Session session;
    Prepared prepared;
    if (const int result = prepare(arguments, {}, {"--yes"}, session, "group", err, prepared)) return result;
    const auto& positional = prepared.options.positional;
    if (positional.size() != 1 || (positional[0] != "on" && positional[0] != "off"))
        return usage(err, "group", "expected on or off");
    const bool join = positional[0] == "on";
    devicelink::CUSBDriver& link = session.link(prepared.family);
    IdentityTable& table = session.table(prepared.family);
    const int position = prepared.options.device;
    if (devicecontrol::IsGroupMember(table[position]) == join) return kExitSuccess;
    CliGroupHost host(link, table, prepared.options.yes);
    const int result = devicecontrol::ToggleGroupMember(link, table, position, position, host);
    if (host.asked && !prepared.options.yes)
        return usage(err, "group", "another controller is a group member already; joining takes over its "
                                   "configuration: add --yes to go on");
    return result == 0 ? kExitSuccess : failure(err, "group", "the controller did not take the group mark");
}

namespace {
int runResetCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err, bool zelvor) {
    const char* command = zelvor ? "zelvor" : "reset";
    if (wantsHelp(arguments)) {
        out << kUsage;
        return kExitSuccess;
    }
    Session session;
    Prepared prepared;
    if (const int result = prepare(arguments, {}, {}, session, command, err, prepared)) return result;
    if (!prepared.options.positional.empty()) return usage(err, command, "unexpected argument \"" + prepared.options.positional[0] + "\"");
    devicelink::CUSBDriver& link = session.link(prepared.family);
    const int current = devicecontrol::SelectDeviceGroup(link, session.table(prepared.family), prepared.options.device);
    LedProfileSet set;
    LoadStartupProfileSet(set, dataFolder());
    if (zelvor)
        ZelvorSync(link, set.selected());
    else
        ResetAll(link, set.selected());
    devicecontrol::ReadBackRequest request;
    request.family = deviceFamily(prepared.family);
    request.position = current;
    request.profileNumber = set.selectedProfile;
    int lastApplied = 0;
    const int readResult = devicecontrol::LoadDeviceSettings(link, request, set, lastApplied);
    EditorState state;
    state.cardEffect = EFFECT_MULTI;
    PreviewEffect(link, set, state);
    if (readResult != 0 || !stillAttached(link, current)) return failure(err, command, "the controller did not answer every read");
    return kExitSuccess;
}
}  // namespace

int runReset(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    return runResetCommand(arguments, out, err, false);
}

int runZelvor(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    return runResetCommand(arguments, out, err, true);
}

}  // namespace cli
