#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace app {

// The debug log on the user's desktop: "Mq7 debug.log", UTF-16LE with FF FE at
// the start, never truncated. Callers test the debug flag before each call.
std::string debugLogPath();

// "MM/DD HH:MM " + message + CR LF; no time gives no time stamp.
std::string formatDebugLine(const std::tm* localTime, std::string_view message);

// Appends one line as UTF-16LE, writing FF FE first when the file is empty.
// False when the file cannot be opened or written.
bool appendDebugLine(const std::string& path, std::string_view line);

// Formats the message (printf-style, cut at 1023 characters), stamps it with the
// local time, appends it to the debug log and writes it to standard error,
// whether or not the file could be written.
void DebugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace app
