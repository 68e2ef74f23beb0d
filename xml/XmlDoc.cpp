#include "xml/XmlDoc.h"

#include "platform/Utf16.h"
#include "xml/Encoding.h"
#include "xml/LargeBuffer.h"
#include "xml/Markup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace xml {
namespace {

constexpr std::uint32_t kPageSize = 1u << 16;

std::string systemMessage(int error) {
    std::string message = std::strerror(error);
    return message.substr(0, message.find_first_of("\r\n"));
}

std::string toUtf8(std::u16string_view text) { return platform::utf16ToUtf8(text); }

struct FileBytes {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
    std::string_view view() const { return {data.get(), size}; }
};

// The bytes of the file, or the system's message for why they cannot be had.
bool readFile(const std::string& path, FileBytes& bytes, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = systemMessage(errno);
        return false;
    }
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0;
    if (!ok) error = systemMessage(errno);
    if (ok && S_ISDIR(info.st_mode)) {
        ok = false;
        error = systemMessage(EISDIR);
    }
    if (ok && static_cast<std::uint64_t>(info.st_size) > kMaxDocumentFileSize) {
        ok = false;
        error = systemMessage(EFBIG);
    }
    if (ok) {
        bytes.size = static_cast<std::size_t>(info.st_size);
        bytes.data = std::make_unique_for_overwrite<char[]>(bytes.size);
        adviseHugePages(bytes.data.get(), bytes.size);
        std::size_t done = 0;
        while (done < bytes.size) {
            const ssize_t got = ::read(fd, bytes.data.get() + done, bytes.size - done);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                ok = false;
                error = got < 0 ? systemMessage(errno) : "Short read";
                break;
            }
            done += static_cast<std::size_t>(got);
        }
    }
    ::close(fd);
    return ok;
}

}  // namespace

DecodedDocument DecodeDocumentBytes(std::string_view bytes) {
    DecodedDocument document;
    std::string name;
    std::size_t markLength = 0;
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        document.mark = ByteOrderMark::Utf8, name = "UTF-8", markLength = 3;
    } else if (bytes.starts_with("\xFF\xFE")) {
        document.mark = ByteOrderMark::Utf16LE, name = "UTF-16LE", markLength = 2;
    } else if (bytes.starts_with("\xFE\xFF")) {
        document.mark = ByteOrderMark::Utf16BE, name = "UTF-16BE", markLength = 2;
    } else {
        name = encoding::declaredEncoding(bytes.substr(0, 1024));
        if (name.empty() && !bytes.empty() && bytes[0] == '<') name = "UTF-8";
    }
    const std::string decodingPart = name.empty() ? std::string()
                                                  : name + (document.mark != ByteOrderMark::None ? " BOM + " : " ");

    const std::string_view body = bytes.substr(markLength);
    std::string readPart;
    if (body.empty()) {
        readPart = "0 length ";
    } else if (document.mark == ByteOrderMark::Utf16LE || document.mark == ByteOrderMark::Utf16BE) {
        const bool bigEndian = document.mark == ByteOrderMark::Utf16BE;
        const std::size_t units = body.size() / 2;
        document.text.reserve(units);
        adviseHugePages(document.text.data(), units * sizeof(char16_t));
        for (std::size_t i = 0; i < units; ++i) {
            const auto first = static_cast<unsigned char>(body[2 * i]);
            const auto second = static_cast<unsigned char>(body[2 * i + 1]);
            const auto unit = static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
            if (unit != 0) document.text.push_back(unit);
        }
        readPart = "length " + std::to_string(units) + " ";
        if (document.text.size() < units) {
            readPart += "(" + std::to_string(units - document.text.size()) + " nulls removed) ";
        }
        if (bigEndian) readPart += "endian swap ";
    } else {
        std::string withoutZeros;
        std::string_view kept = body;
        if (body.find('\0') != std::string_view::npos) {
            withoutZeros.reserve(body.size());
            std::copy_if(body.begin(), body.end(), std::back_inserter(withoutZeros), [](char c) { return c != 0; });
            kept = withoutZeros;
        }
        const bool detect = name.empty();
        if (detect && encoding::looksLikeUtf8(kept)) name = "UTF-8";
        document.text = encoding::toUtf16(kept, name);
        readPart = "length " + std::to_string(body.size()) + " ";
        if (kept.size() < body.size()) readPart += "(" + std::to_string(body.size() - kept.size()) + " nulls removed) ";
        if (detect) readPart += "(used UTF-8 detection) ";
        readPart += "to " + std::to_string(document.text.size()) + " wide chars ";
    }
    document.diagnostic = decodingPart.empty() ? (name.empty() ? "ANSI" : name) + " " + readPart
                                               : decodingPart + readPart;
    return document;
}

