// When a resting link reader reads next: the pure part of its rests, apart
// from the timer and the port.
#pragma once

#include <chrono>

namespace tessline {

using RestClock = std::chrono::steady_clock;

// A resting reader reads this often while no answer is awaited, or while
// one waits behind other bytes: a TEXT block then comes in a read or two
// instead of one per arrival of a byte or two, and a small box's CPU stays
// idle in between. The line's buffer holds seconds of bytes, so nothing is
// lost, and a request's time-out is five rests away.
constexpr auto kTextRest = std::chrono::milliseconds(200);
// ... and this often once an answer is under way but late: its last bytes
// are read at most this late.
constexpr auto kAnswerRest = std::chrono::milliseconds(4);
// A charger sends a TEXT block every second. Between blocks, with no answer
// awaited, the reader rests until the next block should be in whole: a
// period after the last one was read, a little early, so that a device whose
// period is a few percent shorter is still read within a TEXT rest.
constexpr auto kTextPeriod = std::chrono::seconds(1);
constexpr auto kTextBlockEarly = std::chrono::milliseconds(50);

struct RestState {
    RestClock::time_point now;
    bool answerAwaited = false;       // a request went out, no frame came since
    RestClock::time_point answerDueAt;
    bool answerUnderWay = false;      // a HEX frame has begun and not ended
    RestClock::time_point nextTextBlockAt;  // the epoch before the first valid block
};

// An awaited answer is read whole when it is due, or in short steps once it
// is under way but late. Other bytes before it (a TEXT block) delay it by
// their own length, so they are read at the pace of TEXT, never at that of
// the blocks: the answer comes right after them. Without an answer awaited,
// see idleRestEnd.
RestClock::time_point restEnd(const RestState& state);

// The end of a rest from `from` with no answer awaited: when the next TEXT
// block should be in whole, or a TEXT rest once that time is near or past
// (the block is late, or under way).
RestClock::time_point idleRestEnd(RestClock::time_point from, RestClock::time_point nextTextBlockAt);

// The next TEXT block is expected a period after a valid one was read at `readAt`.
RestClock::time_point nextTextBlockAfter(RestClock::time_point readAt);

// Whether a rest from `now` until `end` may end on the rest timer's next
// tick at `tick` instead of a new setting: a tick at exactly that time, or
// for a TEXT rest, which only bounds how long bytes wait, any tick before.
bool restEndsOnTick(RestClock::time_point now, RestClock::time_point end, RestClock::time_point tick);

}  // namespace tessline
