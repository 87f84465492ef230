// The capabilities report: ping the device, qualify it as a supported
// charger, and work out its capabilities and ratings.
#pragma once

#include "identity/device_info.h"

namespace tessline {

class TamSerial;

// Returns the DeviceInfo, or ends the program through finish() with
// 3 (no ping reply / no response), 81 (not an application), 22 (no device id)
// or 91 (not a supported charger).
DeviceInfo capabilitiesReport(TamSerial& link);

}  // namespace tessline
