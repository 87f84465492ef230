#include <gtest/gtest.h>

#include "dumper/dump_item.h"
#include "dumper/value_format.h"
#include "tests/dumper/dump_test_support.h"

namespace {

using namespace tessline;
using namespace dumper_test;

struct HexCase {
    const char* legend;
    std::uint8_t type;
    std::vector<std::uint8_t> value;
    bool stored;
    double expected;
};

TEST(DumpItem, RegisterValuesByType) {
    const HexCase cases[] = {
        {"U8", DumpItem::U8, {0xFF}, true, 255},
        {"S8", DumpItem::S8, {0xFF}, true, -1},
        {"U16", DumpItem::U16, {0x41, 0x05}, true, 1345},
        {"S16 negative", DumpItem::S16, {0x9C, 0xFF}, true, -100},
        {"U32 all bits", DumpItem::U32, {0xFF, 0xFF, 0xFF, 0xFF}, true, 4294967295.0},
        {"S32 negative", DumpItem::S32, {0x18, 0xFC, 0xFF, 0xFF}, true, -1000},
        {"U8 reads the first of more bytes", DumpItem::U8, {0x05, 0x01}, true, 5},
        {"U16 with one byte", DumpItem::U16, {0x41}, false, 0},
        {"U32 with two bytes", DumpItem::U32, {0x41, 0x05}, false, 0},
        {"U8 without a value", DumpItem::U8, {}, false, 0},
        {"unknown type 0x03", 0x03, {1, 2, 3}, false, 0},
        {"unknown type 0x88", 0x88, {1, 2, 3, 4, 5, 6, 7, 8}, false, 0},
    };
    for (const HexCase& c : cases) {
        FakeClock clock(1000);
        LogCapture log;
        DumpItem item(0xEDD5, "", DumpItem::HEX_REGISTER, "X", c.type, nullptr, nullptr);
        item.setFromHex(registerAnswer(0xEDD5, c.value));
        EXPECT_EQ(item.updatedAt, c.stored ? 1000 : 0) << c.legend;
        EXPECT_DOUBLE_EQ(item.value, c.expected) << c.legend;
    }
}

TEST(DumpItem, ShortAnswerIsLogged) {
    FakeClock clock(1000);
    LogCapture log;
    DumpItem item(0xEDD5, "", DumpItem::HEX_REGISTER, "X", DumpItem::U16, nullptr, nullptr);
    item.setFromHex(registerAnswer(0xEDD5, {0x41}));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0], "WRN.dumper: answer of register 0xEDD5 too short for its value");
}

TEST(DumpItem, RegisterNumberTakesTheParserScale) {
    FakeClock clock(1000);
    DumpItem item(0xEDDB, "", DumpItem::HEX_REGISTER, "Temp", DumpItem::S16, parseHundredths, formatFixed1);
    item.setFromHex(registerAnswer(0xEDDB, {0x1E, 0xF6}));  // -2530
    EXPECT_DOUBLE_EQ(item.value, -25.3);
    EXPECT_EQ(item.format(), "-25.3");
}

TEST(DumpItem, RawItemKeepsTheAnswerFromItsFirstValueByte) {
    FakeClock clock(1000);
    DumpItem item(0x1050, "", DumpItem::HEX_REGISTER, "Day0", DumpItem::RAW, nullptr, nullptr);
    HexMsg answer = registerAnswer(0x1050, {0xAA, 0xBB});
    item.setFromHex(answer);
    EXPECT_EQ(item.updatedAt, 1000);
    EXPECT_EQ(item.raw.bytes(), answer.bytes());
    EXPECT_EQ(item.raw.readU8(), 0xAA);
}

TEST(DumpItem, TextUpdateStampsTheTimeAndKeepsTheText) {
    FakeClock clock(1234);
    DumpItem item(-1, "V", 0, "Vbat[V]", DumpItem::U16, parseHundredths, formatFixed2);
    item.setFromText("1345");
    EXPECT_EQ(item.lastText, "1345");
    EXPECT_EQ(item.updatedAt, 1234);
    EXPECT_EQ(item.format(), "13.45");
}

TEST(DumpItem, FailedTextUpdateLeavesTheItemAsItWas) {
    FakeClock clock(1000);
    DumpItem item(-1, "V", 0, "Vbat[V]", DumpItem::U16, parseHundredths, formatFixed2);
    item.setFromText("1345");
    clock.setSeconds(2000);
    EXPECT_ANY_THROW(item.setFromText("13,45"));
    EXPECT_EQ(item.lastText, "1345");
    EXPECT_EQ(item.updatedAt, 1000);
    EXPECT_DOUBLE_EQ(item.value, 13.45);
}

TEST(DumpItem, HexRegisterOnlyWithTheFlag) {
    EXPECT_EQ(DumpItem(0xEDD5, "", DumpItem::HEX_REGISTER, "", DumpItem::U16, nullptr, nullptr).hexRegister(), 0xEDD5);
    EXPECT_EQ(DumpItem(0xEDD5, "V", 0, "", DumpItem::U16, nullptr, nullptr).hexRegister(), -1);
    EXPECT_EQ(DumpItem(0xEDD4, "", DumpItem::HIDDEN, "", DumpItem::U8, nullptr, nullptr).hexRegister(), -1);
}

}  // namespace
