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
    double noiseAfterSeconds = 0;  // ... and in every block and HEX answer from this moment on; 0 never
    unsigned garbageBytes = 0;       // stray bytes before a block
    unsigned garbageEvery = 1;       // ... before every Nth block

    bool sendText = true;   // false: HEX only
    bool answerHex = true;  // false: TEXT only
    std::int64_t answerDelayMicros = 0;
    double hangupAfterSeconds = 0;  // close the line after this long; 0 never
    double hangupForSeconds = 0;    // ... and open a fresh one this long later; 0 never
    double hangupEverySeconds = 0;  // ... and hang up again this long after each return; 0 never
    double silentAfterSeconds = 0;  // send and answer nothing from this moment ...
    double silentForSeconds = 0;    // ... for this long
};

// The same outages in monotonic microseconds from the start; 0 for none.
struct LineOutages {
    std::int64_t hangupAfter = 0;
    std::int64_t hangupFor = 0;
    std::int64_t hangupEvery = 0;
    std::int64_t silentAfter = 0;
    std::int64_t silentFor = 0;
};

inline LineOutages lineOutages(const FaultPlan& plan) {
    auto micros = [](double seconds) { return static_cast<std::int64_t>(seconds * 1e6); };
    return {micros(plan.hangupAfterSeconds), micros(plan.hangupForSeconds), micros(plan.hangupEverySeconds),
            micros(plan.silentAfterSeconds), micros(plan.silentForSeconds)};
}

}  // namespace tessline
