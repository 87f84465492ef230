// Feeds arbitrary bytes through the TEXT framing and its field extraction.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "link/text_framer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t fieldBytes = 0;
    tessline::TextFramer framer([&](const std::string& label, const std::string& value) {
        if (label.empty() || value.empty()) std::abort();  // both groups match one byte at least
        fieldBytes += label.size() + value.size();
    });
    for (std::size_t i = 0; i < size; ++i) {
        framer.feed(static_cast<char>(data[i]));
        if (framer.textBlock().size() > tessline::TextFramer::kMaxBlock) std::abort();
    }
    return 0;
}