// One pass over the text that builds the index (see Parse).
class CXmlDoc::Indexer {
public:
    // Offsets are 32-bit: a text given directly beyond their reach is indexed
    // as far as they go (files are far smaller).
    explicit Indexer(CXmlDoc& document)
        : m_doc(document), m_text(std::u16string_view(document.m_text).substr(0, 0xFFFFFFFFu)) {}

    void run() {
        std::size_t offset = 0;
        while (true) {
            const markup::Node node = markup::nextNode(m_text, offset);
            if (node.kind == markup::NodeKind::End) break;
            switch (node.kind) {
            case markup::NodeKind::StartTag: startTag(node); break;
            case markup::NodeKind::EndTag: endTag(node); break;
            case markup::NodeKind::Error: error(markup::errorText(node)); break;
            default: break;
            }
            offset = node.start + node.length;
        }
        if (!m_stack.empty()) {
            const ElementRecord& innermost = m_doc.record(m_stack.back().index);
            error("Element '" + toUtf8(m_doc.tagName(innermost)) + "' at offset " + std::to_string(innermost.start) +
                  " not ended");
            closeImplicitly(0);
        }
    }

private:
    struct OpenElement {
        std::uint32_t index;
        std::int64_t previousSameHash;  // stack position of the next lower element with this hash, or -1
        std::int64_t* topOfHash;        // its entry in m_topByHash (entries never move)
    };

    static constexpr std::uint64_t kHashSeed = 1469598103934665603ull;
    static std::uint64_t hashStep(std::uint64_t hash, char16_t c) { return (hash ^ c) * 1099511628211ull; }
    static std::uint64_t hashOf(std::u16string_view name) {
        std::uint64_t hash = kHashSeed;
        for (const char16_t c : name) hash = hashStep(hash, c);
        return hash;
    }

    void error(const std::string& message) {
        m_doc.record(0).flags |= ElementRecord::IllFormed;
        if (m_doc.m_parseError.empty()) m_doc.m_parseError = message;
    }

    void appendChild(std::uint32_t parentIndex, std::uint32_t childIndex) {
        ElementRecord& parent = m_doc.record(parentIndex);
        ElementRecord& child = m_doc.record(childIndex);
        child.parent = parentIndex;
        child.nextSibling = 0;
        if (parent.firstChild == 0) {
            parent.firstChild = childIndex;
            child.previousSibling = childIndex;
        } else {
            ElementRecord& first = m_doc.record(parent.firstChild);
            m_doc.record(first.previousSibling).nextSibling = childIndex;
            child.previousSibling = first.previousSibling;
            first.previousSibling = childIndex;
        }
    }

    void startTag(const markup::Node& node) {
        const std::uint32_t parentIndex = m_stack.empty() ? 0 : m_stack.back().index;
        const std::uint32_t index = m_doc.appendRecord();
        ElementRecord& element = m_doc.record(index);
        element.start = static_cast<std::uint32_t>(node.start);
        element.length = static_cast<std::uint32_t>(node.length);
        element.startTagLength = static_cast<std::uint32_t>(node.length);
        element.depth = static_cast<std::uint32_t>(m_stack.size());
        if (node.emptyElement) element.flags |= ElementRecord::Empty;
        appendChild(parentIndex, index);
        if (node.emptyElement) return;
        const std::uint64_t hash = hashOf(markup::nameAt(m_text, node.start + 1));
        std::int64_t& top = m_topByHash.try_emplace(hash, -1).first->second;
        m_stack.push_back({index, top, &top});
        top = static_cast<std::int64_t>(m_stack.size() - 1);
    }

    void pop() {
        *m_stack.back().topOfHash = m_stack.back().previousSameHash;
        m_stack.pop_back();
    }

    // The highest stack position holding an element whose name `wanted` matches:
    // the name itself, or its part before a '[' or ']'.
    std::int64_t findOpen(std::u16string_view wanted) const {
        std::int64_t best = -1;
        std::uint64_t hash = kHashSeed;
        for (std::size_t length = 0; length <= wanted.size(); ++length) {
            if (length == wanted.size() || wanted[length] == u'[' || wanted[length] == u']') {
                const auto found = m_topByHash.find(hash);
                for (std::int64_t at = found == m_topByHash.end() ? -1 : found->second; at > best;
                     at = m_stack[static_cast<std::size_t>(at)].previousSameHash) {
                    const ElementRecord& open = m_doc.record(m_stack[static_cast<std::size_t>(at)].index);
                    if (markup::nameMatches(m_doc.tagName(open), wanted)) {
                        best = at;
                        break;
                    }
                }
            }
            if (length < wanted.size()) hash = hashStep(hash, wanted[length]);
        }
        return best;
    }

