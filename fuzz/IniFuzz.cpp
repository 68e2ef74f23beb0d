// Feeds arbitrary bytes as a settings file through CIniFile: reads, one write,
// and checks that the write kept every other line's bytes and values and that
// the written value reads back.
#include "platform/AtomicFile.h"
#include "platform/IniFile.h"

#include <stdlib.h>

#include <array>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

// The settings file, in a folder of its own made once (in memory when
// /dev/shm is there: every write syncs) and removed at exit.
std::string folder;

void removeFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

const std::string& inputPath() {
    static const std::string path = [] {
        std::error_code error;
        const char* base = std::filesystem::is_directory("/dev/shm", error) ? "/dev/shm" : std::getenv("TMPDIR");
        folder = std::string(base && *base == '/' ? base : "/tmp") + "/ini-fuzz-XXXXXX";
        if (!::mkdtemp(folder.data())) std::abort();
        std::atexit(removeFolder);
        return folder + "/config.ini";
    }();
    return path;
}

constexpr std::array<const char*, 5> kSections = {"Setting", "NAME", "EFFECT", "s", "Sync"};
constexpr std::array<const char*, 5> kKeys = {"Profile", "PROFILE_NAME", "k", "x", "SYNC"};
// Values that read back as written: no blanks at the ends, no enclosing quotes, no line breaks.
constexpr std::array<const char*, 6> kValues = {"1", "0x1F", "caf\xC3\xA9", "01ABFFAB", "", "a b"};

// Where the text after the byte-order mark begins, and how wide a unit is.
struct Layout {
    std::size_t mark = 0;
    std::size_t unit = 1;
};

Layout layoutOf(std::string_view bytes) {
    if (bytes.substr(0, 2) == "\xFF\xFE") return {2, 2};
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return {3, 1};
    return {};
}

// The lines with their line feeds, byte for byte; what follows the last line feed is a line too.
std::vector<std::string_view> linesOf(std::string_view bytes, Layout layout) {
    std::vector<std::string_view> lines;
    std::size_t begin = layout.mark;
    for (std::size_t at = layout.mark; at + layout.unit <= bytes.size(); at += layout.unit) {
        if (bytes[at] != '\n' || (layout.unit == 2 && bytes[at + 1] != '\0')) continue;
        lines.push_back(bytes.substr(begin, at + layout.unit - begin));
        begin = at + layout.unit;
    }
    if (begin < bytes.size()) lines.push_back(bytes.substr(begin));
    return lines;
}

// True when every line of `before` but at most one is in `after`, in order.
bool keepsAllLinesButOne(const std::vector<std::string_view>& before, const std::vector<std::string_view>& after) {
    const std::size_t n = before.size();
    // prefix[i]: the fewest lines of `after` that hold before[0, i) in order;
    // suffix[i]: where the latest start is that still holds before[i, n).
    std::vector<std::size_t> prefix(n + 1, after.size() + 1);
    prefix[0] = 0;
    for (std::size_t i = 0, j = 0; i < n; ++i) {
        while (j < after.size() && after[j] != before[i]) ++j;
        if (j == after.size()) break;
        prefix[i + 1] = ++j;
    }
    std::vector<long> suffix(n + 1, -1);
    suffix[n] = static_cast<long>(after.size());
    for (std::size_t i = n, j = after.size(); i > 0; --i) {
        while (j > 0 && after[j - 1] != before[i - 1]) --j;
        if (j == 0) break;
        suffix[i - 1] = static_cast<long>(--j);
    }
    if (prefix[n] <= after.size()) return true;
    for (std::size_t skipped = 0; skipped < n; ++skipped)
        if (prefix[skipped] <= after.size() && suffix[skipped + 1] >= 0 &&
            prefix[skipped] <= static_cast<std::size_t>(suffix[skipped + 1]))
            return true;
    return false;
}

bool sameName(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const char* section = kSections[data[0] % kSections.size()];
    const char* key = kKeys[(data[0] / kSections.size()) % kKeys.size()];
    const char* value = kValues[data[1] % kValues.size()];
    const std::string before(reinterpret_cast<const char*>(data) + 2, size - 2);
    const std::string& path = inputPath();
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file << before;
        check(file.good());
    }

    const platform::CIniFile ini(path);
    std::vector<std::string> valuesBefore;
    for (const char* s : kSections)
        for (const char* k : kKeys) valuesBefore.push_back(ini.readString(s, k, "\x01missing"));
    (void)ini.readInt(section, key, 7);
    std::array<std::uint8_t, 3> block{};
    (void)ini.readStruct(section, key, block);

    check(ini.writeString(section, key, value));
    const std::optional<std::string> after = platform::readWholeFile(path);
    check(after.has_value());
    const Layout layout = layoutOf(before);
    check(after->substr(0, layout.mark) == before.substr(0, layout.mark));
    check(layoutOf(*after).mark == layout.mark);
    check(keepsAllLinesButOne(linesOf(before, layout), linesOf(*after, layout)));

    check(ini.readString(section, key, "\x01missing") == value);
    std::size_t index = 0;
    for (const char* s : kSections)
        for (const char* k : kKeys) {
            if (!(sameName(s, section) && sameName(k, key)))
                check(ini.readString(s, k, "\x01missing") == valuesBefore[index]);
            ++index;
        }
    return 0;
}
