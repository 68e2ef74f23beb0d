#include "updater/Package.h"

#include "platform/LittleEndian.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace updater {
namespace {

constexpr std::size_t kGroupRecordSize = 104;
constexpr std::size_t kGroupBlockSize = 1760;
constexpr std::size_t kImageEntrySize = 80;
constexpr std::size_t kGroupBlocksOffset = 520;
constexpr std::size_t kSelectorOffset = 9320;
constexpr std::size_t kDefaultGroupOffset = 9321;
constexpr std::size_t kTitleOffset = 9322;
constexpr std::size_t kCaptionsOffset = 9842;
constexpr std::size_t kMarkerOffset = 11403;
constexpr std::uint8_t kMarker[10] = {'.', 'm', 'a', 'a', 'V', '1', '0', '6', 0, 0};
// Trailer bytes 11413-11415, never read by older updaters and zero in their packages.
constexpr std::size_t kChecksumMarkerOffset = 11413;
constexpr std::uint8_t kChecksumMarker[3] = {'S', 'H', '1'};
constexpr std::uint8_t kChecksumMagic[8] = {'N', 'M', 'B', 'R', 'S', 'U', 'M', 'S'};
constexpr std::size_t kDigestSize = 32;
constexpr std::size_t kPackageDigestOffset = kChecksumBlockSize - kDigestSize;

// Little-endian fields of a byte block.
class Reader {
public:
    Reader(const std::vector<std::uint8_t>& bytes, std::size_t base) : m_bytes(bytes), m_base(base) {}
    std::uint8_t u8(std::size_t offset) const { return m_bytes[m_base + offset]; }
    std::uint16_t u16(std::size_t offset) const { return platform::readLe16(m_bytes.data() + m_base + offset); }
    std::uint32_t u32(std::size_t offset) const { return platform::readLe32(m_bytes.data() + m_base + offset); }
    std::u16string text(std::size_t offset, std::size_t fieldSize) const {
        std::u16string text;
        for (std::size_t i = 0; i + 1 < fieldSize; i += 2) {
            const char16_t unit = u16(offset + i);
            if (unit == 0) break;
            text += unit;
        }
        return text;
    }

private:
    const std::vector<std::uint8_t>& m_bytes;
    std::size_t m_base;
};

class Writer {
public:
    Writer(std::vector<std::uint8_t>& bytes, std::size_t base) : m_bytes(bytes), m_base(base) {}
    void u8(std::size_t offset, std::uint8_t value) { m_bytes[m_base + offset] = value; }
    void u16(std::size_t offset, std::uint16_t value) { platform::writeLe16(m_bytes.data() + m_base + offset, value); }
    void u32(std::size_t offset, std::uint32_t value) { platform::writeLe32(m_bytes.data() + m_base + offset, value); }
    // Cut so that the terminator fits; the rest of the field stays zero.
    void text(std::size_t offset, std::size_t fieldSize, const std::u16string& text) {
        const std::size_t units = std::min(text.size(), fieldSize / 2 - 1);
        for (std::size_t i = 0; i < units; ++i) u16(offset + 2 * i, text[i]);
    }

private:
    std::vector<std::uint8_t>& m_bytes;
    std::size_t m_base;
};

std::size_t recordBase(int group) { return group * kGroupRecordSize; }
std::size_t blockBase(int group) { return kGroupBlocksOffset + group * kGroupBlockSize; }
std::size_t entryBase(int group, int image) { return blockBase(group) + 1040 + image * kImageEntrySize; }

bool readAt(int fd, std::uint64_t position, std::uint8_t* buffer, std::size_t length) {
    while (length > 0) {
        const ssize_t got = ::pread(fd, buffer, length, static_cast<off_t>(position));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        buffer += got;
        position += static_cast<std::uint64_t>(got);
        length -= static_cast<std::size_t>(got);
    }
    return true;
}

class File {
public:
    explicit File(const std::string& path) : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~File() {
        if (m_fd >= 0) ::close(m_fd);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    int fd() const { return m_fd; }
    // The size of a regular file; nothing for anything else.
    bool size(std::uint64_t& size) const {
        struct stat info {};
        if (m_fd < 0 || ::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
        size = static_cast<std::uint64_t>(info.st_size);
        return true;
    }

private:
    int m_fd;
};

enum class TrailerRead { Ok, CannotOpen, CannotRead, NoMarker };

TrailerRead readTrailer(const File& file, std::uint64_t& fileSize, Trailer& trailer, std::vector<std::uint8_t>& bytes) {
    if (file.fd() < 0 || !file.size(fileSize)) return TrailerRead::CannotOpen;
    bytes.assign(kTrailerSize, 0);
    if (fileSize < kTrailerSize || !readAt(file.fd(), fileSize - kTrailerSize, bytes.data(), bytes.size()))
        return TrailerRead::CannotRead;
    Descramble(bytes.data(), bytes.size());
    if (!hasPackageMarker(bytes)) return TrailerRead::NoMarker;
    trailer = parseTrailer(bytes);
    return TrailerRead::Ok;
}

using Digest = std::array<std::uint8_t, kDigestSize>;

Digest toDigest(const QByteArray& hash) {
    Digest digest{};
    std::copy_n(hash.constData(), std::min<std::size_t>(kDigestSize, static_cast<std::size_t>(hash.size())),
                digest.begin());
    return digest;
}

void addBytes(QCryptographicHash& hash, const std::uint8_t* bytes, std::size_t length) {
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(length)));
}

Digest imageDigest(const FirmwareImage& image) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    addBytes(hash, image.data.data(), image.data.size());
    addBytes(hash, image.info.data(), image.info.size());
    return toDigest(hash.result());
}

