#include "sim/text_block.h"

namespace tessline {

namespace {

const char kChecksumLead[] = "\r\nChecksum\t";

bool harmfulChecksumByte(std::uint8_t byte) { return byte == ':' || byte == '\r'; }

}  // namespace

std::uint8_t byteSum(const std::string& text) {
    std::uint8_t sum = 0;
    for (char c : text) sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(c));
    return sum;
}

std::string buildTextBlock(const std::vector<TextField>& fields) {
    std::string block;
    for (const auto& field : fields) {
        block += "\r\n";
        block += field.label;
        block += '\t';
        block += field.value;
    }
    block += kChecksumLead;
    block += static_cast<char>(static_cast<std::uint8_t>(0x100 - byteSum(block)));
    return block;
}

void corruptTextChecksum(std::string& block) {
    if (block.empty()) return;
    auto byte = static_cast<std::uint8_t>(block.back());
    do {
        ++byte;
    } while (harmfulChecksumByte(byte));
    block.back() = static_cast<char>(byte);
}

}  // namespace tessline
