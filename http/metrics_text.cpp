#include "http/metrics_text.h"

#include <cmath>
#include <cstdio>

#include "fields/field_catalogue.h"
#include "http/row_cells.h"

namespace tessline {

const char* const kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

// 15 significant digits: exact for the CSV's decimals, and short for a
// scaled one (456.78 kWh is 1644408000 J, not 1644408000.0000002).
std::string metricNumberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

namespace {

using Family = MetricFamily;

// The program's own health; the columns' families are the catalogue's.
const Family kLinkUp{"solwatch_link_up", "gauge", "Whether rows come from the charger (1) or the link is lost (0).", nullptr};
const Family kRows{"solwatch_rows_total", "counter", "Table rows written since the start.", nullptr};
const Family kLinkLosses{"solwatch_link_losses_total", "counter", "Times the link to the charger was lost.", nullptr};
const Family kLastRowTime{"solwatch_last_row_timestamp_seconds", "gauge", "When the last row was written, in seconds since the epoch.", nullptr};
const Family kMqttConnected{"solwatch_mqtt_connected", "gauge", "Whether the MQTT broker is connected (1) or not (0).", nullptr};
const Family kMqttDropped{"solwatch_mqtt_dropped_total", "counter", "MQTT messages dropped while the broker was away.", nullptr};
const Family kDeviceInfo{"solwatch_device_info", "gauge", "The charger's identity.", nullptr};
const Family kBuildInfo{"solwatch_build_info", "gauge", "The version of solwatch.", nullptr};

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

// An enumeration gives one sample per name where its family says so (a
// value outside the names, UNKNOWN or UNAVAILABLE, leaves every name at 0),
// else its index, for the names alone.
void writeEnumeration(PageWriter& page, const Field& field, const TableCell& cell) {
    if (cell.index < 0) return;
    const Enumeration& names = *field.names;
    const MetricFamily& family = *field.metric;
    if (family.oneHotLabel) {
        for (int i = 0; i < names.count; ++i)
            page.sample(family, label(family.oneHotLabel, names.names[i]), i == cell.index ? "1" : "0");
    } else if (cell.index < names.count) {
        page.sample(family, field.metricLabels, std::to_string(cell.index));
    }
}

void writeNumber(PageWriter& page, const Field& field, const TableCell& cell) {
    if (cell.kind != CellKind::number || !std::isfinite(cell.number)) return;
    double toSi = field.unit ? field.unit->toSi : 1;
    page.sample(*field.metric, field.metricLabels, metricNumberText(cell.number * toSi));
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

bool sameSample(const Field& a, const Field& b) {
    return a.metric == b.metric && std::string(a.metricLabels) == b.metricLabels;
}

// A day record's field feeds its metric from today's record.
bool feedsMetric(const TableColumn& column, const Field& field) {
    return column.field == &field && (column.history < 0 || column.history == 0);
}

}  // namespace

// Family by family in the page's order, so that a family's HELP and TYPE
// come once, before all of its samples; where several of a family's fields
// are in the table, the first in the catalogue's order feeds each sample.
MetricsPage::MetricsPage(const std::vector<TableColumn>& columns) {
    for (const MetricFamily* family : metricFamilies()) {
        for (const Field& field : allFields()) {
            if (field.metric != family) continue;
            std::size_t column = 0;
            while (column < columns.size() && !feedsMetric(columns[column], field)) ++column;
            if (column == columns.size()) continue;
            bool taken = false;
            for (const Source& source : sources_) taken = taken || sameSample(*source.field, field);
            if (!taken) sources_.push_back({&field, column});
        }
    }
}

std::string MetricsPage::render(const TableRow* lastRow, const DeviceLabels* device, const ServiceHealth& health,
                                const std::string& version) const {
    std::string out;
    PageWriter page(out);
    for (const Source& source : sources_) {
        if (!lastRow) break;  // the link is lost or no row came yet: no live values
        const TableCell& cell = cellAt(*lastRow, source.column);
        if (source.field->names) writeEnumeration(page, *source.field, cell);
        else writeNumber(page, *source.field, cell);
    }
    writeHealth(page, health);
    if (device) writeDevice(page, *device);
    page.sample(kBuildInfo, label("version", version), "1");
    return out;
}

}  // namespace tessline
