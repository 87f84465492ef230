// The dump mode: the table of live values, for ever. With reconnection it
// outlives a lost port: it closes the port, tries again with a growing
// pause, identifies the device again and goes on with the rows.
#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "app/link_session.h"
#include "app/reconnect_policy.h"
#include "dumper/table_items.h"
#include "identity/identity.h"

namespace tessline {

class StopRequest;
class TableListener;

struct DumpSettings {
    DumpVariant variant = DumpVariant::full;
    bool reconnect = false;
    LinkSettings link;
};

// The pauses between tries, why the last one failed, and what the log said
// of the device's absence.
struct RetryState {
    Backoff backoff;
    std::string reason;
    AbsenceLog absence;
    std::time_t awaySince = 0;  // the first failed try of this absence
};

// Returns the stop's exit code after a signal; `session` is then the one
// in use, or null. Without reconnection a failure (a pulled cable, a refused
// device) throws to the handlers; with it, the failures that the reconnect
// policy survives are logged and tried again. `retry` is the state of the
// tries that found the device. `outputs` takes the tables and rows (the CSV
// table, JSON lines, MQTT, HTTP); `heldRows`, when given, counts the rows
// that wait for a file that cannot take them, for the service manager's
// status.
int dumpMode(std::unique_ptr<LinkSession>& session, const Identity& identity, const DumpSettings& settings,
             RetryState& retry, TableListener& outputs, StopRequest& stop,
             std::function<std::size_t()> heldRows = {});

// Opens the port and identifies the device, first pausing when tries have
// failed before. With reconnection, a failure is logged and tried again
// after a longer pause; without, it throws. Returns null when a stop
// request ended the wait.
std::unique_ptr<LinkSession> connectDevice(const DumpSettings& settings, StopRequest& stop, Identity& identity,
                                           RetryState& retry);

}  // namespace tessline
