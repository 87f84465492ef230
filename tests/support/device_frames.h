// What a device sends, built with its checksum: TEXT blocks and HEX frames.
// The one place where tests make them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "hex/hex_msg.h"

namespace testing_support {

using Bytes = std::vector<std::uint8_t>;
using TextFields = std::vector<std::pair<std::string, std::string>>;

// A TEXT block body ("\r\nlabel\tvalue"...) closed by the checksum field
// whose byte makes the whole block add up to 0.
std::string sealedTextBlock(std::string body);
// The block of these fields, closed the same way.
std::string textBlock(const TextFields& fields);

// The bytes (code first) with the checksum byte that makes them add up to
// 0x55 appended: a HEX frame as the receiver delivers it.
Bytes withHexChecksum(Bytes bytes);
// The message of these bytes (code first), as a HexMsg.
tessline::HexMsg hexMsgOf(const Bytes& bytes);
// The frame text of the bytes (code first), checksum and line feed included,
// by the program's own encoder (which its tests check against literal frames).
std::string hexFrame(const Bytes& bytes);

// Code byte, then a 16-bit word low byte first.
Bytes codeAndWord(std::uint8_t code, std::uint16_t word);
// The `width` low bytes of a number, low byte first.
Bytes littleEndian(std::uint32_t number, unsigned width);
// The frame text of a get-register request, line feed included.
std::string registerRequestFrame(std::uint16_t id);
// A successful get-register answer (code 7, id, flags 0, value), without checksum.
Bytes registerAnswerBytes(std::uint16_t id, const Bytes& value);

}  // namespace testing_support
