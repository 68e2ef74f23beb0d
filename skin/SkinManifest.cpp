#include "skin/SkinManifest.h"

namespace skin {
namespace {

std::vector<std::string> numbered(const std::string& pattern, int from, int to) {
    std::vector<std::string> keys;
    const auto at = pattern.find("%d");
    for (int i = from; i <= to; ++i) keys.push_back(pattern.substr(0, at) + std::to_string(i) + pattern.substr(at + 2));
    return keys;
}

std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::string> ledPageKeys() {
    std::vector<std::string> keys = {"BUTTON_CHROMA",
                                     "BUTTON_IMPORT",
                                     "BUTTON_EXPORT",
                                     "BUTTON_DEFAULT",
                                     "BUTTON_APPLY",
                                     "BUTTON_OLD_COLOR",
                                     "BUTTON_COLOR",
                                     "STR_HUE",
                                     "STR_R",
                                     "STR_G",
                                     "STR_B",
                                     "STR_SPEED",
                                     "STR_BRIGHTNESS",
                                     "BUTTON_SPEED_DOWN",
                                     "BUTTON_SPEED_UP",
                                     "BUTTON_BRIGHTNESS_DOWN",
                                     "BUTTON_BRIGHTNESS_UP",
                                     "STR_LIGHT_OFF",
                                     "STR_LIGHT_ON",
                                     "STR_COLOR_RANDOM",
                                     "STR_COLOR_SPECIFY",
                                     "STR_MORSE",
                                     "EDIT_INPUT",
                                     "EDIT_INPUT_RECT",
                                     "EDIT_OUTPUT",
                                     "EDIT_OUTPUT_RECT",
                                     "BUTTON_MORSE_SAVE",
                                     "BUTTON_MORSE_RESET",
                                     "BUTTON_PLAY",
                                     "BUTTON_CYCLE",
                                     "BUTTON_LIGHT_OFF",
                                     "BUTTON_LIGHT_ON",
                                     "BUTTON_SWITCH_RANDOM",
                                     "BUTTON_L1",
                                     "BUTTON_FIXED_COLOR",
                                     "BUTTON_L2",
                                     "EDIT_R",
                                     "EDIT_G",
                                     "EDIT_B",
                                     "SLIDER_R",
                                     "SLIDER_G",
                                     "SLIDER_B",
                                     "SLIDER_S",
                                     "SLIDER_L",
                                     "BUTTON_SEL_BRIGHTNESS",
                                     "SLIDER_RGB",
                                     "RECT_SYNC",
                                     "BUTTON_ROTATE",
                                     "BUTTON_ROTATE_REVERSE",
                                     "STR_L1",
                                     "STR_L2",
                                     "STR_ROTATION"};
    keys = join(keys, numbered("BUTTON_LED_DEV_%d", 1, 3));
    keys = join(keys, numbered("BUTTON_MORSE_%d", 1, 3));
    keys = join(keys, numbered("BUTTON_MENU_%d", 1, 8));
    return keys;
}

std::vector<std::string> infoKeys() {
    return {"STR_TITLE", "STR_VER_SW", "STR_VER_FW", "STR_VER_UPDATE", "BUTTON_OK", "BUTTON_UPDATE", "BUTTON_CLOSE"};
}

SkinManifest build() {
    SkinManifest m;
    const std::vector<std::string> window = {"MASK", "NORMAL", "OVER", "DOWN", "DISABLE"};
    const std::vector<std::string> control = {"NORMAL", "OVER", "DOWN", "DISABLE"};
    m.pictures = {
        {"MAIN", PictureFolder::Resolution, window},
        // The pages are rectangles inside the main window: no shape.
        {"LED", PictureFolder::Resolution, control},
        {"LED5", PictureFolder::Resolution, control},
        {"WarnDlg", PictureFolder::PopDlg, window},
        {"InfoDlg", PictureFolder::PopDlg, window},
        // The version page is a page of the main window, drawn per resolution set.
        {"VersionDlg", PictureFolder::Resolution, window},
        {"LOADING", PictureFolder::Root, window},
        {"LOAD_KEYBOARD", PictureFolder::PopDlg, window},
        {"NO_KEYBOARD", PictureFolder::PopDlg, window},
        {"MASK", PictureFolder::PopDlg, {"NORMAL", "MASK"}},
        {"BUTTON_DEV_TITLE", PictureFolder::Resolution, control},
        {"MENU_DEV", PictureFolder::Resolution, control},
        {"DEV_LIST_MENU", PictureFolder::Menu, control},
        {"MENU_SCROLL_UP", PictureFolder::Menu, control},
        {"MENU_SCROLL_DOWN", PictureFolder::Menu, control},
        {"SWITCH_LIGHT_OFF", PictureFolder::Menu, control},
        {"SWITCH_LIGHT_ON", PictureFolder::Menu, control},
        {"BUTTON_SWITCH_RANDOM", PictureFolder::Menu, control},
        {"BUTTON_SWITCH_SPECIFY", PictureFolder::Menu, control},
        {"FAN_LED", PictureFolder::Menu, control},
        {"LOGO_LED", PictureFolder::Menu, control},
        {"ROTATE_LED", PictureFolder::Menu, control},
        {"DEFAULT_LED", PictureFolder::Menu, control},
    };
    m.buttons = {
        {"MAIN",
         {"SUB_DLG", "BUTTON_MIN", "BUTTON_CLOSE", "BUTTON_MAIN_CONTROL", "BUTTON_MACRO", "BUTTON_LIBRARY",
          "BUTTON_DEV_TITLE", "BUTTON_5_LED_DEV_TITLE", "BUTTON_5_LED_DEV_TITLE_NEW", "BTN_CHECK", "SCROLL_BAR_ID",
          "LIST_MENU", "LIST_MENU_NEW", "DEV_NAME", "DEV_CHECK", "DEV_PIC_POS", "STR_DEV_LIST"}},
        {"LED", ledPageKeys()},
        {"LED5", ledPageKeys()},
        {"FAN_LED",
         join({"BUTTON_MIRAGE_OFF", "BUTTON_MIRAGE_ON", "STR_MIRAGE_OFF", "STR_MIRAGE_ON", "BUTTON_RESET",
               "BUTTON_SAVE", "EDIT_HZ_R", "EDIT_HZ_G", "EDIT_HZ_B", "SLIDER_HZ_R", "SLIDER_HZ_G", "SLIDER_HZ_B"},
              join(numbered("BUTTON_FAN_EFF_%d", 1, 4), numbered("BUTTON_M%d", 1, 3)))},
        {"DEFAULT_LED", {"BUTTON_ZELVOR", "STR_ZELVOR", "BUTTON_DEMO", "STR_DEMO", "RECT_DEFAULT"}},
        {"DEV_LIST_MENU", {"BUTTON_MENU"}},
        {"WarnDlg", {"BUTTON_OK", "BUTTON_CANCEL", "BUTTON_CLOSE"}},
        {"InfoDlg", infoKeys()},
        {"VersionDlg", join(infoKeys(), {"STR_LAST_DRIVER", "STR_LEARN_MORE"})},
        {"LOADING", {"PROGRESS"}},
    };
    for (const std::string& message : warningMessages()) m.buttons.push_back({message, {"STR_TITLE", "STR_WARN"}});
    // The no-device warning is its own skin section and button section.
    m.buttons.back().keys.insert(m.buttons.back().keys.end(), {"BUTTON_OK", "BUTTON_CANCEL", "BUTTON_CLOSE"});

    const std::vector<std::string> ledCaptions = {"BUTTON_CHROMA",
                                                  "BUTTON_IMPORT",
                                                  "BUTTON_EXPORT",
                                                  "BUTTON_DEFAULT",
                                                  "BUTTON_APPLY",
                                                  "BUTTON_OLD_COLOR",
                                                  "BUTTON_COLOR",
                                                  "STR_HUE",
                                                  "STR_R",
                                                  "STR_G",
                                                  "STR_B",
                                                  "STR_SPEED",
                                                  "STR_BRIGHTNESS",
                                                  "STR_LIGHT_OFF",
                                                  "STR_LIGHT_ON",
                                                  "STR_COLOR_RANDOM",
                                                  "STR_COLOR_SPECIFY",
                                                  "STR_MORSE",
                                                  "EDIT_INPUT",
                                                  "EDIT_OUTPUT",
                                                  "BUTTON_MORSE_SAVE",
                                                  "BUTTON_MORSE_RESET",
                                                  "STR_L1",
                                                  "STR_L2",
                                                  "STR_ROTATION"};
    m.strings = {
        {"GLOBAL", {"FONT", "FONT_SIZE"}},
        {"MAIN",
         {"STR_DEV_LIST", "STRING_DEV_TITLE", "STRING_5_LED_DEV_TITLE", "BUTTON_MAIN_CONTROL", "BUTTON_MACRO",
          "BUTTON_LIBRARY"}},
        {"LED", ledCaptions},
        {"LED5", ledCaptions},
        {"FAN_LED",
         {"BUTTON_MIRAGE_ON", "BUTTON_MIRAGE_OFF", "STR_MIRAGE_OFF", "STR_MIRAGE_ON", "BUTTON_RESET", "BUTTON_SAVE"}},
        {"DEFAULT_LED", {"STR_ZELVOR", "STR_DEMO"}},
        {"WarnDlg", {"BUTTON_OK", "BUTTON_CANCEL"}},
        {"InfoDlg", {"STR_TITLE", "STR_VER_SW", "STR_VER_FW", "STR_VER_UPDATE", "BUTTON_OK", "BUTTON_UPDATE"}},
        {"VersionDlg",
         {"STR_TITLE", "STR_VER_SW", "STR_VER_FW", "STR_VER_UPDATE", "BUTTON_OK", "BUTTON_UPDATE", "STR_LAST_DRIVER",
          "STR_LAST_DRIVER_5_LED", "STR_LEARN_MORE", "LINK_LAST_DRIVER", "LINK_LEARN_MORE", "STR_NO_PACKAGE"}},
    };
    for (const std::string& message : warningMessages()) m.strings.push_back({message, {"STR_TITLE", "STR_WARN"}});
    m.strings.back().keys.push_back("BUTTON_OK");

    m.resolutionPictures = {"DevCheckBoxNormal.png", "DevCheckBoxDown.png", "DevTitleActive.jpg",  "DevListActive.jpg",
                            "MenuNormal.jpg",        "MenuOver.jpg",        "DevKV6000.png",       "DevKV6000-1.png",
                            "LEDCpas.bmp",           "OldColorMask.bmp",    "MorseOutputMask.bmp", "SilderNormal.png",
                            "SilderOff.png",         "SilderOver.png"};
    return m;
}

}  // namespace

const SkinManifest& skinManifest() {
    static const SkinManifest manifest = build();
    return manifest;
}

const std::vector<std::string>& resolutionSets() {
    static const std::vector<std::string> sets = {"1920x1080", "1366x768", "960x540"};
    return sets;
}

const std::vector<std::string>& warningMessages() {
    // The no-device warning comes last: it is also a skin section of its own.
    static const std::vector<std::string> messages = {"NO_SAVE",     "OVERWRITE",   "NIMBRELS",   "RESET_ALL_WARN",
                                                      "ZELVOR_WARN", "IMPORT_FAIL", "APPLY_FAIL", "NO_KEYBOARD"};
    return messages;
}

bool isNotice(const std::string& message) {
    return message == "NO_KEYBOARD" || message == "APPLY_FAIL" || message == "IMPORT_FAIL";
}

}  // namespace skin
