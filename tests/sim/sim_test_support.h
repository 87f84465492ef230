// Helpers of the simulator tests: requests as the program frames them, and
// the device's output split back into frames and TEXT blocks.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "hex/hex_frame.h"
#include "hex/hex_msg.h"
#include "sim/sim_engine.h"
#include "sim/text_block.h"

namespace tessline::simtest {

// The frame text of a request with these bytes (checksum added).
inline std::string request(std::initializer_list<std::uint8_t> bytes) { return encodeHexFrame(HexMsg(bytes)); }

// A get-register request for `id`.
inline std::string getRegister(std::uint16_t id) {
    return request({0x07, std::uint8_t(id & 0xFF), std::uint8_t(id >> 8)});
}

// The decoded request, as the device receives it (checksum byte last).
inline HexMsg received(const std::string& frameText) {
    HexFrameDecoder decoder;
    for (char c : frameText)
        if (decoder.feed(c)) return decoder.message();
    return HexMsg();
}

// Every valid HEX frame in a stream of device output.
inline std::vector<HexMsg> framesIn(const std::string& stream) {
    HexFrameDecoder decoder;
    std::vector<HexMsg> frames;
    for (char c : stream)
        if (decoder.feed(c)) frames.push_back(decoder.message());
    return frames;
}

// The bytes of a frame without its checksum byte.
inline std::vector<std::uint8_t> content(const HexMsg& frame) {
    std::vector<std::uint8_t> bytes = frame.bytes();
    if (!bytes.empty()) bytes.pop_back();
    return bytes;
}

// Label/value pairs of one block, checksum field excluded.
inline std::vector<TextField> fieldsOf(const std::string& block) {
    std::vector<TextField> fields;
    std::size_t pos = 0;
    while (pos + 2 <= block.size() && block.compare(pos, 2, "\r\n") == 0) {
        std::size_t tab = block.find('\t', pos);
        std::string label = block.substr(pos + 2, tab - pos - 2);
        if (label == "Checksum") break;
        std::size_t end = block.find("\r\n", tab);
        fields.push_back({label, block.substr(tab + 1, end - tab - 1)});
        pos = end;
    }
    return fields;
}

inline std::string valueOf(const std::string& block, const std::string& label) {
    for (const auto& field : fieldsOf(block))
        if (field.label == label) return field.value;
    return "<missing>";
}

// Drives an engine on a clock that the test moves, collecting the output.
class EngineDriver {
public:
    explicit EngineDriver(SimEngine& engine, std::int64_t start = 0) : engine_(engine), now_(start) {}

    void send(const std::string& bytes) { engine_.receive(bytes, now_); }
    // Moves the clock in steps, taking what the line carries at each step.
    std::string runFor(std::int64_t micros, std::int64_t step = 1000) {
        std::string out;
        for (std::int64_t end = now_ + micros; now_ < end; now_ += step) {
            engine_.advance(now_);
            out += engine_.takeSendable(now_);
        }
        return out;
    }
    // Sends a request and takes the answer at the same instant (the engine
    // must run without pacing).
    std::string exchange(const std::string& bytes) {
        engine_.receive(bytes, now_);
        engine_.advance(now_);
        return engine_.takeSendable(now_);
    }
    std::int64_t now() const { return now_; }

private:
    SimEngine& engine_;
    std::int64_t now_;
};

}  // namespace tessline::simtest
