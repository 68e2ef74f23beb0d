#include "tests/support/RunProgram.h"
#include "tests/support/TestEnvironment.h"
#include "updater/Manifest.h"

#include <filesystem>

using namespace updater;

namespace {

const char kManifest[] =
    "# demo package\n"
    "title = Nimbrel demo\n"
    "caption1 = Firmware update\n"
    "group_selector = no\n"
    "default_group = 1\n"
    "\n"
    "[group 1]\n"
    "name = Standard controller\n"
    "version_text = V1.2.7\n"
    "app = 2516:014D\n"
    "boot = 2516:014e\n"
    "identity = 00112233445566778899AABBCCDDEEFF\n"
    "identity = FFEEDDCCBBAA99887766554433221100\n"
    "block_size = 60\n"
    "[image 1.2]\n"
    "name = Board two\n"
    "board = 0x0102\n"
    "version = 1.2.7\n"
    "data = firmware.bin\n"
    "info = version.bin\n";

}  // namespace

class ManifestTest : public testsupport::IsolatedTest {
protected:
    void SetUp() override {
        testsupport::writeFileBytes(home.path("firmware.bin"), std::string(100, '\x5A'));
        testsupport::writeFileBytes(home.path("version.bin"), std::string(30, '\x01'));
        testsupport::writeFileBytes(home.path("package.txt"), kManifest);
    }
};

TEST_F(ManifestTest, AManifestFillsTheTrailerAndTheImages) {
    const ManifestLoad load = LoadManifest(home.path("package.txt"));
    ASSERT_TRUE(load.ok) << load.error;
    const Trailer& trailer = load.manifest.trailer;
    EXPECT_EQ(trailer.title, u"Nimbrel demo");
    EXPECT_EQ(trailer.captions[0], u"Firmware update");
    EXPECT_EQ(trailer.groupRecords[0].appProductId, 0x014Du);
    EXPECT_EQ(trailer.groupRecords[0].bootProductId, 0x014Eu);
    EXPECT_EQ(trailer.groupRecords[0].identities[1][0], 0xFF);
    EXPECT_EQ(trailer.groupRecords[0].writeBlockSize, 60);
    EXPECT_EQ(trailer.groupBlocks[0].images[1].boardId, 0x0102);
    EXPECT_EQ(trailer.groupBlocks[0].images[1].version, (FirmwareVersion{1, 2, 7}));
    EXPECT_EQ(load.manifest.images[1].data.size(), 100u);
    EXPECT_EQ(load.manifest.images[1].info.size(), 30u);
}

TEST_F(ManifestTest, MistakesNameTheLine) {
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"title = x\nbogus\n", "m:2: expected KEY = VALUE"},
        {"[group 6]\n", "m:1: unknown section [group 6]"},
        {"[image 1.10]\n", "m:1: unknown section [image 1.10]"},
        {"[group 1]\nblock_size = 61\n", "m:2: '61' is not a number from 1 to 60"},
        {"[group 1]\napp = 2516\n", "m:2: '2516' is not VENDOR:PRODUCT"},
        {"[group 1]\nidentity = 0011\n", "m:2: an identity is 32 hexadecimal digits"},
        {"[image 1.1]\nversion = 1.2\n", "m:2: '1.2' is not MAJOR.MINOR.BUILD"},
        {"[image 1.1]\nversion = 1.256.3\n", "m:2: '1.256.3' is not MAJOR.MINOR.BUILD"},
        {"[image 1.1]\ndata = missing.bin\n", "m:2: cannot read"},
        {"[image 1.1]\napp = 2516:014D\n", "m:2: unknown key 'app' here"},
        {"default_group = 0\n", "m:1: '0' is not a number from 1 to 5"},
    };
    for (const auto& c : cases) {
        const ManifestLoad load = ParseManifest(c.text, "m", home.root());
        EXPECT_FALSE(load.ok) << c.text;
        EXPECT_EQ(load.error.rfind(c.error, 0), 0u) << load.error;
    }
    std::string sixIdentities = "[group 1]\n";
    for (int i = 0; i < 6; ++i) sixIdentities += "identity = 00112233445566778899AABBCCDDEEFF\n";
    EXPECT_EQ(ParseManifest(sixIdentities, "m", home.root()).error, "m:7: a group has at most five identities");
}

