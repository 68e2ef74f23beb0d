#include "skin/SkinDocuments.h"

#include "platform/DebugLog.h"
#include "platform/Utf16.h"

namespace skin {
namespace {

// Leaves the cursor's child on root / section / key, following nested
// sections of the same name while the key is missing.
bool findKey(xml::CXmlDoc& document, std::string_view section, std::string_view key) {
    const std::u16string wantedSection = platform::utf8ToUtf16(section);
    const std::u16string wantedKey = platform::utf8ToUtf16(key);
    document.Rewind();
    if (!document.FindChild(wantedSection)) return false;
    while (true) {
        document.EnterElement();
        if (document.FindChild(wantedKey)) return true;
        if (!document.FindChild(wantedSection)) return false;
    }
}

}  // namespace

xml::CXmlDoc& skinDocument(SkinDocument which) {
    static xml::CXmlDoc documents[3];
    return documents[static_cast<int>(which)];
}

namespace {
std::string& programFolderOfSkin() {
    static std::string folder;
    return folder;
}
}  // namespace

void setSkinProgramFolder(const std::string& programFolder) { programFolderOfSkin() = programFolder; }

const std::string& skinProgramFolder() { return programFolderOfSkin(); }

std::string skinDocumentPath(SkinDocument which, const std::string& programFolder,
                             const std::string& resolutionFolder) {
    switch (which) {
    case SkinDocument::Skins: return programFolder + "Skins.xml";
    case SkinDocument::Strings: return programFolder + "Strings.xml";
    case SkinDocument::Buttons: break;
    }
    return programFolder + "Skins/" + resolutionFolder + "Buttons.xml";
}

void LoadSkinDocuments(const std::string& programFolder, const std::string& resolutionFolder) {
    for (const SkinDocument which : {SkinDocument::Skins, SkinDocument::Strings, SkinDocument::Buttons}) {
        xml::CXmlDoc& document = skinDocument(which);
        if (document.LoadFile(skinDocumentPath(which, programFolder, resolutionFolder))) document.Parse();
    }
    setSkinProgramFolder(programFolder);
    const auto hasText = [](SkinDocument which) { return skinDocument(which).Text().empty() ? 0 : 1; };
    platform::DebugTrace("APP Load Info: Size=%s Skin=%d Str=%d Btn=%d", resolutionFolder.c_str(),
                         hasText(SkinDocument::Skins), hasText(SkinDocument::Strings), hasText(SkinDocument::Buttons));
    platform::DebugTrace("Exe Path: %s", programFolder.c_str());
}

std::string GetSkinText(xml::CXmlDoc& document, std::string_view section, std::string_view key) {
    if (!findKey(document, section, key)) return {};
    return platform::utf16ToUtf8(document.ChildText());
}

std::string GetSkinAttribute(xml::CXmlDoc& document, std::string_view section, std::string_view key,
                             std::string_view attribute) {
    if (!findKey(document, section, key)) return {};
    return platform::utf16ToUtf8(document.ChildAttribute(platform::utf8ToUtf16(attribute)));
}

std::string GetSoftwareVersion(const std::string& programFolder) {
    xml::CXmlDoc document;
    if (document.LoadFile(programFolder + "Skins.xml")) document.Parse();
    return GetSkinText(document, "INFO", "SW_VERSION");
}

SkinTextStyle GetSkinTextStyle(xml::CXmlDoc& buttons, std::string_view section, std::string_view key) {
    SkinTextStyle style;
    style.record = ParseSkinRecord(GetSkinText(buttons, section, key));
    const auto attribute = [&](std::string_view name) { return GetSkinAttribute(buttons, section, key, name); };
    const std::string face = attribute("FONT");
    const std::string size = attribute("SIZE");
    if (!face.empty() && !size.empty()) {
        const std::string weight = attribute("WEIGHT");
        style.font = SkinFont{face, leadingInteger(size), weight.empty() ? 400 : leadingInteger(weight)};
    }
    const std::string color = attribute("COLOR");
    if (!color.empty()) style.color = static_cast<std::uint32_t>(leadingInteger(color));
    return style;
}

}  // namespace skin
