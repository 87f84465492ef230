#include "sim/capture_replay.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "hex/hex_frame.h"
#include "hex/hex_msg.h"
#include "sim/device_registers.h"
#include "sim/hex_responder.h"

namespace tessline {

namespace {

// A request frame longer than this is noise, not a request.
constexpr std::size_t kMaxRequestLength = 1024;
// How often the device looks for a host while it has no session.
constexpr std::int64_t kIdleWakeupMicros = 50000;
// solwatch's reader rests up to 200 ms between reads while bytes come; with
// a margin for a busy machine.
constexpr std::int64_t kLongestReadRest = 300000;

// What a device answers at once to a get-register request for a register
// that it does not know: the id and flags 0x01, no value. Empty for any
// other frame.
std::string unknownRegisterAnswer(const std::string& request) {
    HexFrameDecoder decoder;
    bool complete = false;
    for (char c : request) complete = decoder.feed(c);
    if (!complete) return std::string();
    HexMsg frame = decoder.message();
    const std::uint8_t code = frame.readU8();
    const std::uint16_t id = frame.readU16();
    if (frame.failed() || code != kCmdGetRegister || frame.remaining() != 1) return std::string();
    HexMsg answer{kCmdGetRegister};
    answer.appendWord(id);
    answer.appendByte(kFlagUnknownId);
    return encodeHexFrame(answer);
}

// A TEXT block ends with the byte after CR, LF, "Checksum", TAB.
bool endsTextBlock(const std::string& bytes) {
    static const std::string kChecksumLine = "\r\nChecksum\t";
    return bytes.size() > kChecksumLine.size() &&
           bytes.compare(bytes.size() - 1 - kChecksumLine.size(), kChecksumLine.size(), kChecksumLine) == 0;
}

// Splits what the device sent in one opening into whole TEXT blocks (and
// other unasked bytes) and HEX frames, which belong to the request before
// them: that is what the host saw, late answers and retries included.
//
// A frame counts from the read that completed it, when the host could first
// act on it. But a time in the capture is when the host read the bytes, and
// a host that has already read something since its request may rest before
// it reads again, while the device's next frame waits in the line's buffer
// (a second answer to a resent request, an answer behind a TEXT block). It
// came somewhere between the two reads; replayed at the later one, it would
// wait in the buffer a second time, and a host that waits a short while for
// late answers would take it for the answer to its next request instead;
// at the earlier one, it could join that read. So it comes halfway.
class SessionBuilder {
public:
    explicit SessionBuilder(std::int64_t openedAt) : openedAt_(openedAt) {}

    void received(const std::string& bytes, std::int64_t at) {
        for (char c : bytes) receivedByte(c, at - openedAt_);
        previousReadAt_ = at - openedAt_;
    }

    void sent(const std::string& request, std::int64_t at) {
        lastRequest_ = request;
        requestAt_ = at - openedAt_;
        session_.answers[request].emplace_back();
    }

    ReplaySession finish(std::int64_t lastAt, bool hangsUp) {
        closeUnit();
        if (inFrame_) session_.unasked.push_back({frameAt_, frame_});
        session_.endMicros = lastAt - openedAt_;
        session_.hangsUp = hangsUp;
        return std::move(session_);
    }

private:
    void receivedByte(char c, std::int64_t at) {
        if (inFrame_) {
            frame_ += c;
            if (c == '\n') frameDone(at);
        } else if (c == ':') {
            closeUnit();
            inFrame_ = true;
            frame_ = ":";
            frameAt_ = at;
        } else {
            if (unit_.empty()) unitAt_ = at;
            unit_ += c;
            if (endsTextBlock(unit_)) closeUnit();
        }
    }

    // `at`: the read that brought the frame's line feed, when the host could
    // first act on it.
    void frameDone(std::int64_t at) {
        inFrame_ = false;
        if (lastRequest_.empty()) {
            session_.unasked.push_back({frameAt_, frame_});
        } else {
            session_.answers[lastRequest_].back().push_back({answeredAt(at) - requestAt_, frame_});
        }
    }

    // A read longer than a rest after the one before it waited for its
    // bytes: they came when it returned.
    std::int64_t answeredAt(std::int64_t readAt) const {
        const bool rested = previousReadAt_ > requestAt_ && readAt - previousReadAt_ <= kLongestReadRest;
        return rested ? (previousReadAt_ + readAt) / 2 : readAt;
    }

    void closeUnit() {
        if (!unit_.empty()) session_.unasked.push_back({unitAt_, unit_});
        unit_.clear();
    }

