#include "image/csv_image.h"

#include <gtest/gtest.h>

#include "image_test_support.h"
#include "round_trip.h"

namespace tessline {
namespace {

using image_test::patternBytes;

TEST(CsvWriter, ValuesOnePerLineWithCrLf) {
    const std::uint8_t bytes[] = {12, 0, 255};
    std::string text = "kept ";
    EXPECT_EQ(writeCsvText(text, bytes, 0x8000, 3), 3);
    EXPECT_EQ(text, "kept 12,\r\n0,\r\n255\r\n");
}

TEST(CsvWriter, EepromWindowShape) {
    const auto image = patternBytes(4608, 4);
    const auto lines = image_test::wholeWindowLines(writeCsvText, image, 0x8000);
    ASSERT_EQ(lines.size(), 4608u);
    EXPECT_EQ(lines.front(), std::to_string(image.front()) + ",");
    EXPECT_EQ(lines[1000], std::to_string(image[1000]) + ",");
    EXPECT_EQ(lines.back(), std::to_string(image.back()));
}

// Reads into a 4-byte window filled with 0xEE.
TEST(CsvReader, Values) {
    struct Case {
        const char* legend;
        std::string text;
        int count;
        std::vector<std::uint8_t> window;
    } cases[] = {
        {"CR LF lines", "12,\r\n0,\r\n255\r\n", 3, {12, 0, 255, 0xEE}},
        {"LF lines, no final end", "12,\n0,\n255", 3, {12, 0, 255, 0xEE}},
        {"one line, comma and space", "12, 0, 255\r\n", 3, {12, 0, 255, 0xEE}},
        {"low byte kept", "256, 511, -1, +7", 4, {0, 255, 255, 7}},
        {"not numbers give 0", "x, , 9z, 0x10", 4, {0, 0, 9, 0}},
        {"long number keeps its low byte", "1000000000000000000007", 1, {7, 0xEE, 0xEE, 0xEE}},
        {"more values than the window", "1 2 3 4 5 6", 4, {1, 2, 3, 4}},
        {"empty file", "", 0, {0xEE, 0xEE, 0xEE, 0xEE}},
        {"word of 255 characters", std::string(253, '0') + "5, 6", 2, {5, 6, 0xEE, 0xEE}},
        {"word of 256 characters skipped", std::string(254, '0') + "5, 6", 1,
         {6, 0xEE, 0xEE, 0xEE}},
    };
    for (const auto& c : cases) {
        int count = 0;
        EXPECT_EQ(image_test::readIntoWindow(readCsvText, c.text, 0x8000, 4, count), c.window)
            << c.legend;
        EXPECT_EQ(count, c.count) << c.legend;
    }
}

}  // namespace
}  // namespace tessline
