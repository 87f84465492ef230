// The retained payloads about a charger: BASE/info, and the Home Assistant
// discovery configs of its columns.
#pragma once

#include <string>
#include <vector>

#include "dumper/table_listener.h"
#include "publish/topics.h"

namespace tessline {

// The product id as the payloads show it: "0xA053".
std::string productIdText(const Identity& identity);

// Manufacturer, model, serial number, software version, product id (hex
// text), the capabilities the report found and the ratings.
std::string infoPayload(const Identity& identity, const DeviceInfo& info);

struct RetainedMessage {
    std::string topic;
    std::string payload;
};

// One config per live column (the time stamp aside) and per column of the
// history's total record and of today's record, under
// PREFIX/sensor/<node id>/<key>/config; all of them read BASE/state.
std::vector<RetainedMessage> discoveryConfigs(const std::string& prefix, const Topics& topics,
                                              const Identity& identity, const std::vector<TableColumn>& columns);

}  // namespace tessline
