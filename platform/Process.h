#pragma once

#include <string>
#include <vector>

namespace platform {

// Starts `program` with `arguments` (no shell, no path search) as a detached
// process that is not our child, so it never lingers as a zombie and may
// outlive us. True when the program image was executed.
bool startDetached(const std::string& program, const std::vector<std::string>& arguments = {});

}  // namespace platform
