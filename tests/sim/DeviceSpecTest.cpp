#include "sim/DeviceSpec.h"
#include "sim/EmulatedController.h"

#include <gtest/gtest.h>

namespace {

using sim::ControllerKind;
using sim::DeviceSpec;
using sim::parseDeviceSpec;

DeviceSpec specOf(ControllerKind kind) {
    DeviceSpec spec;
    spec.kind = kind;
    return spec;
}

struct ValidCase {
    const char* text;
    DeviceSpec expected;
};

DeviceSpec with(DeviceSpec spec, auto change) {
    change(spec);
    return spec;
}

TEST(DeviceSpecTest, ParsesEveryOption) {
    std::array<std::uint8_t, 16> identity{};
    for (std::size_t i = 0; i < identity.size(); ++i) identity[i] = static_cast<std::uint8_t>(0xF0 + i);
    const ValidCase cases[] = {
        {"standard", specOf(ControllerKind::Standard)},
        {"led5", specOf(ControllerKind::Led5)},
        {" led5 , fw=3.14.4000000000 ", with(specOf(ControllerKind::Led5),
                                             [](DeviceSpec& s) {
                                                 s.firmware = {3, 14, 4000000000u};
                                             })},
        {"standard,boot", with(specOf(ControllerKind::Standard), [](DeviceSpec& s) { s.bootLoader = true; })},
        {"standard,name=Top card,group", with(specOf(ControllerKind::Standard),
                                              [](DeviceSpec& s) {
                                                  s.name = "Top card";
                                                  s.groupMember = true;
                                              })},
        {"led5,board=65535", with(specOf(ControllerKind::Led5), [](DeviceSpec& s) { s.boardId = 65535; })},
        {"led5,denied", with(specOf(ControllerKind::Led5), [](DeviceSpec& s) { s.denied = true; })},
        {"standard,subdevices=8", with(specOf(ControllerKind::Standard), [](DeviceSpec& s) { s.subDevices = 8; })},
        {"standard,identity=F0F1F2F3f4f5f6f7f8f9fafbfcfdfeff",
         with(specOf(ControllerKind::Standard), [&](DeviceSpec& s) { s.identity = identity; })},
        {"standard,name=ÄÖÜäöüßÄÖÜäöüßÄÖÜäöü",
         with(specOf(ControllerKind::Standard), [](DeviceSpec& s) { s.name = "ÄÖÜäöüßÄÖÜäöüßÄÖÜäöü"; })},
    };
    for (const ValidCase& c : cases) {
        auto result = parseDeviceSpec(c.text);
        ASSERT_TRUE(result.spec) << c.text << ": " << result.error;
        EXPECT_EQ(*result.spec, c.expected) << c.text;
    }
}

TEST(DeviceSpecTest, RejectsBadTextWithAReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "standard or led5"},
        {"keyboard", "standard or led5"},
        {"Standard", "standard or led5"},
        {"standard,fw=1.2", "MAJOR.MINOR.BUILD"},
        {"standard,fw=256.0.0", "MAJOR.MINOR.BUILD"},
        {"standard,fw=1.0.4294967296", "MAJOR.MINOR.BUILD"},
        {"standard,fw=1.-1.0", "MAJOR.MINOR.BUILD"},
        {"standard,fw", "needs a value"},
        {"standard,boot=1", "takes no value"},
        {"standard,denied=yes", "takes no value"},
        {"standard,board=65536", "board"},
        {"standard,board=x", "board"},
        {"standard,subdevices=0", "subdevices"},
        {"standard,subdevices=9", "subdevices"},
        {"standard,identity=0011", "32 hex digits"},
        {"standard,identity=zz00000000000000000000000000000000", "32 hex digits"},
        {"standard,name=123456789012345678901", "longer than 20"},
        {"standard,group,group", "twice"},
        {"standard,colour=red", "unknown option"},
        {"standard,,group", "empty option"},
    };
    for (const auto& [text, reason] : cases) {
        auto result = parseDeviceSpec(text);
        EXPECT_FALSE(result.spec) << text;
        EXPECT_NE(result.error.find(reason), std::string::npos) << text << ": " << result.error;
    }
}

struct ControllerCase {
    const char* text;
    std::uint16_t productId;
    bool inBootLoader;
    sim::FirmwareVersion firmware;
    std::uint16_t boardId;
    const char* name;
};

// A parsed spec is what a simulated controller enumerates and reports as.
TEST(DeviceSpecTest, ParsedSpecDecidesWhatTheControllerReports) {
    const ControllerCase cases[] = {
        {"standard", 0x014D, false, {1, 0, 0}, 1, ""},
        {"standard,boot", 0x014E, true, {1, 0, 0}, 1, ""},
        {"led5", 0x015B, false, {1, 0, 0}, 1, ""},
        {" led5 , boot , fw=2.3.9", 0x015C, true, {2, 3, 9}, 1, ""},
        {"standard,fw=3.14.4000000000,board=7,name=Top card", 0x014D, false, {3, 14, 4000000000u}, 7, "Top card"},
        {"led5,subdevices=3,board=65535", 0x015B, false, {1, 0, 0}, 65535, ""},
        {"standard,boot,sameid", 0x014D, true, {1, 0, 0}, 1, ""},
        {"led5,boot,sameid", 0x015B, true, {1, 0, 0}, 1, ""},
    };
    for (const ControllerCase& c : cases) {
        const auto result = parseDeviceSpec(c.text);
        ASSERT_TRUE(result.spec) << c.text << ": " << result.error;
        const sim::EmulatedController controller(*result.spec, 1);
        EXPECT_EQ(controller.productId(), c.productId) << c.text;
        EXPECT_EQ(controller.inBootLoader(), c.inBootLoader) << c.text;
        EXPECT_EQ(controller.firmwareVersion(), c.firmware) << c.text;
        const sim::RecordData information = controller.firmwareInformation();
        EXPECT_EQ(information[20] | information[21] << 8, c.boardId) << c.text;
        EXPECT_EQ(controller.name(), c.name) << c.text;
    }
}

}  // namespace
