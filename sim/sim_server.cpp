#include "sim/sim_server.h"

#include <algorithm>
#include <cerrno>
#include <csignal>

#include <poll.h>

#include "log/log.h"

namespace tessline {

namespace {

// Longest sleep: bounds how late a stop request or a new host is noticed.
constexpr int kMaxWaitMillis = 50;

}  // namespace

SimServer::SimServer(PseudoTerminal& line, LineDevice& engine, TrafficLog& log, std::int64_t start,
                     const LineOutages& outages, NewTerminal onNewTerminal)
    : line_(line),
      engine_(engine),
      log_(log),
      start_(start),
      outages_(outages),
      hangupAt_(outages.hangupAfter ? start + outages.hangupAfter : 0),
      onNewTerminal_(std::move(onNewTerminal)) {
    engine_.onMessageSent([this](std::int64_t now, const std::string& bytes) {
        log_.record(now - start_, TrafficDirection::toHost, bytes);
    });
}

void SimServer::run(const volatile std::sig_atomic_t& stop) {
    while (!stop && !engine_.ended()) {
        int wait = serveOnce(monotonicMicros());
        if (stop || engine_.ended()) break;
        pollfd fd{line_.masterFd(), POLLIN, 0};
        if (hostPresent_ && !unwritten_.empty()) fd.events |= POLLOUT;
        // Without a host the master reports a hang-up at once: just sleep.
        if (hostPresent_)
            poll(&fd, 1, wait);
        else
            poll(nullptr, 0, wait);
    }
}

// A pulled cable, and with --hangup-for a cable plugged in again: a fresh
// terminal, which the link follows, as an adapter that comes back does.
// A device that hangs up by itself says when its fresh line comes.
void SimServer::hangUpOrReturn(std::int64_t now) {
    if (hangupAt_ && now >= hangupAt_ && line_.open()) {
        hangUp();
        hangupAt_ = 0;
        if (outages_.hangupFor) returnAt_ = now + outages_.hangupFor;
    }
    if (engine_.hangsUp(now) && line_.open()) {
        hangUp();
        returnAt_ = now + engine_.lineAwayFor();
    }
    if (returnAt_ && now >= returnAt_) {
        returnAt_ = 0;
        line_.renew();
        logInfo("sim", "line back on %s", line_.slavePath().c_str());
        if (onNewTerminal_) onNewTerminal_(line_.slavePath());
        if (outages_.hangupEvery) hangupAt_ = now + outages_.hangupEvery;
    }
}

void SimServer::hangUp() {
    logInfo("sim", "hanging up");
    line_.hangUp();
    if (onNewTerminal_) onNewTerminal_(std::string());
}

bool SimServer::silent(std::int64_t now) const {
    std::int64_t from = start_ + outages_.silentAfter;
    return outages_.silentFor && now >= from && now < from + outages_.silentFor;
}

int SimServer::serveOnce(std::int64_t now) {
    hangUpOrReturn(now);
    engine_.advance(now);
    if (silent(now) && line_.hostPresent()) {
        // The device is there but mute: what it would send, and what the
        // host asks, is lost.
        std::string ignored;
        line_.read(ignored);
        engine_.takeSendable(now);
        unwritten_.clear();
        return kMaxWaitMillis;
    }
    if (!line_.hostPresent()) {
        hostGone();
        return kMaxWaitMillis;
    }
    if (!hostPresent_) {
        logInfo("sim", "host connected");
        engine_.clientCame(now);
    }
    hostPresent_ = true;
    readHost(now);
    engine_.advance(now);
    writeHost(now);
    return waitMillis(now);
}

void SimServer::readHost(std::int64_t now) {
    std::string bytes;
    if (line_.read(bytes) == PseudoTerminal::Read::noHost) {
        hostGone();
        return;
    }
    if (bytes.empty()) return;
    log_.record(now - start_, TrafficDirection::fromHost, bytes);
    engine_.receive(bytes, now);
}

void SimServer::writeHost(std::int64_t now) {
    if (!hostPresent_) return;
    if (unwritten_.empty()) unwritten_ = engine_.takeSendable(now);
    if (unwritten_.empty()) return;
    long written = line_.write(unwritten_);
    if (written < 0) {
        hostGone();
        return;
    }
    unwritten_.erase(0, static_cast<std::size_t>(written));
}

void SimServer::hostGone() {
    unwritten_.clear();
    engine_.clientGone();
    if (!hostPresent_) return;
    hostPresent_ = false;
    logInfo("sim", "host gone");
    if (!line_.open() || line_.unlockSlave()) return;
    // The host's exclusive-use lock keeps everyone but root out of this
    // terminal for good, so the next host gets a fresh one.
    line_.renew();
    logWarning("sim", "terminal left locked by the host; moved to %s", line_.slavePath().c_str());
    if (onNewTerminal_) onNewTerminal_(line_.slavePath());
}

int SimServer::waitMillis(std::int64_t now) const {
    if (!unwritten_.empty()) return kMaxWaitMillis;  // poll wakes on POLLOUT
    std::int64_t micros = engine_.nextWakeup(now) - now;
    return static_cast<int>(std::clamp<std::int64_t>((micros + 999) / 1000, 0, kMaxWaitMillis));
}

}  // namespace tessline
