#include "app/DebugLog.h"

#include "platform/AtomicFile.h"
#include "platform/Folders.h"
#include "platform/Utf16.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>

namespace app {
namespace {

constexpr std::size_t kMessageLimit = 1023;  // a 1024-character buffer with its terminator

}  // namespace

std::string debugLogPath() { return platform::desktopFolder() + "/Mq7 debug.log"; }

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
    if (ok && info.st_size == 0) ok = platform::writeAll(fd, "\xFF\xFE");
    if (ok) ok = platform::writeAll(fd, platform::utf16ToLittleEndianBytes(platform::utf8ToUtf16(line)));
    ::close(fd);
    return ok;
}

void DebugLog(const char* format, ...) {
    char buffer[4 * kMessageLimit + 1];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    std::u16string message = platform::utf8ToUtf16(length < 0 ? std::string_view() : std::string_view(buffer));
    if (message.size() > kMessageLimit) message.resize(kMessageLimit);

    const std::time_t now = std::time(nullptr);
    std::tm local {};
    const std::string line =
        formatDebugLine(localtime_r(&now, &local) ? &local : nullptr, platform::utf16ToUtf8(message));
    appendDebugLine(debugLogPath(), line);
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size() - 2), line.c_str());
}

}  // namespace app
