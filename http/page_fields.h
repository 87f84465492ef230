// What the page shows of the field catalogue, for GET /api/fields: its
// tiles' labels, units and keys, the chart's keys and the charge states'
// colours, so that the page keeps no copy of its own.
#pragma once

#include <string>

namespace tessline {

// {"tiles":[{"id":"battery-voltage","label":"Battery voltage","unit":"V",
//   "keys":["vbat_v","vchr_v","vout"]},...],
//  "chart":[[panel power keys],[battery voltage keys],[charge current keys]],
//  "states":[{"name":"OFF","colour":"#9e9e9e"},...]}
// A key is a dotted path into /api/state ("history.days.0.yield_kwh"); the
// first one a state has gives the value. Made once.
const std::string& pageFieldsJson();

}  // namespace tessline
