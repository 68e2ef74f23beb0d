#pragma once

#include <string>
#include <vector>

// Every section, key and picture the programs read from a skin, so that a
// skin folder can be checked before anyone starts the programs with it.
namespace skin {

// Where a window's pictures lie below the program folder.
enum class PictureFolder {
    Resolution,  // Skins/<resolution>/
    PopDlg,      // Skins/PopDlg/
    Root,        // Skins/
    Menu,        // Skins/<resolution>/Menu/
};

struct SkinsSection {
    std::string section;
    PictureFolder folder;
    std::vector<std::string> states;  // keys of the section in Skins.xml
};

struct KeySet {
    std::string section;
    std::vector<std::string> keys;
};

struct SkinManifest {
    std::vector<SkinsSection> pictures;           // Skins.xml
    std::vector<KeySet> buttons;                  // Buttons.xml of every resolution set
    std::vector<KeySet> strings;                  // Strings.xml
    std::vector<std::string> resolutionPictures;  // fixed names in Skins/<resolution>/
};

const SkinManifest& skinManifest();

// "1920x1080", "1366x768", "960x540".
const std::vector<std::string>& resolutionSets();

// The warning messages, each a section with STR_TITLE and STR_WARN.
const std::vector<std::string>& warningMessages();
// Messages that only inform: shown with OK alone, in the no-device warning's skin section.
bool isNotice(const std::string& message);

}  // namespace skin
