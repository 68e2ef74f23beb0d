// Feeds arbitrary ".KV6" exports to the profile import: a shared or downloaded
// profile is a file from anyone. An import never fails on a readable file, keeps
// its texts within their blocks, and what it took survives an export and a
// second import unchanged.
#include "effects/Profiles.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

// A private folder with "in/" and "out/": both files are named Fuzz.KV6, so the
// import names both profiles alike. Never destroyed: the clean-up at exit needs it.
const std::string& folder() {
    static const std::string* made = [] {
        // In memory where there is such a folder: every export is flushed to its disk.
        std::error_code error;
        const bool memory = std::filesystem::is_directory("/dev/shm", error);
        std::string pattern = std::string(memory ? "/dev/shm" : "/tmp") + "/profile-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) std::abort();
        for (const char* sub : {"/in", "/out"})
            if (::mkdir((pattern + sub).c_str(), 0700) != 0) std::abort();
        return new std::string(pattern);
    }();
    static const bool cleanUp = std::atexit([] {
                                    std::error_code ignored;
                                    std::filesystem::remove_all(*made, ignored);
                                }) == 0;
    (void)cleanUp;
    return *made;
}

effects::LedProfile startingProfile() {
    effects::LedProfile profile;
    effects::ResetProfile(profile);
    return profile;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = folder() + "/in/Fuzz.KV6";
    const std::string output = folder() + "/out/Fuzz.KV6";
    {
        std::ofstream file(input, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!file) std::abort();
    }
    effects::LedProfile imported = startingProfile();
    // A file that holds no profile is refused and changes nothing.
    if (!effects::ImportProfile(imported, input)) {
        check(!effects::IsProfileFile(input));
        check(imported == startingProfile());
        return 0;
    }
    check(effects::IsProfileFile(input));
    check(imported.name.size() < effects::kTextUnits);
    check(imported.cardEffect == effects::EFFECT_MULTI);
    for (const std::u16string& text : imported.morseTexts) {
        check(text.size() <= effects::kTextUnits);
        check(text.find(u'\0') == std::u16string::npos);
    }

    check(effects::ExportProfile(imported, output));
    effects::LedProfile again = startingProfile();
    check(effects::ImportProfile(again, output));
    check(again == imported);
    return 0;
}
