#include "link/silence_watch.h"

#include <gtest/gtest.h>

using namespace tessline;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

// Times in milliseconds after an arbitrary start; the timeout is 10 s.
struct SilenceCase {
    const char* legend;
    int lastByte;
    int lastValidFrame;
    int now;
    const char* reason;  // what a look at `now` finds
    int nextLook;        // when the watch looks after that
};

const SilenceCase kCases[] = {
    {"talking device: next look a timeout after its last frame", 14000, 14000, 15000, "", 24000},
    {"no frame for the timeout, bytes before its end: again in a second", 14000, 5000, 16000, "", 17000},
    {"silence nearly whole: the look comes when it would be", 5500, 5000, 15000, "", 15500},
    {"no byte for the whole timeout", 5000, 5000, 15000, "no data for 10 s", 15000},
    {"bytes past the timeout without a valid frame: noise", 15000, 5000, 15000, "no valid TEXT block for 10 s", 16000},
    {"a frame came again: a timeout after it", 30000, 30000, 30000, "", 40000},
};

TEST(SilenceWatch, TellsSilenceFromNoiseAndWhenToLookNext) {
    const Clock::time_point start{};
    const auto at = [&](int ms) { return start + std::chrono::milliseconds(ms); };
    for (const SilenceCase& c : kCases) {
        const LineTimes line{at(c.lastByte), at(c.lastValidFrame)};
        EXPECT_EQ(silenceLossReason(line, 10s, at(c.now)), c.reason) << c.legend;
        EXPECT_EQ(silenceCheckAt(line, 10s, at(c.now)), at(c.nextLook)) << c.legend;
    }
}

}  // namespace