    std::int64_t openedAt_;
    ReplaySession session_;
    std::string unit_;
    std::int64_t unitAt_ = 0;
    bool inFrame_ = false;
    std::string frame_;
    std::int64_t frameAt_ = 0;
    std::int64_t previousReadAt_ = 0;  // the read before the one being split
    std::string lastRequest_;
    std::int64_t requestAt_ = 0;
};

}  // namespace

std::vector<ReplaySession> replaySessions(const Capture& capture) {
    std::vector<ReplaySession> sessions;
    std::unique_ptr<SessionBuilder> builder;
    std::int64_t lastAt = 0;
    bool hangsUp = false;
    for (const CaptureEvent& event : capture.events) {
        switch (event.kind) {
        case CaptureEvent::Kind::open:
            if (builder) sessions.push_back(builder->finish(lastAt, hangsUp));
            if (builder && hangsUp) sessions.back().awayMicros = event.micros - lastAt;
            builder = std::make_unique<SessionBuilder>(event.micros);
            hangsUp = false;
            break;
        case CaptureEvent::Kind::rx: builder->received(event.bytes, event.micros); break;
        case CaptureEvent::Kind::tx: builder->sent(event.bytes, event.micros); break;
        // A read that failed is the line itself going away; a silent or
        // noisy line was left by the host, which the replay waits for.
        case CaptureEvent::Kind::lost: hangsUp = event.bytes.rfind("read", 0) == 0; break;
        }
        lastAt = event.micros;
    }
    if (builder) sessions.push_back(builder->finish(lastAt, hangsUp));
    return sessions;
}

CaptureReplay::CaptureReplay(const Capture& capture, double speed, bool loop)
    : sessions_(replaySessions(capture)), speed_(speed), loop_(loop), ended_(sessions_.empty()) {
    for (const ReplaySession& session : sessions_)
        for (const auto& recorded : session.answers) everRequested_.insert(recorded.first);
}

std::int64_t CaptureReplay::scaled(std::int64_t micros) const {
    return static_cast<std::int64_t>(std::llround(static_cast<double>(micros) / speed_));
}

void CaptureReplay::clientCame(std::int64_t now) {
    if (!current_ && !ended_) startSession(now);
}

void CaptureReplay::clientGone() {
    if (current_) endSession();
}

void CaptureReplay::startSession(std::int64_t now) {
    if (next_ >= sessions_.size()) next_ = 0;
    current_ = &sessions_[next_++];
    startedAt_ = now;
    unaskedSent_ = 0;
    requestsSeen_.clear();
    answersDue_.clear();
    request_.clear();
    timelineOver_ = false;
}

void CaptureReplay::endSession() {
    current_ = nullptr;
    answersDue_.clear();
    if (next_ >= sessions_.size() && !loop_) ended_ = true;
}

void CaptureReplay::receive(const std::string& bytes, std::int64_t now) {
    if (!current_) return;
    for (char c : bytes) {
        if (c == ':') request_.clear();
        if (c != ':' && request_.empty()) continue;
        request_ += c;
        if (c == '\n') {
            answer(request_, now);
            request_.clear();
        } else if (request_.size() > kMaxRequestLength) {
            request_.clear();
        }
    }
}

// The next recorded answer to this request, if the capture holds one. A
// register that the capture never asked for (a newer host reads one more)
// is one that this device does not know; one that it asked for in another
// opening only goes unanswered here.
void CaptureReplay::answer(const std::string& request, std::int64_t now) {
    if (everRequested_.count(request) == 0) {
        std::string unknown = unknownRegisterAnswer(request);
        if (!unknown.empty()) answersDue_.emplace(now, std::move(unknown));
        return;
    }
    auto recorded = current_->answers.find(request);
    if (recorded == current_->answers.end()) return;
    const std::size_t use = requestsSeen_[request]++;
    if (use >= recorded->second.size()) return;
    for (const ReplaySession::Timed& frame : recorded->second[use]) answersDue_.emplace(now + frame.micros, frame.bytes);
}

// At its last recorded moment a session hangs up if the line failed then,
// starts again when looping, or else keeps answering until the host leaves:
// a host that runs slower than the recording still gets every answer.
void CaptureReplay::advance(std::int64_t now) {
    if (!current_ || timelineOver_ || now - startedAt_ < scaled(current_->endMicros)) return;
    if (unaskedSent_ < current_->unasked.size() || !answersDue_.empty()) return;
    if (current_->hangsUp) {
        hangUpPending_ = true;
        awayFor_ = scaled(current_->awayMicros);
        endSession();
    } else if (loop_ && next_ >= sessions_.size()) {
        startSession(now);
    } else {
        timelineOver_ = true;
    }
}

std::string CaptureReplay::takeSendable(std::int64_t now) {
    if (!current_) return std::string();
    std::string out;
    for (;;) {
        const bool unaskedDue = unaskedSent_ < current_->unasked.size() &&
                                startedAt_ + scaled(current_->unasked[unaskedSent_].micros) <= now;
        const bool answerDue = !answersDue_.empty() && answersDue_.begin()->first <= now;
        if (!unaskedDue && !answerDue) break;
        const bool unaskedFirst =
            unaskedDue && (!answerDue || startedAt_ + scaled(current_->unasked[unaskedSent_].micros) <=
                                             answersDue_.begin()->first);
        std::string message;
        if (unaskedFirst) {
            message = current_->unasked[unaskedSent_++].bytes;
        } else {
            message = answersDue_.begin()->second;
            answersDue_.erase(answersDue_.begin());
        }
        if (sentObserver_) sentObserver_(now, message);
        out += message;
    }
    return out;
}

std::int64_t CaptureReplay::nextWakeup(std::int64_t now) const {
    if (!current_) return now + kIdleWakeupMicros;
    std::int64_t next = timelineOver_ ? now + kIdleWakeupMicros : startedAt_ + scaled(current_->endMicros);
    if (unaskedSent_ < current_->unasked.size())
        next = std::min(next, startedAt_ + scaled(current_->unasked[unaskedSent_].micros));
    if (!answersDue_.empty()) next = std::min(next, answersDue_.begin()->first);
    return std::max(next, now);
}

bool CaptureReplay::hangsUp(std::int64_t) {
    const bool pending = hangUpPending_;
    hangUpPending_ = false;
    return pending;
}

}  // namespace tessline
