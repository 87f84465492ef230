// The TEXT dialect as the device sends it: fields CR LF label TAB value,
// closed by the "Checksum" field whose one byte makes the block sum to 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessline {

struct TextField {
    std::string label;
    std::string value;
};

// The block for `fields` (which must not hold the checksum field itself).
std::string buildTextBlock(const std::vector<TextField>& fields);

// The modulo-256 sum of the bytes of `text`.
std::uint8_t byteSum(const std::string& text);

// Replaces the block's last byte (its checksum) by a wrong one that is
// neither ":" nor CR, so the block still ends where it should but fails.
void corruptTextChecksum(std::string& block);

}  // namespace tessline
