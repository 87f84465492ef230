// The device of a capture, served again: what it sent unasked on its
// recorded times, and to each HEX request the answer that the capture holds
// for the same request; a register that the capture never asked for gets a
// device's answer for a register it does not know. Pure logic, clock
// injected, like SimEngine.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "capture/capture_format.h"
#include "sim/line_device.h"

namespace tessline {

// One opening of the port in a capture, split into what the device said
// unasked and what it said after each request.
struct ReplaySession {
    struct Timed {
        std::int64_t micros;  // unasked: since the opening; answer: since its request
        std::string bytes;
    };
    // Whole TEXT blocks (and anything else unasked) in order.
    std::vector<Timed> unasked;
    // For each request text, one entry per time it was sent: the frames
    // that came after it, before the next request (none: no answer).
    std::map<std::string, std::vector<std::vector<Timed>>> answers;
    std::int64_t endMicros = 0;  // the last event, since the opening
    bool hangsUp = false;        // it ended with the line itself failing
    std::int64_t awayMicros = 0; // then: from the failure to the next opening
};

std::vector<ReplaySession> replaySessions(const Capture& capture);

class CaptureReplay : public LineDevice {
public:
    // `speed`: unasked bytes come this many times faster; answers keep
    // their recorded delays, which the host's time-outs judge.
    CaptureReplay(const Capture& capture, double speed, bool loop);

    void receive(const std::string& bytes, std::int64_t now) override;
    void advance(std::int64_t now) override;
    std::string takeSendable(std::int64_t now) override;
    std::int64_t nextWakeup(std::int64_t now) const override;
    void clientCame(std::int64_t now) override;
    void clientGone() override;
    bool hangsUp(std::int64_t now) override;
    // As long as the recorded line was away: the host's tries to open it
    // again that failed then fail again. A host that tried at the very
    // moment that the line came back may fail once more than it did.
    std::int64_t lineAwayFor() const override { return awayFor_; }
    bool ended() const override { return ended_; }
    void onMessageSent(SentObserver observer) override { sentObserver_ = std::move(observer); }

private:
    void startSession(std::int64_t now);
    void endSession();
    void answer(const std::string& request, std::int64_t now);
    std::int64_t scaled(std::int64_t micros) const;

    std::vector<ReplaySession> sessions_;
    std::set<std::string> everRequested_;  // every request text of every session
    double speed_;
    bool loop_;
    std::size_t next_ = 0;    // the session that the next opening gets
    const ReplaySession* current_ = nullptr;  // null between sessions
    std::int64_t startedAt_ = 0;
    std::size_t unaskedSent_ = 0;
    std::map<std::string, std::size_t> requestsSeen_;
    std::multimap<std::int64_t, std::string> answersDue_;
    std::string request_;     // a request frame being received
    bool timelineOver_ = false;  // the session's unasked bytes are out; answers go on
    bool hangUpPending_ = false;
    std::int64_t awayFor_ = 0;
    bool ended_ = false;
    SentObserver sentObserver_;
};

}  // namespace tessline
