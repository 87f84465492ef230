#include "image/srecord.h"

#include <gtest/gtest.h>


#include "image_test_support.h"

namespace tessline {
namespace {

using image_test::hexBytes;
using image_test::patternBytes;

TEST(SRecordWriter, EepromWindowShape) {
    const auto image = patternBytes(4608, 1);
    const auto lines = image_test::wholeWindowLines(writeSRecordText, image, 0x8000);
    ASSERT_EQ(lines.size(), 145u);
    for (std::size_t i = 0; i < 144; ++i) {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "S123%04zX", 0x8000 + 32 * i);
        EXPECT_EQ(lines[i].substr(0, 8), prefix) << "line " << i;
        EXPECT_EQ(lines[i].size(), 4u + 2 * 0x23);
    }
    EXPECT_EQ(lines[0].substr(8, 64), hexBytes({image.begin(), image.begin() + 32}));
    EXPECT_EQ(lines[143].substr(0, 8), "S12391E0");
    EXPECT_EQ(lines[144], "S9030000FC");
}

TEST(SRecordWriter, Records) {
    struct Case {
        const char* legend;
        std::uint32_t base;
        std::uint32_t length;
        int written;
        std::vector<std::string> lines;  // compared up to a "*"
    } cases[] = {
        {"40 bytes: 32 and 8", 0x1000, 40, 40, {"S1231000*", "S10B1020*", "S9030000FC"}},
        {"empty window: end record only", 0x1000, 0, 0, {"S9030000FC"}},
        {"past 16 bits: S2 and S8", 0xFFF0, 48, 48,
         {"S22400FFF0*", "S214010010*", "S804000000FB"}},
        {"past 24 bits: S3 and S7", 0xFFFFF8, 16, 16, {"S31500FFFFF8*", "S70500000000FA"}},
        {"beyond 32 bits: cut", 0xFFFFFFF8, 16, 8, {"S30DFFFFFFF8*", "S70500000000FA"}},
    };
    for (const auto& c : cases) {
        const auto image = patternBytes(c.length, 2);
        const auto written = image_test::writeText(writeSRecordText, image, c.base);
        EXPECT_EQ(written.count, c.written) << c.legend;
        EXPECT_TRUE(written.allCrLf) << c.legend;
        const auto& lines = written.lines;
        ASSERT_EQ(lines.size(), c.lines.size()) << c.legend;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string& want = c.lines[i];
            const std::size_t star = want.find('*');
            EXPECT_EQ(lines[i].substr(0, star), want.substr(0, star)) << c.legend << " line " << i;
        }
    }
}

TEST(SRecordWriter, FormatsChecksumAsOnesComplement) {
    const std::uint8_t data[] = {0x12, 0x34};
    EXPECT_EQ(formatSRecord(1, 0x8000, data, 2), "S1058000123434");
    EXPECT_EQ(formatSRecord(9, 0, data, 0), "S901FE");
}

TEST(SRecordReader, ClipsAndSkips) {
    image_test::expectWindowReads(readSRecordText, {
        {"S2 half below base", "S20C000FFC0102030405060708C4\n", 4,
         "05060708EEEEEEEEEEEEEEEEEEEEEEEE"},
        {"ends on the last byte", "S10B1008111213141516171838\n", 8,
         "EEEEEEEEEEEEEEEE1112131415161718"},
        {"starts one past the end", "S10410109942\n", 0, std::string(32, 'E')},
        {"runs past the end", "S10B100C2122232425262728B4\n", 4,
         "EEEEEEEEEEEEEEEEEEEEEEEE21222324"},
        {"S3 over the whole window",
         "S32500000FF8404142434445464748494A4B4C4D4E4F505152535455565758595A5B5C5D5E5FE3\n", 16,
         "48494A4B4C4D4E4F5051525354555657"},
        {"lower-case digits", "s10b1008111213141516171838\nS10b1008111213141516171838\n", 8,
         "EEEEEEEEEEEEEEEE1112131415161718"},
        {"bad checksum", "S10B1008111213141516171839\n", 0, std::string(32, 'E')},
        {"header, count and end records", "S004686472BD\nS5030003F9\nS9031000EC\n", 0,
         std::string(32, 'E')},
        {"no data bytes", "S1031000EC\n", 0, std::string(32, 'E')},
        {"count too small for the address", "S1021000ED\n", 0, std::string(32, 'E')},
        {"count beyond the line", "S10C1008111213141516171838\n", 0, std::string(32, 'E')},
        {"CR LF, LF, blank lines, no final end", "\r\nS1051000A1A2A7\r\n\nS1041002B138", 3,
         "A1A2B1EEEEEEEEEEEEEEEEEEEEEEEEEE"},
        {"leading blank", " S1051000A1A2A7\n", 0, std::string(32, 'E')},
        {"line of 1023 characters", "S1051000A1A2A7" + std::string(1009, ' ') + "\r\n", 2,
         "A1A2EEEEEEEEEEEEEEEEEEEEEEEEEEEE"},
        {"line of 1024 characters", "S1051000A1A2A7" + std::string(1010, ' ') + "\n", 0,
         std::string(32, 'E')},
        {"later record overwrites", "S1051000A1A2A7\nS1041002B138\nS1041001B139\n", 4,
         "A1B1B1EEEEEEEEEEEEEEEEEEEEEEEEEE"},
    });
}

}  // namespace
}  // namespace tessline
