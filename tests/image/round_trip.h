// Reading image text into a window and writing it back, shared by the tests
// and the fuzz targets (header only: the fuzz build has no test library).
// Everything stays in memory.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "image/image_io.h"

namespace image_test {

constexpr std::uint8_t kFill = 0xEE;

// Runs a reader on `text` into a window filled with kFill. The window is
// exactly sized, so that AddressSanitizer sees any write past its end.
inline std::vector<std::uint8_t> readIntoWindow(tessline::ImageTextReader read,
                                                std::string_view text, std::uint32_t base,
                                                std::uint32_t length, int& count) {
    std::vector<std::uint8_t> window(length, kFill);
    tessline::TextSource source(text);
    count = read(source, window.data(), base, length);
    return window;
}

// Writes the window as text and reads that into a fresh window.
inline std::vector<std::uint8_t> writtenAndReadBack(tessline::ImageTextWriter write,
                                                    tessline::ImageTextReader read,
                                                    const std::vector<std::uint8_t>& window,
                                                    std::uint32_t base) {
    const auto length = static_cast<std::uint32_t>(window.size());
    std::string text;
    write(text, window.data(), base, length);
    int count = 0;
    return readIntoWindow(read, text, base, length, count);
}

// The bytes from the first to the last one that differ from kFill, as
// [first, end). Whole blocks are compared with memcmp, which is quick under
// the sanitizers; the loops are left out of the fuzzer's coverage, where
// they would only add noise.
#if defined(__clang__)
__attribute__((no_sanitize("coverage")))
#endif
inline void changedSpan(const std::vector<std::uint8_t>& window, std::size_t& first,
                        std::size_t& end) {
    constexpr std::size_t kBlock = 64;
    static const std::vector<std::uint8_t> fill(kBlock, kFill);
    const std::uint8_t* bytes = window.data();
    first = 0;
    end = window.size();
    while (end - first >= kBlock && std::memcmp(bytes + first, fill.data(), kBlock) == 0)
        first += kBlock;
    while (end - first >= kBlock && std::memcmp(bytes + end - kBlock, fill.data(), kBlock) == 0)
        end -= kBlock;
    while (first < end && bytes[first] == kFill) ++first;
    while (end > first && bytes[end - 1] == kFill) --end;
}

// The fuzz check of a reader: on any text, in windows low, across 64 KiB,
// empty and at the top of the address space, the reader stays inside the
// window, and what it stored is written and read back unchanged. A reader
// whose file has no addresses (CSV) must also store at most the window's
// length of values.
//
// The round trip covers the window's bytes from the first to the last one
// that the text changed, as a window of its own: the rest holds the filler
// whatever the input, and writing that over and over would cost the fuzzer
// most of its time without reaching new code.
inline void checkReaderOnText(tessline::ImageTextReader read, tessline::ImageTextWriter write,
                              const std::uint8_t* data, std::size_t size, bool countedByWindow) {
    struct Window {
        std::uint32_t base;
        std::uint32_t length;
    };
    static const Window kWindows[] = {{0x8000, 4608}, {0xFFF8, 24}, {0x1000, 0}, {0xFFFFFFF0, 16}};
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const Window& w : kWindows) {
        int count = 0;
        const auto window = readIntoWindow(read, text, w.base, w.length, count);
        if (count < 0 || (countedByWindow && static_cast<std::uint32_t>(count) > w.length))
            std::abort();
        std::size_t first = 0;
        std::size_t end = 0;
        changedSpan(window, first, end);
        if (first == end) continue;  // nothing but filler: nothing to write
        const std::vector<std::uint8_t> changed(window.begin() + first, window.begin() + end);
        const auto base = static_cast<std::uint32_t>(w.base + first);
        if (writtenAndReadBack(write, read, changed, base) != changed) std::abort();
    }
}

}  // namespace image_test
