#include "tests/support/device_frames.h"

#include "hex/hex_frame.h"

namespace testing_support {

std::string sealedTextBlock(std::string body) {
    body += "\r\nChecksum\t";
    std::uint8_t sum = 0;
    for (char c : body) sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(c));
    return body + static_cast<char>(static_cast<std::uint8_t>(0x100 - sum));
}

std::string textBlock(const TextFields& fields) {
    std::string body;
    for (const auto& field : fields) body += "\r\n" + field.first + "\t" + field.second;
    return sealedTextBlock(body);
}

Bytes withHexChecksum(Bytes bytes) {
    std::uint8_t sum = 0;
    for (std::uint8_t byte : bytes) sum = static_cast<std::uint8_t>(sum + byte);
    bytes.push_back(static_cast<std::uint8_t>(0x55 - sum));
    return bytes;
}

tessline::HexMsg hexMsgOf(const Bytes& bytes) {
    tessline::HexMsg msg;
    for (std::uint8_t byte : bytes) msg.appendByte(byte);
    return msg;
}

std::string hexFrame(const Bytes& bytes) { return tessline::encodeHexFrame(hexMsgOf(bytes)); }

Bytes codeAndWord(std::uint8_t code, std::uint16_t word) {
    return {code, static_cast<std::uint8_t>(word & 0xFF), static_cast<std::uint8_t>(word >> 8)};
}

Bytes littleEndian(std::uint32_t number, unsigned width) {
    Bytes bytes;
    for (unsigned i = 0; i < width; ++i) bytes.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
    return bytes;
}

std::string registerRequestFrame(std::uint16_t id) { return hexFrame(codeAndWord(0x07, id)); }

Bytes registerAnswerBytes(std::uint16_t id, const Bytes& value) {
    Bytes bytes = codeAndWord(0x07, id);
    bytes.push_back(0x00);  // flags
    bytes.insert(bytes.end(), value.begin(), value.end());
    return bytes;
}

}  // namespace testing_support
