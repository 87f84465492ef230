// The dump mode: the table of live values, for ever. With reconnection it
// outlives a lost port: it closes the port, tries again with a growing
// pause, identifies the device again and goes on with the rows.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "app/link_session.h"
#include "dumper/channel_tables.h"
#include "identity/identity.h"

namespace tessline {

class StopRequest;
class TableListener;

struct DumpSettings {
    DumpVariant variant = DumpVariant::full;
    bool reconnect = false;
    LinkSettings link;
};

// Ends through finish(): with the stop's code after a signal. Without
// reconnection a failure (a pulled cable, a refused device) throws to the
// handlers; with it, such failures are logged and retried.
// `outputs` takes the tables and rows (the CSV table, JSON lines, MQTT).
[[noreturn]] void dumpMode(std::unique_ptr<LinkSession> session, const Identity& identity,
                           const DumpSettings& settings, TableListener& outputs, StopRequest& stop);

// Failed tries since the link last worked, and why the last one failed.
struct RetryState {
    int failures = 0;
    std::string reason;
};

// Opens the port and identifies the device, first pausing when tries have
// failed before. With reconnection, a failure is logged and tried again
// after a longer pause; without, it throws. Returns null when a stop
// request ended the wait.
std::unique_ptr<LinkSession> connectDevice(const DumpSettings& settings, StopRequest& stop, Identity& identity,
                                           RetryState& retry);

// The pause before try number `failures` + 1: 1, 2, 4, 8, 16, then 30 s.
std::chrono::seconds retryDelay(int failures);

}  // namespace tessline
