// The TEXT fields of the simulated charger: its identity and the live values
// in the TEXT units (mV, mA, W), derived from the same numbers as the
// registers.
#pragma once

#include <string>
#include <vector>

#include "sim/device_model.h"
#include "sim/device_profile.h"
#include "sim/text_block.h"

namespace tessline {

// The fields of one block, in sending order, without the checksum field.
std::vector<TextField> textFieldsFor(const DeviceProfile& profile, const DeviceModel& model);

// The block for the device's present state. A checksum byte of ":" would make
// every receiver take the block for a HEX frame and drop it; such a block is
// sent with the unread "DAY" value padded by one "0", which moves the byte.
std::string deviceTextBlock(const DeviceProfile& profile, const DeviceModel& model);

}  // namespace tessline
