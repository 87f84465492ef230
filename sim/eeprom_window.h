// EepromWindow: the device's EEPROM as the HEX dialect shows it. Writing the
// address register sets a pointer; reading the data register returns the 16
// bytes at that pointer. Only the window 0x8000..0x91FF exists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessline {

class EepromWindow {
public:
    static constexpr std::uint16_t kBase = 0x8000;
    static constexpr std::size_t kSize = 0x1200;  // 4608 bytes, up to 0x91FF
    static constexpr std::size_t kBlock = 16;

    // Content generated from the seed.
    explicit EepromWindow(std::uint64_t seed);
    // Content given; a shorter image is padded with 0xFF (erased cells).
    explicit EepromWindow(std::vector<std::uint8_t> image);

    void setPointer(std::uint16_t address) { pointer_ = address; }
    std::uint16_t pointer() const { return pointer_; }

    // The block at the pointer: up to kBlock bytes, fewer where the window
    // ends; none when the pointer lies outside the window.
    std::optional<std::vector<std::uint8_t>> readBlock() const;

    const std::vector<std::uint8_t>& image() const { return image_; }

private:
    std::vector<std::uint8_t> image_;
    std::uint16_t pointer_ = kBase;
};

// The raw bytes of an image file. Throws std::runtime_error when the file
// cannot be read or holds more than the window.
std::vector<std::uint8_t> readEepromFile(const std::string& path);

}  // namespace tessline
