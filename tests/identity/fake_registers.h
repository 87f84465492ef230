// A device's register answers for the capability rules, without a port.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "hex/hex_msg.h"
#include "identity/capability_rules.h"

namespace tessline {

class FakeRegisters {
public:
    // Value bytes by register id; a register not listed fails with -3.
    std::map<std::uint16_t, std::vector<std::uint8_t>> values;
    // Every register asked for, in order.
    std::vector<std::uint16_t> asked;

    RegisterReader reader() {
        return [this](std::uint16_t id, HexMsg& answer) { return answerFor(id, answer); };
    }

private:
    // Builds the frame a device would send, checksum last, and leaves the
    // read position on the first value byte as a successful request does.
    int answerFor(std::uint16_t id, HexMsg& answer) {
        asked.push_back(id);
        auto found = values.find(id);
        if (found == values.end()) return -3;
        HexMsg frame;
        frame.appendByte(0x07);
        frame.appendWord(id);
        frame.appendByte(0x00);
        for (std::uint8_t byte : found->second) frame.appendByte(byte);
        std::uint8_t sum = 0;
        for (std::uint8_t byte : frame.bytes()) sum = static_cast<std::uint8_t>(sum + byte);
        frame.appendByte(static_cast<std::uint8_t>(0x55 - sum));
        answer = frame;
        answer.readU32();
        return 0;
    }
};

}  // namespace tessline
