// The charger as others show it: its product id as text, and the JSON object
// of who it is and what it can do (MQTT's BASE/info, the web server's
// /api/info).
#pragma once

#include <string>

#include "identity/device_info.h"
#include "identity/identity.h"

namespace tessline {

// The product id as the payloads show it: "0xA053".
std::string productIdText(const Identity& identity);

// Manufacturer, model, serial number, software version, product id (hex
// text), the capabilities the report found and the ratings.
std::string infoPayload(const Identity& identity, const DeviceInfo& info);

}  // namespace tessline
