// Image window: a byte buffer standing for a range of memory addresses.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessline {

// One past the last address of a window. Computed in 64 bits and capped at
// the end of the 32-bit address space, which is all that image files address.
std::uint64_t windowEnd(std::uint32_t base, std::uint32_t length);

struct ImageWindow {
    std::uint8_t* buffer;  // byte i holds the memory byte at base + i
    std::uint32_t base;
    std::uint32_t length;

    std::uint64_t end() const;  // see windowEnd()

    // Stores the part of `count` bytes, meant for `address` onward, that lies
    // inside the window; the rest is dropped. Returns the count stored.
    std::size_t store(std::uint64_t address, const std::uint8_t* bytes,
                      std::size_t count) const;
};

// An image function's int result for a byte or value count.
int imageCount(std::uint64_t count);

}  // namespace tessline
