#include "link/rest_schedule.h"

#include <gtest/gtest.h>

using namespace tessline;
using std::chrono::milliseconds;

namespace {

// Times in ms from an arbitrary start well after the clock's epoch.
RestClock::time_point at(int ms) { return RestClock::time_point(std::chrono::hours(1)) + milliseconds(ms); }

}  // namespace

TEST(RestSchedule, RestEndsWhenTheAwaitedAnswerOrTheNextTextBlockIsDue) {
    const RestClock::time_point noBlockYet;
    struct Case {
        const char* legend;
        bool awaited;
        int dueAt;
        bool underWay;
        RestClock::time_point nextBlock;
        int end;
    } cases[] = {
        {"answer due later: read it when due", true, 17, false, at(900), 17},
        {"answer late and under way: a short step", true, -3, true, at(900), 4},
        {"answer late behind other bytes: a TEXT rest, not the next block", true, -3, false, at(900), 200},
        {"answer late behind other bytes, no block known: a TEXT rest", true, -3, false, noBlockYet, 200},
        {"nothing awaited: until the next block is in", false, 17, true, at(900), 900},
        {"the next block soon: a TEXT rest", false, 0, false, at(150), 200},
        {"the next block overdue: a TEXT rest", false, 0, false, at(-10), 200},
    };
    for (const auto& c : cases) {
        RestState state;
        state.now = at(0);
        state.answerAwaited = c.awaited;
        state.answerDueAt = at(c.dueAt);
        state.answerUnderWay = c.underWay;
        state.nextTextBlockAt = c.nextBlock;
        EXPECT_EQ(restEnd(state), at(c.end)) << c.legend;
    }
    EXPECT_EQ(nextTextBlockAfter(at(0)), at(950));
}

TEST(RestSchedule, OnlyATextRestTakesAnEarlierTick) {
    struct Case {
        const char* legend;
        int end;
        int tick;
        bool onTick;
    } cases[] = {
        {"a tick at the end itself", 900, 900, true},
        {"a TEXT rest, a tick before its end", 200, 120, true},
        {"a TEXT rest, a tick at its end", 200, 200, true},
        {"a TEXT rest, a tick after its end", 200, 260, false},
        {"a TEXT rest, the tick already past", 200, -5, false},
        {"an answer's rest, a tick before its end", 17, 10, false},
        {"a rest until the next block, a tick before it", 900, 700, false},
    };
    for (const auto& c : cases) EXPECT_EQ(restEndsOnTick(at(0), at(c.end), at(c.tick)), c.onTick) << c.legend;
}
