// Memory of a full 48-hour history: the live state that --http shows takes
// a row of the full variant for each minute of 48 hours (and a few more, so
// that the ring has wrapped), and the resident memory is printed before and
// after. A real dump needs 48 hours to get there.
#include <cstdio>

#include "bench/proc_status.h"
#include "dumper/table_items.h"
#include "dumper/dump_table.h"
#include "fields/field_catalogue.h"
#include "http/live_state.h"
#include "log/log.h"

using namespace tessline;

int main() {
    logLevel = 0;
    DeviceInfo info;
    info.deviceId = 0xA042;
    info.appVersion = 0x116;
    info.hasLoadOutput = info.hasHistorySupport = true;
    info.historyVersion = 6;
    const std::vector<TableColumn> columns = DumpTable(tableItems(DumpVariant::full, info)).columns();
    TableRow row{1796692380, {}};
    for (const TableColumn& column : columns)
        row.cells.push_back(column.field->kind == FieldKind::timestamp ? textCell("Tue Dec  8 01:13:00 2026")
                            : column.field == &catalogueField(Record::live, "state") ? nameCell("FLOAT", 5)
                                                                                     : numberCell("13.45", 13.45));
    const long before = statusKb("VmRSS:");
    LiveState state("bench", nullptr);
    state.onTableStart(Identity{"m", "model", "BENCH", "1.16", 0xA042}, info, columns);
    const int minutes = 48 * 60 + 60;
    for (int i = 0; i < minutes; ++i, row.time += 60) state.onRow(row);
    std::printf("%d rows a minute apart: /api/history %zu bytes, resident %ld kB (+%ld kB), peak %ld kB\n", minutes,
                state.history().size(), statusKb("VmRSS:"), statusKb("VmRSS:") - before, statusKb("VmHWM:"));
}
