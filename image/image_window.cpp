#include "image/image_window.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace tessline {

namespace {
constexpr std::uint64_t kAddressSpaceEnd = std::uint64_t{1} << 32;
}

std::uint64_t windowEnd(std::uint32_t base, std::uint32_t length) {
    return std::min(std::uint64_t{base} + length, kAddressSpaceEnd);
}

std::uint64_t ImageWindow::end() const { return windowEnd(base, length); }

std::size_t ImageWindow::store(std::uint64_t address, const std::uint8_t* bytes,
                               std::size_t count) const {
    const std::uint64_t first = std::max<std::uint64_t>(address, base);
    const std::uint64_t last = std::min<std::uint64_t>(address + count, end());
    if (first >= last) return 0;
    const std::size_t stored = static_cast<std::size_t>(last - first);
    std::memcpy(buffer + (first - base), bytes + (first - address), stored);
    return stored;
}

int imageCount(std::uint64_t count) {
    return static_cast<int>(std::min<std::uint64_t>(count, INT_MAX));
}

}  // namespace tessline
