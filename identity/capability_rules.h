// The rules that turn a qualified charger's identity, model row, firmware
// version and capability registers into its DeviceInfo. Register reads go
// through a callback, so the rules run without a port.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "hex/hex_msg.h"
#include "hex/hex_proto.h"
#include "identity/device_info.h"

namespace tessline {

// Firmware from this version on describes itself through registers.
constexpr std::uint16_t kSelfDescribingVersion = 0x116;

// 0x0300 or a product id of the charger range 0xA040-0xA07F.
bool isSupportedCharger(std::uint16_t deviceId);

// Product name, or register 0x010B on newer firmware, then " " and the
// firmware description. Needs deviceId and appVersion.
void nameDevice(DeviceInfo& info, std::uint16_t pingWord, const RegisterReader& readRegister);
// Flags and ratings of the model row; nothing without a row.
void applyModelRow(DeviceInfo& info);
// Flags and versions that follow from appVersion and the model row's flags.
void applyFirmwareRules(DeviceInfo& info);
// Every one of the 22 flags from its bit of the capability register.
void applyCapabilityRegister(DeviceInfo& info, std::uint32_t bits);
// Capability register, versions and ratings of self-describing firmware;
// a failed read leaves the value as it was.
void readCapabilityRegisters(DeviceInfo& info, const RegisterReader& readRegister);

// Everything after the device id check: version, name, model row, firmware
// rules and, on self-describing firmware, the capability registers.
void completeDeviceInfo(DeviceInfo& info, std::uint16_t pingWord, const RegisterReader& readRegister);

// The report's information lines, in order.
std::vector<std::string> capabilityReportLines(const DeviceInfo& info);

}  // namespace tessline
