// When a line counts as lost for silence or for noise: the decision of the
// link's silence watch, apart from how each platform's reader waits for it.
#pragma once

#include <chrono>
#include <string>

namespace tessline {

struct LineTimes {
    std::chrono::steady_clock::time_point lastByte;
    std::chrono::steady_clock::time_point lastValidFrame;  // a TEXT block or HEX frame that passed its checksum
};

// When to look next. The watch is not moved on by every read: it looks once
// per timeout at when the last valid frame and the last byte came, so a
// talking device costs nothing. Once no valid frame has come for the
// timeout, it looks again every second: a byte after that moment shows
// noise, none for the whole timeout shows silence.
std::chrono::steady_clock::time_point silenceCheckAt(const LineTimes& line, std::chrono::seconds timeout,
                                                     std::chrono::steady_clock::time_point now);

// At a look: why the line is lost ("no data for N s", "no valid TEXT block
// for N s"), or empty while it is not.
std::string silenceLossReason(const LineTimes& line, std::chrono::seconds timeout,
                              std::chrono::steady_clock::time_point now);

}  // namespace tessline
