#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The read-only XML reader of both programs. A document is one UTF-16 text and
// an index of its elements; text, comments and other markup are found again by
// scanning the text at the recorded offsets. It never validates, never expands
// declared entities and never writes; bad input gives an index as complete as
// the recovery rules allow and empty look-ups, never a crash.
namespace xml {

enum class ByteOrderMark { None, Utf8, Utf16LE, Utf16BE };

// One element of the index. Offsets and lengths are in UTF-16 code units.
struct ElementRecord {
    enum Flag : std::uint8_t {
        Empty = 1,      // written <a ... />
        NotEnded = 2,   // closed implicitly
        IllFormed = 4,  // kept on record 0
    };
    std::uint32_t start = 0;   // the '<' of the start tag
    std::uint32_t length = 0;  // through the end tag, or the start tag alone
    std::uint32_t startTagLength = 0;
    std::uint32_t endTagLength = 0;
    std::uint32_t depth = 0;  // open elements when the start tag was read
    std::uint8_t flags = 0;
    std::uint32_t parent = 0;
    std::uint32_t firstChild = 0;
    std::uint32_t nextSibling = 0;
    std::uint32_t previousSibling = 0;  // of the first child: the last child
};

// What loading a file's bytes produces; LoadFile is this plus the file read.
struct DecodedDocument {
    std::u16string text;
    std::string diagnostic;
    ByteOrderMark mark = ByteOrderMark::None;
};

// Decodes the bytes of a whole file to UTF-16: byte-order marks, the declared
// encoding of an XML declaration or an HTML meta element, UTF-8 detection and
// the removal of zero bytes (zero units in UTF-16 files).
DecodedDocument DecodeDocumentBytes(std::string_view bytes);

// Files larger than this are refused rather than read whole.
constexpr std::size_t kMaxDocumentFileSize = 64u << 20;

class CXmlDoc {
public:
    CXmlDoc();

    // Reads and decodes the file; false (with an empty document) when it cannot
    // be opened or read in full. The index is cleared either way: call Parse.
    bool LoadFile(const std::string& path);
    // Takes `text` as the document text and clears the index: call Parse.
    void SetText(std::u16string text);
    // Indexes the text and rewinds; true only for one top-level element and no error.
    bool Parse();

    void Rewind();
    // An empty name matches any element.
    bool FindElement(std::u16string_view name = {});
    bool FindChild(std::u16string_view name = {});
    bool EnterElement();
    std::u16string ChildText() const;
    std::u16string ChildAttribute(std::u16string_view name) const;

    // How the file was decoded, then the first error of the last Parse.
    std::string DiagnosticText() const;
    ByteOrderMark Mark() const { return m_mark; }
    const std::u16string& Text() const { return m_text; }

    // The index as built, for tools and checks: record 0 is the virtual root.
    std::uint32_t RecordCount() const { return m_recordCount; }
    const ElementRecord& Record(std::uint32_t index) const;

private:
    class Indexer;

    ElementRecord& record(std::uint32_t index);
    std::uint32_t appendRecord();
    void clearIndex();
    std::u16string_view tagName(const ElementRecord& element) const;

    std::u16string m_text;
    // Pages of 65,536 records; an index's high 16 bits select the page.
    std::vector<std::vector<ElementRecord>> m_pages;
    std::uint32_t m_recordCount = 0;
    std::uint32_t m_parent = 0;
    std::uint32_t m_current = 0;
    std::uint32_t m_child = 0;
    std::string m_loadDiagnostic;
    std::string m_parseError;
    ByteOrderMark m_mark = ByteOrderMark::None;
};

}  // namespace xml
