#include "tests/support/TestEnvironment.h"
#include "updater/Package.h"

#include <random>

using namespace updater;

namespace {

using Images = std::array<FirmwareImage, kGroupCount * kImagesPerGroup>;

Trailer sampleTrailer() {
    Trailer trailer;
    trailer.title = u"Nimbrel \u00E9dition";
    trailer.captions = {u"first", u"second", u"third"};
    trailer.groupSelectorShown = 1;
    trailer.defaultImageGroup = 2;
    GroupRecord& record = trailer.groupRecords[2];
    record.identities[0].fill(0xA5);
    record.identities[4][15] = 0x5A;
    record.subDeviceScan = 1;
    record.subDevice = 3;
    record.bootVendorId = 0x2516;
    record.bootProductId = 0x014E;
    record.appVendorId = 0x2516;
    record.appProductId = 0x014D;
    record.writeBlockSize = 60;
    GroupBlock& block = trailer.groupBlocks[2];
    block.name = u"Standard";
    block.versionText = u"V1.2.7 build";
    block.images[3].name = u"Board three";
    block.images[3].boardId = 0x0103;
    block.images[3].version = {1, 2, 0x01020304};
    return trailer;
}

std::vector<std::uint8_t> bytesOf(std::size_t length, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    return bytes;
}

}  // namespace

TEST(Descramble, SwapsThenTurnsNibblesAsTheShortLengthsShow) {
    const struct {
        std::vector<std::uint8_t> in;
        std::vector<std::uint8_t> out;
    } cases[] = {
        {{0x17}, {0x01}},                                                              // nibbles only
        {{0x10, 0x20, 0x30, 0x40, 0x50}, {0x92, 0x91, 0x94, 0x93, 0x95}},              // 0/1 and 2/3, not 0/4
        {{0x10, 0x20, 0x30, 0x40, 0x50, 0x60}, {0x92, 0x95, 0x94, 0x93, 0x96, 0x91}},  // 0/4, then pairs
        {{}, {}},
    };
    for (auto c : cases) {
        Descramble(c.in.data(), c.in.size());
        EXPECT_EQ(c.in, c.out) << c.in.size();
    }
}

TEST(Descramble, ScrambleIsItsInverseForEveryLengthAndByte) {
    std::mt19937 random(7);
    for (std::size_t length = 0; length < 64; ++length) {
        std::vector<std::uint8_t> original(length);
        for (auto& b : original) b = static_cast<std::uint8_t>(random());
        std::vector<std::uint8_t> bytes = original;
        Scramble(bytes.data(), bytes.size());
        Descramble(bytes.data(), bytes.size());
        EXPECT_EQ(bytes, original) << length;
    }
    for (int value = 0; value < 256; ++value) {
        std::uint8_t b = static_cast<std::uint8_t>(value);
        Scramble(&b, 1);
        Descramble(&b, 1);
        EXPECT_EQ(b, value);
    }
}

TEST(Trailer, FieldsSitAtTheirOffsetsAndReadBack) {
    const Trailer trailer = sampleTrailer();
    const std::vector<std::uint8_t> bytes = serializeTrailer(trailer);
    ASSERT_EQ(bytes.size(), kTrailerSize);
    EXPECT_TRUE(hasPackageMarker(bytes));
    const std::size_t record = 2 * 104;
    EXPECT_EQ(bytes[record + 0], 0xA5);
    EXPECT_EQ(bytes[record + 79], 0x5A);
    EXPECT_EQ(bytes[record + 80], 1);
    EXPECT_EQ(bytes[record + 81], 3);
    EXPECT_EQ(bytes[record + 92], 0x16);
    EXPECT_EQ(bytes[record + 93], 0x25);
    EXPECT_EQ(bytes[record + 96], 0x4D);
    EXPECT_EQ(bytes[record + 100], 60);
    const std::size_t block = 520 + 2 * 1760;
    EXPECT_EQ(bytes[block], 'S');
    EXPECT_EQ(bytes[block + 520], 'V');
    const std::size_t entry = block + 1040 + 3 * 80;
    EXPECT_EQ(bytes[entry + 8], 'B');
    EXPECT_EQ(bytes[entry + 68], 0x03);
    EXPECT_EQ(bytes[entry + 69], 0x01);
    EXPECT_EQ(bytes[entry + 70], 1);
    EXPECT_EQ(bytes[entry + 71], 2);
    EXPECT_EQ(bytes[entry + 72], 0x04);
    EXPECT_EQ(bytes[entry + 75], 0x01);
    EXPECT_EQ(bytes[9320], 1);
    EXPECT_EQ(bytes[9321], 2);
    EXPECT_EQ(bytes[9322], 'N');
    EXPECT_EQ(bytes[10362], 's');
    EXPECT_EQ(std::string(bytes.begin() + 11403, bytes.begin() + 11413), std::string(".maaV106\0\0", 10));
    EXPECT_EQ(parseTrailer(bytes), trailer);
}

