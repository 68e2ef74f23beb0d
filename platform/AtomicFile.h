#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Writes every byte to the open file descriptor, retrying short writes.
bool writeAll(int fd, std::string_view bytes);

// Files larger than this are refused as outside input rather than read whole.
constexpr std::size_t kMaxReadFileSize = 64u << 20;

// The file's bytes, or nothing when it is missing, unreadable or too large.
std::optional<std::string> readWholeFile(const std::string& path);

// Replaces the file's contents as one step: the bytes go to a temporary file in
// the same folder, are flushed to disk, and the temporary file is renamed over
// the original. On any failure the original is left as it was. A symbolic link
// is followed to the file it leads to, which is replaced, so the link stays.
// Temporary files that a killed save of the same file left there are removed.
bool replaceFileContents(const std::string& path, std::string_view bytes);

// Creates the file with `bytes` when nothing exists at the path (or at the end
// of the symbolic links it names). True when the file exists afterwards (made
// now or before).
bool createFileIfMissing(const std::string& path, std::string_view bytes);

}  // namespace platform
