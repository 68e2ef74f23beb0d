#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace platform {

struct IniEntry {
    std::string section;
    std::string key;
    std::string value;
};

// One settings file in the Windows private-profile format, shared byte for byte
// with the Windows programs: UTF-16LE text starting with FF FE, "[Section]"
// lines and "key=value" lines. Sections and keys match without regard to
// letter case; values are read trimmed, with one pair of enclosing quotes
// removed. There is no cache: every call reads or writes the file.
//
// Writes replace a key's line in place, or add the key after the last line of
// its section, or add the section at the end; every other byte of the file is
// kept. A write goes to a temporary file that then replaces the original, so a
// crash or a full disk never leaves a half-written file. A file that was not
// UTF-16 (written by hand as UTF-8, say) keeps its encoding, and the lines a
// write does not change keep every byte, even bytes that do not decode (a
// Latin-1 file without a mark reads them as U+FFFD).
class CIniFile {
public:
    explicit CIniFile(std::string path);

    const std::string& path() const { return m_path; }

    // Creates the file holding only FF FE when none exists; leaves an existing
    // file untouched. False when it cannot be created.
    bool ensureUtf16File() const;

    // Values are UTF-8 here; at most 4095 characters of a value are returned.
    // Without the file, section or key the default comes back, trailing blanks trimmed.
    std::string readString(const std::string& section, const std::string& key, const std::string& fallback) const;
    // An empty value gives the default; otherwise the number the text starts
    // with (decimal, or 0x hexadecimal), 0 when it starts with none.
    int readInt(const std::string& section, const std::string& key, int fallback) const;
    // Bytes stored as upper-case hexadecimal pairs followed by their sum modulo
    // 256. False, with `bytes` untouched, on a missing key or a wrong length or checksum.
    bool readStruct(const std::string& section, const std::string& key, std::span<std::uint8_t> bytes) const;
    // True when the file has a "[section]" line (letter case aside), even an empty section.
    bool hasSection(const std::string& section) const;

    bool writeString(const std::string& section, const std::string& key, const std::string& value) const;
    bool writeInt(const std::string& section, const std::string& key, int value) const;
    bool writeStruct(const std::string& section, const std::string& key, std::span<const std::uint8_t> bytes) const;
    // Writes the entries in order as one replacement of the file: the result is
    // that of writing them one by one, but a crash leaves all or none of them.
    bool writeEntries(const std::vector<IniEntry>& entries) const;

private:
    std::string m_path;
};

// The text form of a struct value (hex pairs and checksum), shared by the write
// and by the tests' fixtures.
std::string encodeStructValue(std::span<const std::uint8_t> bytes);

}  // namespace platform
