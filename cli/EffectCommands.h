#pragma once

#include "effects/EffectModel.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

// lumenstra-cli commands that read and change what the controllers run:
// list, read, apply, set, restore, rename, group, reset and zelvor.
namespace cli {

// "static", "mode_07", … "light_off"; empty when unknown.
std::optional<std::int32_t> effectFromName(const std::string& name);
std::string effectName(std::int32_t effect);
// "RRGGBB" to 0x00BBGGRR.
std::optional<effects::Colour> parseColour(const std::string& text);
std::string colourText(effects::Colour colour);

int runDeviceList(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
int runRead(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
int runApply(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
int runSet(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
int runRestore(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
int runRename(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
int runGroup(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
int runReset(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
int runZelvor(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace cli
