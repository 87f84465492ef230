#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/identity/device_info_view.h"
#include "identity/capability_rules.h"
#include "tests/support/fake_link.h"

namespace tessline {
namespace {

using testing_support::FakeRegisters;

DeviceInfo charger(std::uint16_t deviceId, std::uint16_t appVersion) {
    DeviceInfo info;
    info.deviceId = deviceId;
    info.appVersion = appVersion;
    return info;
}

// Model rows used below: 0xA040 load output and history; 0xA046 rotary
// encoder and history; 0x0300 rotary encoder only; 0xA050 none of the three;
// 0xA060 has no row.
struct RuleCase {
    const char* legend;
    std::uint16_t deviceId;
    std::uint16_t version;
    std::vector<std::string> flags;
    int historyVersion;
    int streetlightVersion;
};

const RuleCase kRuleCases[] = {
    {"load+history 0x107", 0xA040, 0x107, {"LOAD_OUTPUT", "HISTORY_SUPPORT", "RAMPGUARD_MODE", "ADAPTIVE_MODE"}, 0, 0},
    {"load+history 0x108", 0xA040, 0x108, {"LOAD_OUTPUT", "HISTORY_SUPPORT", "RAMPGUARD_MODE"}, 4, 0},
    {"load+history 0x112", 0xA040, 0x112, {"LOAD_OUTPUT", "HISTORY_SUPPORT", "RAMPGUARD_MODE"}, 4, 0},
    {"load+history 0x113", 0xA040, 0x113, {"LOAD_OUTPUT", "HISTORY_SUPPORT"}, 4, 0},
    {"load+history 0x115", 0xA040, 0x115,
     {"LOAD_OUTPUT", "HISTORY_SUPPORT", "SOLAR_TIMER", "ALT_TX_FUNCTION", "USER_LOAD_SWITCH", "LOAD_CURRENT"}, 4, 1},
    {"load+history 0x116", 0xA040, 0x116,
     {"LOAD_OUTPUT", "HISTORY_SUPPORT", "AUTO_EQUALISE", "SOLAR_TIMER", "ALT_TX_FUNCTION", "USER_LOAD_SWITCH",
      "LOAD_CURRENT"},
     6, 2},
    {"history only 0x107", 0xA046, 0x107,
     {"ROTARY_ENCODER", "HISTORY_SUPPORT", "RAMPGUARD_MODE", "ADAPTIVE_MODE", "PANEL_CURRENT"}, 0, 0},
    {"history only 0x112", 0xA046, 0x112, {"ROTARY_ENCODER", "HISTORY_SUPPORT", "RAMPGUARD_MODE", "PANEL_CURRENT"}, 4, 0},
    {"history only 0x113", 0xA046, 0x113, {"ROTARY_ENCODER", "HISTORY_SUPPORT", "REMOTE_ONOFF", "PANEL_CURRENT"}, 4, 0},
    {"history only 0x115", 0xA046, 0x115,
     {"ROTARY_ENCODER", "HISTORY_SUPPORT", "REMOTE_ONOFF", "ALT_TX_FUNCTION", "PANEL_CURRENT"}, 4, 0},
    {"history only 0x116", 0xA046, 0x116,
     {"ROTARY_ENCODER", "HISTORY_SUPPORT", "AUTO_EQUALISE", "REMOTE_ONOFF", "ALT_TX_FUNCTION", "PANEL_CURRENT"}, 6, 0},
    {"older 0x107", 0x0300, 0x107, {"ROTARY_ENCODER", "RAMPGUARD_MODE", "ADAPTIVE_MODE", "PANEL_CURRENT"}, 0, 0},
    {"older 0x116", 0x0300, 0x116, {"ROTARY_ENCODER", "REMOTE_ONOFF", "PANEL_CURRENT"}, 0, 0},
    {"no history, no load 0x115", 0xA050, 0x115, {"REMOTE_ONOFF", "PANEL_CURRENT"}, 0, 0},
    {"no model row 0x108", 0xA060, 0x108, {"RAMPGUARD_MODE", "PANEL_CURRENT"}, 0, 0},
    {"no model row 0x116", 0xA060, 0x116, {"REMOTE_ONOFF", "PANEL_CURRENT"}, 0, 0},
};

TEST(FirmwareRules, FlagsAndVersionsByModelAndVersion) {
    for (const auto& c : kRuleCases) {
        DeviceInfo info = charger(c.deviceId, c.version);
        applyModelRow(info);
        applyFirmwareRules(info);
        EXPECT_EQ(setFlags(info), c.flags) << c.legend;
        EXPECT_EQ(info.historyVersion, c.historyVersion) << c.legend;
        EXPECT_EQ(info.streetlightVersion, c.streetlightVersion) << c.legend;
    }
}

TEST(ModelRow, CopiesRatings) {
    DeviceInfo info = charger(0xA046, 0x110);
    applyModelRow(info);
    EXPECT_EQ(ratingsOf(info), (std::vector<double>{12, 48, 32, 160}));
}

TEST(ModelRow, NoRowLeavesZeros) {
    DeviceInfo info = charger(0xA060, 0x110);
    applyModelRow(info);
    EXPECT_TRUE(setFlags(info).empty());
    EXPECT_EQ(ratingsOf(info), (std::vector<double>{0, 0, 0, 0}));
}

TEST(CapabilityRegister, BitOrderMatchesMembers) {
    std::vector<std::string> allNames;
    for (unsigned bit = 0; bit < kCapabilityFlagCount; ++bit) {
        DeviceInfo info;
        applyCapabilityRegister(info, 1u << bit);
        const auto names = setFlags(info);
        ASSERT_EQ(names.size(), 1u) << "bit " << bit;
        EXPECT_EQ(kFlagPrefix + names[0], capabilityFlags[bit].name) << "bit " << bit;
        allNames.push_back(names[0]);
    }
    // Bit order is declaration order, so the 22 one-bit words name 22 flags in turn.
    DeviceInfo all;
    applyCapabilityRegister(all, 0x3FFFFF);
    EXPECT_EQ(setFlags(all), allNames);
}

TEST(CapabilityRegister, ReplacesEveryDerivedFlag) {
    const struct {
        const char* legend;
        std::uint32_t bits;
        std::vector<std::string> flags;
    } cases[] = {
        {"zero clears rule and model flags", 0, {}},
        {"bits above 21 are ignored", 0xFFC00000, {}},
        {"display and storage only", (1u << 21) | (1u << 7), {"STORAGE_MODE", "DISPLAY"}},
    };
    for (const auto& c : cases) {
        DeviceInfo info = charger(0xA040, 0x116);
        applyModelRow(info);
        applyFirmwareRules(info);
        applyCapabilityRegister(info, c.bits);
        EXPECT_EQ(setFlags(info), c.flags) << c.legend;
    }
}

TEST(SupportedCharger, OlderChargerAndChargerRangeOnly) {
    const struct {
        std::uint16_t id;
        bool supported;
    } cases[] = {
        {0x0300, true}, {0xA040, true}, {0xA07F, true}, {0x0301, false},
        {0x02FF, false}, {0xA03F, false}, {0xA080, false}, {0xFFFF, false},
    };
    for (const auto& c : cases) EXPECT_EQ(isSupportedCharger(c.id), c.supported) << std::hex << c.id;
}

std::vector<std::uint8_t> le16(unsigned value) {
    return {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8)};
}

std::vector<std::uint8_t> le32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

TEST(CompleteDeviceInfo, OlderFirmwareAsksNothing) {
    FakeRegisters device;
    DeviceInfo info = charger(0xA040, 0);
    completeDeviceInfo(info, 0x4115, device.reader());
    EXPECT_TRUE(device.asked.empty());
    EXPECT_EQ(info.appVersion, 0x115);
    EXPECT_EQ(info.productName, "Alder 6A low application v1.15");
    EXPECT_TRUE(info.hasSolarTimer && info.hasUserLoadSwitch && info.hasLoadCurrent && info.hasAltTxFunction);
    EXPECT_EQ(info.streetlightVersion, 1);
    EXPECT_EQ(info.historyVersion, 4);
}

TEST(CompleteDeviceInfo, RegistersOverrideRulesAndModelRow) {
    FakeRegisters device;
    device.values = {
        {0x0140, le32((1u << 2) | (1u << 21))},  // history support and display only
        {0xEDCD, {7}},
        {0xEDCC, {3}},
        {0xEDDF, le16(355)},
        {0xEDCE, {24, 36}},
        {0xEDB8, le16(14599)},
    };
    DeviceInfo info = charger(0xA040, 0);
    completeDeviceInfo(info, 0x4116, device.reader());
    EXPECT_EQ(setFlags(info), (std::vector<std::string>{"HISTORY_SUPPORT", "DISPLAY"}));
    // No solar timer any more, so its version register is not asked.
    EXPECT_EQ(device.asked, (std::vector<std::uint16_t>{0x0140, 0xEDCD, 0xEDDF, 0xEDCE, 0xEDB8}));
    EXPECT_EQ(info.historyVersion, 7);
    EXPECT_EQ(info.streetlightVersion, 2);
    EXPECT_EQ(ratingsOf(info), (std::vector<double>{24, 36, 35.5, 145.99}));
}

TEST(CompleteDeviceInfo, FailedReadsKeepDerivedValues) {
    FakeRegisters device;
    DeviceInfo info = charger(0xA040, 0);
    completeDeviceInfo(info, 0x4116, device.reader());
    EXPECT_EQ(device.asked, (std::vector<std::uint16_t>{0x0140, 0xEDCD, 0xEDCC, 0xEDDF, 0xEDCE, 0xEDB8}));
    EXPECT_TRUE(info.hasSolarTimer && info.hasAutoEqualise);
    EXPECT_EQ(info.historyVersion, 6);
    EXPECT_EQ(info.streetlightVersion, 2);
    EXPECT_EQ(ratingsOf(info), (std::vector<double>{12, 24, 6, 80}));
}

// Each value is followed only by the checksum; fewer bytes than the width
// must not turn the checksum into part of the value.
TEST(CompleteDeviceInfo, ShortAnswersKeepDerivedValues) {
    FakeRegisters device;
    device.values = {
        {0x0140, {0xFF, 0xFF, 0x3F}},
        {0xEDCD, {}},
        {0xEDDF, {0x10}},
        {0xEDCE, {6}},
        {0xEDB8, {0x01}},
    };
    DeviceInfo info = charger(0xA046, 0);
    completeDeviceInfo(info, 0x4120, device.reader());
    EXPECT_FALSE(info.hasDisplay);
    EXPECT_TRUE(info.hasAutoEqualise);
    EXPECT_EQ(info.historyVersion, 6);
    EXPECT_EQ(ratingsOf(info), (std::vector<double>{12, 48, 32, 160}));
}

TEST(CompleteDeviceInfo, OlderChargerReadsVersionsNotRatings) {
    FakeRegisters device;
    device.values = {
        {0x0140, le32((1u << 2) | (1u << 9))},  // history support and solar timer
        {0xEDCD, {6}},
        {0xEDCC, {2}},
        {0xEDDF, le16(999)},
    };
    DeviceInfo info = charger(0x0300, 0);
    completeDeviceInfo(info, 0xC116, device.reader());
    EXPECT_EQ(info.appVersion, 0x116);
    EXPECT_EQ(info.productName, "Elm 64A high release candidate vC1.16");
    EXPECT_EQ(device.asked, (std::vector<std::uint16_t>{0x0140, 0xEDCD, 0xEDCC}));
    EXPECT_EQ(ratingsOf(info), (std::vector<double>{12, 48, 64, 160}));
}

TEST(DeviceName, TableThenRegisterThenNothing) {
    const struct {
        const char* legend;
        std::uint16_t deviceId;
        std::uint16_t pingWord;
        bool deviceKnowsName;
        const char* name;
        std::size_t reads;
    } cases[] = {
        {"product table", 0xA041, 0x4113, true, "Alder 12A low application v1.13", 0},
        {"register, trimmed", 0xA051, 0x4112, true, "SolarUnit application v1.12", 1},
        {"too old to ask", 0xA051, 0x4111, true, " application v1.11", 0},
        {"register read fails", 0xA051, 0x4113, false, " application v1.13", 1},
    };
    for (const auto& c : cases) {
        FakeRegisters device;
        if (c.deviceKnowsName) device.values[0x010B] = {' ', 'S', 'o', 'l', 'a', 'r', 'U', 'n', 'i', 't', ' ', ' ', '\r', '\n'};
        DeviceInfo info = charger(c.deviceId, c.pingWord & 0x0FFF);
        nameDevice(info, c.pingWord, device.reader());
        EXPECT_EQ(info.productName, c.name) << c.legend;
        EXPECT_EQ(device.asked.size(), c.reads) << c.legend;
    }
}

TEST(ReportLines, RatingsVersionsAndFlags) {
    DeviceInfo unknown = charger(0xA060, 0x110);
    applyFirmwareRules(unknown);
    EXPECT_EQ(capabilityReportLines(unknown),
              (std::vector<std::string>{"deviceId=0xA060, app=0x0110", "min voltage=0V, max voltage=0V",
                                        "max current=0A", "max pv voltage=0V",
                                        kFlagPrefix + "RAMPGUARD_MODE", kFlagPrefix + "PANEL_CURRENT"}));

    DeviceInfo rated = charger(0xA040, 0x116);
    applyCapabilityRegister(rated, (1u << 2) | (1u << 9) | (1u << 21));
    rated.historyVersion = 6;
    rated.streetlightVersion = 2;
    rated.minVoltage = 12;
    rated.maxVoltage = 48;
    rated.maxCurrent = 35.9;
    rated.maxPvVoltage = 145.99;
    EXPECT_EQ(capabilityReportLines(rated),
              (std::vector<std::string>{"deviceId=0xA040, app=0x0116", "min voltage=12V, max voltage=48V",
                                        "max current=35A", "max pv voltage=145V", "history version=6",
                                        "streetlight version=2", kFlagPrefix + "HISTORY_SUPPORT",
                                        kFlagPrefix + "SOLAR_TIMER", kFlagPrefix + "DISPLAY"}));
}

}  // namespace
}  // namespace tessline
