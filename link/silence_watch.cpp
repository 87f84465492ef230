#include "link/silence_watch.h"

#include <algorithm>

namespace tessline {

namespace {

// A charger sends a TEXT block every second: past the silence timeout, a
// second shows whether bytes still come.
constexpr auto kSilenceRecheck = std::chrono::seconds(1);

}  // namespace

std::chrono::steady_clock::time_point silenceCheckAt(const LineTimes& line, std::chrono::seconds timeout,
                                                     std::chrono::steady_clock::time_point now) {
    auto at = line.lastValidFrame + timeout;
    if (at <= now) at = std::min(line.lastByte + timeout, now + kSilenceRecheck);
    return at;
}

std::string silenceLossReason(const LineTimes& line, std::chrono::seconds timeout,
                              std::chrono::steady_clock::time_point now) {
    const std::string span = std::to_string(timeout.count()) + " s";
    if (now - line.lastByte >= timeout) return "no data for " + span;
    // Bytes that make no valid block: noise, a wrong line speed.
    if (line.lastByte >= line.lastValidFrame + timeout) return "no valid TEXT block for " + span;
    return std::string();
}

}  // namespace tessline
