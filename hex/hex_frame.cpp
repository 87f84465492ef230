#include "hex/hex_frame.h"

namespace tessline {

namespace {

const char kDigits[] = "0123456789ABCDEF";

void appendHexByte(std::string& text, std::uint8_t byte) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
}

// Upper-case hex digit value, or -1: lower-case letters are not digits.
int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::chrono::microseconds answerDueAfter(const HexMsg& request) {
    constexpr double kByteMicros = 1e6 / 1920;
    // A device answers within a couple of milliseconds of the request's end.
    constexpr std::chrono::microseconds kDeviceTurn{2000};
    const std::size_t requestLength = encodeHexFrame(request).size();
    std::size_t answerLength = requestLength + 4;  // ping, device id: a 16-bit word
    if (request.size() > 0 && request.bytes()[0] == 0x07) answerLength = requestLength + 10;  // flags, value
    if (request.size() > 0 && request.bytes()[0] == 0x08) answerLength = requestLength;       // echoed
    const auto lineMicros = static_cast<std::int64_t>((requestLength + answerLength) * kByteMicros);
    return std::chrono::microseconds(lineMicros) + kDeviceTurn;
}

std::string encodeHexFrame(const HexMsg& msg) {
    const auto& bytes = msg.bytes();
    if (bytes.empty()) return std::string();
    std::string text;
    text.reserve(4 + 2 * bytes.size());
    text += ':';
    std::uint8_t code = bytes[0];
    if (code > 0x0F) text += kDigits[code >> 4];
    text += kDigits[code & 0x0F];
    std::uint8_t sum = code;
    for (std::size_t i = 1; i < bytes.size(); ++i) {
        appendHexByte(text, bytes[i]);
        sum = static_cast<std::uint8_t>(sum + bytes[i]);
    }
    appendHexByte(text, static_cast<std::uint8_t>(kHexChecksumTarget - sum));
    text += '\n';
    return text;
}

void HexFrameDecoder::reset() {
    message_.clear();
    digits_ = 0;
}

bool HexFrameDecoder::feed(char c) {
    if (c == '\n') {
        if (digits_ != 0 && sum_ == kHexChecksumTarget) {
            digits_ = 0;
            return true;
        }
        reset();
        return false;
    }
    if (c == ':') {
        message_.clear();
        digits_ = 1;
        sum_ = 0;
        highNibble_ = 0;
        return false;
    }
    if (digits_ == 0) return false;
    int value = digitValue(c);
    if (value < 0) return false;
    if (digits_ % 2 == 1) {
        auto byte = static_cast<std::uint8_t>((highNibble_ << 4) | value);
        sum_ = static_cast<std::uint8_t>(sum_ + byte);
        message_.appendByte(byte);
        ++digits_;
    } else if (digits_ > 200) {
        reset();  // frame too long
    } else {
        highNibble_ = static_cast<std::uint8_t>(value);
        ++digits_;
    }
    return false;
}

}  // namespace tessline
