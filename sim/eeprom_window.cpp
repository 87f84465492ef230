#include "sim/eeprom_window.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "sim/sim_random.h"

namespace tessline {

EepromWindow::EepromWindow(std::uint64_t seed) : image_(kSize) {
    SimRandom random(seed ^ 0x5EED0EE9ull);
    for (auto& byte : image_) byte = random.nextByte();
}

EepromWindow::EepromWindow(std::vector<std::uint8_t> image) : image_(std::move(image)) {
    image_.resize(kSize, 0xFF);
}

std::optional<std::vector<std::uint8_t>> EepromWindow::readBlock() const {
    if (pointer_ < kBase || std::size_t(pointer_ - kBase) >= kSize) return std::nullopt;
    std::size_t offset = pointer_ - kBase;
    std::size_t count = std::min(kBlock, kSize - offset);
    return std::vector<std::uint8_t>(image_.begin() + offset, image_.begin() + offset + count);
}

std::vector<std::uint8_t> readEepromFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("cannot read eeprom file " + path);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() > EepromWindow::kSize)
        throw std::runtime_error("eeprom file " + path + " holds more than 4608 bytes");
    return bytes;
}

}  // namespace tessline
