#include "hex/hex_msg.h"

namespace tessline {

HexMsg& HexMsg::operator=(const HexMsg& other) {
    if (this != &other) {
        bytes_ = other.bytes_;
        readPos_ = other.readPos_;
    }
    return *this;
}

void HexMsg::appendWord(std::uint16_t word) {
    appendByte(static_cast<std::uint8_t>(word & 0xFF));
    appendByte(static_cast<std::uint8_t>(word >> 8));
}

std::uint32_t HexMsg::readValue(unsigned width) {
    if (failed_) return 0;
    if (remaining() < width) {
        readPos_ = bytes_.size();
        failed_ = true;
        return 0;
    }
    std::uint32_t value = 0;
    for (unsigned i = 0; i < width; ++i) value |= std::uint32_t(bytes_[readPos_ + i]) << (8 * i);
    readPos_ += width;
    return value;
}

HexMsg answerValueBytes(const HexMsg& answer) {
    HexMsg values;
    const auto& bytes = answer.bytes();
    for (std::size_t i = answer.readPosition(); i + 1 < bytes.size(); ++i) values.appendByte(bytes[i]);
    return values;
}

}  // namespace tessline
