#pragma once

#include <string>

// The fonts the program carries, installed for its own process only, and the
// hand-over of web addresses to the user's browser.
namespace skin {

// Resource numbers of the carried fonts, installed in the order 149, 150, 148.
constexpr int kFontNotoSans = 148;
constexpr int kFontCondensedMedium = 149;
constexpr int kFontCondensedBook = 150;

// A font holder is the installed font's id, -1 when nothing is installed.
constexpr int kNoFont = -1;

// Installs one carried font; a holder that is not empty on entry is reported
// ("Font hande is not null!!") and cleared first, and a failed installation
// ("Font add fails") leaves it empty.
void LoadPrivateFont(int resourceId, int& holder);
// Removes an installed font and empties the holder.
void RemovePrivateFont(int& holder);

// Opens the address with xdg-open: 0 when it started, -1 otherwise.
int OpenInBrowser(const std::string& address);

}  // namespace skin
