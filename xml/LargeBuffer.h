#pragma once

#include <cstddef>

namespace xml {

// Asks the kernel to back the untouched memory of a large buffer with huge
// pages: a 50 MiB document then costs a few hundred page faults instead of
// tens of thousands. A hint only; small buffers and refusals change nothing.
void adviseHugePages(void* data, std::size_t bytes);

}  // namespace xml
