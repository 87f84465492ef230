#include "identity/register_text.h"

#include <cstddef>

namespace tessline {

namespace {
// Code byte, two bytes of register id, flags byte.
constexpr std::size_t kValueStart = 4;
}  // namespace

std::string registerText(const HexMsg& answer) {
    const auto& bytes = answer.bytes();
    std::string text;
    // Compare without subtracting: a short or empty answer must not wrap the end index.
    for (std::size_t i = kValueStart; i + 1 < bytes.size(); ++i) {
        if (bytes[i] != 0) text += static_cast<char>(bytes[i]);
    }
    return text;
}

}  // namespace tessline
