// HexMsg: the bytes of one HEX frame (code byte, payload; a received frame
// also holds its checksum byte) with a read position and a sticky failure state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessline {

class HexMsg {
public:
    HexMsg() = default;
    HexMsg(std::initializer_list<std::uint8_t> bytes) : bytes_(bytes) {}
    // A copy reads from the start and is in a good state.
    HexMsg(const HexMsg& other) : bytes_(other.bytes_) {}
    // Assignment takes over the source's read position but keeps this
    // message's failure state: a failed message stays failed.
    HexMsg& operator=(const HexMsg& other);
    virtual ~HexMsg() = default;

    void appendByte(std::uint8_t byte) { bytes_.push_back(byte); }
    void appendWord(std::uint16_t word);  // little-endian

    // Reads `width` bytes (1, 2 or 4) little-endian from the read position.
    // Too few bytes left: the rest is consumed and the message fails.
    std::uint32_t readValue(unsigned width);
    std::uint8_t readU8() { return static_cast<std::uint8_t>(readValue(1)); }
    std::uint16_t readU16() { return static_cast<std::uint16_t>(readValue(2)); }
    std::uint32_t readU32() { return readValue(4); }

    bool failed() const { return failed_; }
    void rewind() {
        if (!failed_) readPos_ = 0;
    }
    void clearState() { failed_ = false; }
    void clear() {
        bytes_.clear();
        readPos_ = 0;
        failed_ = false;
    }

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }
    bool empty() const { return bytes_.empty(); }
    std::size_t readPosition() const { return readPos_; }
    std::size_t remaining() const { return bytes_.size() - readPos_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t readPos_ = 0;
    bool failed_ = false;
};

// The bytes of a received answer from its read position up to, not
// including, its last byte (the frame's checksum): the value a caller reads.
HexMsg answerValueBytes(const HexMsg& answer);

}  // namespace tessline
