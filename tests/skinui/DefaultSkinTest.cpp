// The default skin that the build draws, read as the programs read it.
#include "skin/SkinDocuments.h"
#include "skin/SkinManifest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace {

void loadButtons(xml::CXmlDoc& document, const std::string& set) {
    const std::string path =
        skin::skinDocumentPath(skin::SkinDocument::Buttons, std::string(LUMENSTRA_BIN_DIR) + "/", set + "/");
    EXPECT_TRUE(document.LoadFile(path) && document.Parse()) << path;
}

// A window whose pictures every set shares must find its controls at the same
// places in every set, or captions and buttons part from the picture.
TEST(DefaultSkin, WindowsWithSharedPicturesHaveTheSameRecordsInEverySet) {
    const skin::SkinManifest& manifest = skin::skinManifest();
    std::vector<std::string> shared = skin::warningMessages();
    for (const skin::SkinsSection& section : manifest.pictures)
        if (section.folder == skin::PictureFolder::PopDlg || section.folder == skin::PictureFolder::Root)
            shared.push_back(section.section);
    const std::vector<std::string>& sets = skin::resolutionSets();
    std::array<xml::CXmlDoc, 3> documents;
    ASSERT_EQ(sets.size(), documents.size());
    for (std::size_t set = 0; set < sets.size(); ++set) loadButtons(documents[set], sets[set]);
    xml::CXmlDoc& reference = documents[0];
    int compared = 0;
    for (const skin::KeySet& keys : manifest.buttons) {
        if (std::find(shared.begin(), shared.end(), keys.section) == shared.end()) continue;
        for (std::size_t set = 1; set < sets.size(); ++set) {
            xml::CXmlDoc& other = documents[set];
            for (const std::string& key : keys.keys) {
                const std::string expected = skin::GetSkinText(reference, keys.section, key);
                EXPECT_EQ(skin::GetSkinText(other, keys.section, key), expected)
                    << sets[set] << " " << keys.section << "/" << key;
                for (const char* attribute : {"SIZE", "OFFSETX", "OFFSETY"})
                    EXPECT_EQ(skin::GetSkinAttribute(other, keys.section, key, attribute),
                              skin::GetSkinAttribute(reference, keys.section, key, attribute))
                        << sets[set] << " " << keys.section << "/" << key << " " << attribute;
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 0);
}

}  // namespace
