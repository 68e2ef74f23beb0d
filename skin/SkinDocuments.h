#pragma once

#include "skin/SkinRecord.h"
#include "xml/XmlDoc.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The three skin documents every window reads, and the look-ups by section and
// key. Texts are UTF-8; an empty result means absent, and callers supply their
// own defaults.
namespace skin {

enum class SkinDocument { Skins, Strings, Buttons };

// The process-wide documents; empty until LoadSkinDocuments. GUI thread only.
xml::CXmlDoc& skinDocument(SkinDocument which);

// The program folder the skin's documents and pictures come from, ending with
// '/'; set by the program (or LoadSkinDocuments) before the first window. GUI thread only.
void setSkinProgramFolder(const std::string& programFolder);
const std::string& skinProgramFolder();

// programFolder ends with '/'; resolutionFolder is "1920x1080/", "1366x768/" or "960x540/".
std::string skinDocumentPath(SkinDocument which, const std::string& programFolder, const std::string& resolutionFolder);

// Loads Skins.xml, Strings.xml and Buttons.xml, in that order, parsing each one
// that loaded; a failed load leaves that document empty. Remembers the program
// folder and traces which documents hold text.
void LoadSkinDocuments(const std::string& programFolder, const std::string& resolutionFolder);

// root / section / key. When the first section of that name lacks the key, the
// look-up goes on in a child of it that bears the section's name again, and so
// on downward.
std::string GetSkinText(xml::CXmlDoc& document, std::string_view section, std::string_view key);
std::string GetSkinAttribute(xml::CXmlDoc& document, std::string_view section, std::string_view key,
                             std::string_view attribute);

// SW_VERSION of section INFO, read from a fresh load of Skins.xml.
std::string GetSoftwareVersion(const std::string& programFolder);

// The font a record's text is drawn with; present only when the record names
// both FONT and SIZE.
struct SkinFont {
    std::string face;
    std::int32_t height = 0;  // a cell height in pixels
    std::int32_t weight = 400;
};

// What drawing a record text needs besides the text itself: the rectangle of
// the record section / key in Buttons.xml and its text attributes.
struct SkinTextStyle {
    SkinRecord record;
    std::optional<SkinFont> font;
    std::optional<std::uint32_t> color;  // 0x00BBGGRR
};

SkinTextStyle GetSkinTextStyle(xml::CXmlDoc& buttons, std::string_view section, std::string_view key);

}  // namespace skin
