// HexProto: the four HEX requests (ping, get device id, get register, set
// register), all run through one exchange with deadlines and attempts.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>

#include "hex/errors.h"
#include "hex/hex_link.h"
#include "hex/hex_msg.h"

namespace tessline {

constexpr std::uint16_t kEepromAddressRegister = 0xED91;

// Reads one register with the contract of HexProto::getRegister: 0 with the
// answer's read position on the first value byte, negative otherwise. Pure
// logic takes one of these, so tests can stand in for a device.
using RegisterReader = std::function<int(std::uint16_t id, HexMsg& answer)>;

class HexProto {
public:
    using Timeout = std::chrono::microseconds;

    explicit HexProto(HexLink* link) : link_(link) {}

    // Throws no_response (with tag_what "no response") without an answer.
    bool ping(Timeout timeout, std::uint16_t& word);
    // Throws no_response without an answer.
    bool getDeviceId(std::uint16_t& id);
    // 0 on success, the answer's read position on the first value byte;
    // kHexNoAnswerAfterResend or kHexRequestFailed otherwise. Never throws no_response.
    int getRegister(std::uint16_t id, HexMsg& answer);
    // Writes the EEPROM address pointer register. Throws no_response.
    bool setRegister(std::uint16_t value);

    // Every request is followed by this pause (none by default): the device
    // gets a quiet line between an answer and the next request. The wait for
    // an answer ends no sooner than the pause after the answer is due, so
    // one wakeup serves both.
    void setPauseAfterAnswer(Timeout pause) { pauseAfterAnswer_ = pause; }

    // getRegister on this object, as a RegisterReader.
    RegisterReader registerReader() {
        return [this](std::uint16_t id, HexMsg& answer) { return getRegister(id, answer); };
    }

private:
    int exchange(const HexMsg& request, std::initializer_list<std::uint32_t> accepted, int attempts,
                 Timeout timeout, HexMsg& answer);
    int sendAndAwait(const HexMsg& request, std::initializer_list<std::uint32_t> accepted, int attempts,
                     Timeout timeout, HexMsg& answer, std::chrono::steady_clock::time_point& answerAt);

    HexLink* link_;
    Timeout pauseAfterAnswer_{0};
    // Sends of the last exchange that got no answer yet: the device may
    // still answer them, and such an answer looks like the answer to the
    // next request of the same register.
    int unansweredSends_ = 0;
};

}  // namespace tessline
