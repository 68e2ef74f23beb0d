#include "platform/DebugLog.h"

#include "platform/AtomicFile.h"
#include "platform/Folders.h"
#include "platform/Utf16.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace platform {
namespace {

constexpr std::size_t kMessageLimit = 1023;  // a 1024-character buffer with its terminator

std::atomic<bool> g_debugLog{false};

std::string formatMessage(const char* format, va_list arguments) {
    char buffer[4 * kMessageLimit + 1];
    const int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
    std::u16string message = utf8ToUtf16(length < 0 ? std::string_view() : std::string_view(buffer));
    if (message.size() > kMessageLimit) message.resize(kMessageLimit);
    return utf16ToUtf8(message);
}

void writeDebugLog(const std::string& message) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    const std::string line = formatDebugLine(localtime_r(&now, &local) ? &local : nullptr, message);
    appendDebugLine(debugLogPath(), line);
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size() - 2), line.c_str());
}

}  // namespace

Q_LOGGING_CATEGORY(lumenstraDebug, "lumenstra.debug", QtWarningMsg)

void enableDebugLog(bool enabled) { g_debugLog = enabled; }

bool debugLogEnabled() { return g_debugLog; }

std::string debugLogPath() { return desktopFolder() + "/Mq7 debug.log"; }

std::string formatDebugLine(const std::tm* localTime, std::string_view message) {
    char stamp[128] = "";
    if (localTime && std::strftime(stamp, sizeof stamp, "%m/%d %H:%M ", localTime) == 0) stamp[0] = '\0';
    return std::string(stamp) + std::string(message) + "\r\n";
}

bool appendDebugLine(const std::string& path, std::string_view line) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0;
    if (ok && info.st_size == 0) ok = writeAll(fd, "\xFF\xFE");
    if (ok) ok = writeAll(fd, utf16ToLittleEndianBytes(utf8ToUtf16(line)));
    ::close(fd);
    return ok;
}

void DebugLog(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const std::string message = formatMessage(format, arguments);
    va_end(arguments);
    writeDebugLog(message);
}

void DebugTrace(const char* format, ...) {
    if (!g_debugLog && !lumenstraDebug().isDebugEnabled()) return;
    va_list arguments;
    va_start(arguments, format);
    const std::string message = formatMessage(format, arguments);
    va_end(arguments);
    if (g_debugLog)
        writeDebugLog(message);
    else
        std::fprintf(stderr, "%s\n", message.c_str());
}

}  // namespace platform
