#include "sim/sim_engine.h"

#include <algorithm>
#include <limits>

#include "fields/device_scales.h"
#include "hex/hex_frame.h"
#include "log/log.h"
#include "sim/text_fields.h"

namespace tessline {

namespace {

ModelSetup modelSetup(const SimSettings& settings) {
    ModelSetup setup;
    setup.seed = settings.seed;
    setup.startMinute = settings.startMinute;
    setup.frozen = settings.frozen;
    setup.loadOutput = settings.profile.loadOutput;
    setup.maxChargeAmps = hexScale(0xEDDF).fromSteps(settings.profile.maxCurrent);
    return setup;
}

// A frame text ends in its checksum's two digits and a line feed; another
// last digit makes a frame that no host takes.
void corruptHexChecksum(std::string& frame) {
    if (frame.size() < 3) return;
    char& digit = frame[frame.size() - 2];
    digit = digit == '0' ? '1' : '0';
}

}  // namespace

SimEngine::SimEngine(const SimSettings& settings, EepromWindow eeprom, std::int64_t now)
    : settings_(settings),
      start_(now),
      model_(modelSetup(settings_)),
      eeprom_(std::move(eeprom)),
      registers_(settings_.profile, model_, eeprom_),
      responder_(settings_.profile, registers_),
      pacer_(settings_.throttle ? kLineBytesPerSecond : 0),
      garbage_(settings_.seed ^ 0x6A2BA6Eull),
      nextBlockAt_(now) {}

void SimEngine::receive(const std::string& bytes, std::int64_t now) {
    for (char c : bytes) incoming_.push_back({pacer_.arrival(now), c});
}

void SimEngine::advance(std::int64_t now) {
    // Events in the order they happen, each seeing the model at its own time,
    // so what the device says does not depend on how late the caller wakes.
    for (;;) {
        std::int64_t at = nextEventTime();
        if (at > now) break;
        moveModelTo(at);
        if (!incoming_.empty() && incoming_.front().arrivesAt == at)
            takeArrivedByte();
        else
            sendDueBlock(now);
    }
    moveModelTo(now);
}

std::int64_t SimEngine::nextEventTime() const {
    std::int64_t next = settings_.faults.sendText ? nextBlockAt_ : std::numeric_limits<std::int64_t>::max();
    if (!incoming_.empty()) next = std::min(next, incoming_.front().arrivesAt);
    return next;
}

void SimEngine::moveModelTo(std::int64_t at) { model_.advanceTo(double(at - start_) * 1e-6 * settings_.timeScale); }

void SimEngine::takeArrivedByte() {
    Received received = incoming_.front();
    incoming_.pop_front();
    switch (reader_.feed(received.byte)) {
    case RequestReader::Event::frame: answerRequest(reader_.frame(), received.arrivesAt); break;
    case RequestReader::Event::damaged: answerDamagedFrame(received.arrivesAt); break;
    case RequestReader::Event::none: break;
    }
}

void SimEngine::sendDueBlock(std::int64_t now) {
    sendTextBlock(nextBlockAt_);
    // After a stall, skip the blocks that were missed instead of bursting.
    std::int64_t period = std::max<std::int64_t>(settings_.periodMicros, 1);
    nextBlockAt_ += ((now - nextBlockAt_) / period + 1) * period;
}

void SimEngine::answerRequest(const HexMsg& request, std::int64_t at) {
    const FaultPlan& faults = settings_.faults;
    if (!faults.answerHex) return;
    auto answer = responder_.answer(request);
    if (!answer) return;
    ++answers_;
    if (faults.dropEveryAnswer && answers_ % faults.dropEveryAnswer == 0) {
        logInfo("sim", "dropping answer %u", answers_);
        return;
    }
    std::string bytes;
    if (faults.receptionError && answers_ % std::max(1u, faults.receptionErrorEvery) == 0)
        bytes = encodeHexFrame(receptionErrorFrame(faults.receptionErrorWord));
    std::string frame = encodeHexFrame(*answer);
    if (isNoise(at)) corruptHexChecksum(frame);
    bytes += frame;
    enqueue(std::move(bytes), at + faults.answerDelayMicros, false);
}

void SimEngine::answerDamagedFrame(std::int64_t at) {
    if (!settings_.faults.answerHex) return;
    logInfo("sim", "request with a bad checksum");
    enqueue(encodeHexFrame(receptionErrorFrame(kResendWord)), at + settings_.faults.answerDelayMicros, false);
}

void SimEngine::sendTextBlock(std::int64_t at) {
    const FaultPlan& faults = settings_.faults;
    if (!faults.sendText) return;
    // A line too slow for the period: let the waiting block go first.
    for (const auto& waiting : outgoing_)
        if (waiting.textBlock) return;
    ++blocks_;
    std::string block = deviceTextBlock(settings_.profile, model_);
    if (corruptsBlock(at)) corruptTextChecksum(block);
    if (faults.garbageBytes && blocks_ % std::max(1u, faults.garbageEvery) == 0) {
        std::string garbage;
        while (garbage.size() < faults.garbageBytes) {
            char c = static_cast<char>(garbage_.nextByte());
            if (c != ':') garbage += c;  // a ":" would open a HEX frame instead
        }
        block.insert(0, garbage);
    }
    enqueue(std::move(block), at, true);
}

bool SimEngine::corruptsBlock(std::int64_t at) const {
    const FaultPlan& faults = settings_.faults;
    if (faults.corruptEveryBlock && blocks_ % faults.corruptEveryBlock == 0) return true;
    return isNoise(at);
}

bool SimEngine::isNoise(std::int64_t at) const {
    const double after = settings_.faults.noiseAfterSeconds;
    return after > 0 && double(at - start_) >= after * 1e6;
}

void SimEngine::enqueue(std::string bytes, std::int64_t readyAt, bool textBlock) {
    auto later = std::find_if(outgoing_.begin(), outgoing_.end(),
                              [&](const Outgoing& o) { return o.readyAt > readyAt; });
    outgoing_.insert(later, Outgoing{readyAt, std::move(bytes), textBlock});
}

bool SimEngine::startNextMessage(std::int64_t now) {
    if (outgoing_.empty() || outgoing_.front().readyAt > now) return false;
    current_ = std::move(outgoing_.front().bytes);
    outgoing_.pop_front();
    currentSent_ = 0;
    if (sentObserver_) sentObserver_(now, current_);
    return true;
}

bool SimEngine::outputReady(std::int64_t now) const {
    return currentSent_ < current_.size() || (!outgoing_.empty() && outgoing_.front().readyAt <= now);
}

std::string SimEngine::takeSendable(std::int64_t now) {
    std::string out;
    std::size_t budget = pacer_.sendable(now);
    while (budget > 0) {
        if (currentSent_ == current_.size() && !startNextMessage(now)) break;
        std::size_t count = std::min(budget, current_.size() - currentSent_);
        out.append(current_, currentSent_, count);
        currentSent_ += count;
        budget -= count;
    }
    pacer_.sent(out.size(), now);
    return out;
}

std::int64_t SimEngine::nextWakeup(std::int64_t now) const {
    std::int64_t next = nextEventTime();
    if (outputReady(now))
        next = std::min(next, pacer_.nextSendTime(now));
    else if (!outgoing_.empty())
        next = std::min(next, outgoing_.front().readyAt);
    return std::max(next, now);
}

void SimEngine::clientGone() {
    incoming_.clear();
    outgoing_.clear();
    current_.clear();
    currentSent_ = 0;
    reader_.reset();
    pacer_.reset();
}

}  // namespace tessline
