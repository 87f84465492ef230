// Reading image text into a window and writing it back, shared by the tests
// and the fuzz targets (header only: the fuzz build has no test library).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "image/image_io.h"

namespace image_test {

// Runs a reader on `text` into a window filled with 0xEE. The window is
// exactly sized, so that AddressSanitizer sees any write past its end.
inline std::vector<std::uint8_t> readIntoWindow(tessline::ImageTextReader read,
                                                const std::string& text, std::uint32_t base,
                                                std::uint32_t length, int& count) {
    std::vector<std::uint8_t> window(length, 0xEE);
    std::istringstream in(text);
    count = read(in, window.data(), base, length);
    return window;
}

// Writes the window as text and reads that into a fresh window.
inline std::vector<std::uint8_t> writtenAndReadBack(tessline::ImageTextWriter write,
                                                    tessline::ImageTextReader read,
                                                    const std::vector<std::uint8_t>& window,
                                                    std::uint32_t base) {
    const auto length = static_cast<std::uint32_t>(window.size());
    std::ostringstream out;
    write(out, window.data(), base, length);
    int count = 0;
    return readIntoWindow(read, out.str(), base, length, count);
}

// The fuzz check of a reader: on any text, in windows low, across 64 KiB,
// empty and at the top of the address space, the reader stays inside the
// window, and what it stored is written and read back unchanged. A reader
// whose file has no addresses (CSV) must also store at most the window's
// length of values.
inline void checkReaderOnText(tessline::ImageTextReader read, tessline::ImageTextWriter write,
                              const std::uint8_t* data, std::size_t size, bool countedByWindow) {
    struct Window {
        std::uint32_t base;
        std::uint32_t length;
    };
    static const Window kWindows[] = {{0x8000, 4608}, {0xFFF8, 24}, {0x1000, 0}, {0xFFFFFFF0, 16}};
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const Window& w : kWindows) {
        int count = 0;
        const auto window = readIntoWindow(read, text, w.base, w.length, count);
        if (count < 0 || (countedByWindow && static_cast<std::uint32_t>(count) > w.length))
            std::abort();
        if (writtenAndReadBack(write, read, window, w.base) != window) std::abort();
    }
}

}  // namespace image_test
