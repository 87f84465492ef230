// The Prometheus text (exposition format 0.0.4) of a charger's last row and
// of the program's own health. Pure: no clock, no threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "row/table_row.h"
#include "fields/field.h"

namespace tessline {

// The content type of the text that MetricsPage::render() writes.
extern const char* const kMetricsContentType;  // "text/plain; version=0.0.4; charset=utf-8"

// A sample's value as the page writes it: 15 significant digits.
std::string metricNumberText(double value);

struct ServiceHealth {
    bool linkUp = false;
    std::uint64_t rows = 0;          // rows of every table since the start
    std::uint64_t linkLosses = 0;
    std::time_t lastRowTime = 0;     // 0: no row yet
    bool mqttOn = false;             // --mqtt given: the two below are shown
    bool mqttConnected = false;
    std::uint64_t mqttDropped = 0;
};

// The labels of solwatch_device_info; the only metric that carries them.
struct DeviceLabels {
    std::string manufacturer;
    std::string model;
    std::string serial;
    std::string firmware;
    std::string productId;  // "0xA053"
};

class MetricsPage {
public:
    // Works out once per table which of its columns feed which metric.
    explicit MetricsPage(const std::vector<TableColumn>& columns);

    // The whole page. `lastRow` is null before the first row and while the
    // link is lost: the live gauges (and the history's) are left out then.
    // `device` is null before the first identification.
    std::string render(const TableRow* lastRow, const DeviceLabels* device, const ServiceHealth& health,
                       const std::string& version) const;

private:
    // A metric that one of this table's columns feeds.
    struct Source {
        const Field* field;  // with the metric family
        std::size_t column;
    };

    std::vector<Source> sources_;  // in the page's order of families
};

}  // namespace tessline
