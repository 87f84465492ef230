#include "image_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <algorithm>

#include "round_trip.h"

namespace image_test {

WrittenText writeText(tessline::ImageTextWriter write, const std::vector<std::uint8_t>& image,
                      std::uint32_t base) {
    std::string text;
    WrittenText written;
    written.count = write(text, image.data(), base, static_cast<std::uint32_t>(image.size()));
    written.allCrLf = !text.empty() && text.back() == '\n';
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line.back() != '\r')
            written.allCrLf = false;
        else
            line.pop_back();
        written.lines.push_back(line);
    }
    return written;
}

std::vector<std::string> wholeWindowLines(tessline::ImageTextWriter write,
                                          const std::vector<std::uint8_t>& image,
                                          std::uint32_t base) {
    const auto written = writeText(write, image, base);
    EXPECT_EQ(written.count, int(image.size()));
    EXPECT_TRUE(written.allCrLf);
    return written.lines;
}

void expectWindowReads(tessline::ImageTextReader read, const std::vector<WindowReadCase>& cases) {
    for (const auto& c : cases) {
        int stored = 0;
        const auto window = readIntoWindow(read, c.text, 0x1000, 16, stored);
        EXPECT_EQ(stored, c.stored) << c.legend;
        EXPECT_EQ(hexBytes(window), c.window) << c.legend;
    }
}

std::vector<std::uint8_t> patternBytes(std::size_t count, unsigned seed) {
    std::vector<std::uint8_t> bytes(count);
    unsigned state = seed * 2654435761u + 1;
    for (auto& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    return bytes;
}

std::string hexBytes(const std::vector<std::uint8_t>& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (auto byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

}  // namespace image_test
