#include "cli/EffectCommands.h"

#include "cli/CliCommands.h"
#include "cli/CommandTable.h"
#include "devicecontrol/ConfigurationSequences.h"
#include "devicecontrol/ControllerLinks.h"
#include "devicecontrol/DeviceIdentity.h"
#include "devicecontrol/Encoding.h"
#include "devicecontrol/ReadBack.h"
#include "devicelink/SleepSignal.h"
#include "devicelink/UsbDriver.h"
#include "effects/Morse.h"
#include "effects/Profiles.h"
#include "platform/Folders.h"
#include "platform/LittleEndian.h"
#include "platform/Messages.h"
#include "platform/Numbers.h"
#include "platform/Utf16.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>

namespace cli {
namespace {

using namespace effects;
using namespace devicecontrol;
using devicecontrol::IdentityTable;

constexpr struct {
    const char* name;
    std::uint32_t rgb;
} kColourNames[] = {
    {"aliceblue", 0xF0F8FF},
    {"antiquewhite", 0xFAEBD7},
    {"aqua", 0x00FFFF},
    {"aquamarine", 0x7FFFD4},
    {"azure", 0xF0FFFF},
    {"beige", 0xF5F5DC},
    {"bisque", 0xFFE4C4},
    {"black", 0x000000},
    {"blanchedalmond", 0xFFEBCD},
    {"blue", 0x0000FF},
    {"blueviolet", 0x8A2BE2},
    {"brown", 0xA52A2A},
    {"burlywood", 0xDEB887},
    {"cadetblue", 0x5F9EA0},
    {"chartreuse", 0x7FFF00},
    {"chocolate", 0xD2691E},
    {"coral", 0xFF7F50},
    {"cornflowerblue", 0x6495ED},
    {"cornsilk", 0xFFF8DC},
    {"crimson", 0xDC143C},
    {"cyan", 0x00FFFF},
    {"darkblue", 0x00008B},
    {"darkcyan", 0x008B8B},
    {"darkgoldenrod", 0xB8860B},
    {"darkgray", 0xA9A9A9},
    {"darkgreen", 0x006400},
    {"darkgrey", 0xA9A9A9},
    {"darkkhaki", 0xBDB76B},
    {"darkmagenta", 0x8B008B},
    {"darkolivegreen", 0x556B2F},
    {"darkorange", 0xFF8C00},
    {"darkorchid", 0x9932CC},
    {"darkred", 0x8B0000},
    {"darksalmon", 0xE9967A},
    {"darkseagreen", 0x8FBC8F},
    {"darkslateblue", 0x483D8B},
    {"darkslategray", 0x2F4F4F},
    {"darkslategrey", 0x2F4F4F},
    {"darkturquoise", 0x00CED1},
    {"darkviolet", 0x9400D3},
    {"deeppink", 0xFF1493},
    {"deepskyblue", 0x00BFFF},
    {"dimgray", 0x696969},
    {"dimgrey", 0x696969},
    {"dodgerblue", 0x1E90FF},
    {"firebrick", 0xB22222},
    {"floralwhite", 0xFFFAF0},
    {"forestgreen", 0x228B22},
    {"fuchsia", 0xFF00FF},
    {"gainsboro", 0xDCDCDC},
    {"ghostwhite", 0xF8F8FF},
    {"gold", 0xFFD700},
    {"goldenrod", 0xDAA520},
    {"gray", 0x808080},
    {"green", 0x008000},
    {"greenyellow", 0xADFF2F},
    {"grey", 0x808080},
    {"honeydew", 0xF0FFF0},
    {"hotpink", 0xFF69B4},
    {"indianred", 0xCD5C5C},
    {"indigo", 0x4B0082},
    {"ivory", 0xFFFFF0},
    {"khaki", 0xF0E68C},
    {"lavender", 0xE6E6FA},
    {"lavenderblush", 0xFFF0F5},
    {"lawngreen", 0x7CFC00},
    {"lemonchiffon", 0xFFFACD},
    {"lightblue", 0xADD8E6},
    {"lightcoral", 0xF08080},
    {"lightcyan", 0xE0FFFF},
    {"lightgoldenrodyellow", 0xFAFAD2},
    {"lightgray", 0xD3D3D3},
    {"lightgreen", 0x90EE90},
    {"lightgrey", 0xD3D3D3},
    {"lightpink", 0xFFB6C1},
    {"lightsalmon", 0xFFA07A},
    {"lightseagreen", 0x20B2AA},
    {"lightskyblue", 0x87CEFA},
    {"lightslategray", 0x778899},
    {"lightslategrey", 0x778899},
    {"lightsteelblue", 0xB0C4DE},
    {"lightyellow", 0xFFFFE0},
    {"lime", 0x00FF00},
    {"limegreen", 0x32CD32},
    {"linen", 0xFAF0E6},
    {"magenta", 0xFF00FF},
    {"maroon", 0x800000},
    {"mediumaquamarine", 0x66CDAA},
    {"mediumblue", 0x0000CD},
    {"mediumorchid", 0xBA55D3},
    {"mediumpurple", 0x9370DB},
    {"mediumseagreen", 0x3CB371},
    {"mediumslateblue", 0x7B68EE},
    {"mediumspringgreen", 0x00FA9A},
    {"mediumturquoise", 0x48D1CC},
    {"mediumvioletred", 0xC71585},
    {"midnightblue", 0x191970},
    {"mintcream", 0xF5FFFA},
    {"mistyrose", 0xFFE4E1},
    {"moccasin", 0xFFE4B5},
    {"navajowhite", 0xFFDEAD},
    {"navy", 0x000080},
    {"oldlace", 0xFDF5E6},
    {"olive", 0x808000},
    {"olivedrab", 0x6B8E23},
    {"orange", 0xFFA500},
    {"orangered", 0xFF4500},
    {"orchid", 0xDA70D6},
    {"palegoldenrod", 0xEEE8AA},
    {"palegreen", 0x98FB98},
    {"paleturquoise", 0xAFEEEE},
    {"palevioletred", 0xDB7093},
    {"papayawhip", 0xFFEFD5},
    {"peachpuff", 0xFFDAB9},
    {"peru", 0xCD853F},
    {"pink", 0xFFC0CB},
    {"plum", 0xDDA0DD},
    {"powderblue", 0xB0E0E6},
    {"purple", 0x800080},
    {"rebeccapurple", 0x663399},
    {"red", 0xFF0000},
    {"rosybrown", 0xBC8F8F},
    {"royalblue", 0x4169E1},
    {"saddlebrown", 0x8B4513},
    {"salmon", 0xFA8072},
    {"sandybrown", 0xF4A460},
    {"seagreen", 0x2E8B57},
    {"seashell", 0xFFF5EE},
    {"sienna", 0xA0522D},
    {"silver", 0xC0C0C0},
    {"skyblue", 0x87CEEB},
    {"slateblue", 0x6A5ACD},
    {"slategray", 0x708090},
    {"slategrey", 0x708090},
    {"snow", 0xFFFAFA},
    {"springgreen", 0x00FF7F},
    {"steelblue", 0x4682B4},
    {"tan", 0xD2B48C},
    {"teal", 0x008080},
    {"thistle", 0xD8BFD8},
    {"tomato", 0xFF6347},
    {"turquoise", 0x40E0D0},
    {"violet", 0xEE82EE},
    {"wheat", 0xF5DEB3},
    {"white", 0xFFFFFF},
    {"whitesmoke", 0xF5F5F5},
    {"yellow", 0xFFFF00},
    {"yellowgreen", 0x9ACD32},
};

// The default skin's captions of the effect buttons.
constexpr struct {
    const char* name;
    std::int32_t effect;
} kEffectCaptions[] = {
    {"static", EFFECT_STATIC},   {"flow", EFFECT_MODE_07},    {"rotate", EFFECT_MODE_0A},
    {"dual", EFFECT_MODE_09},    {"twin", EFFECT_MODE_08},    {"morse", EFFECT_MORSE},
    {"rainbow", EFFECT_MODE_02}, {"breathe", EFFECT_MODE_01}, {"off", EFFECT_LIGHT_OFF},
};

constexpr struct {
    const char* name;
    std::int32_t effect;
} kEffectNames[] = {
    {"static", EFFECT_STATIC},   {"mode_07", EFFECT_MODE_07},     {"mode_08", EFFECT_MODE_08},
    {"mode_11", EFFECT_MODE_11}, {"direct", EFFECT_DIRECT},       {"mode_0a", EFFECT_MODE_0A},
    {"mode_10", EFFECT_MODE_10}, {"mode_02", EFFECT_MODE_02},     {"mode_01", EFFECT_MODE_01},
    {"morse", EFFECT_MORSE},     {"multi", EFFECT_MULTI},         {"mode_df", EFFECT_MODE_DF},
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

}  // namespace

std::string dataFolder() { return platform::setUpDataFolder(effects::kDataFolder); }

namespace {

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

}  // namespace

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
// controller took every command, else what went wrong, to follow its name.
std::string applyTo(Session& session, Family family, int position, LedProfileSet& set) {
    devicelink::CUSBDriver& link = session.link(family);
    const int current = devicecontrol::SelectDeviceGroup(link, session.table(family), position);
    EditorState state;
    state.cardEffect = EFFECT_MULTI;
    const int failed = devicecontrol::ApplyConfiguration(link, family, set, state);
    if (!stillAttached(link, current)) return "went away during the write";
    if (failed != 0) return "did not take " + std::to_string(failed) + " of the commands";
    return {};
}

// The saved profile changes under the data folder's lock; empty when saved.
std::string updateSaved(const std::string& folder, LedProfileSet& set,
                        const std::function<bool(LedProfileSet&)>& change) {
    switch (UpdateSavedProfiles(folder, set, change)) {
    case ProfileUpdate::Saved: return {};
    case ProfileUpdate::Busy: return "another program kept the saved profile locked in " + folder;
    default: return "cannot save the profile in " + folder;
    }
}

namespace {

// The targets once each: a group member stands for its whole group, as a
// write to it reaches every member.
std::vector<Target> oncePerGroup(Session& session, const std::vector<Target>& targets) {
    std::vector<Target> once;
    bool groupDone[2] = {false, false};
    for (const Target& target : targets) {
        const bool member =
            devicecontrol::IsGroupMember(session.table(target.family)[static_cast<std::size_t>(target.position)]);
        bool& done = groupDone[target.family == Family::Standard ? 0 : 1];
        if (member && done) continue;
        done = done || member;
        once.push_back(target);
    }
    return once;
}

enum class Source { Controller, SavedProfile };

const char* sourceText(Source source) { return source == Source::Controller ? "controller" : "saved profile"; }

void printSummary(std::ostream& out, const LedProfileSet& set, bool json, const std::string& header,
                  const std::string& jsonHeader) {
    const LedProfile& profile = set.selected();
    struct ZoneView {
        const char* name;
        std::int32_t effect;
        const EffectLayer* layer;
        Source source;
    };
    // The controller reports the main zone; the fan and logo zones it cannot
    // report apart from each other, so they come from the saved profile.
    const ZoneView zones[] = {{"main", profile.zoneEffects[0], &profile.multiLayer, Source::Controller},
                              {"fan", profile.zoneEffects[1], &profile.fanLayer, Source::SavedProfile},
                              {"logo", profile.zoneEffects[2], &profile.logoLayer, Source::SavedProfile}};
    if (json)
        out << "{" << jsonHeader << ",\"zelvor\":" << (profile.zelvor ? "true" : "false")
            << ",\"card_effect\":" << jsonString(effectName(profile.cardEffect)) << ",\"zones\":[";
    else
        out << header << "\nzelvor " << (profile.zelvor ? "on" : "off") << "\ncard effect "
            << effectName(profile.cardEffect) << "\n";
    bool firstZone = true;
    for (const ZoneView& zone : zones) {
        EffectParams params = GetEffectParams(*zone.layer, zone.effect, profile.multiLayer, 0, 0);
        if (zone.effect == EFFECT_DIRECT) params.colour = DirectColour(*zone.layer);
        if (json) {
            out << (firstZone ? "" : ",") << "{\"zone\":\"" << zone.name << "\",\"source\":\""
                << sourceText(zone.source) << "\",\"effect\":" << jsonString(effectName(zone.effect));
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
            if (zone.source == Source::SavedProfile) out << " (saved profile)";
            out << "\n";
        }
        firstZone = false;
    }
    // Morse texts count from 1 in both forms.
    if (json) {
        out << "],\"morse\":[";
        for (int i = 0; i < 3; ++i) out << (i ? "," : "") << jsonString(platform::utf16ToUtf8(profile.morseTexts[i]));
        out << "],\"selected_morse\":" << profile.selectedMorse + 1 << "}\n";
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
    for (const auto& entry : kEffectCaptions)
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
    std::optional<std::uint32_t> rgb;
    const std::string_view digits = text.starts_with('#') ? std::string_view(text).substr(1) : std::string_view(text);
    if (digits.size() == 6) rgb = platform::parseWholeNumber<std::uint32_t>(digits, 16);
    if (!rgb && !text.starts_with('#')) {
        const std::string lower = platform::lowercaseAscii(text);
        for (const auto& entry : kColourNames)
            if (lower == entry.name) rgb = entry.rgb;
    }
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
    bool first = true;
    const bool json = call.options.json;
    if (json) call.out << "[";
    for (const Family family : {Family::Standard, Family::Led5}) {
        devicelink::CUSBDriver& link = session.link(family);
        session.table(family).assign(static_cast<std::size_t>(link.deviceCount()), devicecontrol::IdentityBlock{});
        for (int position = 0; position < link.deviceCount(); ++position) {
            std::uint8_t data[60] = {};
            devicecontrol::IdentityBlock& block = session.table(family)[static_cast<std::size_t>(position)];
            if (link.GetIdentityBlock(data, position) == 0) std::memcpy(block.data(), data, sizeof data);
            const std::string title = controllerTitle(session, {family, position});
            const bool member = devicecontrol::IsGroupMember(block);
            const std::string firmware = firmwareText(link, position);
            const std::string identity = identityText(block);
            if (json) {
                call.out << (first ? "" : ",") << "{\"family\":\"" << familyName(family)
                         << "\",\"position\":" << position << ",\"title\":" << jsonString(title)
                         << ",\"group\":" << (member ? "true" : "false") << ",\"firmware\":" << jsonString(firmware)
                         << ",\"identity\":" << jsonString(identity) << "}";
            } else {
                call.out << familyName(family) << ' ' << position << ' ' << jsonString(title) << ' '
                         << (member ? "group" : "single") << ' ' << firmware << ' ' << identity << '\n';
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
    const int position = call.position;
    LedProfileSet set;
    LoadStartupProfileSet(set, dataFolder());
    devicecontrol::ReadBackRequest request;
    request.family = call.family;
    request.position = position;
    request.readOnly = true;
    int lastApplied = 0;
    const int readResult = devicecontrol::LoadDeviceSettings(link, request, set, lastApplied);
    if (readResult != 0 || !stillAttached(link, position))
        return call.failure("the controller did not answer every read");
    const auto output = options.values.find("-o");
    if (output != options.values.end()) {
        if (!ExportProfile(set.selected(), output->second))
            return call.failure("cannot write \"" + output->second + "\"");
        return kExitSuccess;
    }
    const Target target{call.family, position};
    const std::string identity = identityText(call.session->table(call.family)[static_cast<std::size_t>(position)]);
    const std::string title = controllerTitle(*call.session, target);
    printSummary(call.out, set, options.json, "controller " + call.targetText(target) + " identity " + identity,
                 std::string("\"family\":\"") + familyName(call.family) +
                     "\",\"position\":" + std::to_string(position) + ",\"title\":" + jsonString(title) +
                     ",\"identity\":" + jsonString(identity));
    return kExitSuccess;
}

namespace {

// Missing, unreadable, a folder, or no profile: named before any controller opens.
int checkProfileFile(Call& call, const std::string& path, LedProfile& profile) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status)) return call.failure("cannot read \"" + path + "\": no such file");
    if (std::filesystem::is_directory(status)) return call.failure("\"" + path + "\" is a folder, not a profile file");
    if (!std::ifstream(path, std::ios::binary)) return call.failure("cannot read \"" + path + "\": permission denied");
    if (!ImportProfile(profile, path)) return call.failure("\"" + path + "\" is not a profile file (.KV6)");
    return kExitSuccess;
}

}  // namespace

int runApply(Call& call) {
    if (call.options.positional.size() != 1) return call.usage("expected one profile file");
    const std::string& path = call.options.positional[0];
    const std::string folder = dataFolder();
    LedProfile checked;
    if (const int result = checkProfileFile(call, path, checked)) return result;
    if (const int result = call.openDevice()) return result;
    // The file is read again over the saved profile, under the data folder's lock.
    LedProfileSet set;
    bool readable = true;
    const std::string saveProblem = updateSaved(folder, set, [&](LedProfileSet& saved) {
        return readable = ImportProfile(saved.selected(), path);
    });
    if (!readable) return call.failure("\"" + path + "\" is not a profile file (.KV6)");
    if (!saveProblem.empty()) return call.failure(saveProblem);
    int result = kExitSuccess;
    for (const Target& target : oncePerGroup(*call.session, call.targets)) {
        if (const std::string problem = applyTo(*call.session, target.family, target.position, set); !problem.empty()) {
            call.message(call.targetText(target) + " " + problem);
            result = kExitFailure;
            continue;
        }
        call.summary("applied " + path + " to " + call.targetText(target));
    }
    return result;
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
    const std::map<std::string, int> zoneNames = {{"main", ZONE_MAIN}, {"fan", ZONE_FAN}, {"logo", ZONE_LOGO}};
    std::vector<std::pair<std::string, int>> zones;
    if (*zoneText == "all")
        zones.assign(zoneNames.begin(), zoneNames.end());
    else if (zoneNames.count(*zoneText))
        zones.emplace_back(*zoneText, zoneNames.at(*zoneText));
    else
        return call.usage("unknown zone \"" + *zoneText + "\" (main, fan, logo or all)");
    const std::optional<std::int32_t> effect = effectFromName(*effectText);
    if (!effect) return call.usage("unknown effect \"" + *effectText + "\" (lumenstra-cli set --help lists them)");
    for (const auto& [zoneName, zone] : zones)
        if (!RunsInZone(*effect, zone))
            return call.usage("effect \"" + *effectText + "\" cannot run in zone " + zoneName +
                              " (the fan and logo zones take static, rainbow, breathe and off)");

    std::optional<Colour> colour, colour2;
    std::optional<int> speed, brightness, direction;
    std::optional<bool> random;
    constexpr char kColourForms[] = " (RRGGBB, #RRGGBB or a CSS colour name)";
    if (const std::string* text = value("--color"); text && !(colour = parseColour(*text)))
        return call.usage("bad colour \"" + *text + "\"" + kColourForms);
    if (const std::string* text = value("--color2"); text && !(colour2 = parseColour(*text)))
        return call.usage("bad colour \"" + *text + "\"" + kColourForms);
    if (const std::string* text = value("--speed"); text && !(speed = numberIn(*text, 0, kMaxSpeedLevel)))
        return call.usage("bad speed \"" + *text + "\" (0 to 4)");
    if (const std::string* text = value("--brightness");
        text && !(brightness = numberIn(*text, 0, kMaxBrightnessLevel)))
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
    if (IsLed5Only(*effect))
        for (const Target& target : call.targets)
            if (target.family == Family::Standard)
                return call.usage("effect \"" + *effectText + "\" is not available on standard controllers (" +
                                  call.targetText(target) + ")");

    const std::string folder = dataFolder();
    LedProfileSet set;
    const std::string saveProblem = updateSaved(folder, set, [&](LedProfileSet& saved) {
        LedProfile& profile = saved.selected();
        for (const auto& [zoneName, zone] : zones) {
            EditorState state;
            state.currentZone = zone;
            state.cardEffect = EFFECT_MULTI;
            SelectZoneEffect(profile, state, *effect);
            EffectLayer& layer = LayerOfZone(profile, zone, state);
            // The direct effect keeps one colour per LED in the layer, which the write sends.
            if (colour && *effect == EFFECT_DIRECT) SetDirectColours(layer, *colour);
            if (colour) SetSlotColour(layer, *effect, ColourSlot::First, *colour, state);
            if (colour2) SetSlotColour(layer, *effect, ColourSlot::Second, *colour2, state);
            if (speed) SetSpeed(layer, *effect, *speed);
            if (brightness) SetBrightness(layer, *effect, *brightness);
            if (random) SetRandom(layer, *effect, *random ? 1 : 0);
            if (direction) SetDirection(layer, *effect, *direction);
        }
        if (!morse.empty()) SelectedMorseText(profile) = morse;
        return true;
    });
    if (!saveProblem.empty()) return call.failure(saveProblem);

    std::string what = "zone " + *zoneText + " " + effectName(*effect);
    if (colour) what += " color " + colourText(*colour);
    if (colour2) what += " color2 " + colourText(*colour2);
    if (speed) what += " speed " + std::to_string(*speed);
    if (brightness) what += " brightness " + std::to_string(*brightness);
    if (random) what += std::string(" random ") + (*random ? "on" : "off");
    if (direction) what += " direction " + std::to_string(*direction);
    int result = kExitSuccess;
    for (const Target& target : oncePerGroup(*call.session, call.targets)) {
        if (const std::string problem = applyTo(*call.session, target.family, target.position, set); !problem.empty()) {
            call.message(call.targetText(target) + " " + problem);
            result = kExitFailure;
            continue;
        }
        call.summary("set " + call.targetText(target) + ": " + what);
    }
    return result;
}

namespace {

int restoreAll(Call& call) {
    Session& session = *call.session;
    const std::string folder = dataFolder();
    int result = kExitSuccess;
    int restored = 0;
    std::vector<Target> everyController;
    for (const Family family : {Family::Standard, Family::Led5})
        for (int position = 0; position < session.link(family).deviceCount(); ++position)
            everyController.push_back({family, position});
    for (const Target& target : oncePerGroup(session, everyController)) {
        LedProfileSet set;
        LoadStartupProfileSet(set, folder);
        if (const std::string problem = applyTo(session, target.family, target.position, set); !problem.empty()) {
            call.message(std::string(familyName(target.family)) + " controller " + std::to_string(target.position) +
                         " " + problem);
            result = kExitFailure;
        } else {
            ++restored;
        }
    }
    call.summary(restored == 0 && everyController.empty()
                     ? std::string("no controller attached: nothing to restore")
                     : "restored the saved profile to " + std::to_string(restored) +
                           (restored == 1 ? " controller or group" : " controllers or groups"));
    return result;
}

// Hears the links' arrivals; once they have settled (a resume brings every
// controller back at once) it restores the saved profile.
class ArrivalWatch : public platform::MessageWindow<QObject> {
public:
    explicit ArrivalWatch(std::function<void()> restore) : m_restore(std::move(restore)) {}

protected:
    std::intptr_t onMessage(const platform::WindowMessage& message) override {
        if (message.id == devicelink::kMsgPlug && message.lParam == 1) setWindowTimer(kSettle, kSettlePause);
        return 0;
    }
    void onTimer(unsigned id) override {
        killWindowTimer(id);
        m_restore();
    }

private:
    static constexpr unsigned kSettle = 1;
    static constexpr std::chrono::milliseconds kSettlePause{500};
    std::function<void()> m_restore;
};

}  // namespace

int runRestore(Call& call) {
    if (!call.options.onResume) return restoreAll(call);
    // The links come back after resume (logind's signal, or the backend's own
    // watch) and tell their owner of every controller; the watch then restores.
    // It holds the controllers' lock only while it writes, not while it waits.
    ArrivalWatch watch([&call] {
        if (call.holdControllers() != kExitSuccess) return;
        call.session->refreshIdentities();
        restoreAll(call);
        call.releaseControllers();
        call.out << "restored\n" << std::flush;
    });
    call.session.reset();
    call.session.emplace(&watch);
    call.session->refreshIdentities();
    call.releaseControllers();
    devicelink::SleepSignal sleep;
    call.out << "waiting for resume\n" << std::flush;
    const int result = QCoreApplication::exec();
    call.session.reset();
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
    const std::string before = call.targetText({call.family, call.position});
    CliGroupHost host(link, table, false);
    if (devicecontrol::StoreDeviceName(link, table, call.position, name, host) != 0)
        return call.failure("the controller did not take the name");
    call.summary("renamed " + before + " to \"" + options.positional[0] + "\"");
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
    const int position = call.position;
    const std::string who = call.targetText({call.family, position});
    if (devicecontrol::IsGroupMember(table[position]) == join) {
        call.summary(who + (join ? " is a group member already" : " is no group member already"));
        return kExitSuccess;
    }
    CliGroupHost host(link, table, options.yes);
    const int result = devicecontrol::ToggleGroupMember(link, table, position, position, host);
    if (host.asked && !options.yes)
        return call.usage(
            "another controller is a group member already; joining takes over its "
            "configuration: add --yes to go on");
    if (result != 0) return call.failure("the controller did not take the group mark");
    call.summary(who + (join ? " joined the group" : " left the group"));
    return kExitSuccess;
}

namespace {
enum class ResetKind { Reset, ZelvorOn, ZelvorOff };

int runResetCommand(Call& call, ResetKind kind) {
    const std::string folder = dataFolder();
    int result = kExitSuccess;
    for (const Target& target : oncePerGroup(*call.session, call.targets)) {
        devicelink::CUSBDriver& link = call.session->link(target.family);
        const int current = devicecontrol::SelectDeviceGroup(link, call.session->table(target.family), target.position);
        LedProfileSet set;
        LoadStartupProfileSet(set, folder);
        int failed = 0;
        // The controller then runs what the profile in hand says, so a read shows it.
        if (kind == ResetKind::Reset) {
            failed = ResetAll(link, set.selected());
            // The reset profile names static for the main zone; its layer must say so too.
            EditorState mainZone;
            mainZone.currentZone = ZONE_MAIN;
            SelectZoneEffect(set.selected(), mainZone, set.selected().zoneEffects[ZONE_MAIN]);
        } else if (kind == ResetKind::ZelvorOn)
            failed = ZelvorSync(link, set.selected());
        else
            set.selected().zelvor = 0;
        EditorState state;
        state.cardEffect = EFFECT_MULTI;
        failed += devicecontrol::ApplyConfiguration(link, target.family, set, state);
        const std::string who = call.targetText(target);
        if (!stillAttached(link, current)) {
            call.message(who + " went away during the write");
            result = kExitFailure;
            continue;
        }
        if (failed != 0) {
            call.message(who + " did not take " + std::to_string(failed) + " of the commands");
            result = kExitFailure;
            continue;
        }
        switch (kind) {
        case ResetKind::Reset:
            call.summary("reset " + who +
                         ": it runs the default lighting (static white); the saved profile is unchanged "
                         "(lumenstra-cli restore sends it)");
            break;
        case ResetKind::ZelvorOn: call.summary("zelvor on: " + who + " was reset and follows the sync source"); break;
        case ResetKind::ZelvorOff:
            call.summary("zelvor off: " + who + " runs its own effects: the saved profile was sent");
            break;
        }
    }
    return result;
}
}  // namespace

int runReset(Call& call) { return runResetCommand(call, ResetKind::Reset); }

int runZelvor(Call& call) {
    const auto& positional = call.options.positional;
    // A bare "zelvor" keeps its former meaning: on.
    if (positional.size() > 1 || (positional.size() == 1 && positional[0] != "on" && positional[0] != "off"))
        return call.usage("expected on or off");
    const bool on = positional.empty() || positional[0] == "on";
    if (const int result = call.openDevice()) return result;
    return runResetCommand(call, on ? ResetKind::ZelvorOn : ResetKind::ZelvorOff);
}

}  // namespace cli
