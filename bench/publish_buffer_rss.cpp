// Memory of a full buffer: a publisher whose broker is away takes 10000
// state messages (the default --mqtt-buffer) of the fast variant, then of the
// full variant with the history's total and today's record, and the resident
// memory is printed before and after each.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "app/shutdown_budget.h"
#include "bench/proc_status.h"
#include "dumper/table_items.h"
#include "dumper/dump_table.h"
#include "fields/field_catalogue.h"
#include "log/log.h"
#include "publish/mqtt_publisher.h"
#include "output/state_message.h"

namespace {

using namespace tessline;

void fill(DumpVariant variant, const char* name, int messages) {
    DeviceInfo info;
    info.deviceId = 0xA042;
    info.appVersion = 0x116;
    info.hasLoadOutput = info.hasHistorySupport = true;
    info.historyVersion = 6;
    std::vector<TableColumn> columns = DumpTable(tableItems(variant, info)).columns();
    TableRow row{1796692380, {}};
    for (const TableColumn& column : columns)
        row.cells.push_back(column.field->kind == FieldKind::timestamp ? textCell("Tue Dec  8 01:13:00 2026")
                                                                       : numberCell("13.45", 13.45));
    MqttSettings settings;
    settings.broker = parseBrokerUrl("mqtt://127.0.0.1:1");  // nobody listens
    settings.topicPattern = "bench/%s";
    settings.buffer = messages;
    long before = statusKb("VmRSS:");
    {
        MqttPublisher publisher(settings, kBrokerTeardown);
        publisher.onTableStart(Identity{"m", "model", "BENCH", "1.16", 0xA042}, info, columns);
        for (int i = 0; i < messages; ++i) publisher.onRow(row);
        std::printf("%-5s variant: %d messages of %zu bytes buffered: resident %ld kB (+%ld kB), peak %ld kB\n", name,
                    messages, StateMessageBuilder(columns).buildState(row).size(), statusKb("VmRSS:"),
                    statusKb("VmRSS:") - before, statusKb("VmHWM:"));
        publisher.onEnd();
    }
}

}  // namespace

int main() {
    logLevel = 0;
    std::printf("start: resident %ld kB\n", statusKb("VmRSS:"));
    fill(DumpVariant::fast, "fast", 10000);
    fill(DumpVariant::full, "full", 10000);
    return 0;
}