// The whole package: the checksum block up to its own digest, the trailer and
// every part, all as descrambled.
Digest packageDigest(const std::vector<std::uint8_t>& block, const std::vector<std::uint8_t>& trailerBytes,
                     const std::array<FirmwareImage, kGroupCount * kImagesPerGroup>& images) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    addBytes(hash, block.data(), kPackageDigestOffset);
    addBytes(hash, trailerBytes.data(), trailerBytes.size());
    for (const FirmwareImage& image : images) {
        addBytes(hash, image.data.data(), image.data.size());
        addBytes(hash, image.info.data(), image.info.size());
    }
    return toDigest(hash.result());
}

std::vector<std::uint8_t> checksumBlock(const std::vector<std::uint8_t>& trailerBytes,
                                        const std::array<FirmwareImage, kGroupCount * kImagesPerGroup>& images) {
    std::vector<std::uint8_t> block(kChecksumBlockSize, 0);
    std::copy(std::begin(kChecksumMagic), std::end(kChecksumMagic), block.begin());
    for (std::size_t n = 0; n < images.size(); ++n) {
        if (images[n].data.empty()) continue;
        const Digest digest = imageDigest(images[n]);
        std::copy(digest.begin(), digest.end(),
                  block.begin() + static_cast<std::ptrdiff_t>(sizeof kChecksumMagic + n * kDigestSize));
    }
    const Digest whole = packageDigest(block, trailerBytes, images);
    std::copy(whole.begin(), whole.end(), block.begin() + static_cast<std::ptrdiff_t>(kPackageDigestOffset));
    return block;
}

bool hasChecksumMarker(const std::vector<std::uint8_t>& trailerBytes) {
    return std::equal(std::begin(kChecksumMarker), std::end(kChecksumMarker),
                      trailerBytes.begin() + kChecksumMarkerOffset);
}

}  // namespace

void Descramble(std::uint8_t* b, std::size_t n) {
    if (n > 5)
        for (std::size_t k = 0; 5 * k + 4 <= n - 2; ++k) std::swap(b[5 * k], b[5 * k + 4]);
    if (n > 1)
        for (std::size_t k = 0; 2 * k + 1 <= n - 1; ++k) std::swap(b[2 * k], b[2 * k + 1]);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(static_cast<std::uint8_t>(b[i] - 7) << 4 | b[i] >> 4);
}

