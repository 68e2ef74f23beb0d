#include "updater/Manifest.h"

#include "platform/AtomicFile.h"
#include "platform/Numbers.h"
#include "platform/Utf16.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <sstream>

namespace updater {
namespace {

std::string trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

std::optional<std::uint64_t> parseHex(std::string_view text) {
    return platform::parseWholeNumber<std::uint64_t>(text, 16);
}

// Decimal, or hexadecimal after a 0x prefix.
std::optional<std::uint64_t> parseNumber(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) return parseHex(text.substr(2));
    return platform::parseWholeNumber<std::uint64_t>(text);
}

std::optional<bool> parseYesNo(const std::string& text) {
    const std::string lower = platform::lowercaseAscii(text);
    if (lower == "yes" || lower == "1" || lower == "true") return true;
    if (lower == "no" || lower == "0" || lower == "false") return false;
    return std::nullopt;
}

class Parser {
public:
    Parser(std::string name, std::string baseFolder) : m_name(std::move(name)), m_base(std::move(baseFolder)) {}

    ManifestLoad run(const std::string& text) {
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line)) {
            ++m_line;
            const std::string content = trim(line);
            if (content.empty() || content.front() == '#') continue;
            if (content.front() == '[') {
                if (!section(content)) return fail();
                continue;
            }
            const auto equals = content.find('=');
            if (equals == std::string::npos) {
                m_error = "expected KEY = VALUE";
                return fail();
            }
            if (!entry(trim(content.substr(0, equals)), trim(content.substr(equals + 1)))) return fail();
        }
        if (!complete()) return fail();
        m_result.ok = true;
        return std::move(m_result);
    }

