#include "link/rest_schedule.h"

namespace tessline {

RestClock::time_point restEnd(const RestState& state) {
    if (!state.answerAwaited) return idleRestEnd(state.now, state.nextTextBlockAt);
    if (state.answerDueAt > state.now) return state.answerDueAt;
    return state.now + (state.answerUnderWay ? RestClock::duration(kAnswerRest) : RestClock::duration(kTextRest));
}

RestClock::time_point idleRestEnd(RestClock::time_point from, RestClock::time_point nextTextBlockAt) {
    return nextTextBlockAt > from + kTextRest ? nextTextBlockAt : from + kTextRest;
}

RestClock::time_point nextTextBlockAfter(RestClock::time_point readAt) { return readAt + kTextPeriod - kTextBlockEarly; }

bool restEndsOnTick(RestClock::time_point now, RestClock::time_point end, RestClock::time_point tick) {
    return tick == end || (end - now == kTextRest && tick > now && tick <= end);
}

}  // namespace tessline
