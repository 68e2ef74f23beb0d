#include "skin/SkinRecord.h"

#include <gtest/gtest.h>

#include <string>

using skin::FlagRule;
using skin::ParseSkinRecord;
using skin::SkinRecord;

namespace {

struct RecordCase {
    const char* text;
    SkinRecord lumenstra;
    std::int32_t nimbrelFlag;
};

}  // namespace

namespace skin {
// Failure messages show records as (left,top,right,bottom,[text],flag).
void PrintTo(const SkinRecord& r, std::ostream* out) {
    *out << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ",[" << r.text << "]," << r.flag
         << ")";
}
}  // namespace skin

TEST(SkinRecordTest, RecordsParseUnderBothFlagRules) {
    const RecordCase cases[] = {
        {"BUTTON_OK,339,324,123,44,,FALSE", {339, 324, 462, 368, "", 0}, 0},
        {"RECT_UPDATE,59, 268,684,16, FALSE,FALSE", {59, 268, 743, 284, " FALSE", 0}, 0},
        {",279,99,0,0,,FALSE", {279, 99, 279, 99, "", 0}, 0},
        {"A,1,2,3,4,Caption,TRUE", {1, 2, 4, 6, "Caption", 1}, 1},
        {"A,1,2,3,4,,true", {1, 2, 4, 6, "", 0}, 0},
        {"A,1,2,3,4,,2", {1, 2, 4, 6, "", 2}, 0},
        {"A,1,2,3,4,, 7px", {1, 2, 4, 6, "", 7}, 0},
        {"A,1,2,3,4,,-3", {1, 2, 4, 6, "", -3}, 0},
        {"A,1,2,3,4,,TRUE ", {1, 2, 4, 6, "", 0}, 1},
        {"A,1,2,3,4,TRUE,FALSE", {1, 2, 4, 6, "TRUE", 0}, 1},
        {"A,1,2,3,4,x,y,1", {1, 2, 4, 6, "y", 1}, 0},
        {"A,-5,-6,10,10,,", {-5, -6, 5, 4, "", 0}, 0},
        {"A,1 ,2,3,4,,0", {1, 0, 1, 0, "", 0}, 0},  // a blank after a number ends the scan
        {"A,1,x,3,4,,0", {1, 0, 1, 0, "", 0}, 0},
        {"A,2147483647,0,10,0,,0", {2147483647, 0, 2147483647, 0, "", 0}, 0},
        {"A,99999999999,0,0,0,,0", {2147483647, 0, 2147483647, 0, "", 0}, 0},
        {"NAME ONLY", {0, 0, 0, 0, "", 0}, 0},
        {"A,5", {5, 0, 5, 0, "", 5}, 0},
        {"", {}, 0},
    };
    for (const RecordCase& c : cases) {
        EXPECT_EQ(ParseSkinRecord(c.text), c.lumenstra) << c.text;
        SkinRecord nimbrel = c.lumenstra;
        nimbrel.flag = c.nimbrelFlag;
        EXPECT_EQ(ParseSkinRecord(c.text, FlagRule::Nimbrel), nimbrel) << c.text;
    }
}

TEST(SkinRecordTest, LeadingIntegerReadsLikeTheAttributeValuesNeedIt) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"16777215", 16777215},
        {" 14", 14},
        {"-2", -2},
        {"+3", 3},
        {"12px", 12},
        {"px", 0},
        {"", 0},
        {"-", 0},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483647 - 1},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(skin::leadingInteger(text), value) << text;
}

TEST(SkinRecordTest, LineBreakMarksBecomeCarriageReturnAndLineFeed) {
    const std::pair<const char*, const char*> cases[] = {
        {"Two\\r\\nlines", "Two\r\nlines"},
        {"\\r\\n\\r\\n", "\r\n\r\n"},
        {"only \\r or \\n", "only \\r or \\n"},
        {"\\r\\", "\\r\\"},
        {"", ""},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(skin::ReplaceLineBreakMarks(text), expected) << text;
}

TEST(SkinRecordTest, WrappedTextIsCentredByHalfTheSpareHeightRoundedTowardZero) {
    EXPECT_EQ(skin::CenteredTopBottom(0, 100, 20), std::make_pair(40, 60));
    EXPECT_EQ(skin::CenteredTopBottom(10, 111, 20), std::make_pair(50, 71));
    EXPECT_EQ(skin::CenteredTopBottom(0, 10, 21), std::make_pair(-5, 15));
    EXPECT_EQ(skin::CenteredTopBottom(0, 10, 10), std::make_pair(0, 10));
}
