#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The markup rules shared by the indexer, the look-ups and the encoding scan:
// the tokenizer, tag-name matching, attribute scanning and character references.
namespace xml::markup {

enum class NodeKind {
    End,
    Whitespace,
    Text,
    StartTag,
    EndTag,
    ProcessingInstruction,
    Comment,
    CData,
    Declaration,  // a document type or markup declaration
    Error,
};

struct Node {
    NodeKind kind = NodeKind::End;
    std::size_t start = 0;
    std::size_t length = 0;
    bool emptyElement = false;  // start tags written <a ... />
    // Error nodes: the diagnostic without its offset, and whether the text ran
    // out before the node's closing delimiter ("<label> at offset N unterminated").
    const char* errorLabel = nullptr;
    bool unterminated = false;
};

inline bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// The next node at or after `offset`.
Node nextNode(std::u16string_view text, std::size_t offset);

// "Incorrect ! tag at offset 12", "Comment at offset 3 unterminated", ...
std::string errorText(const Node& node);

// The tag or attribute name starting at `from`: it runs to a blank, '/', '>',
// '=', '?' or the end of `text`.
std::u16string_view nameAt(std::u16string_view text, std::size_t from);

// A name from the text matches a wanted name when it equals the wanted name's
// first characters and the wanted name ends there or goes on with one of " =/[]".
bool nameMatches(std::u16string_view name, std::u16string_view wanted);
bool equalIgnoringAsciiCase(std::u16string_view a, std::u16string_view b);

// The raw value of the first attribute of `tag` (a whole start tag or
// processing instruction) whose name matches `wanted`; nothing when none does.
// `ignoreCase` compares whole names without regard to ASCII letter case.
std::optional<std::u16string_view> findAttribute(std::u16string_view tag, std::u16string_view wanted,
                                                 bool ignoreCase = false);

// Character references (&amp; &#65; &#x41; and the HTML 4.01 names) decoded;
// anything that is not a valid reference is kept as written.
std::u16string decodeReferences(std::u16string_view text);

}  // namespace xml::markup
