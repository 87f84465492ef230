#include "identity/device_info.h"

namespace tessline {

namespace {

// Charger models with invented ratings.
// id, load output, rotary encoder, history, min V, max V, max A, max panel V
const ModelRow kModelRows[] = {
    {0x0300, false, true, false, 12, 48, 70, 150},   // Helio Classic 150|70
    {0xA040, true, false, true, 12, 24, 10, 75},     // Helio 75|10
    {0xA041, true, false, true, 12, 24, 15, 75},     // Helio 75|15
    {0xA042, true, false, true, 12, 24, 15, 100},    // Helio 100|15
    {0xA043, true, false, true, 12, 48, 20, 100},    // Helio 100|20
    {0xA044, false, false, true, 12, 24, 30, 100},   // Helio 100|30
    {0xA045, false, false, true, 12, 24, 50, 100},   // Helio 100|50
    {0xA046, false, true, true, 12, 48, 35, 150},    // Helio 150|35
    {0xA047, false, true, true, 12, 48, 45, 150},    // Helio 150|45
    {0xA048, false, true, true, 12, 48, 60, 150},    // Helio 150|60
    {0xA049, false, true, true, 12, 48, 70, 150},    // Helio 150|70
    {0xA04A, false, true, true, 12, 48, 85, 150},    // Helio 150|85
    {0xA04B, false, true, true, 12, 48, 100, 150},   // Helio 150|100
    {0xA04C, false, true, true, 12, 48, 60, 250},    // Helio 250|60
    {0xA04D, false, true, true, 12, 48, 70, 250},    // Helio 250|70
    {0xA04E, false, true, true, 12, 48, 85, 250},    // Helio 250|85
    {0xA04F, false, true, true, 12, 48, 100, 250},   // Helio 250|100
    {0xA050, false, false, false, 12, 24, 50, 100},  // Helio 100|50 Rev2
    {0xA051, true, false, true, 12, 48, 20, 100},    // unnamed in the product table
};

}  // namespace

DeviceInfo::DeviceInfo() : modelTable(std::begin(kModelRows), std::end(kModelRows)) {}

const std::array<CapabilityFlag, kCapabilityFlagCount> capabilityFlags = {{
    {0, &DeviceInfo::hasLoadOutput, "KZ_REG_CAPABILITIES1_HAS_LOAD_OUTPUT"},
    {1, &DeviceInfo::hasRotaryEncoder, "KZ_REG_CAPABILITIES1_HAS_ROTARY_ENCODER"},
    {2, &DeviceInfo::hasHistorySupport, "KZ_REG_CAPABILITIES1_HAS_HISTORY_SUPPORT"},
    {3, &DeviceInfo::hasRampguardMode, "KZ_REG_CAPABILITIES1_HAS_RAMPGUARD_MODE"},
    {4, &DeviceInfo::hasAdaptiveMode, "KZ_REG_CAPABILITIES1_HAS_ADAPTIVE_MODE"},
    {5, &DeviceInfo::hasManualEqualise, "KZ_REG_CAPABILITIES1_HAS_MANUAL_EQUALISE"},
    {6, &DeviceInfo::hasAutoEqualise, "KZ_REG_CAPABILITIES1_HAS_AUTO_EQUALISE"},
    {7, &DeviceInfo::hasStorageMode, "KZ_REG_CAPABILITIES1_HAS_STORAGE_MODE"},
    {8, &DeviceInfo::hasRemoteOnOff, "KZ_REG_CAPABILITIES1_HAS_REMOTE_ONOFF"},
    {9, &DeviceInfo::hasSolarTimer, "KZ_REG_CAPABILITIES1_HAS_SOLAR_TIMER"},
    {10, &DeviceInfo::hasAltTxFunction, "KZ_REG_CAPABILITIES1_HAS_ALT_TX_FUNCTION"},
    {11, &DeviceInfo::hasUserLoadSwitch, "KZ_REG_CAPABILITIES1_HAS_USER_LOAD_SWITCH"},
    {12, &DeviceInfo::hasLoadCurrent, "KZ_REG_CAPABILITIES1_HAS_LOAD_CURRENT"},
    {13, &DeviceInfo::hasPanelCurrent, "KZ_REG_CAPABILITIES1_HAS_PANEL_CURRENT"},
    {14, &DeviceInfo::hasBmsSupport, "KZ_REG_CAPABILITIES1_HAS_BMS_SUPPORT"},
    {15, &DeviceInfo::hasNode1Support, "KZ_REG_CAPABILITIES1_HAS_NODE1_SUPPORT"},
    {16, &DeviceInfo::hasParallelSupport, "KZ_REG_CAPABILITIES1_HAS_PARALLEL_SUPPORT"},
    {17, &DeviceInfo::hasAlarmRelay1, "KZ_REG_CAPABILITIES1_HAS_ALARM_RELAY1"},
    {18, &DeviceInfo::hasAltRxFunction, "KZ_REG_CAPABILITIES1_HAS_ALT_RX_FUNCTION"},
    {19, &DeviceInfo::hasVirtualLoadOutput, "KZ_REG_CAPABILITIES1_HAS_VIRTUAL_LOAD_OUTPUT"},
    {20, &DeviceInfo::hasVirtualRelay, "KZ_REG_CAPABILITIES1_HAS_VIRTUAL_RELAY"},
    {21, &DeviceInfo::hasDisplay, "KZ_REG_CAPABILITIES1_HAS_DISPLAY"},
}};

const ModelRow* findModelRow(const DeviceInfo& info) {
    for (const ModelRow& row : info.modelTable) {
        if (row.productId == info.deviceId) return &row;
    }
    return nullptr;
}

}  // namespace tessline
