// Feeds arbitrary bytes through the HEX frame decoder; every accepted frame
// must add up and must encode back to the digits it came from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "hex/hex_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tessline::HexFrameDecoder decoder;
    for (std::size_t i = 0; i < size; ++i) {
        if (!decoder.feed(static_cast<char>(data[i]))) continue;
        tessline::HexMsg frame = decoder.message();
        if (frame.empty() || frame.size() > 101) std::abort();
        std::uint8_t sum = 0;
        for (auto b : frame.bytes()) sum = static_cast<std::uint8_t>(sum + b);
        if (sum != tessline::kHexChecksumTarget) std::abort();
        frame.readValue(4);
        frame.readValue(4);
    }
    return 0;
}
