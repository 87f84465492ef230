// The HEX dialect on the wire: ":" code digit, payload byte pairs, checksum
// pair, line feed. Code + payload + checksum add up to 0x55 modulo 256.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "hex/hex_msg.h"

namespace tessline {

constexpr std::uint8_t kHexChecksumTarget = 0x55;

// The frame text of a message (checksum and line feed added); "" for none.
std::string encodeHexFrame(const HexMsg& msg);

// When the answer to `request` is due to have arrived whole, counted from
// the moment the request was handed to the port: its frame and the answer's
// on the line at 19200 baud (1920 bytes a second), and the device's turn. A
// register's value is taken as 32 bits wide; a longer answer ends later.
std::chrono::microseconds answerDueAfter(const HexMsg& request);

// Byte-at-a-time decoder of received HEX frames. Characters outside a frame
// are ignored except the line feed, which empties the message.
class HexFrameDecoder {
public:
    // True when `c` completed a valid frame, now in message().
    bool feed(char c);
    const HexMsg& message() const { return message_; }
    // True between a ":" and the end of its frame.
    bool inFrame() const { return digits_ > 0; }

    // At most 100 bytes after the code digit, checksum included.
    static constexpr unsigned kMaxDigits = 201;

private:
    void reset();

    unsigned digits_ = 0;  // hex digits seen since ":" plus one; 0 outside a frame
    std::uint8_t sum_ = 0;
    std::uint8_t highNibble_ = 0;
    HexMsg message_;
};

}  // namespace tessline