    void endTag(const markup::Node& node) {
        const std::u16string_view name = markup::nameAt(m_text, node.start + 2);
        const std::int64_t at = findOpen(name);
        if (at < 0) {
            error("No start tag for end tag '" + toUtf8(name) + "' at offset " + std::to_string(node.start));
            return;
        }
        const auto position = static_cast<std::size_t>(at);
        if (position + 1 < m_stack.size()) {
            const ElementRecord& inner = m_doc.record(m_stack.back().index);
            error("End tag '" + toUtf8(name) + "' at offset " + std::to_string(node.start + 1) +
                  " does not match start tag '" + toUtf8(m_doc.tagName(inner)) + "' at offset " +
                  std::to_string(inner.start));
            closeImplicitly(position + 1);
        }
        ElementRecord& element = m_doc.record(m_stack.back().index);
        element.length = static_cast<std::uint32_t>(node.start + node.length - element.start);
        element.endTagLength = static_cast<std::uint32_t>(node.length);
        pop();
    }

    // Closes the open elements from stack position `from` upward without end
    // tags. Each one keeps only its start tag, and its children follow it as
    // siblings; done innermost first, that flattens the chain into one run of
    // siblings under the element below `from`, so every moved element is
    // relinked once.
    void closeImplicitly(std::size_t from) {
        const std::uint32_t target = from == 0 ? 0 : m_stack[from - 1].index;
        const std::uint32_t outermost = m_stack[from].index;
        // The outermost is already the target's last child; append the children
        // of each closed element in order, as each one is the last child of the
        // one before it.
        std::uint32_t tail = outermost;
        for (std::size_t at = from; at < m_stack.size(); ++at) {
            ElementRecord& closed = m_doc.record(m_stack[at].index);
            closed.flags |= ElementRecord::NotEnded;
            closed.length = closed.startTagLength;
            std::uint32_t child = closed.firstChild;
            closed.firstChild = 0;
            while (child != 0) {
                ElementRecord& moved = m_doc.record(child);
                const std::uint32_t next = moved.nextSibling;
                moved.parent = target;
                m_doc.record(tail).nextSibling = child;
                moved.previousSibling = tail;
                moved.nextSibling = 0;
                tail = child;
                child = next;
            }
        }
        ElementRecord& targetRecord = m_doc.record(target);
        m_doc.record(targetRecord.firstChild).previousSibling = tail;
        while (m_stack.size() > from) pop();
    }

    CXmlDoc& m_doc;
    std::u16string_view m_text;
    std::vector<OpenElement> m_stack;
    // Name hash -> highest stack position with that hash; -1 once none is open.
    std::unordered_map<std::uint64_t, std::int64_t> m_topByHash;
};

CXmlDoc::CXmlDoc() { clearIndex(); }

bool CXmlDoc::LoadFile(const std::string& path) {
    clearIndex();
    m_parseError.clear();
    FileBytes bytes;
    std::string error;
    if (!readFile(path, bytes, error)) {
        m_text.clear();
        m_mark = ByteOrderMark::None;
        m_loadDiagnostic = error;
        return false;
    }
    DecodedDocument decoded = DecodeDocumentBytes(bytes.view());
    m_text = std::move(decoded.text);
    m_loadDiagnostic = std::move(decoded.diagnostic);
    m_mark = decoded.mark;
    return true;
}

void CXmlDoc::SetText(std::u16string text) {
    m_text = std::move(text);
    m_loadDiagnostic.clear();
    m_parseError.clear();
    m_mark = ByteOrderMark::None;
    clearIndex();
}

bool CXmlDoc::Parse() {
    clearIndex();
    m_parseError.clear();
    Rewind();
    if (m_text.empty()) {
        m_parseError = "Empty document";
        record(0).flags |= ElementRecord::IllFormed;
        return false;
    }
    Indexer(*this).run();

    ElementRecord& root = record(0);
    const std::uint32_t first = root.firstChild;
    if (first == 0) {
        if (m_parseError.empty()) m_parseError = "No root element";
        root.flags |= ElementRecord::IllFormed;
    } else if (record(first).nextSibling != 0) {
        m_parseError = "Root element has sibling";
        root.flags |= ElementRecord::IllFormed;
    }
    return !(root.flags & ElementRecord::IllFormed);
}

void CXmlDoc::Rewind() { m_parent = m_current = m_child = 0; }

