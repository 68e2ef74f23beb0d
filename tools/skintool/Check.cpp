#include "Check.h"

#include "skin/SkinDocuments.h"
#include "skin/SkinManifest.h"
#include "xml/XmlDoc.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace skintool {
namespace {

bool isFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

bool load(xml::CXmlDoc& document, const std::string& path) { return document.LoadFile(path) && document.Parse(); }

std::string folderFor(skin::PictureFolder folder, const std::string& programFolder, const std::string& resolution) {
    switch (folder) {
    case skin::PictureFolder::PopDlg: return programFolder + "Skins/PopDlg/";
    case skin::PictureFolder::Root: return programFolder + "Skins/";
    case skin::PictureFolder::Menu: return programFolder + "Skins/" + resolution + "/Menu/";
    case skin::PictureFolder::Resolution: break;
    }
    return programFolder + "Skins/" + resolution + "/";
}

}  // namespace

std::vector<std::string> missingSkinParts(const std::string& folder) {
    const std::string programFolder = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    const skin::SkinManifest& manifest = skin::skinManifest();
    std::vector<std::string> missing;
    xml::CXmlDoc skins, strings;
    if (!load(skins, programFolder + "Skins.xml")) missing.push_back("document Skins.xml");
    if (!load(strings, programFolder + "Strings.xml")) missing.push_back("document Strings.xml");
    for (const skin::KeySet& set : manifest.strings)
        for (const std::string& key : set.keys)
            if (skin::GetSkinText(strings, set.section, key).empty())
                missing.push_back("Strings.xml " + set.section + "/" + key);
    for (const std::string& resolution : skin::resolutionSets()) {
        xml::CXmlDoc buttons;
        const std::string buttonsPath = programFolder + "Skins/" + resolution + "/Buttons.xml";
        if (!load(buttons, buttonsPath)) {
            missing.push_back("document Skins/" + resolution + "/Buttons.xml");
            continue;
        }
        for (const skin::KeySet& set : manifest.buttons)
            for (const std::string& key : set.keys)
                if (skin::GetSkinText(buttons, set.section, key).empty())
                    missing.push_back("Buttons.xml " + resolution + " " + set.section + "/" + key);
        for (const skin::SkinsSection& section : manifest.pictures)
            for (const std::string& state : section.states) {
                const std::string name = skin::GetSkinText(skins, section.section, state);
                const std::string where = folderFor(section.folder, programFolder, resolution);
                if (name.empty())
                    missing.push_back("Skins.xml " + section.section + "/" + state);
                else if (!isFile(where + name))
                    missing.push_back("picture " + where.substr(programFolder.size()) + name);
            }
        for (const std::string& name : manifest.resolutionPictures)
            if (!isFile(programFolder + "Skins/" + resolution + "/" + name))
                missing.push_back("picture Skins/" + resolution + "/" + name);
    }
    if (skin::GetSkinText(skins, "INFO", "SW_VERSION").empty()) missing.push_back("Skins.xml INFO/SW_VERSION");
    // Parts shared by the sets are reported once.
    std::vector<std::string> unique;
    for (const std::string& line : missing)
        if (std::find(unique.begin(), unique.end(), line) == unique.end()) unique.push_back(line);
    return unique;
}

int check(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        std::fprintf(stderr, "skintool: check needs FOLDER\n");
        return 64;
    }
    const std::vector<std::string> missing = missingSkinParts(args[1]);
    for (const std::string& line : missing) std::printf("missing: %s\n", line.c_str());
    if (missing.empty()) std::printf("skin complete\n");
    return missing.empty() ? 0 : 1;
}

}  // namespace skintool
