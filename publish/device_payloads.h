// The retained payloads about a charger: BASE/info (identity/info_payload.h
// makes it), and the Home Assistant discovery configs of its columns.
#pragma once

#include <string>
#include <vector>

#include "identity/info_payload.h"
#include "row/table_listener.h"
#include "publish/topics.h"

namespace tessline {

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
