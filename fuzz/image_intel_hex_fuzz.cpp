// Intel HEX reader on arbitrary text: no crash, no access outside the window,
// and whatever lands in a window is written and read back unchanged.
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "image/intel_hex.h"

namespace {

struct Window {
    std::uint32_t base;
    std::uint32_t length;
};

const Window kWindows[] = {{0x8000, 4608}, {0xFFF8, 24}, {0x1000, 0}, {0xFFFFFFF0, 16}};

void readAndRoundTrip(const std::string& text, const Window& w) {
    // Exactly sized, so that AddressSanitizer sees any write past the window.
    std::vector<std::uint8_t> window(w.length, 0xEE);
    std::istringstream in(text);
    if (tessline::readIntelHexText(in, window.data(), w.base, w.length) < 0) std::abort();

    std::ostringstream out;
    tessline::writeIntelHexText(out, window.data(), w.base, w.length);
    std::vector<std::uint8_t> copy(w.length, 0);
    std::istringstream back(out.str());
    tessline::readIntelHexText(back, copy.data(), w.base, w.length);
    if (copy != window) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const Window& w : kWindows) readAndRoundTrip(text, w);
    return 0;
}
