// SimServer: runs a device (the simulated charger or a replayed capture)
// behind the pseudo-terminal in real time, until it is asked to stop or the
// device ends. It copes with a host that comes, goes and comes back.
#pragma once

#include "sim/fault_plan.h"

#include <csignal>
#include <cstdint>
#include <functional>
#include <string>

#include "sim/pseudo_terminal.h"
#include "sim/line_device.h"
#include "sim/traffic_log.h"

namespace tessline {

class SimServer {
public:
    using NewTerminal = std::function<void(const std::string& slavePath)>;

    // `outages`: when the line hangs up or falls silent. `onNewTerminal`
    // hears of a hang-up (an empty path) and of a move to a fresh terminal.
    SimServer(PseudoTerminal& line, LineDevice& engine, TrafficLog& log, std::int64_t start,
              const LineOutages& outages, NewTerminal onNewTerminal);
    void run(const volatile std::sig_atomic_t& stop);

private:
    int serveOnce(std::int64_t now);
    void hangUpOrReturn(std::int64_t now);
    void hangUp();
    bool silent(std::int64_t now) const;
    void readHost(std::int64_t now);
    void writeHost(std::int64_t now);
    void hostGone();
    int waitMillis(std::int64_t now) const;

    PseudoTerminal& line_;
    LineDevice& engine_;
    TrafficLog& log_;
    std::int64_t start_;
    LineOutages outages_;
    std::int64_t hangupAt_;
    std::int64_t returnAt_ = 0;  // when a hung-up line comes back; 0 never
    NewTerminal onNewTerminal_;
    bool hostPresent_ = false;
    std::string unwritten_;  // taken from the engine, not yet accepted by the terminal
};

}  // namespace tessline