private:
    ManifestLoad fail() {
        m_result.ok = false;
        m_result.error = m_name + (m_line > 0 ? ":" + std::to_string(m_line) : std::string()) + ": " + m_error;
        return std::move(m_result);
    }

    // What only the whole manifest shows; a problem names the line of the
    // section it belongs to.
    bool complete() {
        const Trailer& trailer = m_result.manifest.trailer;
        bool usable = false;
        for (int g = 0; g < kGroupCount; ++g) {
            const GroupRecord& record = trailer.groupRecords[static_cast<std::size_t>(g)];
            const std::string group = "group " + std::to_string(g + 1);
            if (m_groupLines[g] != 0 && record.appVendorId != 0 && record.writeBlockSize == 0) {
                m_line = m_groupLines[g];
                m_error = group + " has no block_size (1-60)";
                return false;
            }
            for (int i = 0; i < kImagesPerGroup; ++i) {
                const int line = m_imageLines[static_cast<std::size_t>(g * kImagesPerGroup + i)];
                if (line == 0) continue;
                m_line = line;
                const std::string image = "image " + std::to_string(g + 1) + "." + std::to_string(i + 1);
                if (m_result.manifest.images[static_cast<std::size_t>(g * kImagesPerGroup + i)].data.empty()) {
                    m_error = image + " has no data";
                    return false;
                }
                if (record.appVendorId == 0) {
                    m_error = image + " lies in " + group + ", which has no app = VENDOR:PRODUCT";
                    return false;
                }
                usable = true;
            }
        }
        if (!usable) {
            m_line = 0;
            m_error = "no image to update with (an [image G.I] with data in a group with app IDs)";
            return false;
        }
        return true;
    }

    bool section(const std::string& header) {
        int group = 0;
        int image = 0;
        char close = 0;
        if (std::sscanf(header.c_str(), "[group %d%c", &group, &close) == 2 && close == ']' && group >= 1 &&
            group <= kGroupCount) {
            m_group = group - 1;
            m_image = -1;
            if (m_groupLines[m_group] == 0) m_groupLines[m_group] = m_line;
            return true;
        }
        if (std::sscanf(header.c_str(), "[image %d.%d%c", &group, &image, &close) == 3 && close == ']' && group >= 1 &&
            group <= kGroupCount && image >= 1 && image <= kImagesPerGroup) {
            m_group = group - 1;
            m_image = image - 1;
            int& line = m_imageLines[static_cast<std::size_t>(m_group * kImagesPerGroup + m_image)];
            if (line == 0) line = m_line;
            return true;
        }
        m_error = "unknown section " + header + " (use [group 1-5] or [image 1-5.1-9])";
        return false;
    }

    bool number(const std::string& value, std::uint64_t low, std::uint64_t high, std::uint64_t& out) {
        const auto parsed = parseNumber(value);
        if (!parsed || *parsed < low || *parsed > high) {
            m_error = "'" + value + "' is not a number from " + std::to_string(low) + " to " + std::to_string(high);
            return false;
        }
        out = *parsed;
        return true;
    }

    bool usbIds(const std::string& value, std::uint32_t& vendor, std::uint32_t& product) {
        const auto colon = value.find(':');
        const auto v = colon == std::string::npos ? std::nullopt : parseHex(std::string_view(value).substr(0, colon));
        const auto p = colon == std::string::npos ? std::nullopt : parseHex(std::string_view(value).substr(colon + 1));
        if (!v || !p || *v > 0xFFFF || *p > 0xFFFF) {
            m_error = "'" + value + "' is not VENDOR:PRODUCT in hexadecimal";
            return false;
        }
        vendor = static_cast<std::uint32_t>(*v);
        product = static_cast<std::uint32_t>(*p);
        return true;
    }

    bool yesNo(const std::string& value, std::uint8_t& out) {
        const auto parsed = parseYesNo(value);
        if (!parsed) {
            m_error = "'" + value + "' is not yes or no";
            return false;
        }
        out = *parsed ? 1 : 0;
        return true;
    }

    bool readPart(const std::string& value, std::vector<std::uint8_t>& part, std::size_t limit, const char* what) {
        const std::filesystem::path file = std::filesystem::path(m_base) / value;
        const auto bytes = platform::readWholeFile(file.string());
        if (!bytes) {
            m_error = "cannot read " + file.string();
            return false;
        }
        if (bytes->size() > limit) {
            m_error = file.string() + " has " + std::to_string(bytes->size()) + " bytes, more than the " +
                      std::to_string(limit) + " of " + what;
            return false;
        }
        part.assign(bytes->begin(), bytes->end());
        return true;
    }

    // A text is stored whole or not at all: its field keeps room for the terminator.
    bool assign(std::u16string& field, const std::u16string& text, std::size_t fieldSize = kTextFieldSize) {
        const std::size_t room = fieldSize / 2 - 1;
        if (text.size() > room) {
            m_error = "the text has " + std::to_string(text.size()) + " UTF-16 characters; its field holds " +
                      std::to_string(room);
            return false;
        }
        field = text;
        return true;
    }

    bool entry(const std::string& key, const std::string& value) {
        Trailer& trailer = m_result.manifest.trailer;
        const std::u16string text = platform::utf8ToUtf16(value);
        std::uint64_t n = 0;
        if (m_group < 0) {
            if (key == "title") return assign(trailer.title, text);
            if (key == "caption1" || key == "caption2" || key == "caption3")
                return assign(trailer.captions[static_cast<std::size_t>(key.back() - '1')], text);
            if (key == "group_selector") return yesNo(value, trailer.groupSelectorShown);
            if (key == "default_group") {
                if (!number(value, 1, kGroupCount, n)) return false;
                trailer.defaultImageGroup = static_cast<std::uint8_t>(n - 1);
                return true;
            }
        } else if (m_image < 0) {
            GroupRecord& record = trailer.groupRecords[m_group];
            GroupBlock& block = trailer.groupBlocks[m_group];
            if (key == "name") return assign(block.name, text);
            if (key == "version_text") return assign(block.versionText, text);
            if (key == "app") return usbIds(value, record.appVendorId, record.appProductId);
            if (key == "boot") return usbIds(value, record.bootVendorId, record.bootProductId);
            if (key == "sub_device_scan") return yesNo(value, record.subDeviceScan);
            if (key == "sub_device") {
                if (!number(value, 0, 255, n)) return false;
                record.subDevice = static_cast<std::uint8_t>(n);
                return true;
            }
            if (key == "block_size") {
                if (!number(value, 1, 60, n)) return false;
                record.writeBlockSize = static_cast<std::uint8_t>(n);
                return true;
            }
            if (key == "identity") return identity(value, record);
        } else {
            ImageEntry& image = trailer.groupBlocks[m_group].images[m_image];
            FirmwareImage& parts = m_result.manifest.images[m_group * kImagesPerGroup + m_image];
            if (key == "name") return assign(image.name, text, kImageNameSize);
            if (key == "board") {
                if (!number(value, 0, 0xFFFF, n)) return false;
                image.boardId = static_cast<std::uint16_t>(n);
                return true;
            }
            if (key == "version") return version(value, image.version);
            if (key == "data") {
                if (!readPart(value, parts.data, 0xFFFFFFFFu, "a data part")) return false;
                if (parts.data.empty()) m_error = value + " is empty";
                return !parts.data.empty();
            }
            if (key == "info") return readPart(value, parts.info, kVersionAreaSize, "the version area");
        }
        m_error = "unknown key '" + key + "' here";
        return false;
    }

    bool identity(const std::string& value, GroupRecord& record) {
        int& count = m_identityCounts[m_group];
        if (count >= kIdentitiesPerGroup || value.size() != 2 * kIdentitySize) {
            m_error = value.size() != 2 * kIdentitySize ? "an identity is 32 hexadecimal digits"
                                                        : "a group has at most five identities";
            return false;
        }
        DeviceIdentity& target = record.identities[count];
        for (std::size_t i = 0; i < kIdentitySize; ++i) {
            const auto byte = parseHex(std::string_view(value).substr(2 * i, 2));
            if (!byte) {
                m_error = "'" + value + "' is not hexadecimal";
                return false;
            }
            target[i] = static_cast<std::uint8_t>(*byte);
        }
        ++count;
        return true;
    }

    bool version(const std::string& value, FirmwareVersion& version) {
        unsigned major = 0, minor = 0;
        unsigned long build = 0;
        char extra = 0;
        if (std::sscanf(value.c_str(), "%u.%u.%lu%c", &major, &minor, &build, &extra) != 3 || major > 255 ||
            minor > 255 || build > 0xFFFFFFFFul) {
            m_error = "'" + value + "' is not MAJOR.MINOR.BUILD";
            return false;
        }
        version = {static_cast<std::uint8_t>(major), static_cast<std::uint8_t>(minor),
                   static_cast<std::uint32_t>(build)};
        return true;
    }

    std::string m_name;
    std::string m_base;
    ManifestLoad m_result;
    std::string m_error;
    int m_line = 0;
    int m_group = -1;
    int m_image = -1;
    std::array<int, kGroupCount> m_identityCounts{};
    std::array<int, kGroupCount> m_groupLines{};  // 0: no such section
    std::array<int, kGroupCount * kImagesPerGroup> m_imageLines{};
};