TEST(Trailer, TextsAreCutToLeaveRoomForTheTerminator) {
    Trailer trailer;
    trailer.title = std::u16string(400, u'x');
    trailer.groupBlocks[0].images[0].name = std::u16string(40, u'n');
    const Trailer back = parseTrailer(serializeTrailer(trailer));
    EXPECT_EQ(back.title, std::u16string(259, u'x'));
    EXPECT_EQ(back.groupBlocks[0].images[0].name, std::u16string(29, u'n'));
}

class PackageTest : public testsupport::IsolatedTest {
protected:
    std::string path = home.path("Nimbrel");

    Images sampleImages() {
        Images images;
        images[2 * kImagesPerGroup + 3] = {bytesOf(61, 1), bytesOf(256, 2)};
        images[2 * kImagesPerGroup + 8] = {bytesOf(4096, 3), bytesOf(30, 4)};
        images[0] = {bytesOf(5, 5), {}};
        return images;
    }

    void writeUpdater(const std::vector<std::uint8_t>& package) {
        std::string bytes =
            "\x7F"
            "ELF program bytes";
        bytes.append(package.begin(), package.end());
        testsupport::writeFileBytes(path, bytes);
    }
};

TEST_F(PackageTest, ABuiltPackageLoadsBackWithEveryImage) {
    const Images images = sampleImages();
    writeUpdater(BuildPackage(sampleTrailer(), images));
    const PackageLoad load = LoadPackage(path);
    ASSERT_TRUE(load.ok) << load.message;
    EXPECT_TRUE(load.message.empty());
    for (std::size_t i = 0; i < images.size(); ++i) {
        EXPECT_EQ(load.package.images[i].data, images[i].data) << i;
        EXPECT_EQ(load.package.images[i].info, images[i].info) << i;
    }
    EXPECT_EQ(load.package.trailer.groupBlocks[2].images[3].dataLength, 61u);
    EXPECT_EQ(load.package.trailer.groupBlocks[2].images[3].infoLength, 256u);
    EXPECT_EQ(load.package.trailer.title, sampleTrailer().title);
    Trailer trailerOnly;
    ASSERT_TRUE(ReadPackageTrailer(path, trailerOnly));
    EXPECT_EQ(trailerOnly, load.package.trailer);
}

TEST_F(PackageTest, FailuresCarryTheUpdatersMessages) {
    EXPECT_EQ(LoadPackage(home.path("missing")).message, kCannotOpenMessage);
    EXPECT_EQ(LoadPackage(home.root()).message, kCannotOpenMessage);

    testsupport::writeFileBytes(path, std::string(kTrailerSize - 1, 'x'));
    EXPECT_EQ(LoadPackage(path).message, kCannotReadMessage);

    std::vector<std::uint8_t> trailer = serializeTrailer(sampleTrailer());
    trailer[11403 + 1] = 'M';
    Scramble(trailer.data(), trailer.size());
    writeUpdater(trailer);
    const PackageLoad noMarker = LoadPackage(path);
    EXPECT_FALSE(noMarker.ok);
    EXPECT_EQ(noMarker.message, kNoMarkerMessage);
    Trailer ignored;
    EXPECT_FALSE(ReadPackageTrailer(path, ignored));
}

