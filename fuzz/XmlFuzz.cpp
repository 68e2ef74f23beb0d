// Feeds arbitrary bytes through LoadFile, Parse, the cursor, the skin look-ups
// and the record parser, and checks that the index stays a proper tree.
#include "platform/Utf16.h"
#include "skin/SkinDocuments.h"
#include "skin/SkinRecord.h"
#include "xml/XmlDoc.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// The file LoadFile reads: an in-memory file rewritten for every input.
const std::string& inputPath() {
    static const std::string path = [] {
        const int fd = ::memfd_create("xml-fuzz-input", 0);
        if (fd < 0) std::abort();
        return "/proc/self/fd/" + std::to_string(fd);
    }();
    return path;
}

void check(bool condition) {
    if (!condition) std::abort();
}

void checkTree(const xml::CXmlDoc& document) {
    std::uint64_t linked = 0;
    for (std::uint32_t parent = 0; parent < document.RecordCount(); ++parent) {
        const xml::ElementRecord& record = document.Record(parent);
        check(record.start + static_cast<std::uint64_t>(record.length) <= document.Text().size() || parent == 0);
        std::uint32_t last = 0;
        for (std::uint32_t child = record.firstChild; child != 0; child = document.Record(child).nextSibling) {
            check(child < document.RecordCount() && document.Record(child).parent == parent);
            check(++linked < document.RecordCount());
            last = child;
        }
        if (record.firstChild != 0) check(document.Record(record.firstChild).previousSibling == last);
    }
    check(linked + 1 == document.RecordCount());
}

// The tag name of a record, as the look-ups would be asked for it.
std::string nameOf(const xml::CXmlDoc& document, std::uint32_t index) {
    const std::u16string& text = document.Text();
    std::size_t end = document.Record(index).start + 1;
    while (end < text.size() && text[end] > u' ' && text[end] != u'>' && text[end] != u'/' && text[end] != u'=' &&
           text[end] != u'?') {
        ++end;
    }
    return platform::utf16ToUtf8(text.substr(document.Record(index).start + 1, end - document.Record(index).start - 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = inputPath();
    {
        const int fd = std::stoi(path.substr(path.rfind('/') + 1));
        if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
    }
    xml::CXmlDoc document;
    if (!document.LoadFile(path)) return 0;
    document.Parse();
    checkTree(document);

    document.Rewind();
    for (int i = 0; i < 64 && document.FindChild(); ++i) {
        (void)document.ChildText();
        (void)document.ChildAttribute(u"SIZE");
    }
    const std::uint32_t count = document.RecordCount();
    for (std::uint32_t i = 1; i + 1 < count && i < 16; ++i) {
        const std::string section = nameOf(document, i);
        const std::string key = nameOf(document, i + 1);
        const std::string text = skin::GetSkinText(document, section, key);
        (void)skin::GetSkinAttribute(document, section, key, "COLOR");
        (void)skin::ParseSkinRecord(text);
        (void)skin::ParseSkinRecord(text, skin::FlagRule::Nimbrel);
        (void)skin::ReplaceLineBreakMarks(text);
    }
    return 0;
}
