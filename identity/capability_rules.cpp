#include "identity/capability_rules.h"

#include <cstdio>

#include <boost/algorithm/string/trim.hpp>

#include "fields/device_scales.h"
#include "identity/firmware.h"
#include "identity/product_table.h"
#include "identity/register_text.h"

namespace tessline {

namespace {

constexpr std::uint16_t kOlderChargerId = 0x0300;

constexpr std::uint16_t kModelNameRegister = 0x010B;
constexpr std::uint16_t kCapabilitiesRegister = 0x0140;
constexpr std::uint16_t kHistoryVersionRegister = 0xEDCD;
constexpr std::uint16_t kStreetlightVersionRegister = 0xEDCC;
constexpr std::uint16_t kMaxCurrentRegister = 0xEDDF;
constexpr std::uint16_t kVoltageRangeRegister = 0xEDCE;
constexpr std::uint16_t kMaxPvVoltageRegister = 0xEDB8;

// Firmware that can name itself through the model name register.
constexpr std::uint16_t kNamingVersion = 0x112;

// Reads `width` bytes of a register's value; false when the request failed or
// the answer was too short, so the caller keeps what it had. The checksum
// byte is never read as part of the value.
bool readRegisterValue(const RegisterReader& readRegister, std::uint16_t id, unsigned width,
                       std::uint32_t& value) {
    HexMsg answer;
    if (readRegister(id, answer) != 0) return false;
    HexMsg values = answerValueBytes(answer);
    std::uint32_t read = values.readValue(width);
    if (values.failed()) return false;
    value = read;
    return true;
}

std::string modelNameFromDevice(const RegisterReader& readRegister) {
    HexMsg answer;
    if (readRegister(kModelNameRegister, answer) != 0) return {};
    std::string name = registerText(answer);
    boost::algorithm::trim(name);
    return name;
}

void readCapabilityFlags(DeviceInfo& info, const RegisterReader& readRegister) {
    std::uint32_t bits = 0;
    if (readRegisterValue(readRegister, kCapabilitiesRegister, 4, bits)) {
        applyCapabilityRegister(info, bits);
    }
}

void readVersions(DeviceInfo& info, const RegisterReader& readRegister) {
    std::uint32_t value = 0;
    if (info.hasHistorySupport && readRegisterValue(readRegister, kHistoryVersionRegister, 1, value)) {
        info.historyVersion = static_cast<std::uint8_t>(value);
    }
    if (info.hasSolarTimer && readRegisterValue(readRegister, kStreetlightVersionRegister, 1, value)) {
        info.streetlightVersion = static_cast<std::uint8_t>(value);
    }
}

void readRatings(DeviceInfo& info, const RegisterReader& readRegister) {
    std::uint32_t value = 0;
    if (readRegisterValue(readRegister, kMaxCurrentRegister, 2, value)) {
        info.maxCurrent = hexScale(kMaxCurrentRegister).fromSteps(value);
    }
    // One answer holds the lowest battery voltage, then the highest.
    if (readRegisterValue(readRegister, kVoltageRangeRegister, 2, value)) {
        info.minVoltage = static_cast<std::uint8_t>(value & 0xFF);
        info.maxVoltage = static_cast<std::uint8_t>(value >> 8);
    }
    if (readRegisterValue(readRegister, kMaxPvVoltageRegister, 2, value)) {
        info.maxPvVoltage = hexScale(kMaxPvVoltageRegister).fromSteps(value);
    }
}

std::string formatLine(const char* format, int first, int second = 0) {
    char line[64];
    std::snprintf(line, sizeof line, format, first, second);
    return line;
}

}  // namespace

bool isSupportedCharger(std::uint16_t deviceId) {
    return deviceId == kOlderChargerId || (deviceId >= 0xA040 && deviceId <= 0xA07F);
}

void nameDevice(DeviceInfo& info, std::uint16_t pingWord, const RegisterReader& readRegister) {
    const char* tableName = lookupProductName(info.deviceId);
    if (tableName) {
        info.productName = tableName;
    } else if (info.appVersion >= kNamingVersion) {
        info.productName = modelNameFromDevice(readRegister);
    }
    info.productName += " " + firmwareDescription(pingWord);
}

void applyModelRow(DeviceInfo& info) {
    const ModelRow* row = findModelRow(info);
    if (!row) return;
    info.hasLoadOutput = row->hasLoadOutput;
    info.hasRotaryEncoder = row->hasRotaryEncoder;
    info.hasHistorySupport = row->hasHistorySupport;
    info.minVoltage = row->minVoltage;
    info.maxVoltage = row->maxVoltage;
    info.maxCurrent = row->maxCurrent;
    info.maxPvVoltage = row->maxPvVoltage;
}

void applyFirmwareRules(DeviceInfo& info) {
    const std::uint16_t v = info.appVersion;
    if (v < 0x108) info.hasAdaptiveMode = true;
    if (v < 0x113) info.hasRampguardMode = true;
    if (!info.hasLoadOutput && v >= 0x113) info.hasRemoteOnOff = true;
    if (info.hasHistorySupport && v >= 0x108) info.historyVersion = v >= 0x116 ? 6 : 4;
    if (info.hasLoadOutput && info.hasHistorySupport && v >= 0x115) {
        info.hasSolarTimer = true;
        info.hasUserLoadSwitch = true;
        info.hasLoadCurrent = true;
        info.streetlightVersion = v >= 0x116 ? 2 : 1;
    }
    if (!info.hasLoadOutput) info.hasPanelCurrent = true;
    if (info.hasHistorySupport && v >= 0x115) info.hasAltTxFunction = true;
    if (info.hasHistorySupport && v >= 0x116) info.hasAutoEqualise = true;
}

void applyCapabilityRegister(DeviceInfo& info, std::uint32_t bits) {
    for (const CapabilityFlag& flag : capabilityFlags) {
        info.*flag.member = (bits >> flag.bit) & 1u;
    }
}

void readCapabilityRegisters(DeviceInfo& info, const RegisterReader& readRegister) {
    if (info.appVersion < kSelfDescribingVersion) return;
    readCapabilityFlags(info, readRegister);
    readVersions(info, readRegister);
    // The older charger has no rating registers; its model row stands.
    if (info.deviceId != kOlderChargerId) readRatings(info, readRegister);
}

void completeDeviceInfo(DeviceInfo& info, std::uint16_t pingWord, const RegisterReader& readRegister) {
    info.appVersion = pingWord & 0x0FFF;
    nameDevice(info, pingWord, readRegister);
    applyModelRow(info);
    applyFirmwareRules(info);
    readCapabilityRegisters(info, readRegister);
}

std::vector<std::string> capabilityReportLines(const DeviceInfo& info) {
    std::vector<std::string> lines = {
        formatLine("deviceId=0x%04X, app=0x%04X", info.deviceId, info.appVersion),
        formatLine("min voltage=%dV, max voltage=%dV", info.minVoltage, info.maxVoltage),
        formatLine("max current=%dA", static_cast<int>(info.maxCurrent)),
        formatLine("max pv voltage=%dV", static_cast<int>(info.maxPvVoltage)),
    };
    if (info.hasHistorySupport) lines.push_back(formatLine("history version=%d", info.historyVersion));
    if (info.hasSolarTimer) lines.push_back(formatLine("streetlight version=%d", info.streetlightVersion));
    for (const CapabilityFlag& flag : capabilityFlags) {
        if (info.*flag.member) lines.push_back(flag.name);
    }
    return lines;
}

}  // namespace tessline
