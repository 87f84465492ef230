#include "http/metrics_text.h"

#include <cstdio>
#include <iterator>
#include <optional>

#include "dumper/value_format.h"
#include "http/table_cells.h"

namespace tessline {

const char* const kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

namespace {

struct Family {
    const char* name;
    const char* type;
    const char* help;
};

// Live values.
const Family kBatteryVoltage{"solwatch_battery_voltage_volts", "gauge", "Battery voltage (charger output voltage on the fast table)."};
const Family kBatteryCurrent{"solwatch_battery_current_amperes", "gauge", "Battery charge current (charger output current on the fast table)."};
const Family kPanelVoltage{"solwatch_panel_voltage_volts", "gauge", "Solar panel voltage."};
const Family kPanelCurrent{"solwatch_panel_current_amperes", "gauge", "Solar panel current."};
const Family kPanelPower{"solwatch_panel_power_watts", "gauge", "Solar panel power."};
const Family kOutputVoltage{"solwatch_output_voltage_volts", "gauge", "Voltage of the outputs."};
const Family kOutputCurrent{"solwatch_output_current_amperes", "gauge", "Current of each output."};
const Family kTemperature{"solwatch_temperature_celsius", "gauge", "Charger temperature."};
const Family kLoadCurrent{"solwatch_load_current_amperes", "gauge", "Load output current."};
const Family kLoadOn{"solwatch_load_on", "gauge", "Whether the load output is on (1) or off (0)."};
const Family kErrorCode{"solwatch_error_code", "gauge", "The charger's error code (0: no error)."};
const Family kLightRatio{"solwatch_light_ratio", "gauge", "Street light dimming level (0 to 1)."};
const Family kChargeState{"solwatch_charge_state", "gauge", "The charge state: 1 for the current one, 0 for the others."};
// The charger's history (or its live counters on older chargers).
const Family kYieldToday{"solwatch_yield_today_joules", "gauge", "Energy harvested today."};
const Family kYieldTotal{"solwatch_yield_joules_total", "counter", "Energy harvested since the user's last reset."};
const Family kMaxPowerToday{"solwatch_max_power_today_watts", "gauge", "Highest panel power today."};
// The program's own health.
const Family kLinkUp{"solwatch_link_up", "gauge", "Whether rows come from the charger (1) or the link is lost (0)."};
const Family kRows{"solwatch_rows_total", "counter", "Table rows written since the start."};
const Family kLinkLosses{"solwatch_link_losses_total", "counter", "Times the link to the charger was lost."};
const Family kLastRowTime{"solwatch_last_row_timestamp_seconds", "gauge", "When the last row was written, in seconds since the epoch."};
const Family kMqttConnected{"solwatch_mqtt_connected", "gauge", "Whether the MQTT broker is connected (1) or not (0)."};
const Family kMqttDropped{"solwatch_mqtt_dropped_total", "counter", "MQTT messages dropped while the broker was away."};
const Family kDeviceInfo{"solwatch_device_info", "gauge", "The charger's identity."};
const Family kBuildInfo{"solwatch_build_info", "gauge", "The version of solwatch."};

// How a cell becomes a sample's value.
enum class Reading { number, onOff, state };

constexpr double kJoulesPerKwh = 3.6e6;

struct ColumnMetric {
    const char* header;
    int history;  // where the column's value comes from, as in TableColumn
    const Family& family;
    const char* labels;  // the sample's own labels, or ""
    Reading reading;
    double scale;
};

// Where a family has several candidate columns, the first one the table has
// feeds it. Columns of one family stand together: a family's HELP and TYPE
// come once, before all of its samples.
const ColumnMetric kColumnMetrics[] = {
    {"Vbat[V]", kLiveColumn, kBatteryVoltage, "", Reading::number, 1},
    {"Vchr[V]", kLiveColumn, kBatteryVoltage, "", Reading::number, 1},
    {"Ibat[A]", kLiveColumn, kBatteryCurrent, "", Reading::number, 1},
    {"Ichr[A]", kLiveColumn, kBatteryCurrent, "", Reading::number, 1},
    {"Vpnl[V]", kLiveColumn, kPanelVoltage, "", Reading::number, 1},
    {"Vpanel", kLiveColumn, kPanelVoltage, "", Reading::number, 1},
    {"Ipnl[A]", kLiveColumn, kPanelCurrent, "", Reading::number, 1},
    {"Ppnl[W]", kLiveColumn, kPanelPower, "", Reading::number, 1},
    {"Vout", kLiveColumn, kOutputVoltage, "", Reading::number, 1},
    {"Iout1", kLiveColumn, kOutputCurrent, "output=\"1\"", Reading::number, 1},
    {"Iout2", kLiveColumn, kOutputCurrent, "output=\"2\"", Reading::number, 1},
    {"Temp[C]", kLiveColumn, kTemperature, "", Reading::number, 1},
    {"Temp", kLiveColumn, kTemperature, "", Reading::number, 1},
    {"Iload[A]", kLiveColumn, kLoadCurrent, "", Reading::number, 1},
    {"Load", kLiveColumn, kLoadOn, "", Reading::onOff, 1},
    {"Err", kLiveColumn, kErrorCode, "", Reading::number, 1},
    {"Light[%]", kLiveColumn, kLightRatio, "", Reading::number, 0.01},
    {"State", kLiveColumn, kChargeState, "", Reading::state, 1},
    {"Day0Yield[kWh]", 0, kYieldToday, "", Reading::number, kJoulesPerKwh},
    {"Yield_today[kWh]", kLiveColumn, kYieldToday, "", Reading::number, kJoulesPerKwh},
    {"Yield_user[kWh]", kHistoryTotal, kYieldTotal, "", Reading::number, kJoulesPerKwh},
    {"Yield_user[kWh]", kLiveColumn, kYieldTotal, "", Reading::number, kJoulesPerKwh},
    {"Day0Pmax[W]", 0, kMaxPowerToday, "", Reading::number, 1},
    {"Pmax_today[W]", kLiveColumn, kMaxPowerToday, "", Reading::number, 1},
};

// 15 significant digits: exact for the CSV's decimals, and short for a
// scaled one (456.78 kWh is 1644408000 J, not 1644408000.0000002).
std::string numberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

std::string escapeLabel(const std::string& value) {
    std::string escaped;
    for (char c : value) {
        if (c == '\\') escaped += "\\\\";
        else if (c == '"') escaped += "\\\"";
        else if (c == '\n') escaped += "\\n";
        else escaped += c;
    }
    return escaped;
}

std::string label(const char* name, const std::string& value) {
    return std::string(name) + "=\"" + escapeLabel(value) + "\"";
}

// Appends samples, each family's HELP and TYPE before its first sample, so
// that a family without a sample leaves no trace.
class PageWriter {
public:
    explicit PageWriter(std::string& out) : out_(out) {}

