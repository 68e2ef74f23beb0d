#pragma once

#include <QLoggingCategory>

#include <ctime>
#include <string>
#include <string_view>

namespace platform {

// The debug log on the user's desktop: "Mq7 debug.log", UTF-16LE with FF FE at
// the start, never truncated.
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

// The traces of every layer go through DebugTrace. The program's "debug" word
// sends them to the debug log (and standard error); without it, the category
// "lumenstra.debug" (QT_LOGGING_RULES="lumenstra.debug=true") shows them on
// standard error only. Otherwise they cost two flag tests.
Q_DECLARE_LOGGING_CATEGORY(lumenstraDebug)

// Set once at start-up, before any other thread exists.
void enableDebugLog(bool enabled);
bool debugLogEnabled();

// DebugLog when the debug log is on; standard error when only the category is; else nothing.
void DebugTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace platform
