#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

#include "hex/hex_msg.h"
#include "identity/product_table.h"
#include "identity/register_text.h"

namespace tessline {
namespace {

TEST(ProductTable, GroupsHoldTheirCounts) {
    std::map<unsigned, int> byTopDigit;
    int chargers = 0;
    for (std::size_t i = 0; i + 1 < kProductRowCount; ++i) {
        const std::uint32_t id = productTable[i].id;
        ++byTopDigit[id >> 12];
        if (id >= 0xA040 && id <= 0xA07F) ++chargers;
    }
    const std::map<unsigned, int> expected = {{0x0, 37}, {0x1, 109}, {0x2, 68}, {0xA, 57}, {0xB, 2}};
    EXPECT_EQ(byTopDigit, expected);
    EXPECT_EQ(chargers, 17);
}

// A repeated id would hide the later row from every lookup.
TEST(ProductTable, ProductsAreUniqueAndNamed) {
    std::set<std::uint32_t> ids;
    for (std::size_t i = 0; i + 1 < kProductRowCount; ++i) {
        const ProductRow& row = productTable[i];
        EXPECT_TRUE(ids.insert(row.id).second) << "repeated id " << std::hex << row.id;
        ASSERT_NE(row.name, nullptr) << i;
        EXPECT_GT(std::strlen(row.name), 0u) << i;
        EXPECT_LT(row.id, 0xFFFFu) << i;
    }
}

TEST(ProductTable, ClosingRowIsLast) {
    const ProductRow& last = productTable[kProductRowCount - 1];
    EXPECT_EQ(last.id, 0xFFFFu);
    EXPECT_STREQ(last.name, "unknown");
}

TEST(ProductTable, LookupFindsEveryRow) {
    for (const ProductRow& row : productTable) {
        EXPECT_STREQ(lookupProductName(static_cast<std::uint16_t>(row.id)), row.name);
    }
}

TEST(ProductTable, LookupMisses) {
    const struct {
        const char* legend;
        std::uint16_t id;
    } misses[] = {
        {"zero", 0x0000},
        {"charger range without a product", 0xA07F},
        {"model row without a product name", 0xA051},
        {"group without products", 0x5000},
    };
    for (const auto& m : misses) EXPECT_EQ(lookupProductName(m.id), nullptr) << m.legend;
}

HexMsg answerWith(std::initializer_list<std::uint8_t> bytes) {
    return HexMsg(bytes);
}

TEST(RegisterText, TakesValueBytesOnly) {
    const struct {
        const char* legend;
        HexMsg answer;
        const char* text;
    } cases[] = {
        {"zero bytes left out", answerWith({0x07, 0x0B, 0x01, 0x00, 'A', 0, 'B', 0x99}), "AB"},
        {"white space kept", answerWith({0x07, 0x0B, 0x01, 0x00, ' ', 'S', '\r', '\n', 0x12}), " S\r\n"},
        {"checksum only", answerWith({0x07, 0x0B, 0x01, 0x00, 0x42}), ""},
        {"shorter than the header", answerWith({0x07, 0x0B}), ""},
        {"one byte", answerWith({0x07}), ""},
        {"empty", HexMsg(), ""},
    };
    for (const auto& c : cases) EXPECT_EQ(registerText(c.answer), c.text) << c.legend;
}

TEST(RegisterText, IgnoresReadPosition) {
    HexMsg answer = answerWith({0x07, 0x0B, 0x01, 0x00, 'S', 'U', 0x55});
    answer.readU32();
    EXPECT_EQ(registerText(answer), "SU");
}

}  // namespace
}  // namespace tessline
