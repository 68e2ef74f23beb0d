#pragma once

#include "devicelink/ControllerKinds.h"

#include <array>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

// lumenstra-cli: the device link without a window. The commands take the
// arguments after the command word and write to the given streams; their
// results are the process exit codes.
namespace cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;    // a controller command failed; a file is missing, unreadable or no profile
inline constexpr int kExitNoDevice = 2;   // no such controller
inline constexpr int kExitNoAccess = 3;   // no backend, or no permission to open the controllers
inline constexpr int kExitUsage = 64;     // bad command line

using devicelink::Family;

struct RawRequest {
    Family family = Family::Standard;
    int device = 0;
    std::uint8_t cmd = 0;
    std::uint8_t key = 0;
    std::uint16_t index = 0;
    std::array<std::uint8_t, 60> data{};
};

// "standard" or "led5"; false with a message naming the value otherwise.
bool parseFamily(const std::string& value, Family& family, std::string& error);

// Parses "[--family standard|led5] [--device N] CMD KEY INDEX [DATAHEX]";
// numbers are hexadecimal, DATAHEX up to 60 bytes. Empty with `error` set on
// bad input.
std::optional<RawRequest> parseRawArguments(const std::vector<std::string>& arguments, std::string& error);

// The record as 128 lower-case hex digits.
std::string recordHex(const std::array<std::uint8_t, 64>& record);

// Dispatches on the first argument; handles --help for every command.
int runCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace cli
