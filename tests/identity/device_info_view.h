// Views of a DeviceInfo that read as one comparable value in a test.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "identity/device_info.h"

namespace tessline {

inline const std::string kFlagPrefix = "KZ_REG_CAPABILITIES1_HAS_";

// Set flags by their printed name without the common prefix, read member by
// member in declaration order rather than through the flag table.
inline std::vector<std::string> setFlags(const DeviceInfo& d) {
    const std::pair<bool, const char*> flags[] = {
        {d.hasLoadOutput, "LOAD_OUTPUT"},
        {d.hasRotaryEncoder, "ROTARY_ENCODER"},
        {d.hasHistorySupport, "HISTORY_SUPPORT"},
        {d.hasRampguardMode, "RAMPGUARD_MODE"},
        {d.hasAdaptiveMode, "ADAPTIVE_MODE"},
        {d.hasManualEqualise, "MANUAL_EQUALISE"},
        {d.hasAutoEqualise, "AUTO_EQUALISE"},
        {d.hasStorageMode, "STORAGE_MODE"},
        {d.hasRemoteOnOff, "REMOTE_ONOFF"},
        {d.hasSolarTimer, "SOLAR_TIMER"},
        {d.hasAltTxFunction, "ALT_TX_FUNCTION"},
        {d.hasUserLoadSwitch, "USER_LOAD_SWITCH"},
        {d.hasLoadCurrent, "LOAD_CURRENT"},
        {d.hasPanelCurrent, "PANEL_CURRENT"},
        {d.hasBmsSupport, "BMS_SUPPORT"},
        {d.hasNode1Support, "NODE1_SUPPORT"},
        {d.hasParallelSupport, "PARALLEL_SUPPORT"},
        {d.hasAlarmRelay1, "ALARM_RELAY1"},
        {d.hasAltRxFunction, "ALT_RX_FUNCTION"},
        {d.hasVirtualLoadOutput, "VIRTUAL_LOAD_OUTPUT"},
        {d.hasVirtualRelay, "VIRTUAL_RELAY"},
        {d.hasDisplay, "DISPLAY"},
    };
    std::vector<std::string> names;
    for (const auto& flag : flags) {
        if (flag.first) names.push_back(flag.second);
    }
    return names;
}

// Lowest and highest battery voltage, maximum current, maximum panel voltage.
inline std::vector<double> ratingsOf(const DeviceInfo& d) {
    return {double(d.minVoltage), double(d.maxVoltage), d.maxCurrent, d.maxPvVoltage};
}

}  // namespace tessline
