#include "cli/EffectCommands.h"

#include "cli/CliCommands.h"
#include "cli/CommandTable.h"
#include "devicecontrol/ControllerLinks.h"
#include "devicelink/UsbDriver.h"
#include "devicecontrol/Encoding.h"
#include "effects/Morse.h"
#include "effects/Profiles.h"
#include "devicecontrol/ConfigurationSequences.h"
#include "devicecontrol/DeviceIdentity.h"
#include "devicecontrol/ReadBack.h"
#include "platform/Folders.h"
#include "platform/LittleEndian.h"
#include "platform/Numbers.h"
#include "platform/SingleInstance.h"
#include "platform/Utf16.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <ostream>

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

std::string dataFolder() { return platform::setUpDataFolder(effects::kDataFolder); }

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
    const std::uint32_t length = platform::readLe32(block);
    if (length == 0xFFFFFFFFu) return "-";
    std::u16string text;
    for (std::size_t i = 0; i < std::min<std::size_t>(length / 2, 13); ++i) {
        const char16_t unit = platform::readLe16(block + 4 + 2 * i);
        if (unit == 0 || unit == 0xFFFF) break;
        text += unit;
    }
    return text.empty() ? "-" : platform::utf16ToUtf8(text);
}

bool stillAttached(devicelink::CUSBDriver& link, int position) {
    return link.connected() != 0 && position < link.deviceCount();
}

// Apply as the window runs it, for the device and its group; empty when the
// controller took every command, else what went wrong.
std::string applyTo(Session& session, Family family, int position, LedProfileSet& set) {
    devicelink::CUSBDriver& link = session.link(family);
    const int current = devicecontrol::SelectDeviceGroup(link, session.table(family), position);
    EditorState state;
    state.cardEffect = EFFECT_MULTI;
    const int failed = devicecontrol::ApplyConfiguration(link, family, set, state);
    if (!stillAttached(link, current)) return "the controller went away during the write";
    if (failed != 0) return "the controller did not take " + std::to_string(failed) + " of the commands";
    return {};
}

// Another program's write must not come between the commands of ours.
bool lockControllers(Call& call, platform::SingleInstanceLock& lock) {
    if (devicecontrol::LockControllers(lock)) return true;
    call.message("another program kept writing to the controllers");
    return false;
}

// The saved profile changes under the data folder's lock; empty when saved.
std::string updateSaved(const std::string& folder, LedProfileSet& set, const std::function<bool(LedProfileSet&)>& change) {
    switch (UpdateSavedProfiles(folder, set, change)) {
    case ProfileUpdate::Saved: return {};
    case ProfileUpdate::Busy: return "another program kept the saved profile locked in " + folder;
    default: return "cannot save the profile in " + folder;
    }
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
    const std::optional<std::uint32_t> rgb = platform::parseWholeNumber<std::uint32_t>(text, 16);
    if (!rgb) return std::nullopt;
    return ((*rgb >> 16) & 0xFF) | (*rgb & 0xFF00) | ((*rgb & 0xFF) << 16);
}

std::string colourText(Colour colour) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X%02X", colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
    return text;
}

int runDeviceList(Call& call) {
    Session& session = *call.session;
    int number = 0;
    bool first = true;
    const bool json = call.options.json;
    if (json) call.out << "[";
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
            if (json) {
                call.out << (first ? "" : ",") << "{\"family\":\"" << familyName(family) << "\",\"position\":" << position
                         << ",\"title\":" << jsonString(title) << ",\"group\":" << (member ? "true" : "false")
                         << ",\"firmware\":" << jsonString(firmware) << "}";
            } else {
                call.out << familyName(family) << ' ' << position << ' ' << jsonString(title) << ' '
                         << (member ? "group" : "single") << ' ' << firmware << '\n';
            }
            first = false;
        }
    }
    if (json) call.out << "]\n";
    return kExitSuccess;
}

int runRead(Call& call) {
    const Options& options = call.options;
    if (!options.positional.empty()) return call.unexpectedArgument(options.positional[0]);
    devicelink::CUSBDriver& link = call.session->link(call.family);
    const int position = options.device;
    LedProfileSet set;
    LoadStartupProfileSet(set, dataFolder());
    devicecontrol::PrepareArrivedDevice(link, position);
    devicecontrol::ReadBackRequest request;
    request.family = call.family;
    request.position = position;
    int lastApplied = 0;
    const int readResult = devicecontrol::LoadDeviceSettings(link, request, set, lastApplied);
    devicecontrol::FinishArrivedDevice(link, position);
    if (readResult != 0 || !stillAttached(link, position)) return call.failure("the controller did not answer every read");
    const auto output = options.values.find("-o");
    if (output != options.values.end()) {
        if (!ExportProfile(set.selected(), output->second)) return call.failure("cannot write \"" + output->second + "\"");
        return kExitSuccess;
    }
    printSummary(call.out, set, options.json);
    return kExitSuccess;
}

