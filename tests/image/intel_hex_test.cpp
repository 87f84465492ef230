#include "image/intel_hex.h"

#include <gtest/gtest.h>

#include <numeric>

#include "image_test_support.h"

namespace tessline {
namespace {

using image_test::hexBytes;
using image_test::patternBytes;

std::vector<std::string> writtenLines(const std::vector<std::uint8_t>& image, std::uint32_t base) {
    return image_test::wholeWindowLines(writeIntelHexText, image, base);
}

TEST(IntelHexWriter, EepromWindowShape) {
    const auto image = patternBytes(4608, 3);
    const auto lines = writtenLines(image, 0x8000);
    ASSERT_EQ(lines.size(), 290u);
    EXPECT_EQ(lines[0], ":020000040000FA");
    for (std::size_t i = 0; i < 288; ++i) {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, ":10%04zX00", 0x8000 + 16 * i);
        EXPECT_EQ(lines[1 + i].substr(0, 9), prefix) << "line " << i;
        EXPECT_EQ(lines[1 + i].size(), 11u + 32);
    }
    EXPECT_EQ(lines[1].substr(9, 32), hexBytes({image.begin(), image.begin() + 16}));
    EXPECT_EQ(lines[288].substr(0, 9), ":1091F000");
    EXPECT_EQ(lines[289], ":00000001FF");
}

TEST(IntelHexWriter, RecordRunsOverThe64KiBBoundary) {
    std::vector<std::uint8_t> image(24);
    std::iota(image.begin(), image.end(), 0x80);
    const std::vector<std::string> expected = {
        ":020000040000FA",
        ":10FFF800808182838485868788898A8B8C8D8E8F81",
        ":020000040001F9",
        ":08000800909192939495969754",
        ":00000001FF",
    };
    EXPECT_EQ(writtenLines(image, 0xFFF8), expected);
}

TEST(IntelHexReader, ClipsAndSkips) {
    const std::string untouched(32, 'E');
    image_test::expectWindowReads(readIntelHexText, {
        {"first half below base", ":100FF800303132333435363738393A3B3C3D3E3F71\n", 8,
         "38393A3B3C3D3E3FEEEEEEEEEEEEEEEE"},
        {"ends on the last byte", ":0810080011121314151617183C\n", 8,
         "EEEEEEEEEEEEEEEE1112131415161718"},
        {"runs past the end", ":08100C002122232425262728B8\r\n", 4,
         "EEEEEEEEEEEEEEEEEEEEEEEE21222324"},
        {"starts one past the end", ":011010009946\n", 0, untouched},
        {"linear page 1 puts 0x0010 outside", ":020000040001F9\n:020010000102EB\n", 0, untouched},
        {"segment 0x100 is address 0x1000", ":020000020100FB :02000400515257", 2,
         "EEEEEEEE5152EEEEEEEEEEEEEEEEEEEE"},
        {"segment 0x10 is address 0x100", ":020000020010EC :02000400515257", 0, untouched},
        {"linear page back to 0",
         ":020000040001F9 :02100400616227 :020000040000FA :011006007178", 1,
         "EEEEEEEEEEEE71EEEEEEEEEEEEEEEEEE"},
        {"bad checksum leaves the page", ":020000040001F8 :02100400616227", 2,
         "EEEEEEEE6162EEEEEEEEEEEEEEEEEEEE"},
        {"type 4 at non-zero address", ":020001040001F8 :02100400616227", 2,
         "EEEEEEEE6162EEEEEEEEEEEEEEEEEEEE"},
        {"type 2 of three bytes", ":03000002010000FA :02100400616227", 2,
         "EEEEEEEE6162EEEEEEEEEEEEEEEEEEEE"},
        {"start records and end of file change nothing",
         ":0400000500001000E7 :0400000300001000E9 :00000001FF :02100400616227", 2,
         "EEEEEEEE6162EEEEEEEEEEEEEEEEEEEE"},
        {"type 6", ":00000006FA", 0, untouched},
        {"lower-case digits fail the checksum", ":021000001a2ba9\n:021000001020be\n", 0, untouched},
        {"lower-case digit read as 0", ":011000000aEF", 1,
         "00EEEEEEEEEEEEEEEEEEEEEEEEEEEEEE"},
        {"no colon", "0110080055 92 011008005592 x:011008005592", 0, untouched},
        {"shorter than its length", ":02100800559 :0210080055", 0, untouched},
        {"word of 239 characters", ":011008005592" + std::string(226, '0'), 1,
         "EEEEEEEEEEEEEEEE55EEEEEEEEEEEEEE"},
        {"word of 240 characters", ":011008005592" + std::string(227, '0'), 0, untouched},
    });
}

}  // namespace
}  // namespace tessline
