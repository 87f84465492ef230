#include "sim/hex_responder.h"

namespace tessline {

RequestReader::Event RequestReader::feed(char c) {
    bool complete = decoder_.feed(c);
    if (c == ':') {
        inFrame_ = true;
        return Event::none;
    }
    if (c != '\n') return Event::none;
    bool wasInFrame = inFrame_;
    inFrame_ = false;
    if (complete) return Event::frame;
    return wasInFrame ? Event::damaged : Event::none;
}

void RequestReader::reset() {
    decoder_ = HexFrameDecoder();
    inFrame_ = false;
}

HexMsg receptionErrorFrame(std::optional<std::uint16_t> word) {
    HexMsg msg;
    msg.appendByte(kAnsReceptionError);
    if (word) msg.appendWord(*word);
    return msg;
}

std::optional<HexMsg> HexResponder::answer(const HexMsg& received) {
    // Work on a copy without the checksum byte, reading from the start.
    HexMsg request;
    for (std::size_t i = 0; i + 1 < received.size(); ++i) request.appendByte(received.bytes()[i]);
    std::uint8_t code = request.readU8();
    if (request.failed()) return std::nullopt;
    switch (code) {
    case kCmdPing: return ping();
    case kCmdDeviceId: return deviceId();
    case kCmdGetRegister: return getRegister(request);
    case kCmdSetRegister: return setRegister(request);
    default: return HexMsg{kAnsUnknownCommand};
    }
}

std::optional<HexMsg> HexResponder::ping() const {
    if (!profile_.answerPing) return std::nullopt;
    HexMsg msg{kAnsPing};
    if (profile_.pingWord) msg.appendWord(profile_.firmwareWord);
    return msg;
}

std::optional<HexMsg> HexResponder::deviceId() const {
    if (!profile_.answerDeviceId) return std::nullopt;
    HexMsg msg{kAnsDeviceId};
    if (profile_.deviceIdWord) msg.appendWord(profile_.productId);
    return msg;
}

HexMsg HexResponder::getRegister(HexMsg& request) const {
    std::uint16_t id = request.readU16();
    if (request.failed()) return HexMsg{kAnsUnknownCommand};
    HexMsg msg{kCmdGetRegister};
    msg.appendWord(id);
    auto value = registers_.read(id);
    msg.appendByte(value ? 0 : kFlagUnknownId);
    if (value)
        for (auto byte : *value) msg.appendByte(byte);
    return msg;
}

HexMsg HexResponder::setRegister(HexMsg& request) {
    std::uint16_t id = request.readU16();
    std::uint8_t flags = request.readU8();
    if (request.failed()) return HexMsg{kAnsUnknownCommand};
    RegisterValue value(request.bytes().begin() + static_cast<long>(request.readPosition()), request.bytes().end());
    std::uint8_t result = registers_.write(id, value);
    HexMsg msg{kCmdSetRegister};
    msg.appendWord(id);
    msg.appendByte(static_cast<std::uint8_t>(flags | result));
    if (result == 0)
        for (auto byte : value) msg.appendByte(byte);
    return msg;
}

}  // namespace tessline
