// skintool: reads skin documents the way the programs do.
#include "Check.h"
#include "platform/Numbers.h"
#include "platform/Version.h"
#include "skin/SkinDocuments.h"
#include "skin/SkinRecord.h"
#include "xml/XmlDoc.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUnreadable = 2;
constexpr int kExitUsage = 64;

constexpr const char* kUsage =
    "usage: skintool get FILE SECTION KEY [ATTRIBUTE]\n"
    "       skintool diag FILE\n"
    "       skintool record [--nimbrel] TEXT\n"
    "       skintool check FOLDER\n"
    "       skintool --help | --version\n"
    "\n"
    "  get     prints the text of root/SECTION/KEY of the skin document FILE, or\n"
    "          the value of its ATTRIBUTE; an empty line when there is none\n"
    "  diag    prints \"true\" or \"false\" (whether FILE is well formed) and the\n"
    "          reader's diagnostic text\n"
    "  record  parses a layout record \"NAME,x,y,w,h,text,flag\" and prints\n"
    "          left top right bottom flag [text]; --nimbrel reads the flag as the\n"
    "          updater does\n"
    "\n"
    "  check   lists every section, key and picture the programs use that the\n"
    "          skin in the program folder FOLDER lacks\n"
    "\n"
    "Example: skintool record \"BUTTON_MENU_1,16,68,90,84,Static,1\"\n"
    "\n"
    "Exit status: 0 done, 1 check found missing parts, 2 FILE cannot be read,\n"
    "64 usage error (also a malformed record).\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "skintool: %s\nTry 'skintool --help' for more information.\n", message.c_str());
    return kExitUsage;
}

// Loads and parses FILE; false (after telling why) when it cannot be read.
bool loadDocument(xml::CXmlDoc& document, bool& wellFormed, const std::string& path) {
    if (!document.LoadFile(path)) {
        std::fprintf(stderr, "skintool: cannot read %s: %s\n", path.c_str(), document.DiagnosticText().c_str());
        return false;
    }
    wellFormed = document.Parse();
    return true;
}

int get(const std::vector<std::string>& args) {
    if (args.size() != 4 && args.size() != 5) return usageError("get needs FILE SECTION KEY [ATTRIBUTE]");
    xml::CXmlDoc document;
    bool wellFormed = false;
    if (!loadDocument(document, wellFormed, args[1])) return kExitUnreadable;
    const std::string result = args.size() == 5 ? skin::GetSkinAttribute(document, args[2], args[3], args[4])
                                                : skin::GetSkinText(document, args[2], args[3]);
    std::printf("%s\n", result.c_str());
    return kExitOk;
}

int diag(const std::vector<std::string>& args) {
    if (args.size() != 2) return usageError("diag needs FILE");
    xml::CXmlDoc document;
    bool wellFormed = false;
    if (!loadDocument(document, wellFormed, args[1])) return kExitUnreadable;
    std::printf("%s\n%s\n", wellFormed ? "true" : "false", document.DiagnosticText().c_str());
    return kExitOk;
}

// The record's own shape: a name and four whole numbers, comma-separated. The
// programs' reader takes anything (a missing number reads as 0), so a typo
// would print a plausible answer.
std::string recordShapeError(std::string_view text) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t comma = text.find(',', start);
        fields.push_back(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (fields.size() < 5)
        return "has " + std::to_string(fields.size()) + " comma-separated field(s), at least 5 are needed";
    const char* names[] = {"x", "y", "w", "h"};
    for (std::size_t i = 1; i <= 4; ++i) {
        std::string_view field = fields[i];
        while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
        while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
        if (!platform::parseWholeNumber<int>(field))
            return std::string("has ") + names[i - 1] + " \"" + std::string(fields[i]) + "\", which is no whole number";
    }
    return {};
}

int record(const std::vector<std::string>& args) {
    const bool nimbrel = args.size() == 3 && args[1] == "--nimbrel";
    if (args.size() != 2 && !nimbrel) return usageError("record needs [--nimbrel] TEXT");
    if (const std::string error = recordShapeError(args.back()); !error.empty())
        return usageError("the record \"" + args.back() + "\" " + error + " (NAME,x,y,w,h[,text[,flag]])");
    const skin::SkinRecord parsed =
        skin::ParseSkinRecord(args.back(), nimbrel ? skin::FlagRule::Nimbrel : skin::FlagRule::Lumenstra);
    std::printf("%d %d %d %d %d [%s]\n", parsed.left, parsed.top, parsed.right, parsed.bottom, parsed.flag,
                parsed.text.c_str());
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return usageError("no command given");
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (command == "--version") {
        std::printf("skintool %s\n", platform::kVersion);
        return kExitOk;
    }
    if (command == "get") return get(args);
    if (command == "diag") return diag(args);
    if (command == "record") return record(args);
    if (command == "check") return skintool::check(args);
    return usageError("unknown command '" + command + "'");
}
