// nimbrel-demo-image: writes a synthetic firmware image (data part) and its
// version-area content (information part) for the demo updaters, so that an
// update through the simulator has something recognisable to write.
#include "platform/AtomicFile.h"
#include "platform/LittleEndian.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kInfoSize = 180;          // three 60-byte blocks of the version area
constexpr std::size_t kApplicationBlock = 120;  // block 2 holds the application information

bool parseVersion(const char* text, unsigned& major, unsigned& minor, unsigned long& build) {
    char tail = 0;
    return std::sscanf(text, "%u.%u.%lu%c", &major, &minor, &build, &tail) == 3 && major < 256 && minor < 256 &&
           build <= 0xFFFFFFFFul;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5 || std::string(argv[1]) == "--help") {
        std::fprintf(argc == 2 ? stdout : stderr,
                     "Usage: nimbrel-demo-image DATA_FILE INFO_FILE MAJOR.MINOR.BUILD SIZE\n"
                     "Writes a SIZE-byte synthetic image and the version-area content for that version.\n");
        return argc == 2 ? 0 : 64;
    }
    unsigned major = 0, minor = 0;
    unsigned long build = 0;
    char* end = nullptr;
    const unsigned long size = std::strtoul(argv[4], &end, 10);
    if (!parseVersion(argv[3], major, minor, build) || *end != '\0' || size == 0 || size > (1ul << 24)) {
        std::fprintf(stderr, "nimbrel-demo-image: bad version or size\n");
        return 64;
    }
    std::vector<std::uint8_t> data(size);
    std::uint32_t state = 0x9E3779B9u ^ static_cast<std::uint32_t>(build);
    for (auto& byte : data) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    std::vector<std::uint8_t> info(kInfoSize, 0xFF);
    info[kApplicationBlock + 2] = static_cast<std::uint8_t>(major);
    info[kApplicationBlock + 3] = static_cast<std::uint8_t>(minor);
    platform::writeLe32(info.data() + kApplicationBlock + 4, static_cast<std::uint32_t>(build));
    platform::writeLe16(info.data() + kApplicationBlock + 56, 0x5AA5);
    const std::string dataBytes(data.begin(), data.end());
    const std::string infoBytes(info.begin(), info.end());
    if (!platform::replaceFileContents(argv[1], dataBytes) || !platform::replaceFileContents(argv[2], infoBytes)) {
        std::fprintf(stderr, "nimbrel-demo-image: cannot write the files\n");
        return 1;
    }
    return 0;
}
