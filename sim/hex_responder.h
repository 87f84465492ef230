// HexResponder: the device side of the HEX dialect. It reads requests out of
// the received characters and works out each answer; when and whether an
// answer goes out is the engine's business.
#pragma once

#include <cstdint>
#include <optional>

#include "hex/hex_frame.h"
#include "hex/hex_msg.h"
#include "sim/device_profile.h"
#include "sim/device_registers.h"

namespace tessline {

// Request codes and the answer codes that go with them.
constexpr std::uint8_t kCmdPing = 0x1;
constexpr std::uint8_t kCmdDeviceId = 0x4;
constexpr std::uint8_t kCmdGetRegister = 0x7;
constexpr std::uint8_t kCmdSetRegister = 0x8;
constexpr std::uint8_t kAnsDeviceId = 0x1;
constexpr std::uint8_t kAnsUnknownCommand = 0x3;
constexpr std::uint8_t kAnsReceptionError = 0x4;
constexpr std::uint8_t kAnsPing = 0x5;
constexpr std::uint16_t kResendWord = 0xAAAA;  // "send that again"

// Splits received characters into request frames, and tells a frame that
// ended with a bad checksum (or grew too long) from characters outside any
// frame, which a device simply ignores.
class RequestReader {
public:
    enum class Event { none, frame, damaged };
    Event feed(char c);
    // The last frame, checksum byte included.
    const HexMsg& frame() const { return decoder_.message(); }
    void reset();

private:
    HexFrameDecoder decoder_;
    bool inFrame_ = false;
};

class HexResponder {
public:
    HexResponder(const DeviceProfile& profile, DeviceRegisters& registers)
        : profile_(profile), registers_(registers) {}

    // The answer to one request frame (checksum byte last); none when the
    // profile says the device keeps quiet about it.
    std::optional<HexMsg> answer(const HexMsg& request);

private:
    std::optional<HexMsg> ping() const;
    std::optional<HexMsg> deviceId() const;
    HexMsg getRegister(HexMsg& request) const;
    HexMsg setRegister(HexMsg& request);

    const DeviceProfile& profile_;
    DeviceRegisters& registers_;
};

// The reception error frame: code 0x4 with `word`, or with no word at all.
HexMsg receptionErrorFrame(std::optional<std::uint16_t> word);

}  // namespace tessline