// A manifest that yields no image to update with, or a text or part that does
// not fit its field, is refused with the line named instead of being cut.
TEST_F(ManifestTest, NothingUsableAndOversizedFieldsAreRefused) {
    testsupport::writeFileBytes(home.path("empty.bin"), "");
    testsupport::writeFileBytes(home.path("area.bin"), std::string(kVersionAreaSize, '\x01'));
    testsupport::writeFileBytes(home.path("big-area.bin"), std::string(kVersionAreaSize + 1, '\x01'));
    const std::string group = "[group 1]\napp = 2516:014D\nboot = 2516:014E\nblock_size = 60\n";
    const std::string image = "[image 1.1]\ndata = firmware.bin\n";
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"", "m: no image to update with"},
        {"# only a comment\ntitle = x\n", "m: no image to update with"},
        {group, "m: no image to update with"},
        {group + "[image 1.1]\nname = no data\n", "m:5: image 1.1 has no data"},
        {group + "[image 1.1]\ndata = empty.bin\n", "m:6: empty.bin is empty"},
        {image, "m:1: image 1.1 lies in group 1, which has no app"},
        {group + "[image 2.1]\ndata = firmware.bin\n", "m:5: image 2.1 lies in group 2"},
        {"[group 1]\napp = 2516:014D\n" + image, "m:1: group 1 has no block_size (1-60)"},
        {group + "[image 1.1]\ninfo = big-area.bin\n", "m:6: " + home.path("big-area.bin") + " has 1025 bytes"},
        {"title = " + std::string(260, 'x') + "\n", "m:1: the text has 260 UTF-16 characters; its field holds 259"},
        {"title = " + std::string(100000, 'x') + "\n", "m:1: the text has 100000 UTF-16 characters"},
        {"\ncaption3 = " + std::string(260, 'x') + "\n", "m:2: the text has 260"},
        {group + "name = " + std::string(260, 'x') + "\n", "m:5: the text has 260"},
        {group + "version_text = " + std::string(260, 'x') + "\n", "m:5: the text has 260"},
        {group + image + "name = " + std::string(30, 'x') + "\n",
         "m:7: the text has 30 UTF-16 characters; its field holds 29"},
    };
    for (const auto& c : cases) {
        const ManifestLoad load = ParseManifest(c.text, "m", home.root());
        EXPECT_FALSE(load.ok) << c.text.substr(0, 80);
        EXPECT_EQ(load.error.rfind(c.error, 0), 0u) << load.error.substr(0, 200);
    }
    // The largest of each still fits.
    const ManifestLoad fits = ParseManifest("title = " + std::string(259, 'x') + "\n" + group + image +
                                                "name = " + std::string(29, 'x') + "\ninfo = area.bin\n",
                                            "m", home.root());
    ASSERT_TRUE(fits.ok) << fits.error;
    EXPECT_EQ(fits.manifest.trailer.title.size(), 259u);
    EXPECT_EQ(fits.manifest.images[0].info.size(), kVersionAreaSize);

    // nimbrel-pack says so and writes nothing.
    testsupport::writeFileBytes(home.path("program"), "program bytes");
    testsupport::writeFileBytes(home.path("nothing.txt"), "title = nothing\n");
    const testsupport::ProgramRun run = testsupport::runProgram(LUMENSTRA_BIN_DIR "/nimbrel-pack",
                                                                {"--manifest", home.path("nothing.txt"), "--program",
                                                                 home.path("program"), "--output", home.path("out")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.errors.find("no image to update with"), std::string::npos) << run.errors;
    EXPECT_FALSE(std::filesystem::exists(home.path("out")));
}

