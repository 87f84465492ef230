// The cost of one state message: building its JSON from a table row, and
// handing it to the MQTT client library (connected, or with the broker away
// and the buffer full). Set SOLWATCH_BENCH_BROKER (mqtt://host:port) for the
// connected case; bench/mqtt_figures.sh starts a broker for it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "app/shutdown_budget.h"
#include "dumper/table_items.h"
#include "dumper/dump_table.h"
#include "fields/field_catalogue.h"
#include "log/log.h"
#include "publish/mqtt_publisher.h"
#include "output/state_message.h"

namespace {

using namespace tessline;

DeviceInfo sampleCharger() {
    DeviceInfo info;
    info.deviceId = 0xA042;
    info.appVersion = 0x116;
    info.hasLoadOutput = info.hasLoadCurrent = info.hasPanelCurrent = true;
    info.hasHistorySupport = true;
    info.historyVersion = 6;
    return info;
}

std::vector<TableColumn> columnsOf(DumpVariant variant) {
    return DumpTable(tableItems(variant, sampleCharger())).columns();
}

// A row as the dump prints it: a time stamp, a state, numbers.
TableRow rowOf(const std::vector<TableColumn>& columns) {
    TableRow row{1796692380, {}};
    for (const TableColumn& column : columns) {
        if (column.field->kind == FieldKind::timestamp) row.cells.push_back(textCell("Tue Dec  8 01:13:00 2026"));
        else if (column.field == &catalogueField(Record::live, "state")) row.cells.push_back(nameCell("BULK", 3));
        else row.cells.push_back(numberCell("13.45", 13.45));
    }
    return row;
}

void buildState(benchmark::State& state, DumpVariant variant) {
    std::vector<TableColumn> columns = columnsOf(variant);
    StateMessageBuilder builder(columns);
    TableRow row = rowOf(columns);
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string message = builder.buildState(row);
        bytes = message.size();
        benchmark::DoNotOptimize(message);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}

// Builds and hands over a row each iteration, as the dump loop's onRow does.
void handOver(benchmark::State& state, DumpVariant variant, const std::string& url) {
    logLevel = 0;  // the broker-away warnings would flood the output
    MqttSettings settings;
    settings.broker = parseBrokerUrl(url);
    settings.topicPattern = "bench/%s";
    settings.qos = 1;
    MqttPublisher publisher(settings, kBrokerTeardown);
    std::vector<TableColumn> columns = columnsOf(variant);
    publisher.onTableStart(Identity{"m", "model", "BENCH", "1.16", 0xA042}, sampleCharger(), columns);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // connected, or failed once
    TableRow row = rowOf(columns);
    for (auto _ : state) publisher.onRow(row);
    publisher.onEnd();
}

void BM_BuildStateFast(benchmark::State& state) { buildState(state, DumpVariant::fast); }
void BM_BuildStateFullWithHistory(benchmark::State& state) { buildState(state, DumpVariant::full); }

void BM_HandOverConnected(benchmark::State& state) {
    const char* url = std::getenv("SOLWATCH_BENCH_BROKER");
    if (!url) {
        state.SkipWithError("SOLWATCH_BENCH_BROKER is not set");
        return;
    }
    handOver(state, DumpVariant::fast, url);
}

// Nobody listens on port 1: every message stays in the buffer of 10000,
// which is full after the first iterations and drops its oldest from then on.
void BM_HandOverBrokerAway(benchmark::State& state) { handOver(state, DumpVariant::fast, "mqtt://127.0.0.1:1"); }

}  // namespace

BENCHMARK(BM_BuildStateFast)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BuildStateFullWithHistory)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HandOverConnected)->Unit(benchmark::kMicrosecond)->Iterations(20000);
BENCHMARK(BM_HandOverBrokerAway)->Unit(benchmark::kMicrosecond)->Iterations(30000);

BENCHMARK_MAIN();