bool CXmlDoc::FindElement(std::u16string_view name) {
    std::uint32_t at = m_current != 0 ? record(m_current).nextSibling : record(m_parent).firstChild;
    for (; at != 0; at = record(at).nextSibling) {
        if (name.empty() || markup::nameMatches(tagName(record(at)), name)) {
            m_current = at;
            m_child = 0;
            return true;
        }
    }
    return false;
}

bool CXmlDoc::FindChild(std::u16string_view name) {
    if (m_current == 0 && !FindElement()) return false;
    std::uint32_t at = m_child != 0 ? record(m_child).nextSibling : record(m_current).firstChild;
    for (; at != 0; at = record(at).nextSibling) {
        if (name.empty() || markup::nameMatches(tagName(record(at)), name)) {
            m_child = at;
            return true;
        }
    }
    return false;
}

bool CXmlDoc::EnterElement() {
    if (m_current == 0) return false;
    m_parent = m_current;
    m_current = m_child;
    m_child = 0;
    return true;
}

std::u16string CXmlDoc::ChildText() const {
    if (m_child == 0) return {};
    const ElementRecord& element = Record(m_child);
    if (element.firstChild != 0 || (element.flags & (ElementRecord::Empty | ElementRecord::NotEnded))) return {};
    const std::size_t contentStart = element.start + element.startTagLength;
    const std::size_t contentEnd = element.start + element.length - element.endTagLength;
    if (contentEnd <= contentStart) return {};
    const std::u16string_view content = std::u16string_view(m_text).substr(contentStart, contentEnd - contentStart);
    if (content.find(u'<') == std::u16string_view::npos) return markup::decodeReferences(content);

    std::u16string text;
    std::size_t offset = 0;
    while (true) {
        const markup::Node node = markup::nextNode(content, offset);
        if (node.kind == markup::NodeKind::End) break;
        if (node.kind == markup::NodeKind::Text) {
            text += markup::decodeReferences(content.substr(node.start, node.length));
        } else if (node.kind == markup::NodeKind::CData) {
            // <![CDATA[ ... ]]>: what follows the second '[' up to the "]]>".
            const std::u16string_view section = content.substr(node.start, node.length);
            const std::size_t open = section.find(u'[', 3);
            if (open != std::u16string_view::npos && open + 1 <= section.size() - 3) {
                text += section.substr(open + 1, section.size() - 3 - (open + 1));
            }
        }
        offset = node.start + node.length;
    }
    return text;
}

std::u16string CXmlDoc::ChildAttribute(std::u16string_view name) const {
    if (m_child == 0) return {};
    const ElementRecord& element = Record(m_child);
    const std::u16string_view tag = std::u16string_view(m_text).substr(element.start, element.startTagLength);
    const auto value = markup::findAttribute(tag, name);
    return value ? markup::decodeReferences(*value) : std::u16string();
}

std::string CXmlDoc::DiagnosticText() const {
    if (m_loadDiagnostic.empty()) return m_parseError;
    if (m_parseError.empty()) return m_loadDiagnostic;
    return m_loadDiagnostic + " " + m_parseError;
}

const ElementRecord& CXmlDoc::Record(std::uint32_t index) const {
    return m_pages[index / kPageSize][index % kPageSize];
}

ElementRecord& CXmlDoc::record(std::uint32_t index) { return m_pages[index / kPageSize][index % kPageSize]; }

std::uint32_t CXmlDoc::appendRecord() {
    const std::uint32_t index = m_recordCount++;
    const std::uint32_t page = index / kPageSize;
    if (page == m_pages.size()) {
        m_pages.emplace_back();
        m_pages.back().reserve(kPageSize);
        adviseHugePages(m_pages.back().data(), kPageSize * sizeof(ElementRecord));
    }
    std::vector<ElementRecord>& records = m_pages[page];
    // The first page starts at the size the text suggests and grows by half.
    if (records.size() == records.capacity()) {
        records.reserve(std::min<std::size_t>(kPageSize, records.capacity() + records.capacity() / 2 + 1));
    }
    records.emplace_back();
    return index;
}

void CXmlDoc::clearIndex() {
    m_pages.clear();
    m_pages.emplace_back();
    m_pages.back().reserve(std::min<std::size_t>(kPageSize, m_text.size() / 64 + 8));
    m_recordCount = 0;
    appendRecord();
    Rewind();
}

std::u16string_view CXmlDoc::tagName(const ElementRecord& element) const {
    return markup::nameAt(std::u16string_view(m_text).substr(0, element.start + element.startTagLength),
                          element.start + 1);
}

}  // namespace xml
