// Load + parse + one look-up of generated skin-like documents of 1 MiB and
// 50 MiB, against libexpat parsing the same bytes. Reports MB/s and seconds per
// MiB ("s_per_MiB"), which should stay flat as the document grows.
#include "skin/SkinDocuments.h"
#include "xml/LargeBuffer.h"
#include "xml/XmlDoc.h"

#include <benchmark/benchmark.h>
#include <expat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

namespace {

constexpr std::size_t kMiB = 1024 * 1024;

// Sections of forty layout records with the attributes real skins carry, a
// comment per section and a few character references, until `size` bytes.
std::string generateSkinDocument(std::size_t size) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<BUTTONS>\r\n";
    const std::string tail =
        "<SECTION_LAST><KEY_LAST>KEY_LAST,1,2,3,4,Last,TRUE</KEY_LAST></SECTION_LAST>\r\n</BUTTONS>\r\n";
    for (int section = 0; text.size() + tail.size() < size; ++section) {
        text += "<SECTION_" + std::to_string(section) + ">\r\n  <!-- window " + std::to_string(section) + " -->\r\n";
        for (int key = 0; key < 40 && text.size() + tail.size() < size; ++key) {
            const std::string name = "BUTTON_" + std::to_string(key);
            text += "  <" + name + " FONT=\"Noto Sans\" SIZE=\"14\" WEIGHT=\"700\" COLOR=\"16777215\" OFFSETX=\"4\">" +
                    name + "," + std::to_string(key * 10) + ",20,120,40,Caption &amp; more &#x263A;,FALSE</" + name +
                    ">\r\n";
        }
        text += "</SECTION_" + std::to_string(section) + ">\r\n";
    }
    return text + tail;
}

class Files {
public:
    Files() : m_folder(std::filesystem::temp_directory_path() / ("lumenstra-xml-bench-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(m_folder);
    }
    ~Files() {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    const std::string& pathFor(std::size_t mebibytes) {
        auto found = m_paths.find(mebibytes);
        if (found != m_paths.end()) return found->second;
        const std::string path = (m_folder / ("skin-" + std::to_string(mebibytes) + ".xml")).string();
        std::ofstream(path, std::ios::binary) << generateSkinDocument(mebibytes * kMiB);
        return m_paths.emplace(mebibytes, path).first->second;
    }

private:
    std::filesystem::path m_folder;
    std::map<std::size_t, std::string> m_paths;
};

Files& files() {
    static Files instance;
    return instance;
}

void reportRates(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["s_per_MiB"] =
        benchmark::Counter(static_cast<double>(bytes) / kMiB,
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void LumenstraLoadParseLookUp(benchmark::State& state) {
    const std::string& path = files().pathFor(static_cast<std::size_t>(state.range(0)));
    const auto bytes = static_cast<std::size_t>(std::filesystem::file_size(path));
    for (auto _ : state) {
        xml::CXmlDoc document;
        if (!document.LoadFile(path)) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(document.Parse());
        const std::string record = skin::GetSkinText(document, "SECTION_LAST", "KEY_LAST");
        if (record != "KEY_LAST,1,2,3,4,Last,TRUE") {
            state.SkipWithError("look-up failed");
            break;
        }
    }
    reportRates(state, bytes);
}

void ExpatReadAndParse(benchmark::State& state) {
    const std::string& path = files().pathFor(static_cast<std::size_t>(state.range(0)));
    const auto bytes = static_cast<std::size_t>(std::filesystem::file_size(path));
    for (auto _ : state) {
        // Read the way the reader reads, so that both pay the same for memory.
        const auto text = std::make_unique_for_overwrite<char[]>(bytes);
        xml::adviseHugePages(text.get(), bytes);
        std::ifstream in(path, std::ios::binary);
        in.read(text.get(), static_cast<std::streamsize>(bytes));
        long elements = 0;
        XML_Parser parser = XML_ParserCreate(nullptr);
        XML_SetUserData(parser, &elements);
        XML_SetStartElementHandler(parser,
                                   [](void* data, const XML_Char*, const XML_Char**) { ++*static_cast<long*>(data); });
        if (XML_Parse(parser, text.get(), static_cast<int>(bytes), XML_TRUE) != XML_STATUS_OK) {
            state.SkipWithError("expat rejected the document");
        }
        XML_ParserFree(parser);
        benchmark::DoNotOptimize(elements);
    }
    reportRates(state, bytes);
}

}  // namespace

BENCHMARK(LumenstraLoadParseLookUp)->Arg(1)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(ExpatReadAndParse)->Arg(1)->Arg(50)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