int runApply(Call& call) {
    if (call.options.positional.size() != 1) return call.usage("expected one profile file");
    const std::string& path = call.options.positional[0];
    const std::string folder = dataFolder();
    platform::SingleInstanceLock controllers;
    if (!lockControllers(call, controllers)) return kExitFailure;
    LedProfileSet set;
    bool readable = true;
    const std::string saveProblem = updateSaved(folder, set, [&](LedProfileSet& saved) {
        return readable = ImportProfile(saved.selected(), path);
    });
    if (!readable) return call.usage("cannot read profile file \"" + path + "\"");
    if (!saveProblem.empty()) return call.failure(saveProblem);
    if (const std::string problem = applyTo(*call.session, call.family, call.options.device, set); !problem.empty())
        return call.failure(problem);
    return kExitSuccess;
}

int runSet(Call& call) {
    const Options& options = call.options;
    const auto value = [&](const char* key) -> const std::string* {
        const auto found = options.values.find(key);
        return found == options.values.end() ? nullptr : &found->second;
    };
    const std::string* zoneText = value("--zone");
    const std::string* effectText = value("--effect");
    if (!zoneText || !effectText) return call.usage("--zone and --effect are required");
    const std::map<std::string, int> zones = {{"main", ZONE_MAIN}, {"fan", ZONE_FAN}, {"logo", ZONE_LOGO}};
    if (!zones.count(*zoneText)) return call.usage("unknown zone \"" + *zoneText + "\" (main, fan or logo)");
    const int zone = zones.at(*zoneText);
    const std::optional<std::int32_t> effect = effectFromName(*effectText);
    if (!effect) return call.usage("unknown effect \"" + *effectText + "\"");
    if (!RunsInZone(*effect, zone)) return call.usage("effect \"" + *effectText + "\" cannot run in zone " + *zoneText);

    std::optional<Colour> colour, colour2;
    std::optional<int> speed, brightness, direction;
    std::optional<bool> random;
    if (const std::string* text = value("--color"); text && !(colour = parseColour(*text)))
        return call.usage("bad colour \"" + *text + "\" (RRGGBB)");
    if (const std::string* text = value("--color2"); text && !(colour2 = parseColour(*text)))
        return call.usage("bad colour \"" + *text + "\" (RRGGBB)");
    if (const std::string* text = value("--speed"); text && !(speed = numberIn(*text, 0, kMaxSpeedLevel)))
        return call.usage("bad speed \"" + *text + "\" (0 to 4)");
    if (const std::string* text = value("--brightness"); text && !(brightness = numberIn(*text, 0, kMaxBrightnessLevel)))
        return call.usage("bad brightness \"" + *text + "\" (0 to 2)");
    if (const std::string* text = value("--random")) {
        if (*text != "on" && *text != "off") return call.usage("bad --random \"" + *text + "\" (on or off)");
        random = *text == "on";
    }
    if (const std::string* text = value("--direction")) {
        if (!HasDirection(*effect)) return call.usage("effect \"" + *effectText + "\" has no direction");
        direction = platform::parseWholeNumber<int>(*text);
        if (!direction || !IsValidDirection(*effect, *direction))
            return call.usage("bad direction \"" + *text + "\" (" +
                              (*effect == EFFECT_MODE_07 ? "0, 2, 4 or 6" : "0 to 31") + ")");
    }
    std::u16string morse;
    if (const std::string* text = value("--morse")) {
        if (*effect != EFFECT_MORSE) return call.usage("--morse needs --effect morse");
        morse = platform::utf8ToUtf16(*text);
        if (morse.empty() || morse.size() >= kTextUnits || !IsMorseEncodable(morse))
            return call.usage("Morse text \"" + *text + "\" is empty, too long or has characters without a code");
    }
    if (colour2 && !HasSecondColour(*effect)) return call.usage("effect \"" + *effectText + "\" has no second colour");

    if (const int result = call.openDevice()) return result;
    if (call.family == Family::Standard && IsLed5Only(*effect))
        return call.usage("effect \"" + *effectText + "\" is not available on standard controllers");

    const std::string folder = dataFolder();
    platform::SingleInstanceLock controllers;
    if (!lockControllers(call, controllers)) return kExitFailure;
    LedProfileSet set;
    const std::string saveProblem = updateSaved(folder, set, [&](LedProfileSet& saved) {
        LedProfile& profile = saved.selected();
        EditorState state;
        state.currentZone = zone;
        state.cardEffect = EFFECT_MULTI;
        SelectZoneEffect(profile, state, *effect);
        EffectLayer& layer = LayerOfZone(profile, zone, state);
        if (colour) SetSlotColour(layer, *effect, ColourSlot::First, *colour, state);
        if (colour2) SetSlotColour(layer, *effect, ColourSlot::Second, *colour2, state);
        if (speed) SetSpeed(layer, *effect, *speed);
        if (brightness) SetBrightness(layer, *effect, *brightness);
        if (random) SetRandom(layer, *effect, *random ? 1 : 0);
        if (direction) SetDirection(layer, *effect, *direction);
        if (!morse.empty()) SelectedMorseText(profile) = morse;
        return true;
    });
    if (!saveProblem.empty()) return call.failure(saveProblem);
    if (const std::string problem = applyTo(*call.session, call.family, options.device, set); !problem.empty())
        return call.failure(problem);
    return kExitSuccess;
}

