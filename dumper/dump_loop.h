// The polling and printing cadence of a dump.
#pragma once

#include <atomic>
#include <cstdint>

#include "dumper/table_items.h"
#include "dumper/dump_table.h"

namespace tessline {

// When the row of a period that starts at `now` is due: full at the next
// minute, fast a second later, channels at once. The full table's minutes
// begin at second `minutePhase` (0 to 59) of the clock's: 0, the whole minutes.
std::int64_t rowDeadline(DumpVariant variant, std::int64_t now, int minutePhase = 0);

// Moves the full table's minutes for runs that cannot wait for the whole
// minute (tests): the first row comes `seconds` (1 to 60) after the dump
// loop starts, then one a minute. 0, the default, keeps the whole minutes.
// Set it before the dump starts.
void setFirstFullRowAfter(int seconds);

// Polls the table's registers and hands a row per period to `listener`
// until `stop` is set, which it checks between requests; the wait for a row's time ends at
// once when the stop comes with a wake() of the dump clock.
// Exceptions of the reader or the table pass through.
void runDumpLoop(DumpTable& table, DumpVariant variant, const RegisterReader& readRegister,
                 const std::atomic<bool>& stop, TableListener& listener);

}  // namespace tessline
