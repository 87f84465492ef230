// FaultPlan: the misbehaviours that the simulator shows on demand, so that
// the program's handling of a poor line or device can be tested.
#pragma once

#include <cstdint>
#include <optional>

namespace tessline {

struct FaultPlan {
    unsigned dropEveryAnswer = 0;  // drop every Nth HEX answer; 0 never

    // A reception error frame (code 0x4) sent before an answer: with this
    // word, or without a word when receptionErrorWord is empty.
    bool receptionError = false;
    std::optional<std::uint16_t> receptionErrorWord;
    unsigned receptionErrorEvery = 1;

    unsigned corruptEveryBlock = 0;  // wrong checksum in every Nth block
    unsigned garbageBytes = 0;       // stray bytes before a block
    unsigned garbageEvery = 1;       // ... before every Nth block

    bool sendText = true;   // false: HEX only
    bool answerHex = true;  // false: TEXT only
    std::int64_t answerDelayMicros = 0;
    double hangupAfterSeconds = 0;  // close the line after this long; 0 never
};

}  // namespace tessline
