// The dumped items of each dump variant, chosen by the charger's capabilities.
#pragma once

#include <list>

#include "dumper/dump_item.h"
#include "identity/device_info.h"

namespace tessline {

// full: one row a minute; fast: one a second; channels: back to back.
enum class DumpVariant { full = 0, fast = 1, channels = 2 };

constexpr std::uint16_t kHexTableDeviceId = 0x0300;

// The items of `variant` in print order, those under a condition only when
// `info` meets it.
std::list<DumpItem> tableItems(DumpVariant variant, const DeviceInfo& info);

}  // namespace tessline
