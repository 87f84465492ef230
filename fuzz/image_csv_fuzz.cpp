// CSV reader on arbitrary text: no crash, never more values stored than the
// window holds, and the values stored are written and read back unchanged.
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "image/csv_image.h"

namespace {

void readAndRoundTrip(const std::string& text, std::uint32_t length) {
    // Exactly sized, so that AddressSanitizer sees any write past the window.
    std::vector<std::uint8_t> window(length, 0xEE);
    std::istringstream in(text);
    const int count = tessline::readCsvText(in, window.data(), 0x8000, length);
    if (count < 0 || static_cast<std::uint32_t>(count) > length) std::abort();

    std::ostringstream out;
    tessline::writeCsvText(out, window.data(), 0x8000, length);
    std::vector<std::uint8_t> copy(length, 0);
    std::istringstream back(out.str());
    if (tessline::readCsvText(back, copy.data(), 0x8000, length) != static_cast<int>(length))
        std::abort();
    if (copy != window) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (std::uint32_t length : {0u, 3u, 4608u}) readAndRoundTrip(text, length);
    return 0;
}