void Scramble(std::uint8_t* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t high = b[i] & 0x0F;  // was the original's high nibble
        const std::uint8_t low = static_cast<std::uint8_t>(((b[i] >> 4) + 7) & 0x0F);
        b[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    if (n > 1)
        for (std::size_t k = 0; 2 * k + 1 <= n - 1; ++k) std::swap(b[2 * k], b[2 * k + 1]);
    if (n > 5)
        for (std::size_t k = 0; 5 * k + 4 <= n - 2; ++k) std::swap(b[5 * k], b[5 * k + 4]);
}

bool hasPackageMarker(const std::vector<std::uint8_t>& trailerBytes) {
    return trailerBytes.size() == kTrailerSize &&
           std::memcmp(trailerBytes.data() + kMarkerOffset, kMarker, sizeof kMarker) == 0;
}

Trailer parseTrailer(const std::vector<std::uint8_t>& bytes) {
    Trailer trailer;
    if (bytes.size() != kTrailerSize) return trailer;
    for (int group = 0; group < kGroupCount; ++group) {
        const Reader record(bytes, recordBase(group));
        GroupRecord& r = trailer.groupRecords[group];
        for (int i = 0; i < kIdentitiesPerGroup; ++i)
            for (std::size_t b = 0; b < kIdentitySize; ++b) r.identities[i][b] = record.u8(i * kIdentitySize + b);
        r.subDeviceScan = record.u8(80);
        r.subDevice = record.u8(81);
        r.bootVendorId = record.u32(84);
        r.bootProductId = record.u32(88);
        r.appVendorId = record.u32(92);
        r.appProductId = record.u32(96);
        r.writeBlockSize = record.u8(100);

        const Reader block(bytes, blockBase(group));
        GroupBlock& g = trailer.groupBlocks[group];
        g.name = block.text(0, kTextFieldSize);
        g.versionText = block.text(520, kTextFieldSize);
        for (int image = 0; image < kImagesPerGroup; ++image) {
            const Reader entry(bytes, entryBase(group, image));
            ImageEntry& e = g.images[image];
            e.dataLength = entry.u32(0);
            e.infoLength = entry.u32(4);
            e.name = entry.text(8, kImageNameSize);
            e.boardId = entry.u16(68);
            e.version = {entry.u8(70), entry.u8(71), entry.u32(72)};
        }
    }
    const Reader top(bytes, 0);
    trailer.groupSelectorShown = top.u8(kSelectorOffset);
    trailer.defaultImageGroup = top.u8(kDefaultGroupOffset);
    trailer.title = top.text(kTitleOffset, kTextFieldSize);
    for (int i = 0; i < 3; ++i) trailer.captions[i] = top.text(kCaptionsOffset + i * kTextFieldSize, kTextFieldSize);
    return trailer;
}

std::vector<std::uint8_t> serializeTrailer(const Trailer& trailer) {
    std::vector<std::uint8_t> bytes(kTrailerSize, 0);
    for (int group = 0; group < kGroupCount; ++group) {
        Writer record(bytes, recordBase(group));
        const GroupRecord& r = trailer.groupRecords[group];
        for (int i = 0; i < kIdentitiesPerGroup; ++i)
            for (std::size_t b = 0; b < kIdentitySize; ++b) record.u8(i * kIdentitySize + b, r.identities[i][b]);
        record.u8(80, r.subDeviceScan);
        record.u8(81, r.subDevice);
        record.u32(84, r.bootVendorId);
        record.u32(88, r.bootProductId);
        record.u32(92, r.appVendorId);
        record.u32(96, r.appProductId);
        record.u8(100, r.writeBlockSize);

        Writer block(bytes, blockBase(group));
        const GroupBlock& g = trailer.groupBlocks[group];
        block.text(0, kTextFieldSize, g.name);
        block.text(520, kTextFieldSize, g.versionText);
        for (int image = 0; image < kImagesPerGroup; ++image) {
            Writer entry(bytes, entryBase(group, image));
            const ImageEntry& e = g.images[image];
            entry.u32(0, e.dataLength);
            entry.u32(4, e.infoLength);
            entry.text(8, kImageNameSize, e.name);
            entry.u16(68, e.boardId);
            entry.u8(70, e.version.major);
            entry.u8(71, e.version.minor);
            entry.u32(72, e.version.build);
        }
    }
    Writer top(bytes, 0);
    top.u8(kSelectorOffset, trailer.groupSelectorShown);
    top.u8(kDefaultGroupOffset, trailer.defaultImageGroup);
    top.text(kTitleOffset, kTextFieldSize, trailer.title);
    for (int i = 0; i < 3; ++i) top.text(kCaptionsOffset + i * kTextFieldSize, kTextFieldSize, trailer.captions[i]);
    std::memcpy(bytes.data() + kMarkerOffset, kMarker, sizeof kMarker);
    return bytes;
}

PackageLoad LoadPackage(const std::string& path) {
    PackageLoad load;
    const File file(path);
    std::uint64_t fileSize = 0;
    std::vector<std::uint8_t> trailerBytes;
    switch (readTrailer(file, fileSize, load.package.trailer, trailerBytes)) {
    case TrailerRead::CannotOpen: load.message = kCannotOpenMessage; return load;
    case TrailerRead::CannotRead: load.message = kCannotReadMessage; return load;
    case TrailerRead::NoMarker: load.message = kNoMarkerMessage; return load;
    case TrailerRead::Ok: break;
    }

    // Parts lie back to front in front of the trailer; each must fit in the
    // bytes that are really there.
    std::uint64_t position = fileSize - kTrailerSize;
    const auto readPart = [&](std::uint32_t length, std::vector<std::uint8_t>& part) {
        if (length > position) return false;
        position -= length;
        part.assign(length, 0);
        if (!readAt(file.fd(), position, part.data(), length)) return false;
        Descramble(part.data(), part.size());
        return true;
    };
    for (int group = kGroupCount - 1; group >= 0; --group) {
        for (int image = kImagesPerGroup - 1; image >= 0; --image) {
            const ImageEntry& entry = load.package.trailer.groupBlocks[group].images[image];
            if (entry.dataLength == 0) continue;
            FirmwareImage& target = load.package.images[group * kImagesPerGroup + image];
            if (!readPart(entry.infoLength, target.info) || !readPart(entry.dataLength, target.data)) {
                target = FirmwareImage{};
                return load;  // ok stays false; the updater shows nothing more
            }
        }
    }
    // The block sits in front of the first part. It is looked for even when
    // the trailer's mark is missing, so that a damaged mark is noticed too.
    const bool marked = hasChecksumMarker(trailerBytes);
    std::vector<std::uint8_t> block(kChecksumBlockSize, 0);
    bool present = false;
    if (position >= kChecksumBlockSize &&
        readAt(file.fd(), position - kChecksumBlockSize, block.data(), block.size())) {
        Descramble(block.data(), block.size());
        present = std::equal(std::begin(kChecksumMagic), std::end(kChecksumMagic), block.begin());
    }
    if (marked || present) {
        if (!present || checksumBlock(trailerBytes, load.package.images) != block) {
            load.package = FirmwarePackage{};
            load.message = kDamagedMessage;
            return load;
        }
        load.package.checksummed = true;
    }
    load.ok = true;
    return load;
}

bool ReadPackageTrailer(const std::string& path, Trailer& trailer) {
    const File file(path);
    std::uint64_t fileSize = 0;
    std::vector<std::uint8_t> bytes;
    return readTrailer(file, fileSize, trailer, bytes) == TrailerRead::Ok;
}

std::vector<std::uint8_t> BuildPackage(Trailer trailer,
                                       const std::array<FirmwareImage, kGroupCount * kImagesPerGroup>& images,
                                       bool withChecksums) {
    std::vector<std::uint8_t> package;
    const auto append = [&package](std::vector<std::uint8_t> part) {
        Scramble(part.data(), part.size());
        package.insert(package.end(), part.begin(), part.end());
    };
    // Only what the table describes is stored and summed.
    std::array<FirmwareImage, kGroupCount * kImagesPerGroup> stored;
    for (std::size_t n = 0; n < images.size(); ++n)
        if (!images[n].data.empty()) stored[n] = images[n];
    for (int group = 0; group < kGroupCount; ++group)
        for (int image = 0; image < kImagesPerGroup; ++image) {
            const FirmwareImage& source = stored[static_cast<std::size_t>(group * kImagesPerGroup + image)];
            ImageEntry& entry = trailer.groupBlocks[group].images[image];
            entry.dataLength = static_cast<std::uint32_t>(source.data.size());
            entry.infoLength = static_cast<std::uint32_t>(source.info.size());
        }
    std::vector<std::uint8_t> trailerBytes = serializeTrailer(trailer);
    if (withChecksums) {
        std::copy(std::begin(kChecksumMarker), std::end(kChecksumMarker), trailerBytes.begin() + kChecksumMarkerOffset);
        append(checksumBlock(trailerBytes, stored));
    }
    for (int group = 0; group < kGroupCount; ++group) {
        for (int image = 0; image < kImagesPerGroup; ++image) {
            const FirmwareImage& source = stored[static_cast<std::size_t>(group * kImagesPerGroup + image)];
            if (source.data.empty()) continue;
            append(source.data);
            append(source.info);
        }
    }
    append(std::move(trailerBytes));
    return package;
}

}  // namespace updater
