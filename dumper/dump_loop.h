// The polling and printing cadence of a dump.
#pragma once

#include <atomic>
#include <cstdint>

#include "dumper/table_items.h"
#include "dumper/dump_table.h"

namespace tessline {

// When the row of a period that starts at `now` is due: full at the next
// whole minute, fast a second later, channels at once.
std::int64_t rowDeadline(DumpVariant variant, std::int64_t now);

// Polls the table's registers and hands a row per period to `listener`
// until `stop` is set, which it checks between requests; the wait for a row's time ends at
// once when the stop comes with a wake() of the dump clock.
// Exceptions of the reader or the table pass through.
void runDumpLoop(DumpTable& table, DumpVariant variant, const RegisterReader& readRegister,
                 const std::atomic<bool>& stop, TableListener& listener);

}  // namespace tessline
