// Feeds arbitrary updater files to the package reader. Most inputs are made
// to pass the marker check, so that the image table's lengths and positions
// (the part a damaged or hostile file attacks) are what gets explored.
#include "updater/Package.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kMarkerOffset = 11403;
constexpr std::uint8_t kMarker[10] = {'.', 'm', 'a', 'a', 'V', '1', '0', '6', 0, 0};

// The file the reader opens: an in-memory file rewritten for every input.
int inputFile() {
    static const int fd = [] {
        const int created = ::memfd_create("package-fuzz-input", 0);
        if (created < 0) std::abort();
        return created;
    }();
    return fd;
}

std::string writeInput(const std::vector<std::uint8_t>& bytes) {
    const int fd = inputFile();
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
        std::abort();
    return "/proc/self/fd/" + std::to_string(fd);
}

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

// Byte 0 odd: the rest is the file as it is. Byte 0 even: the rest is the
// image region followed by a plain trailer, which gets the marker and is
// scrambled as a packer would.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::vector<std::uint8_t> file(data + 1, data + size);
    if (data[0] % 2 == 0 && file.size() >= updater::kTrailerSize) {
        std::uint8_t* trailer = file.data() + file.size() - updater::kTrailerSize;
        std::copy(std::begin(kMarker), std::end(kMarker), trailer + kMarkerOffset);
        updater::Scramble(trailer, updater::kTrailerSize);
    }
    const std::string path = writeInput(file);
    const updater::PackageLoad load = updater::LoadPackage(path);
    updater::Trailer trailer;
    const bool trailerRead = updater::ReadPackageTrailer(path, trailer);
    if (!load.ok) return 0;
    check(trailerRead && trailer == load.package.trailer);
    // A package that loads holds exactly the parts its table describes.
    std::size_t total = updater::kTrailerSize;
    for (int g = 0; g < updater::kGroupCount; ++g)
        for (int n = 0; n < updater::kImagesPerGroup; ++n) {
            const updater::ImageEntry& entry = load.package.trailer.groupBlocks[g].images[n];
            const updater::FirmwareImage& image = load.package.image(g, n);
            if (entry.dataLength == 0) continue;
            check(image.data.size() == entry.dataLength && image.info.size() == entry.infoLength);
            total += image.data.size() + image.info.size();
        }
    check(total <= file.size());
    return 0;
}
