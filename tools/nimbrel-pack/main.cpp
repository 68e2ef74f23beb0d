// nimbrel-pack: builds an updater (a program with a firmware package appended)
// from a manifest and image files, and lists what a package holds.
#include "platform/AtomicFile.h"
#include "platform/Version.h"
#include "updater/Manifest.h"
#include "updater/Package.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUnreadable = 2;
constexpr int kExitUsage = 64;

constexpr char kUsage[] =
    "Usage:\n"
    "  nimbrel-pack --manifest FILE --program FILE --output FILE\n"
    "      Appends the package the manifest describes to a copy of the program.\n"
    "  nimbrel-pack --dump FILE\n"
    "      Lists the groups, images, versions and texts of FILE's package.\n"
    "  nimbrel-pack --help | --version\n"
    "\n"
    "Manifest (UTF-8 text; '#' starts a comment; numbers decimal or 0x hex):\n"
    "  title = ...  caption1 = ...  caption2 = ...  caption3 = ...\n"
    "  group_selector = yes|no      default_group = 1-5\n"
    "  [group G]   (G = 1-5)\n"
    "  name = ...  version_text = ...  app = 2516:014D  boot = 2516:014E\n"
    "  identity = 32 hex digits (up to 5)  sub_device_scan = yes|no\n"
    "  sub_device = N  block_size = 1-60\n"
    "  [image G.I] (I = 1-9)\n"
    "  name = ...  board = N  version = 1.2.7  data = FILE  info = FILE\n"
    "  (files are relative to the manifest's folder)\n"
    "\n"
    "Example: nimbrel-pack --dump build/bin/Nimbrel/Nimbrel\n"
    "\n"
    "Exit status: 0 done, 1 bad manifest or write error, 2 unreadable input or no package, 64 usage error.\n";

int usageError(const char* message) {
    std::fprintf(stderr, "nimbrel-pack: %s\nTry 'nimbrel-pack --help' for more information.\n", message);
    return kExitUsage;
}

int dump(const std::string& path) {
    const updater::PackageLoad load = updater::LoadPackage(path);
    if (!load.ok) {
        // The updater's own texts are for its window; here the file is named in plain words.
        std::string why = "the package is damaged (an image lies outside the file)";
        if (load.message == updater::kNoMarkerMessage)
            why = "the file carries no updater package (no package trailer at its end)";
        else if (load.message == updater::kCannotOpenMessage)
            why = "cannot open the file (missing, or no permission to read it)";
        else if (load.message == updater::kCannotReadMessage)
            why = "the file carries no updater package (it is shorter than a package trailer) or cannot be read";
        else if (!load.message.empty())
            why = load.message;
        std::fprintf(stderr, "nimbrel-pack: %s: %s\n", path.c_str(), why.c_str());
        return kExitUnreadable;
    }
    std::fputs(updater::DescribePackage(load.package).c_str(), stdout);
    return 0;
}

int build(const std::string& manifestPath, const std::string& programPath, const std::string& outputPath) {
    const updater::ManifestLoad manifest = updater::LoadManifest(manifestPath);
    if (!manifest.ok) {
        std::fprintf(stderr, "nimbrel-pack: %s\n", manifest.error.c_str());
        return kExitFailure;
    }
    const auto program = platform::readWholeFile(programPath);
    if (!program) {
        std::fprintf(stderr, "nimbrel-pack: cannot read the program %s\n", programPath.c_str());
        return kExitUnreadable;
    }
    const std::vector<std::uint8_t> package =
        updater::BuildPackage(manifest.manifest.trailer, manifest.manifest.images);
    std::string bytes = *program;
    bytes.append(package.begin(), package.end());
    if (!platform::replaceFileContents(outputPath, bytes) || ::chmod(outputPath.c_str(), 0755) != 0) {
        std::fprintf(stderr, "nimbrel-pack: cannot write %s\n", outputPath.c_str());
        return kExitFailure;
    }
    std::printf("%s: %zu bytes of program, %zu bytes of package\n", outputPath.c_str(), program->size(),
                package.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string manifest, program, output, dumpPath;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (argument == "--version") {
            std::printf("nimbrel-pack %s\n", platform::kVersion);
            return 0;
        }
        std::string* target = argument == "--manifest"  ? &manifest
                              : argument == "--program" ? &program
                              : argument == "--output"  ? &output
                              : argument == "--dump"    ? &dumpPath
                                                        : nullptr;
        if (!target) return usageError(("unknown argument \"" + argument + "\"").c_str());
        if (i + 1 >= argc) return usageError((argument + " needs a file").c_str());
        *target = argv[++i];
    }
    if (!dumpPath.empty()) {
        if (!manifest.empty() || !program.empty() || !output.empty()) return usageError("--dump takes no other option");
        return dump(dumpPath);
    }
    if (manifest.empty() || program.empty() || output.empty())
        return usageError("building needs --manifest, --program and --output");
    return build(manifest, program, output);
}