std::string hex(std::uint32_t value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
    return buffer;
}

}  // namespace

ManifestLoad ParseManifest(const std::string& text, const std::string& name, const std::string& baseFolder) {
    return Parser(name, baseFolder).run(text);
}

ManifestLoad LoadManifest(const std::string& path) {
    const auto text = platform::readWholeFile(path);
    if (!text) {
        ManifestLoad load;
        load.error = path + ": cannot read the manifest";
        return load;
    }
    return ParseManifest(*text, path, std::filesystem::path(path).parent_path().string());
}

std::string versionText(const FirmwareVersion& version) {
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." + std::to_string(version.build);
}

std::string DescribePackage(const FirmwarePackage& package) {
    const Trailer& trailer = package.trailer;
    std::ostringstream out;
    out << "title: " << platform::utf16ToUtf8(trailer.title) << "\n";
    for (int i = 0; i < 3; ++i) out << "caption" << i + 1 << ": " << platform::utf16ToUtf8(trailer.captions[i]) << "\n";
    out << "group selector: " << (trailer.groupSelectorShown == 1 ? "shown" : "hidden") << ", default group "
        << int(trailer.defaultImageGroup) + 1 << "\n"
        << "checksums: "
        << (package.checksummed ? "SHA-256 of every image and of the package, verified"
                                : "none (a package built before checksums)")
        << "\n";
    for (int group = 0; group < kGroupCount; ++group) {
        const GroupRecord& record = trailer.groupRecords[group];
        const GroupBlock& block = trailer.groupBlocks[group];
        if (record.appVendorId == 0) continue;
        out << "group " << group + 1 << ": " << platform::utf16ToUtf8(block.name) << "\n"
            << "  version text: " << platform::utf16ToUtf8(block.versionText) << "\n"
            << "  application: " << hex(record.appVendorId, 4) << ":" << hex(record.appProductId, 4)
            << "  boot loader: " << hex(record.bootVendorId, 4) << ":" << hex(record.bootProductId, 4) << "\n"
            << "  write block: " << int(record.writeBlockSize) << " bytes, sub-devices: "
            << (record.subDeviceScan == 1 ? "scan" : "use " + std::to_string(record.subDevice)) << "\n";
        for (const DeviceIdentity& identity : record.identities) {
            if (identity == DeviceIdentity{}) continue;
            out << "  identity: ";
            for (std::uint8_t byte : identity) out << hex(byte, 2);
            out << "\n";
        }
        for (int image = 0; image < kImagesPerGroup; ++image) {
            const ImageEntry& entry = block.images[image];
            if (entry.dataLength == 0) continue;
            out << "  image " << image + 1 << ": " << platform::utf16ToUtf8(entry.name) << ", board "
                << hex(entry.boardId, 4) << ", version " << versionText(entry.version) << ", " << entry.dataLength
                << " bytes of firmware, " << entry.infoLength << " bytes of version area\n";
        }
    }
    return out.str();
}

}  // namespace updater