    void sample(const Family& family, const std::string& labels, const std::string& value) {
        if (current_ != &family) {
            out_ += std::string("# HELP ") + family.name + " " + family.help + "\n";
            out_ += std::string("# TYPE ") + family.name + " " + family.type + "\n";
            current_ = &family;
        }
        out_ += family.name;
        if (!labels.empty()) out_ += "{" + labels + "}";
        out_ += " " + value + "\n";
    }
    void sample(const Family& family, std::uint64_t value) { sample(family, "", std::to_string(value)); }

private:
    std::string& out_;
    const Family* current_ = nullptr;
};

void writeState(PageWriter& page, const std::vector<std::string>& names, const TableCell& cell) {
    if (cell.kind != CellKind::text) return;
    // A state outside the enum (UNKNOWN, UNAVAILABLE) leaves every name at 0.
    std::string current = cellName(cell);
    for (const std::string& name : names)
        page.sample(kChargeState, label("state", name), name == current ? "1" : "0");
}

void writeOnOff(PageWriter& page, const ColumnMetric& metric, const TableCell& cell) {
    std::string name = cellName(cell);
    if (name == "ON" || name == "OFF") page.sample(metric.family, metric.labels, name == "ON" ? "1" : "0");
}

void writeNumber(PageWriter& page, const ColumnMetric& metric, const TableCell& cell) {
    if (std::optional<double> value = cellNumber(cell))
        page.sample(metric.family, metric.labels, numberText(*value * metric.scale));
}

void writeHealth(PageWriter& page, const ServiceHealth& health) {
    page.sample(kLinkUp, health.linkUp ? 1 : 0);
    page.sample(kRows, health.rows);
    page.sample(kLinkLosses, health.linkLosses);
    // Before the first row there is no time to tell: 0 would say 1970.
    if (health.lastRowTime != 0) page.sample(kLastRowTime, "", std::to_string(health.lastRowTime));
    if (health.mqttOn) {
        page.sample(kMqttConnected, health.mqttConnected ? 1 : 0);
        page.sample(kMqttDropped, health.mqttDropped);
    }
}

void writeDevice(PageWriter& page, const DeviceLabels& device) {
    std::string labels = label("manufacturer", device.manufacturer) + "," + label("model", device.model) + "," +
                         label("serial", device.serial) + "," + label("firmware", device.firmware) + "," +
                         label("product_id", device.productId);
    page.sample(kDeviceInfo, labels, "1");
}

bool sameSample(const ColumnMetric& a, const ColumnMetric& b) {
    return &a.family == &b.family && std::string(a.labels) == b.labels;
}

}  // namespace

MetricsPage::MetricsPage(const std::vector<TableColumn>& columns) : stateNames_(stateNames()) {
    for (std::size_t m = 0; m < std::size(kColumnMetrics); ++m) {
        const ColumnMetric& metric = kColumnMetrics[m];
        std::size_t column = findColumn(columns, metric.header, metric.history);
        if (column == kNoColumn) continue;
        bool taken = false;
        for (const Source& source : sources_) taken = taken || sameSample(kColumnMetrics[source.metric], metric);
        if (!taken) sources_.push_back({m, column});
    }
}

std::string MetricsPage::render(const TableRow* lastRow, const DeviceLabels* device, const ServiceHealth& health,
                                const std::string& version) const {
    std::string out;
    PageWriter page(out);
    for (const Source& source : sources_) {
        if (!lastRow) break;  // the link is lost or no row came yet: no live values
        const ColumnMetric& metric = kColumnMetrics[source.metric];
        const TableCell& cell = cellAt(*lastRow, source.column);
        switch (metric.reading) {
        case Reading::number: writeNumber(page, metric, cell); break;
        case Reading::onOff: writeOnOff(page, metric, cell); break;
        case Reading::state: writeState(page, stateNames_, cell); break;
        }
    }
    writeHealth(page, health);
    if (device) writeDevice(page, *device);
    page.sample(kBuildInfo, label("version", version), "1");
    return out;
}

}  // namespace tessline
