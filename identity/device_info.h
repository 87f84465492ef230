// DeviceInfo: what the capabilities report learned about the charger.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tessline {

// One supported charger model with its ratings.
struct ModelRow {
    std::uint16_t productId;
    bool hasLoadOutput;
    bool hasRotaryEncoder;
    bool hasHistorySupport;
    std::uint8_t minVoltage;      // V
    std::uint8_t maxVoltage;      // V
    std::uint16_t maxCurrent;     // A
    std::uint16_t maxPvVoltage;   // V
};

struct DeviceInfo {
    // Fills the model table; everything else starts as below.
    DeviceInfo();

    std::vector<ModelRow> modelTable;
    std::uint16_t deviceId = 0xFFFF;
    std::string productName;
    std::uint16_t appVersion = 0;  // ping word AND 0x0FFF
    bool releaseCandidate = false;

    // Capability flags, in the bit order of the capability register (bit 0 first).
    bool hasLoadOutput = false;
    bool hasRotaryEncoder = false;
    bool hasHistorySupport = false;
    bool hasRampguardMode = false;
    bool hasAdaptiveMode = false;
    bool hasManualEqualise = false;
    bool hasAutoEqualise = false;
    bool hasStorageMode = false;
    bool hasRemoteOnOff = false;
    bool hasSolarTimer = false;
    bool hasAltTxFunction = false;
    bool hasUserLoadSwitch = false;
    bool hasLoadCurrent = false;
    bool hasPanelCurrent = false;
    bool hasBmsSupport = false;
    bool hasNode1Support = false;
    bool hasParallelSupport = false;
    bool hasAlarmRelay1 = false;
    bool hasAltRxFunction = false;
    bool hasVirtualLoadOutput = false;
    bool hasVirtualRelay = false;
    bool hasDisplay = false;

    std::uint8_t historyVersion = 0;
    std::uint8_t streetlightVersion = 0;
    std::uint8_t minVoltage = 0;
    std::uint8_t maxVoltage = 0;
    double maxCurrent = 0;
    double maxPvVoltage = 0;
};

// One capability flag: its bit in the capability register, its member and
// the name the report prints when it is set.
struct CapabilityFlag {
    unsigned bit;
    bool DeviceInfo::*member;
    const char* name;
};

constexpr std::size_t kCapabilityFlagCount = 22;
// In bit order: entry i describes bit i.
extern const std::array<CapabilityFlag, kCapabilityFlagCount> capabilityFlags;

// The model row of info.deviceId, or null when there is none.
const ModelRow* findModelRow(const DeviceInfo& info);

}  // namespace tessline
