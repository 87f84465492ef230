#include <gtest/gtest.h>

#include "dumper/dump_item.h"
#include "tests/dumper/dump_test_support.h"

namespace {

using namespace tessline;
using namespace dumper_test;

enum Outcome { stored, tooShort, ignored };

struct HexCase {
    const char* legend;
    std::uint8_t type;
    std::vector<std::uint8_t> value;
    Outcome outcome;
    double expected;
};

TEST(DumpItem, RegisterValuesByType) {
    const HexCase cases[] = {
        {"U8", DumpItem::U8, {0xFF}, stored, 255},
        {"S8", DumpItem::S8, {0xFF}, stored, -1},
        {"U16", DumpItem::U16, {0x41, 0x05}, stored, 1345},
        {"S16 negative", DumpItem::S16, {0x9C, 0xFF}, stored, -100},
        {"U32 all bits", DumpItem::U32, {0xFF, 0xFF, 0xFF, 0xFF}, stored, 4294967295.0},
        {"S32 negative", DumpItem::S32, {0x18, 0xFC, 0xFF, 0xFF}, stored, -1000},
        {"U8 reads the first of more bytes", DumpItem::U8, {0x05, 0x01}, stored, 5},
        {"U16 with one byte", DumpItem::U16, {0x41}, tooShort, 0},
        {"U32 with two bytes", DumpItem::U32, {0x41, 0x05}, tooShort, 0},
        {"U8 without a value", DumpItem::U8, {}, tooShort, 0},
        {"unknown type 0x03", 0x03, {1, 2, 3}, ignored, 0},
        {"unknown type 0x88", 0x88, {1, 2, 3, 4, 5, 6, 7, 8}, ignored, 0},
    };
    for (const HexCase& c : cases) {
        FakeClock clock(1000);
        LogCapture log;
        DumpItem item(0xEDD5, "", DumpItem::HEX_REGISTER, "X", c.type, nullptr, nullptr);
        item.setFromHex(registerAnswer(0xEDD5, c.value));
        EXPECT_EQ(item.updatedAt, c.outcome == stored ? 1000 : 0) << c.legend;
        EXPECT_DOUBLE_EQ(item.value, c.expected) << c.legend;
        auto lines = log.lines();
        std::vector<std::string> expectedLog;
        if (c.outcome == tooShort) expectedLog = {"WRN.dumper: answer of register 0xEDD5 too short for its value"};
        EXPECT_EQ(lines, expectedLog) << c.legend;
    }
}

}  // namespace
