// Feeds arbitrary device answers to the capability rules: a ping word, a
// product id, then one answer per register asked (a length byte, 0xFF for a
// failed read, then that many value bytes).
#include <cstddef>
#include <cstdint>

#include "hex/hex_msg.h"
#include "identity/capability_rules.h"
#include "identity/register_text.h"

namespace {

class InputCursor {
public:
    InputCursor(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return pos_ >= size_; }
    std::uint8_t byte() { return empty() ? 0 : data_[pos_++]; }
    std::uint16_t word() {
        std::uint16_t low = byte();
        return static_cast<std::uint16_t>(low | (byte() << 8));
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

int answerFromInput(InputCursor& input, std::uint16_t id, tessline::HexMsg& answer) {
    const std::uint8_t length = input.byte();
    if (length == 0xFF || input.empty()) return -3;
    tessline::HexMsg frame;
    frame.appendByte(0x07);
    frame.appendWord(id);
    frame.appendByte(0x00);
    for (std::uint8_t i = 0; i < length && !input.empty(); ++i) frame.appendByte(input.byte());
    frame.appendByte(0x00);  // checksum position; its value does not matter here
    answer = frame;
    answer.readU32();
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tessline::HexMsg raw;
    for (std::size_t i = 0; i < size; ++i) raw.appendByte(data[i]);
    tessline::registerText(raw);

    InputCursor input(data, size);
    const std::uint16_t pingWord = input.word();
    tessline::DeviceInfo info;
    info.deviceId = input.word();
    tessline::completeDeviceInfo(info, pingWord, [&input](std::uint16_t id, tessline::HexMsg& answer) {
        return answerFromInput(input, id, answer);
    });
    tessline::capabilityReportLines(info);
    return 0;
}