TEST_F(ManifestTest, NimbrelPackBuildsAnUpdaterThatDumpReadsBack) {
    testsupport::writeFileBytes(home.path("program"), "#!/bin/true\nprogram bytes");
    const std::string tool = LUMENSTRA_BIN_DIR "/nimbrel-pack";
    const testsupport::ProgramRun built =
        testsupport::runProgram(tool, {"--manifest", home.path("package.txt"), "--program", home.path("program"),
                                       "--output", home.path("out")});
    ASSERT_EQ(built.exitCode, 0) << built.errors;
    EXPECT_NE(std::filesystem::status(home.path("out")).permissions() & std::filesystem::perms::owner_exec,
              std::filesystem::perms::none);

    const PackageLoad load = LoadPackage(home.path("out"));
    ASSERT_TRUE(load.ok);
    EXPECT_EQ(load.package.image(0, 1).data, std::vector<std::uint8_t>(100, 0x5A));

    const testsupport::ProgramRun dump = testsupport::runProgram(tool, {"--dump", home.path("out")});
    ASSERT_EQ(dump.exitCode, 0) << dump.errors;
    EXPECT_NE(dump.output.find("title: Nimbrel demo"), std::string::npos) << dump.output;
    EXPECT_NE(dump.output.find("application: 2516:014D  boot loader: 2516:014E"), std::string::npos);
    EXPECT_NE(dump.output.find("identity: 00112233445566778899AABBCCDDEEFF"), std::string::npos);
    EXPECT_NE(dump.output.find("image 2: Board two, board 0102, version 1.2.7, 100 bytes of firmware, 30 bytes"),
              std::string::npos);
    EXPECT_NE(dump.output.find("checksums: SHA-256 of every image and of the package, verified"), std::string::npos)
        << dump.output;

    // A package built before the checksums is dumped as such; a damaged one is refused.
    std::string old = testsupport::readFileBytes(home.path("program"));
    const std::vector<std::uint8_t> oldPackage = BuildPackage(load.package.trailer, load.package.images, false);
    old.append(oldPackage.begin(), oldPackage.end());
    testsupport::writeFileBytes(home.path("old"), old);
    const testsupport::ProgramRun oldDump = testsupport::runProgram(tool, {"--dump", home.path("old")});
    ASSERT_EQ(oldDump.exitCode, 0) << oldDump.errors;
    EXPECT_NE(oldDump.output.find("checksums: none"), std::string::npos) << oldDump.output;
    std::string damaged = testsupport::readFileBytes(home.path("out"));
    damaged[damaged.size() - kTrailerSize - 40] ^= 0x01;  // inside the firmware
    testsupport::writeFileBytes(home.path("damaged"), damaged);
    const testsupport::ProgramRun damagedDump = testsupport::runProgram(tool, {"--dump", home.path("damaged")});
    EXPECT_EQ(damagedDump.exitCode, 2);
    EXPECT_NE(damagedDump.errors.find(kDamagedMessage), std::string::npos) << damagedDump.errors;

    testsupport::writeFileBytes(home.path("plain"), std::string(70000, 'x'));
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        const char* fragment;
    } failures[] = {
        {{"--dump", home.path("program")}, 2, "carries no updater package"},
        {{"--dump", home.path("plain")}, 2, "carries no updater package"},
        {{"--dump", home.path("missing")}, 2, "cannot open the file"},
        {{"--dump"}, 64, "--dump needs a file"},
        {{"--manifest", home.path("package.txt")}, 64, "nimbrel-pack --help"},
        {{"--frobnicate"}, 64, "unknown argument \"--frobnicate\""},
        {{"--manifest", home.path("missing.txt"), "--program", home.path("program"), "--output", home.path("x")},
         1,
         ""},
        {{"--manifest", home.path("package.txt"), "--program", home.path("missing"), "--output", home.path("x")},
         2,
         "cannot read the program"},
    };
    for (const auto& f : failures) {
        const testsupport::ProgramRun run = testsupport::runProgram(tool, f.arguments);
        EXPECT_EQ(run.exitCode, f.exitCode) << f.arguments.front() << ": " << run.errors;
        EXPECT_FALSE(run.errors.empty());
        EXPECT_NE(run.errors.find(f.fragment), std::string::npos) << run.errors;
    }
    EXPECT_EQ(testsupport::runProgram(tool, {"--help"}).exitCode, 0);
}
