#include "http/metrics_text.h"

#include <gtest/gtest.h>

#include <sstream>

#include "dumper/dump_table.h"
#include "dumper/history_records.h"
#include "dumper/table_items.h"
#include "fields/field_catalogue.h"
#include "tests/http/prometheus_server.h"
#include "tests/support/typed_row.h"

namespace tessline {
namespace {

// The columns of a variant's table for a charger, as the dump makes them.
std::vector<TableColumn> tableColumns(DumpVariant variant, const DeviceInfo& info) {
    return DumpTable(tableItems(variant, info)).columns();
}

// A charger of the mixed table; `hexTable`: one of the HEX-only table.
DeviceInfo charger(std::uint16_t appVersion, bool hexTable = false) {
    DeviceInfo info;
    info.deviceId = hexTable ? kHexTableDeviceId : 0xA042;
    info.appVersion = appVersion;
    return info;
}

const std::vector<TableColumn> kFullHex = tableColumns(DumpVariant::full, charger(0x117, true));
const std::vector<TableColumn> kFullHistory = tableColumns(DumpVariant::full, [] {
    DeviceInfo info = charger(0x117);
    info.hasLoadOutput = info.hasLoadCurrent = info.hasSolarTimer = info.hasHistorySupport = true;
    info.historyVersion = 6;
    return info;
}());
const std::vector<TableColumn> kTextHistory = tableColumns(DumpVariant::full, [] {
    DeviceInfo info = charger(0x116);
    info.hasLoadOutput = info.hasSolarTimer = info.releaseCandidate = info.hasHistorySupport = true;
    info.historyVersion = 4;
    return info;
}());
const std::vector<TableColumn> kFast = tableColumns(DumpVariant::fast, [] {
    DeviceInfo info = charger(0x117);
    info.hasPanelCurrent = info.hasLoadOutput = info.hasLoadCurrent = true;
    return info;
}());
const std::vector<TableColumn> kChannels = tableColumns(DumpVariant::channels, charger(0x117));

const char* const kHistoryRow =
    R"("Tue Dec  8 01:13:00 2026","FLOAT",4.2,13.65,38.1,57.0,18.8,0,"DAY","12:30","ON",1.3,80,)"
    "0,0,0,0,456.78,456.78,45.1,14.60,45,11.90,"
    "10.00,0.25,14.44,12.10,0,0,0,0,60,120,-,420,15.3,40.1,44,"
    "10.10,0.25,14.44,12.10,0,0,0,0,60,120,-,421,15.3,40.1,43";

struct Variant {
    const char* legend;
    const std::vector<TableColumn>& columns;
    const char* row;
    std::vector<std::string> samples;  // of the live values, the charge state's left out
    const char* state;                 // the state at 1, "" for none
};

const Variant kVariants[] = {
    {"full HEX table", kFullHex, R"("Tue Dec  8 01:13:00 2026","ABSORPTION",5.5,13.33,18.0,0.0,22.0,2)",
     {"solwatch_battery_voltage_volts 13.33", "solwatch_battery_current_amperes 5.5",
      "solwatch_panel_voltage_volts 18", "solwatch_panel_power_watts 0", "solwatch_temperature_celsius 22",
      "solwatch_error_code 2"},
     "ABSORPTION"},
    {"full with history records", kFullHistory, kHistoryRow,
     {"solwatch_battery_voltage_volts 13.65", "solwatch_battery_current_amperes 4.2",
      "solwatch_panel_voltage_volts 38.1", "solwatch_panel_power_watts 57", "solwatch_temperature_celsius 18.8",
      "solwatch_load_current_amperes 1.3", "solwatch_load_on 1", "solwatch_error_code 0", "solwatch_light_ratio 0.8",
      "solwatch_yield_today_joules 36000000", "solwatch_yield_joules_total 1644408000",
      "solwatch_max_power_today_watts 420"},
     "FLOAT"},
    {"older charger, unknown state, nan and missing cells", kTextHistory,
     R"("Tue Dec  8 01:14:00 2026","UNKNOWN",-1.5,12.80,nan,0.0,-1.5,-,"NIGHT","--:--","ON",-,-,-,-,-,-,)"
     "123.5,1.5,220,3.1,280",
     {"solwatch_battery_voltage_volts 12.8", "solwatch_battery_current_amperes -1.5", "solwatch_panel_power_watts 0",
      "solwatch_temperature_celsius -1.5", "solwatch_load_on 1", "solwatch_yield_today_joules 5400000",
      "solwatch_yield_joules_total 444600000", "solwatch_max_power_today_watts 220"},
     ""},
    {"fast", kFast, R"("Tue Dec  8 01:12:31 2026","BULK",12.3,13.42,-,34.6,45.7,-5.1,0,"OFF",0.7)",
     {"solwatch_battery_voltage_volts 13.42", "solwatch_battery_current_amperes 12.3",
      "solwatch_panel_voltage_volts 34.6", "solwatch_panel_power_watts 45.7", "solwatch_temperature_celsius -5.1",
      "solwatch_load_current_amperes 0.7", "solwatch_load_on 0", "solwatch_error_code 0"},
     "BULK"},
    {"channels", kChannels, "13.450,-0.250,2.000,35.125,25.3",
     {"solwatch_panel_voltage_volts 35.125", "solwatch_output_voltage_volts 13.45",
      R"(solwatch_output_current_amperes{output="1"} -0.25)", R"(solwatch_output_current_amperes{output="2"} 2)",
      "solwatch_temperature_celsius 25.3"},
     ""},
};

ServiceHealth upHealth() {
    ServiceHealth health;
    health.linkUp = true;
    health.rows = 3;
    health.linkLosses = 1;
    health.lastRowTime = 1796692380;
    return health;
}

std::vector<std::string> linesOf(const std::string& page) {
    std::vector<std::string> lines;
    std::stringstream in(page);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool startsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

std::vector<std::string> samplesOf(const std::string& page, const std::string& prefix = "solwatch_") {
    std::vector<std::string> samples;
    for (const std::string& line : linesOf(page))
        if (startsWith(line, prefix)) samples.push_back(line);
    return samples;
}

std::string renderVariant(const Variant& variant, const DeviceLabels* device = nullptr,
                          const ServiceHealth& health = upHealth()) {
    TableRow row = testing_support::typedRow(1796692380, variant.columns, variant.row);
    EXPECT_EQ(row.cells.size(), variant.columns.size()) << variant.legend << ": more cells than columns";
    return MetricsPage(variant.columns).render(&row, device, health, SOLWATCH_VERSION);
}

TEST(MetricsPage, LiveValuesOfEachVariant) {
    for (const Variant& variant : kVariants) {
        std::string page = renderVariant(variant);
        std::vector<std::string> expected = variant.samples;
        for (const char* health : {"solwatch_link_up 1", "solwatch_rows_total 3", "solwatch_link_losses_total 1",
                                   "solwatch_last_row_timestamp_seconds 1796692380",
                                   R"(solwatch_build_info{version=")" SOLWATCH_VERSION R"("} 1)"})
            expected.push_back(health);
        std::vector<std::string> samples;
        for (const std::string& line : samplesOf(page))
            if (!startsWith(line, "solwatch_charge_state")) samples.push_back(line);
        EXPECT_EQ(samples, expected) << variant.legend;

        std::vector<std::string> atOne;
        for (const std::string& line : samplesOf(page, "solwatch_charge_state{"))
            if (line.back() == '1') atOne.push_back(line);
        std::string state = variant.state;
        EXPECT_EQ(atOne, state.empty() ? std::vector<std::string>{}
                                       : std::vector<std::string>{"solwatch_charge_state{state=\"" + state + "\"} 1"})
            << variant.legend;
    }
}

TEST(MetricsPage, ChargeStateIsAnEnumOverEveryStateName) {
    std::string page = renderVariant(kVariants[1]);
    std::vector<std::string> expected;
    const Enumeration& states = chargeStates();
    for (const std::string name : std::vector<std::string>(states.names, states.names + states.count))
        expected.push_back("solwatch_charge_state{state=\"" + name + "\"} " + (name == "FLOAT" ? "1" : "0"));
    EXPECT_EQ(samplesOf(page, "solwatch_charge_state"), expected);
    // The table without a State column has no such family at all.
    EXPECT_EQ(renderVariant(kVariants[4]).find("charge_state"), std::string::npos);
}

TEST(MetricsPage, LinkLostLeavesTheLiveValuesOut) {
    ServiceHealth health = upHealth();
    health.linkUp = false;
    std::string page = MetricsPage(kFullHistory).render(nullptr, nullptr, health, SOLWATCH_VERSION);
    EXPECT_EQ(samplesOf(page), (std::vector<std::string>{"solwatch_link_up 0", "solwatch_rows_total 3",
                                                          "solwatch_link_losses_total 1",
                                                          "solwatch_last_row_timestamp_seconds 1796692380",
                                                          R"(solwatch_build_info{version=")" SOLWATCH_VERSION R"("} 1)"}));
    // Nor their HELP and TYPE lines.
    EXPECT_EQ(page.find("battery"), std::string::npos);
    EXPECT_EQ(page.find("charge_state"), std::string::npos);
    // Before the first row there is no row time to show.
    page = MetricsPage(kFast).render(nullptr, nullptr, ServiceHealth{}, SOLWATCH_VERSION);
    EXPECT_EQ(page.find("solwatch_last_row_timestamp_seconds"), std::string::npos);
}

TEST(MetricsPage, DeviceLabelsAreEscapedAndMqttShownWhenOn) {
    DeviceLabels device{"Back\\slash", "Model \"75/15\"", "HQ\n1", "1.61", "0xA053"};
    ServiceHealth health = upHealth();
    health.mqttOn = true;
    health.mqttDropped = 7;
    std::string page = MetricsPage(kFast).render(nullptr, &device, health, SOLWATCH_VERSION " \"beta\"");
    std::vector<std::string> samples = samplesOf(page);
    std::vector<std::string> tail(samples.end() - 4, samples.end());
    EXPECT_EQ(tail, (std::vector<std::string>{
                        "solwatch_mqtt_connected 0", "solwatch_mqtt_dropped_total 7",
                        R"(solwatch_device_info{manufacturer="Back\\slash",model="Model \"75/15\"",serial="HQ\n1",)"
                        R"(firmware="1.61",product_id="0xA053"} 1)",
                        R"(solwatch_build_info{version=")" SOLWATCH_VERSION R"( \"beta\""} 1)"}));
}

// promtool also checks that every family has one HELP and TYPE, and the
// counters' names.
TEST(MetricsPage, PromtoolFindsNoFaultInAnyVariant) {
    if (!http_test::installed(http_test::kPromtool)) GTEST_SKIP() << http_test::kPromtool << " is not installed";
    DeviceLabels device{"Maker \"x\"", "Model\\75", "HQ\n1", "1.61", "0xA053"};
    ServiceHealth health = upHealth();
    health.mqttOn = true;
    for (const Variant& variant : kVariants)
        EXPECT_EQ(http_test::promtoolComplaints(renderVariant(variant, &device, health)), "") << variant.legend;
}

}  // namespace
}  // namespace tessline
