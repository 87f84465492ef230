#include "identity/device_info.h"

namespace tessline {

namespace {

// Charger models with invented ratings; each name in the product table
// carries its model's charge current and panel class (see product_table.cpp).
// id, load output, rotary encoder, history, min V, max V, max A, max panel V
const ModelRow kModelRows[] = {
    {0x0300, false, true, false, 12, 48, 64, 160},   // Elm 64A high
    {0xA040, true, false, true, 12, 24, 6, 80},      // Alder 6A low
    {0xA041, true, false, true, 12, 24, 12, 80},     // Alder 12A low
    {0xA042, true, false, true, 12, 24, 15, 100},    // Alder 15A mid
    {0xA043, true, false, true, 12, 48, 22, 100},    // Alder 22A mid
    {0xA044, false, false, true, 12, 24, 28, 100},   // Alder 28A mid
    {0xA045, false, false, true, 12, 24, 40, 100},   // Alder 40A mid
    {0xA046, false, true, true, 12, 48, 32, 160},    // Alder 32A high
    {0xA047, false, true, true, 12, 48, 44, 160},    // Alder 44A high
    {0xA048, false, true, true, 12, 48, 56, 160},    // Alder 56A high
    {0xA049, false, true, true, 12, 48, 64, 160},    // Alder 64A high
    {0xA04A, false, true, true, 12, 48, 80, 160},    // Alder 80A high
    {0xA04B, false, true, true, 12, 48, 96, 160},    // Alder 96A high
    {0xA04C, false, true, true, 12, 48, 56, 220},    // Alder 56A top
    {0xA04D, false, true, true, 12, 48, 64, 220},    // Alder 64A top
    {0xA04E, false, true, true, 12, 48, 80, 220},    // Alder 80A top
    {0xA04F, false, true, true, 12, 48, 96, 220},    // Alder 96A top
    {0xA050, false, false, false, 12, 24, 40, 100},  // Alder 40A mid s2
    {0xA051, true, false, true, 12, 48, 22, 100},    // unnamed in the product table
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