int runRestore(Call& call) {
    Session& session = *call.session;
    const std::string folder = dataFolder();
    platform::SingleInstanceLock controllers;
    if (!lockControllers(call, controllers)) return kExitFailure;
    int result = kExitSuccess;
    for (const Family family : {Family::Standard, Family::Led5}) {
        bool groupDone = false;
        for (int position = 0; position < session.link(family).deviceCount(); ++position) {
            const bool member = devicecontrol::IsGroupMember(session.table(family)[position]);
            if (member && groupDone) continue;
            groupDone = groupDone || member;
            LedProfileSet set;
            LoadStartupProfileSet(set, folder);
            if (const std::string problem = applyTo(session, family, position, set); !problem.empty()) {
                call.message(std::string(familyName(family)) + " controller " + std::to_string(position) + ": " + problem);
                result = kExitFailure;
            }
        }
    }
    return result;
}

int runRename(Call& call) {
    const Options& options = call.options;
    if (options.positional.size() != 1) return call.usage("expected one name");
    const std::u16string name = platform::utf8ToUtf16(options.positional[0]);
    if (name.empty() || name.size() > devicecontrol::kNameUnits)
        return call.usage("name \"" + options.positional[0] + "\" must have 1 to 20 characters");
    devicelink::CUSBDriver& link = call.session->link(call.family);
    IdentityTable& table = call.session->table(call.family);
    CliGroupHost host(link, table, false);
    if (devicecontrol::StoreDeviceName(link, table, options.device, name, host) != 0)
        return call.failure("the controller did not take the name");
    return kExitSuccess;
}

int runGroup(Call& call) {
    const Options& options = call.options;
    const auto& positional = options.positional;
    if (positional.size() != 1 || (positional[0] != "on" && positional[0] != "off"))
        return call.usage("expected on or off");
    const bool join = positional[0] == "on";
    devicelink::CUSBDriver& link = call.session->link(call.family);
    IdentityTable& table = call.session->table(call.family);
    const int position = options.device;
    if (devicecontrol::IsGroupMember(table[position]) == join) return kExitSuccess;
    CliGroupHost host(link, table, options.yes);
    const int result = devicecontrol::ToggleGroupMember(link, table, position, position, host);
    if (host.asked && !options.yes)
        return call.usage("another controller is a group member already; joining takes over its "
                          "configuration: add --yes to go on");
    return result == 0 ? kExitSuccess : call.failure("the controller did not take the group mark");
}

namespace {
int runResetCommand(Call& call, bool zelvor) {
    if (!call.options.positional.empty()) return call.unexpectedArgument(call.options.positional[0]);
    devicelink::CUSBDriver& link = call.session->link(call.family);
    const int current = devicecontrol::SelectDeviceGroup(link, call.session->table(call.family), call.options.device);
    LedProfileSet set;
    LoadStartupProfileSet(set, dataFolder());
    if (zelvor)
        ZelvorSync(link, set.selected());
    else
        ResetAll(link, set.selected());
    devicecontrol::ReadBackRequest request;
    request.family = call.family;
    request.position = current;
    request.profileNumber = set.selectedProfile;
    int lastApplied = 0;
    const int readResult = devicecontrol::LoadDeviceSettings(link, request, set, lastApplied);
    EditorState state;
    state.cardEffect = EFFECT_MULTI;
    PreviewEffect(link, set, state);
    if (readResult != 0 || !stillAttached(link, current)) return call.failure("the controller did not answer every read");
    return kExitSuccess;
}
}  // namespace

int runReset(Call& call) { return runResetCommand(call, false); }

int runZelvor(Call& call) { return runResetCommand(call, true); }

}  // namespace cli
