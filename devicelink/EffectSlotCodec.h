#pragma once

#include <array>
#include <cstdint>

// The effect slot carries speed levels 0-4 and brightness levels 0-2 in the
// model, device values on the wire. Both directions translate in place.
namespace devicelink {

using EffectBlock = std::array<std::uint8_t, 60>;

void effectBlockToDevice(EffectBlock& block);
void effectBlockFromDevice(EffectBlock& block);

}  // namespace devicelink
