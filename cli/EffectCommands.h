#pragma once

#include "effects/EffectModel.h"

#include <optional>
#include <string>

// The names and colour texts of lumenstra-cli's effect commands.
namespace cli {

// "static", "mode_07", … "light_off"; empty when unknown.
std::optional<std::int32_t> effectFromName(const std::string& name);
std::string effectName(std::int32_t effect);
// "RRGGBB" to 0x00BBGGRR.
std::optional<effects::Colour> parseColour(const std::string& text);
std::string colourText(effects::Colour colour);

}  // namespace cli