TEST_F(PackageTest, LengthsBeyondTheFileFailTheLoadWithoutReadingOrAllocating) {
    for (const std::uint32_t length : {0xFFFFFFF0u, 20000u}) {
        Trailer trailer = sampleTrailer();
        trailer.groupBlocks[4].images[8].dataLength = length;  // the first part read
        trailer.groupBlocks[4].images[8].infoLength = 8;
        std::vector<std::uint8_t> bytes = serializeTrailer(trailer);
        Scramble(bytes.data(), bytes.size());
        writeUpdater(bytes);
        const PackageLoad load = LoadPackage(path);
        EXPECT_FALSE(load.ok) << length;
        EXPECT_TRUE(load.message.empty()) << length;
    }
}

// One flipped byte anywhere the checksums cover fails the load with its own
// message: inside an image's data or information part, the trailer, the
// checksum block and the trailer's mark of it.
TEST_F(PackageTest, AFlippedByteInAChecksummedPackageIsRefused) {
    const Images images = sampleImages();
    const std::vector<std::uint8_t> package = BuildPackage(sampleTrailer(), images);
    const std::size_t parts = 5 + 61 + 256 + 4096 + 30;
    ASSERT_EQ(package.size(), kChecksumBlockSize + parts + kTrailerSize);
    const std::size_t firstPart = kChecksumBlockSize;
    const std::size_t trailer = firstPart + parts;
    const struct {
        const char* where;
        std::size_t offset;
    } flips[] = {
        {"first image's data", firstPart + 2},
        {"data of image 3.4", firstPart + 5 + 30},
        {"information of image 3.4", firstPart + 5 + 61 + 100},
        {"last byte of the last part", trailer - 1},
        {"trailer title", trailer + 9322 + 4},
        {"checksum block magic", 3},
        {"checksum of an image", 8 + 32 * (2 * kImagesPerGroup + 3) + 5},
        {"package checksum", kChecksumBlockSize - 1},
    };
    const auto refused = [&](const std::vector<std::uint8_t>& damaged, const char* where) {
        writeUpdater(damaged);
        const PackageLoad load = LoadPackage(path);
        EXPECT_FALSE(load.ok) << where;
        EXPECT_EQ(load.message, kDamagedMessage) << where;
    };
    for (const auto& flip : flips) {
        std::vector<std::uint8_t> damaged = package;
        damaged[flip.offset] ^= 0x10;
        refused(damaged, flip.where);
    }
    // The mark itself, as the trailer holds it once descrambled.
    std::vector<std::uint8_t> unmarked = package;
    std::uint8_t* trailerBytes = unmarked.data() + trailer;
    Descramble(trailerBytes, kTrailerSize);
    trailerBytes[11414] ^= 0x01;
    Scramble(trailerBytes, kTrailerSize);
    refused(unmarked, "trailer mark of the checksums");
    writeUpdater(package);
    const PackageLoad intact = LoadPackage(path);
    ASSERT_TRUE(intact.ok) << intact.message;
    EXPECT_TRUE(intact.package.checksummed);
}

// Packages built before the checksums (nothing in front of the first part,
// the mark bytes zero) load as they always did, and are told apart.
TEST_F(PackageTest, APackageWithoutChecksumsStillLoads) {
    const Images images = sampleImages();
    const std::vector<std::uint8_t> withSums = BuildPackage(sampleTrailer(), images);
    const std::vector<std::uint8_t> without = BuildPackage(sampleTrailer(), images, false);
    ASSERT_EQ(withSums.size(), without.size() + kChecksumBlockSize);
    std::vector<std::uint8_t> trailer(without.end() - static_cast<std::ptrdiff_t>(kTrailerSize), without.end());
    Descramble(trailer.data(), trailer.size());
    EXPECT_EQ(std::vector<std::uint8_t>(trailer.begin() + 11413, trailer.end()), std::vector<std::uint8_t>(3, 0))
        << "an old package's unused bytes";
    writeUpdater(without);
    const PackageLoad load = LoadPackage(path);
    ASSERT_TRUE(load.ok) << load.message;
    EXPECT_FALSE(load.package.checksummed);
    for (std::size_t i = 0; i < images.size(); ++i) EXPECT_EQ(load.package.images[i].data, images[i].data) << i;
}
