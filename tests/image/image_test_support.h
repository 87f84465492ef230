// Helpers of the image file tests: line splitting, known byte patterns and
// running the independent tools.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/image_io.h"
#include "tests/support/scratch_dir.h"

namespace image_test {

using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

// What a writer made of a window: its result and its lines, which must all
// end in CR LF (`allCrLf`).
struct WrittenText {
    int count = 0;
    std::vector<std::string> lines;
    bool allCrLf = false;
};
WrittenText writeText(tessline::ImageTextWriter write, const std::vector<std::uint8_t>& image,
                      std::uint32_t base);
// The lines of a window written whole, every one ending in CR LF.
std::vector<std::string> wholeWindowLines(tessline::ImageTextWriter write,
                                          const std::vector<std::uint8_t>& image,
                                          std::uint32_t base);

// A reader case in the window 0x1000..0x100F, filled with EE beforehand.
struct WindowReadCase {
    const char* legend;
    std::string text;
    int stored;          // the reader's result
    std::string window;  // the window's bytes afterwards, in hex
};
void expectWindowReads(tessline::ImageTextReader read, const std::vector<WindowReadCase>& cases);

// Bytes that differ from their neighbours and from a plain counter.
std::vector<std::uint8_t> patternBytes(std::size_t count, unsigned seed);

// Upper-case hex digits of the bytes, two each, no separators.
std::string hexBytes(const std::vector<std::uint8_t>& bytes);

}  // namespace image_test
