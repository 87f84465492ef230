// TamReader: a worker thread that reads a list of device registers over the
// HEX protocol, pass after pass with a one-second pause, and prints every
// answer frame as a "<" line.
#pragma once

#include <atomic>
#include <cstdint>
#include <iostream>
#include <vector>

#include <boost/thread/thread.hpp>

#include "hex/hex_msg.h"

namespace tessline {

class HexLink;
class HexProto;

class TamReader {
public:
    // Only the low 16 bits of each register id are sent. Starts nothing.
    explicit TamReader(HexLink* link, std::vector<std::uint32_t> registers = {}, std::ostream& out = std::cout);
    // Stops and joins the thread: it never outlives this object.
    ~TamReader();
    TamReader(const TamReader&) = delete;
    TamReader& operator=(const TamReader&) = delete;

    // Starts the thread unless one is there (running, or ended on its own and
    // not yet joined by stop()); returns once the thread body has begun.
    void start();
    // Sets the stop flag, interrupts a pause or a pending request, and joins.
    // With registers to read, call it without holding linkMutex: a thread
    // that waits for that lock cannot be interrupted.
    void stop();
    bool running() const { return running_; }

private:
    void run();
    void readPass(HexProto& proto);
    void printAnswer(const HexMsg& answer);

    std::vector<std::uint32_t> registers_;
    HexLink* link_;
    boost::thread thread_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> running_{false};
    // Set by the thread body as it begins and never cleared by it, so start()
    // cannot miss a thread that ended at once (a port error on the first request).
    std::atomic<bool> bodyBegun_{false};
    std::ostream& out_;
};

}  // namespace tessline
